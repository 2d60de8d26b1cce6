#include "mainform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionToolBar>
#include <QTimer>
#include <QToolBar>
#include <map>

#include "app/RegisterComp.h"
#include "app/changes.h"
#include "app/dialogs.h"
#include "app/graphics.h"
#include "app/helpform.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "app/splash.h"
#include "batch/matchtotime.h"
#include "batch/matchwipeforms.h"
#include "batch/outputform.h"
#include "browser/MP3ListView.h"
#include "browser/browser.h"
#include "browser/searchform.h"
#include "change/apply.h"
#include "checker/mpegcheckform.h"
#include "file/inplace.h"
#include "pictures/toolbaricons.h"
#include "playback/volposbar.h"
#include "playback/xaudioplayer.h"
#include "views/playlist.h"
#include "windowplacement.h"

namespace velmar::gui {

namespace {

// The main tool bar over the tool-bar strip picture.
class TStripToolBar : public QToolBar {
public:
    TStripToolBar(const QString& title, QWidget* parent) : QToolBar(title, parent) {}
    QPixmap Picture;

protected:
    void paintEvent(QPaintEvent* event) override {
        if (Picture.isNull()) {
            QToolBar::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.drawTiledPixmap(rect(), Picture);
        QStyleOptionToolBar option;
        initStyleOption(&option);
        if (isMovable()) {
            option.rect = style()->subElementRect(QStyle::SE_ToolBarHandle, &option, this);
            if (option.rect.isValid())
                style()->drawPrimitive(QStyle::PE_IndicatorToolBarHandle, &option, &painter, this);
        }
    }
};

const QString kPrefs = QStringLiteral("Preferences");

}  // namespace

// ---- TBackgroundArea ----

void TBackgroundArea::SetPicture(const QPixmap& picture) {
    Picture = picture;
    viewport()->update();
}

void TBackgroundArea::SetMode(int mode) {
    PictureMode = std::clamp(mode, 0, 2);
    viewport()->update();
}

void TBackgroundArea::SetAreaColour(const QColor& colour) {
    AreaColour = colour;
    viewport()->update();
}

void TBackgroundArea::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.fillRect(area, AreaColour);
    if (Picture.isNull()) return;
    switch (PictureMode) {
        case Tile:
            // The tiles would hide the colour everywhere: they are laid over it a little
            // translucent, so the colour chosen tints them.
            painter.setOpacity(kTileOpacity);
            painter.drawTiledPixmap(area, Picture);
            break;
        case Centre:
            painter.drawPixmap((area.width() - Picture.width()) / 2, (area.height() - Picture.height()) / 2, Picture);
            break;
        case Stretch: painter.drawPixmap(area, Picture); break;
    }
}

void TBackgroundArea::scrollContentsBy(int dx, int dy) {
    QMdiArea::scrollContentsBy(dx, dy);
    viewport()->update();  // the picture stays put: repaint it whole
}

bool TBackgroundArea::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        emit EmptySpaceDoubleClicked();
        return true;
    }
    return QMdiArea::viewportEvent(event);
}

// ---- TMainForm ----

TMainForm::TMainForm(const TAppPaths& paths, TDialogs& dialogs, std::function<void(const QString&)> status)
    : Store(std::make_unique<TRegisterComp>(paths.SettingsFile)),
      Pictures(std::make_unique<TGraphics>(paths, *Store)),
      Paths(paths),
      Dialogs(dialogs),
      MainReg(*Store),
      Graphics(*Pictures),
      StatusCallback(std::move(status)) {
    Status("Status: Reading Configuration");
    QDir().mkpath(Paths.RecentFilesFolder());
    setWindowTitle(ProductCaption());

    if (!TGraphics::LibraryAvailable()) {
        Dialogs.Error(this, "Graphic DLL load failed. Please re-install Velmar.");
        return;
    }
    setAcceptDrops(true);
    MainReg.Open();
    WriteStartDefaults();
    TimeMode = MainReg.ReadInteger(kPrefs, "TimeMode", 0);
    UndoHistory = std::make_unique<TChanges>(ToPath(Paths.HistoryFolder), StoredHistoryLimits(MainReg));

    Status("Status: Loading Graphics");
    const QStringList problems = Graphics.PrepareFiles();
    Graphics.LoadWindowGraphics();
    if (!problems.isEmpty()) Dialogs.Error(this, problems.join('\n'));

    CreateArea();
    CreateActions();
    CreatePlayer();
    CreateMenusAndToolBar();
    CreateStatusBar();
    setProperty("helpTopic", "Main_Window");
    InstallHelpKey(this, HelpFolderOf(Paths));

    Status("Status: Reading Window Settings");
    Started = true;
    UpdateCommandStates(0);
    connect(UndoHistory.get(), &TChanges::Changed, this, &TMainForm::UpdateUndoActions);
    UpdateUndoActions();
    resize(1000, 700);
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateArea() {
    Area = new TBackgroundArea(this);
    Area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Area->setActivationOrder(QMdiArea::CreationOrder);
    Area->SetPicture(Graphics.MainBackground);
    ApplyBackground();  // the colour and picture mode chosen last time, not only after the next Preferences
    setCentralWidget(Area);
    connect(Area, &TBackgroundArea::EmptySpaceDoubleClicked, this, &TMainForm::actNewBrowserExecute);
    connect(Area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        if (Closing) return;
        auto* b = sub ? qobject_cast<TBrowserForm*>(sub->widget()) : nullptr;
        ShowMenusOf(b);
        ShowTitle();
        if (b)
            b->UpdateStatus();
        else
            UpdateCommandStates(ChildCount());
    });
}

void TMainForm::CreateStatusBar() {
    // The first panel shows the play time; a click on it switches its mode.
    statusBar()->installEventFilter(this);
    TimePanel = new QLabel(statusBar());
    TimePanel->setMinimumWidth(75);
    statusBar()->addWidget(TimePanel);
    MessagePanel = new QLabel(statusBar());
    statusBar()->addWidget(MessagePanel, 1);
}

void TMainForm::Status(const QString& text) {
    if (StatusCallback) StatusCallback(text);
}

void TMainForm::WriteStartDefaults() {
    auto defaultText = [this](const char* name, const QString& value) {
        if (MainReg.ReadString(kPrefs, name, QString()).isEmpty()) MainReg.WriteString(kPrefs, name, value);
    };
    defaultText("ZLibPath", QDir::toNativeSeparators(Paths.ProgramFolder + "~BINDATA/"));
    if (!MainReg.ValueExists(kPrefs, "Last Directory")) MainReg.WriteString(kPrefs, "Last Directory", QString());
    defaultText("Skin", "<DEFAULT>");
    defaultText("Winamp Autostart", "1");
    if (MainReg.ReadString(kPrefs, "Winamp Path", QString()).isEmpty())
        MainReg.WriteString(kPrefs, "Winamp Path", TRegisterComp::PlayCommandFor("mp3"));
    defaultText("Use XPlayer", "1");
    defaultText("Use DirectSound", "1");
    defaultText("XPlayer Priority", "4");
    defaultText("TimeMode", "0");
    const QString appDir = QDir::toNativeSeparators(Paths.ProgramFolder);
    if (MainReg.ReadString(kPrefs, "AppDir", QString()) != appDir) MainReg.WriteString(kPrefs, "AppDir", appDir);
}

void TMainForm::CreateActions() {
    auto make = [this](const QString& caption, void (TMainForm::*slot)()) {
        auto* a = new QAction(caption, this);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    actNewBrowser = make("&Browser", &TMainForm::actNewBrowserExecute);
    actNewBrowser->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    actNewDatabase = new QAction("&Database", this);
    actNewDatabase->setEnabled(false);
    actLoadSongList = make("&Load Playlist...", &TMainForm::actLoadSongListExecute);
    actLoadSongList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actSaveSongList = make("&Save Playlist...", &TMainForm::actSaveSongListExecute);
    actSaveSongList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    actMoveUp = make("Move Item &Up", &TMainForm::actMoveUpExecute);
    actMoveDown = make("Move Item &Down", &TMainForm::actMoveDownExecute);
    actRefresh = make("&Refresh", &TMainForm::actRefreshExecute);
    actSearch = make("Search...", &TMainForm::actSearchExecute);
    actMPEGCheck = make("MPEG &Stream Checker", &TMainForm::actMPEGCheckExecute);
    actWipeTags = make("Wipe &Tags", &TMainForm::actWipeTagsExecute);
    actMatchToTime = make("Ma&tch To Time", &TMainForm::actMatchToTimeExecute);
    actExit = new QAction("E&xit Velmar", this);
    connect(actExit, &QAction::triggered, this, &QWidget::close);
    actCascade = new QAction("&Cascade", this);
    connect(actCascade, &QAction::triggered, this, &TMainForm::actCascadeExecute);
    actTileHorizontal = make("Tile &Horizontally", &TMainForm::actTileHorizontalExecute);
    actTileVertical = make("Tile &Vertically", &TMainForm::actTileVerticalExecute);
    actArrange = make("&Arrange", &TMainForm::actArrangeExecute);
    actCloseAll = new QAction("Close A&ll", this);
    connect(actCloseAll, &QAction::triggered, Area, &QMdiArea::closeAllSubWindows);
    actAbout = make("&About", &TMainForm::actAboutExecute);
    actPreferences = make("&Preferences...", &TMainForm::actPreferencesExecute);
    actUndo = make("&Undo", &TMainForm::actUndoExecute);
    actUndo->setShortcut(QKeySequence::Undo);
    actRedo = make("Re&do", &TMainForm::actRedoExecute);
    actRedo->setShortcut(QKeySequence::Redo);
    actHistory = make("&History...", &TMainForm::actHistoryExecute);
    // The keys work whichever window's menus the menu bar shows.
    addAction(actUndo);
    addAction(actRedo);
}

void TMainForm::CreateMenusAndToolBar() {
    // The main window's own "&File" shows while no browser is active; a browser's menus take its place.
    QMenu* file = MainFileMenu = new QMenu("&File", this);
    QMenu* fileNew = file->addMenu("&New");
    fileNew->addAction(actNewBrowser);
    fileNew->addAction(actNewDatabase);
    file->addSeparator();
    file->addAction(actLoadSongList);
    file->addSeparator();
    file->addAction(actEqualizer);
    file->addAction(actPreferences);
    file->addSeparator();
    file->addAction(actExit);
    QMenu* edit = MainEditMenu = new QMenu("&Edit", this);
    edit->addActions(UndoActions());
    connect(edit, &QMenu::aboutToShow, this, &TMainForm::UpdateUndoActions);
    QMenu* window = WindowMenu = new QMenu("&Window", this);
    window->addAction(actCascade);
    window->addAction(actTileHorizontal);
    window->addAction(actTileVertical);
    window->addAction(actArrange);
    window->addSeparator();
    window->addAction(actCloseAll);
    connect(window, &QMenu::aboutToShow, this, &TMainForm::FillWindowList);
    QMenu* help = HelpMenu = new QMenu("&?", this);
    const std::pair<const char*, const char*> topics[] = {
        {"&Contents", "Contents"}, {"&Index", "Contents"}, {"&What's New?", "WhatsNew"}};
    for (const auto& [caption, topic] : topics)
        help->addAction(caption, this, [this, topic = QString(topic)] { ShowHelp(topic); });
    help->addSeparator();
    help->addAction(actAbout);
    ShowMenusOf(nullptr);

    auto* bar = new TStripToolBar("Main", this);
    bar->setObjectName("MainToolbar");
    bar->Picture = Graphics.ToolbarStrip;
    bar->setIconSize(QSize(16, 16));
    bar->setAllowedAreas(Qt::TopToolBarArea);
    bar->setFloatable(false);
    MainToolBar = bar;
    // Images of the built-in tool-bar strip, by command.
    const std::pair<QAction*, int> buttons[] = {
        {actNewBrowser, tiNewBrowser},
        {actLoadSongList, tiLoadPlaylist},
        {actSaveSongList, tiSavePlaylist},
        {actPreferences, tiPreferences},
        {nullptr, -1},
        {actMoveUp, tiMoveUp},
        {actMoveDown, tiMoveDown},
        {actRefresh, tiRefresh},
        {actSearch, tiSearch},
        {nullptr, -1},
        {actWipeTags, tiWipeTags},
        {actMPEGCheck, tiMpegChecker},
        {actMatchToTime, tiMatchToTime},
    };
    for (const auto& [action, icon] : buttons) {
        if (!action) {
            bar->addSeparator();
            continue;
        }
        SetToolbarIcon(action, icon);
        QString tip = action->text().remove('&');
        if (tip.endsWith("...")) tip.chop(3);
        action->setToolTip(tip);
        bar->addAction(action);
    }
    // The main bar stands first in the row, before the player's.
    if (auto* player = findChild<QToolBar*>("PlayToolbar"))
        insertToolBar(player, bar);
    else
        addToolBar(Qt::TopToolBarArea, bar);
    SetToolbarIcon(actAbout, tiAbout);
    SetToolbarIcon(actExit, tiExit);
    SetToolbarIcon(actCloseAll, tiCloseAll);
    RestoreToolBarPosition();
}

void TMainForm::SetToolbarIcon(QAction* action, int icon) {
    action->setProperty("toolbarIcon", icon);
    action->setIcon(Graphics.ToolbarIcon(icon));
}

void TMainForm::ReloadPictures() {
    Graphics.LoadWindowGraphics();
    Area->SetPicture(Graphics.MainBackground);
    static_cast<TStripToolBar*>(MainToolBar)->Picture = Graphics.ToolbarStrip;
    MainToolBar->update();
    for (QAction* a : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
        if (const QVariant icon = a->property("toolbarIcon"); icon.isValid())
            a->setIcon(Graphics.ToolbarIcon(icon.toInt()));
    VolPos->SetPictures(QPixmap::fromImage(Graphics.SkinOrBuiltIn("VOLBAR.BMP", "ID_VOLUME_BAR")),
                        TGraphics::Transparent(Graphics.SkinOrBuiltIn("POSBTN.BMP", "ID_POSITION_BUTTON")));
}

void TMainForm::RestoreToolBarPosition() {
    // The strip holds one bar here; a stored position below the first row starts a new row.
    const int top = MainReg.ReadInteger(kPrefs, "MainToolbar Top", 2);
    if (top > 2 + MainToolBar->sizeHint().height()) insertToolBarBreak(MainToolBar);
}

void TMainForm::ShowMenusOf(TBrowserForm* browser) {
    if (ShownMenus == browser && !menuBar()->actions().isEmpty()) return;
    ShownMenus = browser;
    menuBar()->clear();
    for (QMenu* menu : browser ? browser->Menus : QList<QMenu*>{MainFileMenu, MainEditMenu}) menuBar()->addMenu(menu);
    menuBar()->addMenu(WindowMenu);
    menuBar()->addMenu(HelpMenu);
}

int TMainForm::CascadeStep() const { return style()->pixelMetric(QStyle::PM_TitleBarHeight) + 6; }

TBrowserForm* TMainForm::NewBrowser() {
    auto* browser = new TBrowserForm(*this, MainReg, Graphics, Dialogs);
    QMenu* file = browser->Menus.first();
    file->addSeparator();
    file->addAction(actExit);
    // Undo and Redo say what they would do whenever the menu that holds them opens.
    for (QMenu* menu : browser->Menus)
        if (menu->actions().contains(actUndo)) connect(menu, &QMenu::aboutToShow, this, &TMainForm::UpdateUndoActions);
    QMdiSubWindow* sub = Area->addSubWindow(browser);
    connect(browser, &QWidget::windowTitleChanged, this, &TMainForm::ShowTitle);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(QApplication::windowIcon());
    sub->installEventFilter(this);
    sub->setGeometry(CascadeRect(NextPlace++, QSize(680, 400), Area->viewport()->rect(), CascadeStep()));
    sub->setProperty(kNormalGeometry, sub->geometry());
    sub->show();
    Area->setActiveSubWindow(sub);
    return browser;
}

QList<QMdiSubWindow*> TMainForm::Children() const { return Area->subWindowList(QMdiArea::CreationOrder); }

int TMainForm::ChildCount() const { return int(Children().size()); }

QList<TBrowserForm*> TMainForm::Browsers() const {
    QList<TBrowserForm*> out;
    for (QMdiSubWindow* sub : Children())
        if (auto* b = qobject_cast<TBrowserForm*>(sub->widget())) out << b;
    return out;
}

TBrowserForm* TMainForm::ActiveBrowser() const {
    QMdiSubWindow* sub = Area->currentSubWindow();
    return sub ? qobject_cast<TBrowserForm*>(sub->widget()) : nullptr;
}

void TMainForm::ActivateBrowser(TBrowserForm* browser) {
    if (browser && browser->SubWindow()) Area->setActiveSubWindow(browser->SubWindow());
}

void TMainForm::UpdateCommandStates(int n) {
    if (!Started || Closing) return;
    TBrowserForm* b = ActiveBrowser();
    if (!Area->currentSubWindow() || n == 0) {
        for (QAction* a : {actNewBrowser, actLoadSongList}) a->setEnabled(true);
        for (QAction* a : {actSaveSongList, actMoveUp, actMoveDown, actRefresh, actSearch, actMPEGCheck, actWipeTags,
                           actMatchToTime})
            a->setEnabled(false);
        UpdateTransport(0, 0, 0, false);
        return;
    }
    if (!b || n <= 0) return;
    actNewBrowser->setEnabled(true);
    actLoadSongList->setEnabled(true);
    TMP3ListView* list = b->MP3ListView;
    if (list->EditMode) {
        // While its tags are edited, the rows of the browser stay as they are.
        actSaveSongList->setEnabled(true);
        for (QAction* a : {actMoveUp, actMoveDown, actRefresh, actSearch, actWipeTags, actMPEGCheck, actMatchToTime})
            a->setEnabled(false);
        UpdateTransport(0, 0, 0, true);
        return;
    }
    const int c = list->Count();
    if (c == 0) return;
    const int s = list->SelectedCount();
    const int p = list->FirstSelected() + 1;
    for (QAction* a : {actSaveSongList, actRefresh, actSearch, actMatchToTime}) a->setEnabled(true);
    actMPEGCheck->setEnabled(s > 0);
    actWipeTags->setEnabled(s > 0);
    // Moving works on exactly one selected row.
    actMoveUp->setEnabled(s == 1 && p >= 2);
    actMoveDown->setEnabled(s == 1 && p < c);
    UpdateTransport(s, p, c, false);
    b->UpdateListCommands();
}

void TMainForm::RunCommand(TCommand command) {
    switch (command) {
        case TCommand::NewBrowser: return actNewBrowserExecute();
        case TCommand::LoadPlaylist: return actLoadSongListExecute();
        case TCommand::SavePlaylist: return actSaveSongListExecute();
        case TCommand::Search: return actSearchExecute();
        case TCommand::Refresh: return actRefreshExecute();
        case TCommand::MPEGCheck: return actMPEGCheckExecute();
        case TCommand::WipeTags: return actWipeTagsExecute();
        case TCommand::MatchToTime: return actMatchToTimeExecute();
        case TCommand::Preferences: return actPreferencesExecute();
    }
}

void TMainForm::BrowserStateChanged() { UpdateCommandStates(ChildCount()); }

void TMainForm::ShowHelp(const QString& topic) { Help(this, HelpFolderOf(Paths)).ShowTopic(topic); }

TOutputForm& TMainForm::OutputForm() {
    if (!Output) Output = new TOutputForm(Paths, MainReg, Dialogs, this);
    return *Output;
}

void TMainForm::BrowserClosing(TBrowserForm* browser) {
    if (ShownMenus == browser && !Closing) ShowMenusOf(nullptr);  // the next active browser brings its own
    if (!Closing) QTimer::singleShot(0, this, &TMainForm::ShowTitle);  // once the window has gone
    UpdateCommandStates(ChildCount() - 1);
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || !Started) return;
    if (FirstActivate)
        FirstActivation();
    else
        UpdateCommandStates(ChildCount());
}

void TMainForm::FirstActivation() {
    if (!FirstActivate || !Started) return;
    FirstActivate = false;
    InitPlayer();
    RestoreWindows();
    UpdateCommandStates(ChildCount());
}

void TMainForm::OpenPaths(const QStringList& paths) {
    if (paths.isEmpty()) return;
    TBrowserForm* browser = NewBrowser();
    browser->AddPaths(paths, true);
    browser->UpdateStatus();
}

void TMainForm::OpenStartPaths(const QStringList& paths) {
    if (!paths.isEmpty()) return OpenPaths(paths);
    if (ChildCount() > 0) return;
    TBrowserForm* browser = NewBrowser();
    browser->MP3ListView->setFocus();
    browser->UpdateStatus();
}

void TMainForm::DropPaths(const QStringList& paths) {
    // A new browser when anything was dropped but empty folders.
    std::vector<std::filesystem::path> given;
    for (const QString& p : paths) given.push_back(ToPath(p));
    const TGatheredFiles gathered = GatherFiles(given, false);
    if (gathered.Files.size() + size_t(gathered.Skipped) == 0) return;
    TBrowserForm* browser = NewBrowser();
    QStringList files;
    for (const auto& f : gathered.Files) files << FromPath(f);
    browser->AddFileNames(files);
    browser->UpdateStatus();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    DropPaths(DroppedPaths(*event->mimeData()));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // A browser's place and size while it is neither minimised nor maximised, kept for saving.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(watched);
        sub && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        !(sub->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        sub->setProperty(kNormalGeometry, sub->geometry());
    // Maximised or back, the window changes how the main title names it: once it has.
    if (qobject_cast<QMdiSubWindow*>(watched) && event->type() == QEvent::WindowStateChange)
        QTimer::singleShot(0, this, &TMainForm::ShowTitle);
    // A click on the first 75 pixels of the status bar switches the time mode.
    if (watched == statusBar() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->position().x() < 75) {
        TimeMode = TimeMode == 0 ? 1 : 0;
        ShowTime(ElapsedSeconds);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!Started) {
        event->accept();
        return;
    }
    SaveWindows();
    if (!Children().isEmpty()) {  // a browser refused to close (edit mode)
        event->ignore();
        return;
    }
    Closing = true;
    if (PlayerState != 0) XPlayer->Stop();
    // The strip positions: the main bar's place in its row; the others are kept as stored.
    MainReg.WriteInteger(kPrefs, "MainToolBar Left", MainToolBar->x());
    MainReg.WriteInteger(kPrefs, "MainToolBar Top",
                         MainToolBar->y() - (menuBar()->isVisible() ? menuBar()->height() : 0) + 2);
    for (const char* bar : {"PlayToolbar", "VolPosToolbar"}) {
        const QString left = QString(bar) + " Left", top = QString(bar) + " Top";
        MainReg.WriteInteger(kPrefs, left, MainReg.ReadInteger(kPrefs, left, bar[0] == 'P' ? 302 : 486));
        MainReg.WriteInteger(kPrefs, top, MainReg.ReadInteger(kPrefs, top, 2));
    }
    MainReg.WriteInteger(kPrefs, "TimeMode", TimeMode);
    setAcceptDrops(false);
    MainReg.Close();
    event->accept();
}

// ---- commands on the active browser ----

void TMainForm::actNewBrowserExecute() {
    TBrowserForm* browser = NewBrowser();
    browser->UpdateStatus();
}

void TMainForm::actRefreshExecute() {
    TBrowserForm* b = ActiveBrowser();
    if (!b) return;
    TMP3ListView* list = b->MP3ListView;
    const std::vector<char> selected = list->SelectedRows();
    const bool any = std::find(selected.begin(), selected.end(), 1) != selected.end();
    std::vector<int> rows;
    for (int r = 0; r < list->Count(); ++r)
        if (!any || selected[size_t(r)]) rows.push_back(r);
    TBatchErrors errors;
    QStringList cutShort;
    list->RefreshItems(rows, errors, "Refreshing file(s)...", &cutShort);
    errors.Show(Dialogs, b);
    if (!cutShort.isEmpty()) FinishCutShortSaves(b, rows, cutShort);
    b->UpdateStatus();
}

void TMainForm::FinishCutShortSaves(TBrowserForm* b, const std::vector<int>& rows, const QStringList& files) {
    // Reading the files left these saves alone; finishing them writes the files, so the user is asked once.
    constexpr qsizetype kNamed = 15;
    QString names = files.mid(0, kNamed).join('\n');
    if (files.size() > kNamed) names += QString("\n... and %1 more").arg(files.size() - kNamed);
    if (!Dialogs.AskYesNo(b, "A save of these files was cut short:\n" + names + "\n\nFinish these saves now?")) return;
    TMP3ListView* list = b->MP3ListView;
    TBatchErrors errors;
    std::vector<int> again;
    for (int row : rows) {
        const QString name = list->FileNameAt(row);
        if (!files.contains(name)) continue;
        try {
            std::string report;
            if (velmar::RecoverInterruptedSave(velmar::WriteTargetOf(ToPath(name)), &report) ==
                velmar::TRecovery::SetAside)
                errors.Add(name, FromUtf8(report));
        } catch (const std::exception& e) {
            errors.Add(name, FromUtf8(e.what()));
        }
        again.push_back(row);
    }
    list->RefreshItems(again, errors, "Refreshing file(s)...");
    errors.Show(Dialogs, b);
}

void TMainForm::MoveItem(int step) {
    TBrowserForm* b = ActiveBrowser();
    if (!b) return;
    TMP3ListView* list = b->MP3ListView;
    const int i = list->FirstSelected();
    if (i < 0) return;
    if (step < 0 && i > 0) {
        list->Model()->InsertRow(i - 1, list->Model()->Row(i));
        list->Model()->RemoveRow(i + 1);
        list->SetRowSelected(i - 1, true);
        list->setCurrentIndex(list->Model()->index(i - 1, 0));
    } else if (step > 0 && i < list->Count() - 1) {
        list->Model()->InsertRow(i + 2, list->Model()->Row(i));
        list->Model()->RemoveRow(i);
        list->SetRowSelected(i + 1, true);
        list->setCurrentIndex(list->Model()->index(i + 1, 0));
    } else {
        return;
    }
    list->scrollTo(list->currentIndex());
    b->UpdateStatus();
}

void TMainForm::actMoveUpExecute() { MoveItem(-1); }
void TMainForm::actMoveDownExecute() { MoveItem(1); }

void TMainForm::actMPEGCheckExecute() {
    TBrowserForm* b = ActiveBrowser();
    if (!b) return;
    TMPEGCheckForm form(Dialogs, MainReg, this, UndoHistory.get());
    const std::vector<char> selected = b->MP3ListView->SelectedRows();
    for (int r = 0; r < b->MP3ListView->Count(); ++r)
        if (selected[size_t(r)]) form.AddFile(b->MP3ListView->FileNameAt(r));
    Dialogs.Exec(form);
}

void TMainForm::actWipeTagsExecute() {
    TBrowserForm* b = ActiveBrowser();
    if (!b) return;
    TMP3ListView* list = b->MP3ListView;
    std::vector<int> rows;
    const std::vector<char> selected = list->SelectedRows();
    for (int r = 0; r < list->Count(); ++r)
        if (selected[size_t(r)]) rows.push_back(r);
    if (rows.empty()) return;
    TWipeTagsForm form(this);
    if (Dialogs.Exec(form) != QDialog::Accepted || !form.Choice().Any()) return;
    if (!Dialogs.AskYesNo(this, QString("Remove the chosen tag(s) from %1 file(s)?").arg(rows.size()))) return;
    TBatchErrors errors;
    std::vector<int> wiped;
    velmar::TFileChange change{"Wipe Tags", "Wipe tags", {}, {}};
    std::map<std::filesystem::path, int> rowOf;
    for (int row : rows) {
        change.Files.push_back(ToPath(list->FileNameAt(row)));
        rowOf.emplace(change.Files.back(), row);
    }
    change.Write = [&](const std::filesystem::path& file, velmar::TMessageSink& sink) {
        const velmar::TWipeResult result = velmar::WipeTags(file, form.Choice(), sink);
        if (result == velmar::TWipeResult::Wiped) wiped.push_back(rowOf.at(file));
        return result != velmar::TWipeResult::Failed;
    };
    {
        TChangeScope recorded(UndoHistory.get(), "Wipe Tags", "Wipe tags", Dialogs, this);
        TProgress progress(this, "Wiping tags...", int(rows.size()));
        velmar::ApplyChange(change, {nullptr, nullptr, [&](size_t i, const velmar::TFileOutcome& outcome) {
                                         for (const std::string& m : outcome.Messages)
                                             errors.Add(FromPath(change.Files[i]), FromUtf8(m));
                                         return progress.Step(int(i + 1));
                                     }});
    }
    list->RefreshItems(wiped, errors, "Refreshing file(s)...");
    errors.Show(Dialogs, b);
    b->UpdateStatus();
}

void TMainForm::actMatchToTimeExecute() {
    TBrowserForm* b = ActiveBrowser();
    if (!b) return;
    TMP3ListView* list = b->MP3ListView;
    QStringList files;
    for (int r = 0; r < list->Count(); ++r) files << list->FileNameAt(r);
    TmatchtoTimeForm form(Dialogs, this);
    form.SetMatchFiles(files);
    if (Dialogs.Exec(form) != QDialog::Accepted) return;
    list->SelectRows(std::vector<char>(form.Chosen.begin(), form.Chosen.end()));
    Dialogs.Information(b, FromUtf8(velmar::MatchTotalText(form.TotalSeconds)));
    b->UpdateStatus();
}

QList<QMdiSubWindow*> TMainForm::ShownChildren() const {
    QList<QMdiSubWindow*> shown;
    for (QMdiSubWindow* sub : Children())
        if (!sub->isMinimized() && sub->isVisible()) shown << sub;
    return shown;
}

void TMainForm::PlaceChildren(const QList<QMdiSubWindow*>& children, const QList<QRect>& places) {
    for (int i = 0; i < children.size() && i < places.size(); ++i) {
        children[i]->showNormal();
        children[i]->setGeometry(places[i]);
    }
}

void TMainForm::RestoreMaximisedChildren() {
    // A maximised window covers the others and takes no place: every window is shown
    // normal first, the active one last so that it stays in front.
    QMdiSubWindow* active = Area->activeSubWindow();
    for (QMdiSubWindow* sub : Children())
        if (sub != active && sub->isMaximized()) sub->showNormal();
    if (active && active->isMaximized()) active->showNormal();
}

void TMainForm::FillWindowList() {
    for (QAction* a : WindowListActions) {
        WindowMenu->removeAction(a);
        a->deleteLater();
    }
    WindowListActions.clear();
    const QList<QMdiSubWindow*> children = Children();
    if (children.isEmpty()) return;
    WindowListActions << WindowMenu->addSeparator();
    QMdiSubWindow* active = Area->activeSubWindow();
    for (int i = 0; i < children.size(); ++i) {
        QMdiSubWindow* sub = children[i];
        QString title = sub->windowTitle();
        title.replace('&', "&&");
        const QString text = i < 9 ? QString("&%1 %2").arg(i + 1).arg(title) : title;
        QAction* a = WindowMenu->addAction(text);
        a->setCheckable(true);
        a->setChecked(sub == active);
        connect(a, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
            if (!sub) return;
            if (sub->isMinimized()) sub->showNormal();
            Area->setActiveSubWindow(sub);
            // the menu keeps the check until it is filled again, so this entry alone shows it now
            FillWindowList();
        });
        WindowListActions << a;
    }
}

void TMainForm::ShowTitle() {
    if (Closing) return;
    const TBrowserForm* b = ActiveBrowser();
    if (!b) return setWindowTitle(ProductCaption());
    const QString program = ProductCaption().trimmed();
    // A maximised window whose buttons stand in the menu bar adds " - [its title]" to the
    // main window's title itself: the program's name is all it needs then.
    if (Area->currentSubWindow()->isMaximized()) {
        setWindowTitle(program);
        if (windowTitle().contains(b->Caption())) return;
    }
    setWindowTitle(b->Caption() + " - " + program);
}

void TMainForm::actCascadeExecute() {
    RestoreMaximisedChildren();
    const QList<QMdiSubWindow*> shown = ShownChildren();
    PlaceChildren(shown, CascadeRects(int(shown.size()), Area->viewport()->rect(), CascadeStep()));
    if (!shown.isEmpty()) Area->setActiveSubWindow(shown.last());
    NextPlace = int(shown.size());
}

void TMainForm::Tile(Qt::Orientation stacking) {
    RestoreMaximisedChildren();
    const QList<QMdiSubWindow*> shown = ShownChildren();
    PlaceChildren(shown, TileRects(int(shown.size()), Area->viewport()->rect(), stacking, QSize(320, 160)));
}

// "Horizontally": windows lie one above the other, each as wide as the area allows.
void TMainForm::actTileHorizontalExecute() { Tile(Qt::Vertical); }
void TMainForm::actTileVerticalExecute() { Tile(Qt::Horizontal); }

void TMainForm::actArrangeExecute() {
    // Minimised windows in a row along the bottom of the area.
    const QRect area = Area->viewport()->rect();
    int x = 0, y = area.bottom();
    for (QMdiSubWindow* sub : Children()) {
        if (!sub->isMinimized()) continue;
        const QSize size = sub->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            y -= size.height();
        }
        sub->move(x, y - size.height() + 1);
        x += size.width();
    }
}

void TMainForm::actAboutExecute() {
    TAboutForm about(Graphics.AboutFont(), Graphics.AboutWater(), this);
    Dialogs.Exec(about);
}

void TMainForm::ApplyBackground() {
    // Colours are stored as 0x00BBGGRR.
    const int colour = MainReg.ReadInteger(kPrefs, "Background Color", 0);
    Area->SetAreaColour(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    // Tile when none is stored, as the Preferences window shows it then.
    Area->SetMode(MainReg.ReadInteger(kPrefs, "Background Picture Mode", TBackgroundArea::Tile));
}

TSearchItemsForm& TMainForm::SearchForm() {
    if (!Search) Search = new TSearchItemsForm(MainReg, this);
    return *Search;
}

}  // namespace velmar::gui
