#include "browser.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <optional>

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/changes.h"
#include "app/dialogs.h"
#include "app/graphics.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "batch/filename2tagwizard.h"
#include "batch/makelistform.h"
#include "batch/renameform.h"
#include "batch/tagsheet.h"
#include "browser/MP3ListView.h"
#include "change/apply.h"
#include "file/filescan.h"
#include "pictures/toolbaricons.h"
#include "tageditor/tageditorform.h"
#include "views/listcells.h"
#include "views/playlist.h"
#include "views/playlist.h"

namespace velmar::gui {

namespace {

// The title of a window that shows no files.
const char* const kEmptyCaption = "MP3 Browser";

const char* const kAddFilesLabel = "Adding file(s)...";

// The tags Copy Tags took, for Paste Tags in any browser window.
std::optional<velmar::TFieldValues>& CopiedTags() {
    static std::optional<velmar::TFieldValues> copied;
    return copied;
}

QString LastDirectory(TRegisterComp& store) { return store.ReadString("Preferences", "Last Directory", QString()); }

// A status panel whose text is cut in the middle to the panel's width instead of
// widening the window; the whole text is its tool tip.
class TElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return minimumSizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) setToolTip(text());
        return QLabel::event(e);
    }
};

}  // namespace

void TBrowserStrip::SetPicture(const QPixmap& picture) {
    Picture = picture;
    update();
}

void TBrowserStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (Picture.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawTiledPixmap(rect(), Picture);
}

TBrowserForm::TBrowserForm(TBrowserHost& host, TRegisterComp& store, TGraphics& graphics, TDialogs& dialogs)
    : Store(store), Graphics(graphics), Dialogs(dialogs), Host(host) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(kEmptyCaption);
    setProperty("helpTopic", "Browser_Window");
    setAcceptDrops(true);

    MP3ListView = new TMP3ListView(Dialogs, this);
    CreateActions();
    CreateMenus();
    CreateStrip();
    CreateStatusBar();
    LayOut();
    ReadColumns();
    LoadGraphics();
    ConnectList();
    resize(640, 360);
    if (!MP3ListView->EditMode) Host.BrowserStateChanged();
}

void TBrowserForm::CreateActions() {
    auto makeAction = [this](const QString& caption, const QKeySequence& key, void (TBrowserForm::*slot)()) {
        auto* a = new QAction(caption, this);
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        return a;
    };
    actAddFiles = makeAction("Add &File(s)", QKeySequence(Qt::Key_Insert), &TBrowserForm::actAddFilesExecute);
    actAddDir = makeAction("Add Directory", QKeySequence(Qt::SHIFT | Qt::Key_Insert), &TBrowserForm::actAddDirExecute);
    actDeleteItems = makeAction("Delete Item(s)", QKeySequence(Qt::Key_Delete), &TBrowserForm::actDeleteItemsExecute);
    actEditTags = makeAction("&Edit Tag(s)", QKeySequence(Qt::CTRL | Qt::Key_E), &TBrowserForm::actEditTagsExecute);
    actRenameFiles = makeAction("&Rename File(s)", QKeySequence(), &TBrowserForm::actRenameFilesExecute);
    actMakeList = makeAction("&Make List", QKeySequence(), &TBrowserForm::actMakeListExecute);
    actStartWizard = makeAction("&Wizards...", QKeySequence(), &TBrowserForm::actStartWizardExecute);
    mnuFilenameToTag = makeAction("Filename To Tag", QKeySequence(), &TBrowserForm::mnuFilenameToTagExecute);
    actSelectAll = makeAction("Select &All", QKeySequence(Qt::CTRL | Qt::Key_A), &TBrowserForm::actSelectAllExecute);
    actSelectNone = makeAction("Select &None", QKeySequence(Qt::CTRL | Qt::Key_D), &TBrowserForm::actSelectNoneExecute);
    actSelectInverse =
        makeAction("Select &Inverse", QKeySequence(Qt::CTRL | Qt::Key_I), &TBrowserForm::actSelectInverseExecute);
    actCloseBrowser = makeAction("&Close", QKeySequence(Qt::CTRL | Qt::Key_F4), &TBrowserForm::actCloseBrowserExecute);
    actPlay = makeAction("&Play", QKeySequence(), &TBrowserForm::actPlayExecute);
    actCopyTags = makeAction("&Copy Tags", QKeySequence(), &TBrowserForm::actCopyTagsExecute);
    actPasteTags = makeAction("Paste &Tags", QKeySequence(), &TBrowserForm::actPasteTagsExecute);
    // The same as Delete Item(s); its key stays with that command.
    actRemoveFromList = makeAction("Remove from &List", QKeySequence(), &TBrowserForm::actDeleteItemsExecute);
    actShowInFolder = makeAction("Show in File &Manager", QKeySequence(), &TBrowserForm::actShowInFolderExecute);
    OpenLocation = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    using TCommand = TBrowserHost::TCommand;
    auto hostCommand = [this](const QString& caption, TCommand command) {
        auto* a = new QAction(caption, this);
        connect(a, &QAction::triggered, this, [this, command] { Host.RunCommand(command); });
        return a;
    };
    mnuNewBrowser = hostCommand("&Browser", TCommand::NewBrowser);
    mnuNewDatabase = new QAction("&Database", this);
    mnuNewDatabase->setEnabled(false);
    mnuLoadPlaylist = hostCommand("&Load Playlist...", TCommand::LoadPlaylist);
    mnuSavePlaylist = hostCommand("&Save Playlist...", TCommand::SavePlaylist);
    mnuSearch = hostCommand("Search...", TCommand::Search);
    mnuRefresh = hostCommand("&Refresh", TCommand::Refresh);
    mnuMPEGCheck = hostCommand("MPEG &Stream Checker", TCommand::MPEGCheck);
    mnuWipeTags = hostCommand("Wipe &Tags", TCommand::WipeTags);
    mnuMatchToTime = hostCommand("Ma&tch To Time", TCommand::MatchToTime);
    mnuPreferences = hostCommand("&Preferences...", TCommand::Preferences);
    mnuRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    mnuRefresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(mnuRefresh);
    mnuSearch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuSearch->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(mnuSearch);
}

void TBrowserForm::CreateMenus() {
    // The window's menus, shown in the main window's menu bar while this browser is active.
    QMenu* file = new QMenu("&File", this);
    QMenu* fileNew = file->addMenu("&New");
    fileNew->addAction(mnuNewBrowser);
    fileNew->addAction(mnuNewDatabase);
    file->addSeparator();
    file->addAction(mnuLoadPlaylist);
    file->addAction(mnuSavePlaylist);
    file->addSeparator();
    file->addAction(Host.EqualizerAction());
    file->addAction(mnuPreferences);
    file->addSeparator();
    file->addAction(actCloseBrowser);
    QMenu* edit = new QMenu("&Edit", this);
    edit->addActions(Host.UndoActions());
    edit->addSeparator();
    edit->addAction(actAddFiles);
    edit->addAction(actAddDir);
    edit->addAction(actDeleteItems);
    edit->addSeparator();
    edit->addAction(mnuSearch);
    edit->addSeparator();
    edit->addAction(mnuRefresh);
    edit->addSeparator();
    edit->addAction(actSelectAll);
    edit->addAction(actSelectNone);
    edit->addAction(actSelectInverse);
    WizardMenu = new QMenu("&Wizards", this);
    WizardMenu->addAction(mnuFilenameToTag);
    QMenu* tools = new QMenu("&Tools", this);
    tools->addAction(actEditTags);
    tools->addAction(actRenameFiles);
    tools->addAction(actMakeList);
    tools->addSeparator();
    tools->addMenu(WizardMenu)->setIcon(actStartWizard->icon());
    tools->addSeparator();
    tools->addAction(mnuWipeTags);
    tools->addAction(mnuMPEGCheck);
    tools->addAction(mnuMatchToTime);
    QMenu* player = new QMenu("&Player", this);
    player->addActions(Host.PlayerActions());
    Menus = {file, edit, tools, player};

    // Context menu of the list: what acts on the rows under the pointer first.
    ContextMenu = new QMenu(this);
    ContextMenu->addAction(actEditTags);
    ContextMenu->addAction(actRenameFiles);
    ContextMenu->addAction(actPlay);
    ContextMenu->addSeparator();
    ContextMenu->addAction(actCopyTags);
    ContextMenu->addAction(actPasteTags);
    ContextMenu->addSeparator();
    ContextMenu->addAction(actAddFiles);
    ContextMenu->addAction(actAddDir);
    ContextMenu->addAction(actRemoveFromList);
    ContextMenu->addSeparator();
    ContextMenu->addAction(actShowInFolder);
    ContextMenu->addSeparator();
    ContextMenu->addMenu("P&layer")->addActions(Host.PlayerActions());
    QMenu* select = ContextMenu->addMenu("&Select");
    select->addAction("All", this, &TBrowserForm::actSelectAllExecute);
    select->addAction("None", this, &TBrowserForm::actSelectNoneExecute);
    select->addAction("Invert", this, &TBrowserForm::actSelectInverseExecute);
    MP3ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ContextMenu, &QMenu::aboutToShow, this, &TBrowserForm::UpdateContextMenu);
    connect(MP3ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ContextMenu->popup(MP3ListView->viewport()->mapToGlobal(pos)); });
}

void TBrowserForm::CreateStrip() {
    // The strip of large buttons.
    Strip = new TBrowserStrip(this);
    Strip->setFixedWidth(80);
    // A low window cuts the strip at its bottom rather than growing to hold every button.
    Strip->setMinimumHeight(1);
    auto* stripLayout = new QVBoxLayout(Strip);
    stripLayout->setContentsMargins(4, 6, 4, 6);
    stripLayout->setSpacing(4);
    QAction* stripActions[kStripButtons] = {actAddFiles,    actAddDir,   actDeleteItems, actEditTags,
                                            actRenameFiles, actMakeList, actStartWizard};
    const char* const stripCaptions[kStripButtons] = {
        "Add File(s)", "Add Directory", "Delete Item(s)", "Edit Tag(s)", "Rename File(s)", "Make List", "Start Wizard"};
    for (int k = 0; k < kStripButtons; ++k) {
        auto* button = new QToolButton(Strip);
        connect(button, &QToolButton::clicked, stripActions[k], &QAction::trigger);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        button->setIconSize(QSize(72, 40));
        button->setFixedSize(72, 44);
        button->setToolTip(stripCaptions[k]);
        button->setFocusPolicy(Qt::NoFocus);
        stripLayout->addWidget(button, 0, Qt::AlignHCenter);
        StripButtons[k] = button;
    }
    stripLayout->addStretch(1);
}

void TBrowserForm::CreateStatusBar() {
    // Status bar with three panels.
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    const int widths[3] = {80, 200, 0};
    for (int k = 0; k < 3; ++k) {
        StatusPanels[k] = k == 2 ? new TElidedLabel(StatusBar) : new QLabel(StatusBar);
        if (widths[k] > 0) StatusPanels[k]->setFixedWidth(widths[k]);
        StatusBar->addWidget(StatusPanels[k], k == 2 ? 1 : 0);
    }
}

void TBrowserForm::LayOut() {
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(Strip);
    body->addWidget(MP3ListView, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(StatusBar);
}

void TBrowserForm::ReadColumns() {
    // Columns from the settings store: "Column Pos" gives captions by position,
    // "Column Width" their widths (50 when missing or not a number).
    // A width the user never changed (the program's default) is widened to show the caption.
    const TNameValueList positions = Store.ReadSection("Column Pos");
    QList<QPair<QString, int>> columns;
    std::vector<int> defaults;
    for (int n = 0; n < positions.size(); ++n) {
        const QString caption = TRegisterComp::CaptionAtPosition(n, positions);
        const int width = Store.ReadInteger("Column Width", caption, 50);
        columns.append({caption, width});
        if (width == DefaultColumnWidth(caption.toStdString())) defaults.push_back(n);
    }
    MP3ListView->SetColumns(columns);
    for (int n : defaults) MP3ListView->WidenToCaption(n);
    MP3ListView->setAlternatingRowColors(false);
    MP3ListView->SetGrid(Store.ReadBool("Preferences", "Grid", false));
}

void TBrowserForm::ConnectList() {
    connect(MP3ListView, &TMP3ListView::FilesDropped, this, &TBrowserForm::DropFiles);
    // A double click on a row plays its file.
    connect(MP3ListView, &TMP3ListView::RowDoubleClicked, this,
            [this](int row) { Host.PlayFile(MP3ListView->FileNameAt(row)); });
    connect(MP3ListView->Model(), &TMP3ListModel::CellEdited, this, &TBrowserForm::CellEdited);
    // Enter opens the tag editor on the selected files.
    connect(MP3ListView, &TMP3ListView::EnterPressed, this, &TBrowserForm::actEditTagsExecute);
    connect(MP3ListView, &TMP3ListView::EmptySpaceDoubleClicked, this,
            [this](bool shift) { shift ? actAddDirExecute() : actAddFilesExecute(); });
    connect(MP3ListView, &TMP3ListView::Pressed, this, [this] {
        if (!MP3ListView->EditMode) UpdateCommandStates();
    });
    connect(MP3ListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) { SelectionChanged(!selected.isEmpty()); });
    connect(MP3ListView->header(), &QHeaderView::sectionClicked, this, &TBrowserForm::HeaderClicked);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(MP3ListView->Model(), signal, this, &TBrowserForm::RowsChanged);
    connect(MP3ListView->Model(), &QAbstractItemModel::modelReset, this, &TBrowserForm::RowsChanged);
}

QMdiSubWindow* TBrowserForm::SubWindow() const { return qobject_cast<QMdiSubWindow*>(parentWidget()); }

void TBrowserForm::SetCaption(const QString& caption) {
    ListName = caption;
    ShowCaption();
}

void TBrowserForm::RowsChanged() {
    // Rows come and go in bursts: the title follows once the burst is over.
    if (CaptionStale || !ListName.isEmpty()) return;
    CaptionStale = true;
    QTimer::singleShot(0, this, [this] {
        if (CaptionStale) ShowCaption();
    });
}

void TBrowserForm::ShowCaption() {
    CaptionStale = false;
    QString caption = ListName;
    if (caption.isEmpty()) {
        std::vector<std::string> files;
        files.reserve(size_t(MP3ListView->Count()));
        for (int r = 0; r < MP3ListView->Count(); ++r) files.push_back(ToPath(MP3ListView->FileNameAt(r)).string());
        caption = FromPath(std::filesystem::path(velmar::CommonFolderName(files)));
    }
    if (caption.isEmpty()) caption = kEmptyCaption;
    setWindowTitle(caption);
    if (QMdiSubWindow* sub = SubWindow()) sub->setWindowTitle(caption);
}

QString TBrowserForm::Caption() const { return windowTitle(); }

void TBrowserForm::LoadGraphics() {
    // The strip buttons show the large images; menus show the small tool-bar ones.
    const int large[kStripButtons] = {biAddFiles,    biAddDirectory, biDeleteItems, biEditTags,
                                      biRenameFiles, biMakeList,     biWizard};
    for (int k = 0; k < kStripButtons; ++k) StripButtons[k]->setIcon(Graphics.BrowserIcon(large[k]));
    actAddFiles->setIcon(Graphics.ToolbarIcon(tiAddFiles));
    actAddDir->setIcon(Graphics.ToolbarIcon(tiAddDirectory));
    actDeleteItems->setIcon(Graphics.ToolbarIcon(tiDelete));
    actEditTags->setIcon(Graphics.ToolbarIcon(tiEditTags));
    actRenameFiles->setIcon(Graphics.ToolbarIcon(tiRename));
    actMakeList->setIcon(Graphics.ToolbarIcon(tiMakeList));
    mnuWipeTags->setIcon(Graphics.ToolbarIcon(tiWipeTags));
    mnuMatchToTime->setIcon(Graphics.ToolbarIcon(tiMatchToTime));
    mnuPreferences->setIcon(Graphics.ToolbarIcon(tiPreferences));
    actStartWizard->setIcon(Graphics.ToolbarIcon(tiWizard));
    mnuLoadPlaylist->setIcon(Graphics.ToolbarIcon(tiLoadPlaylist));
    mnuSavePlaylist->setIcon(Graphics.ToolbarIcon(tiSavePlaylist));
    mnuSearch->setIcon(Graphics.ToolbarIcon(tiSearch));
    mnuRefresh->setIcon(Graphics.ToolbarIcon(tiRefresh));
    mnuMPEGCheck->setIcon(Graphics.ToolbarIcon(tiMpegChecker));
    Strip->SetPicture(Graphics.BrowserStrip());
}

void TBrowserForm::UpdateCommandStates() { Host.BrowserStateChanged(); }

void TBrowserForm::UpdateListCommands() {
    // With no row selected, only the commands on all rows make sense.
    const bool selected = MP3ListView->SelectedCount() > 0;
    for (QAction* a : {actSelectNone, actSelectInverse, mnuMPEGCheck, mnuWipeTags}) a->setEnabled(selected);
    for (QAction* a : {mnuSavePlaylist, mnuRefresh, mnuSearch, actSelectAll, mnuMatchToTime}) a->setEnabled(true);
}

void TBrowserForm::UpdateStatus() {
    if (CaptionStale) ShowCaption();
    MP3ListView->viewport()->update();
    StatusPanels[0]->setText(QString("%1 File(s)").arg(MP3ListView->Count()));
    StatusPanels[1]->setText(QString("%1 File(s) Selected").arg(MP3ListView->SelectedCount()));
    StatusPanels[2]->setText(QDir::toNativeSeparators(MP3ListView->FocusedFileName()));
    if (!MP3ListView->EditMode) UpdateCommandStates();
}

void TBrowserForm::SelectionChanged(bool becameSelected) {
    StatusPanels[1]->setText(QString("%1 File(s) Selected").arg(MP3ListView->SelectedCount()));
    StatusPanels[2]->setText(becameSelected ? QDir::toNativeSeparators(MP3ListView->FocusedFileName()) : QString());
    if (!MP3ListView->EditMode) UpdateCommandStates();
}

void TBrowserForm::HeaderClicked(int column) {
    // A first click sorts ascending; another click on the same column turns the order round.
    SortOrder = column == SortColumn && SortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    SortColumn = column;
    MP3ListView->SortByColumn(column, SortOrder);
    UpdateStatus();
}

void TBrowserForm::AddFileNames(const QStringList& files, TBatchErrors* gather) {
    TBatchErrors errors;
    MP3ListView->AddFiles(files, gather ? *gather : errors, kAddFilesLabel);
    errors.Show(Dialogs, this);
}

void TBrowserForm::ScanFolder(const QString& folder) {
    std::optional<std::vector<std::filesystem::path>> found;
    {
        // The folders are listed on the thread pool; meanwhile the window answers and can cancel.
        TProgress progress(this, kAddFilesLabel, 0);
        found = velmar::ScanFolderWithProgress(ToPath(folder), [&progress](size_t) { return progress.Step(0); });
    }
    if (!found) return;
    QStringList files;
    files.reserve(qsizetype(found->size()));
    for (const auto& path : *found) files << FromPath(path);
    AddFileNames(files);
}

namespace {

QStringList GatheredFiles(const QStringList& paths, bool playlists, TBatchErrors* errors) {
    std::vector<std::filesystem::path> given;
    for (const QString& p : paths) given.push_back(ToPath(p));
    const TGatheredFiles gathered = GatherFiles(given, playlists);
    QStringList files;
    for (const auto& f : gathered.Files) files << FromPath(f);
    if (errors)
        for (const auto& [path, message] : gathered.Errors) errors->Add(FromPath(path), FromUtf8(message));
    return files;
}

}  // namespace

int TBrowserForm::AddPaths(const QStringList& paths, bool playlists) {
    TBatchErrors errors;
    const int added = MP3ListView->AddFiles(GatheredFiles(paths, playlists, &errors), errors, kAddFilesLabel);
    errors.Show(Dialogs, this);
    return added;
}

void TBrowserForm::DropFiles(const QStringList& paths) {
    // In edit mode the list refuses them with its message.
    AddFileNames(GatheredFiles(paths, false, nullptr));
    UpdateStatus();
}

void TBrowserForm::actAddFilesExecute() {
    if (MP3ListView->EditMode) {
        MP3ListView->ShowEditModeMessage();
        return;
    }
    QString folder = LastDirectory(Store);
    if (folder.isEmpty()) folder = QDir::homePath();
    const QStringList files =
        Dialogs.OpenFiles(this, "Add MPEG File(s) To List", folder, "MPEG Layer 3 files (*.mp3)|*.mp3", true);
    if (files.isEmpty()) return;
    AddFileNames(files);
    Store.WriteString("Preferences", "Last Directory",
                      QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath()) + QDir::separator());
    UpdateStatus();
}

void TBrowserForm::actAddDirExecute() {
    if (MP3ListView->EditMode) {
        MP3ListView->ShowEditModeMessage();
        return;
    }
    QString start = LastDirectory(Store);
    if (start.isEmpty()) start = QDir::homePath();
    if (start.size() > 1 && (start.endsWith('\\') || start.endsWith('/'))) start.chop(1);
    const QString folder = Dialogs.Folder(this, "Choose a directory to scan recursively for MPEG file(s)", start);
    if (folder.isEmpty()) return;
    ScanFolder(folder);
    UpdateStatus();
    Store.WriteString("Preferences", "Last Directory", QDir::toNativeSeparators(folder));
}

void TBrowserForm::actDeleteItemsExecute() {
    if (MP3ListView->EditMode) {
        MP3ListView->ShowEditModeMessage();
        return;
    }
    const int count = MP3ListView->Count();
    if (count == 0) {
        Dialogs.Information(this, "No files to delete.");
        return;
    }
    int selected = MP3ListView->SelectedCount();
    if (selected == 0) {
        if (!Dialogs.AskYesNo(this, QString("Delete ALL %1 item(s)?").arg(count))) return;
        MP3ListView->Model()->Clear();
        UpdateStatus();
        return;
    }
    if (selected == 1) {
        if (!Dialogs.AskYesNo(this, "Delete one item from list?")) return;
        MP3ListView->DeleteItem(MP3ListView->FirstSelected());
        selected = MP3ListView->SelectedCount();
    }
    if (selected < 2) {
        UpdateStatus();
        return;
    }
    if (!Dialogs.AskYesNo(this, QString("Delete %1 item(s) from list?").arg(selected))) return;
    MP3ListView->Model()->RemoveRowSet(MP3ListView->SelectedRows());
    UpdateStatus();
}

bool TBrowserForm::SelectionReady() {
    if (MP3ListView->EditMode) {
        MP3ListView->ShowEditModeMessage();
        return false;
    }
    const int count = MP3ListView->Count();
    if (count == 0) {
        Dialogs.Information(this, "No Files Loaded.");
        return false;
    }
    if (MP3ListView->SelectedCount() == 0) {
        if (!Dialogs.AskYesNo(this, QString("No Files Selected. Select ALL %1 item(s)?").arg(count))) return false;
        actSelectAllExecute();
    }
    return MP3ListView->SelectedCount() > 0;
}

std::vector<int> TBrowserForm::SelectedRowIndexes() const {
    const std::vector<char> selected = MP3ListView->SelectedRows();
    std::vector<int> rows;
    for (size_t r = 0; r < selected.size(); ++r)
        if (selected[r]) rows.push_back(int(r));
    return rows;
}

void TBrowserForm::RefreshRows(const std::vector<int>& rows) {
    TBatchErrors errors;
    MP3ListView->RefreshItems(rows, errors, "Refreshing file(s)...");
    errors.Show(Dialogs, this);
    UpdateStatus();
}

void TBrowserForm::actEditTagsExecute() {
    if (!SelectionReady()) return;
    MP3ListView->EditMode = true;
    Host.BrowserStateChanged();
    TagEditor = new TTagEditorForm(Host.AppPaths(), Store, Dialogs, this);
    TagEditor->Changes = Host.Changes();
    TagEditor->RowSaved = [this](int row) { MP3ListView->RefreshItem(row); };
    TagEditor->PlayFile = [this](const QString& file) { Host.PlayFile(file); };
    TagEditor->Closed = [this] {
        TagEditor = nullptr;
        MP3ListView->EditMode = false;
        UpdateStatus();
    };
    for (int r : SelectedRowIndexes()) TagEditor->AddFile(MP3ListView->FileNameAt(r), r);
    TagEditor->Start();
}

void TBrowserForm::actRenameFilesExecute() {
    if (!SelectionReady()) return;
    const std::vector<int> rows = SelectedRowIndexes();
    TRenameForm form(Host.OutputForm(), Dialogs, this);
    form.Changes = Host.Changes();
    form.BeginRename();
    for (int r : rows) form.AddRenameFile(MP3ListView->FileNameAt(r));
    form.PrepareIndexes();
    for (int r : rows) form.AddIndex(r);
    if (Dialogs.Exec(form) != QDialog::Accepted) return;
    // A file may have moved to another folder: its row takes its folder and its name.
    for (const auto& [row, name] : form.Renamed) {
        const QFileInfo moved(name);
        MP3ListView->SetField(row, "Path", QDir::toNativeSeparators(moved.path()) + QDir::separator());
        MP3ListView->SetFileName(row, moved.fileName());
    }
    RefreshRows(rows);
}

void TBrowserForm::actMakeListExecute() {
    if (!SelectionReady()) return;
    TMakeListForm form(Host.AppPaths(), Host.OutputForm(), Dialogs, this);
    form.BeginList();
    for (int r : SelectedRowIndexes()) form.AddListFile(MP3ListView->FileNameAt(r));
    Dialogs.Exec(form);
}

void TBrowserForm::actStartWizardExecute() { WizardMenu->popup(QCursor::pos()); }

void TBrowserForm::mnuFilenameToTagExecute() {
    if (!SelectionReady()) return;
    const std::vector<int> rows = SelectedRowIndexes();
    TFilename2TagWizardForm wizard(Host.AppPaths(), Host.OutputForm(), Store, Dialogs, this);
    wizard.ShowHelp = [this](const QString& topic) { Host.ShowHelp(topic); };
    wizard.Changes = Host.Changes();
    wizard.SetWizardFolder(QFileInfo(MP3ListView->FileNameAt(rows.front())).absolutePath());
    bool accepted = true;
    for (int r : rows) accepted = wizard.AddWizardFile(MP3ListView->FileNameAt(r)) && accepted;
    if (!accepted) {
        Dialogs.Error(this, "All files must resist in the same directory!");
        return;
    }
    if (Dialogs.Exec(wizard) == QDialog::Accepted) Host.RunCommand(TBrowserHost::TCommand::Refresh);
}

void TBrowserForm::actSelectAllExecute() {
    MP3ListView->SelectAll();
    if (!MP3ListView->EditMode) UpdateCommandStates();
}

void TBrowserForm::actSelectNoneExecute() {
    MP3ListView->SelectNone();
    if (!MP3ListView->EditMode) UpdateCommandStates();
}

void TBrowserForm::actSelectInverseExecute() {
    MP3ListView->SelectInverse();
    if (!MP3ListView->EditMode) UpdateCommandStates();
}

void TBrowserForm::actCloseBrowserExecute() {
    if (QMdiSubWindow* sub = SubWindow())
        sub->close();
    else
        close();
}

void TBrowserForm::UpdateContextMenu() {
    const bool one = MP3ListView->SelectedCount() > 0;
    for (QAction* a : {actPlay, actCopyTags, actShowInFolder}) a->setEnabled(one);
    actPasteTags->setEnabled(CopiedTags().has_value() && MP3ListView->Count() > 0);
    actRemoveFromList->setEnabled(MP3ListView->Count() > 0);
}

void TBrowserForm::actPlayExecute() {
    const QString file = MP3ListView->FocusedFileName();
    if (!file.isEmpty()) Host.PlayFile(file);
}

void TBrowserForm::actCopyTagsExecute() {
    const QString file = MP3ListView->FocusedFileName();
    if (file.isEmpty()) return;
    TCollectingSink sink;
    TMP3Object object(sink);
    if (!object.LoadFile(ToPath(file), false)) {
        TBatchErrors errors;
        for (const std::string& m : sink.Messages) errors.Add(file, FromUtf8(m));
        if (errors.IsEmpty()) errors.Add(file, "The tags cannot be read.");
        errors.Show(Dialogs, this);
        return;
    }
    CopiedTags() = velmar::CopiedFields(velmar::CommonTags(object));
}

void TBrowserForm::actPasteTagsExecute() {
    if (!CopiedTags() || !SelectionReady()) return;
    const std::vector<int> rows = SelectedRowIndexes();
    velmar::TTagValues values;
    values.Fields = *CopiedTags();
    velmar::TFileChange change{"Paste Tags", "Paste tags", {}, {}};
    for (int row : rows) change.Files.push_back(ToPath(MP3ListView->FileNameAt(row)));
    change.Write = [&values](const std::filesystem::path& file, velmar::TMessageSink& sink) {
        return velmar::WriteTagValues(file, values, sink) != velmar::TTagWrite::Failed;
    };
    TBatchErrors errors;
    {
        TChangeScope recorded(Host.Changes(), "Paste Tags", "Paste tags", Dialogs, this);
        TProgress progress(this, "Pasting tags...", int(rows.size()));
        velmar::ApplyChange(change, {nullptr, nullptr, [&](size_t i, const velmar::TFileOutcome& outcome) {
                                         for (const std::string& m : outcome.Messages)
                                             errors.Add(FromPath(change.Files[i]), FromUtf8(m));
                                         return progress.Step(int(i + 1));
                                     }});
    }
    MP3ListView->RefreshItems(rows, errors, "Refreshing file(s)...");
    errors.Show(Dialogs, this);
    UpdateStatus();
}

void TBrowserForm::CellEdited(int row, int column, const QString& text) {
    if (MP3ListView->EditMode || row < 0 || row >= MP3ListView->Count()) return;
    const QString caption = MP3ListView->StrList().value(column);
    velmar::TTagValues values;
    values.Fields = velmar::CellFieldValues(caption.toStdString(), text.toStdString());
    if (values.Fields.empty()) return;
    const QString name = MP3ListView->FileNameAt(row);
    velmar::TFileChange change{"List", "Edit tag", {ToPath(name)}, {}};
    change.Write = [&values](const std::filesystem::path& file, velmar::TMessageSink& sink) {
        return velmar::WriteTagValues(file, values, sink) != velmar::TTagWrite::Failed;
    };
    TBatchErrors errors;
    {
        TChangeScope recorded(Host.Changes(), "List", "Edit tag", Dialogs, this);
        velmar::ApplyChange(change, {nullptr, nullptr, [&](size_t, const velmar::TFileOutcome& outcome) {
                                         for (const std::string& m : outcome.Messages) errors.Add(name, FromUtf8(m));
                                         return true;
                                     }});
    }
    // The row shows what the file now holds, the typed text or, when it was refused, the old one.
    MP3ListView->RefreshItems({row}, errors, "Refreshing file(s)...");
    errors.Show(Dialogs, this);
    UpdateStatus();
}

void TBrowserForm::actShowInFolderExecute() {
    const QString file = MP3ListView->FocusedFileName();
    if (file.isEmpty()) return;
    const QString folder = QFileInfo(file).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        Dialogs.Error(this, QString("The folder \"%1\" is not there any more.").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    if (!OpenLocation(QUrl::fromLocalFile(folder)))
        Dialogs.Error(this, QString("No file manager could show \"%1\".").arg(QDir::toNativeSeparators(folder)));
}

void TBrowserForm::WriteColumnWidths() {
    const QStringList captions = MP3ListView->StrList();
    for (int i = 0; i < captions.size(); ++i) Store.WriteInteger("Column Width", captions[i], MP3ListView->OwnWidth(i));
}

void TBrowserForm::closeEvent(QCloseEvent* event) {
    if (MP3ListView->EditMode) {
        MP3ListView->ShowEditModeMessage();
        event->ignore();
        if (QMdiSubWindow* sub = SubWindow()) sub->showMinimized();
        return;
    }
    if (MP3ListView->Count() > 0) {
        if (!ClosingWithoutPrompt) {
            const TAnswer answer = Dialogs.AskYesNoCancel(this, "Save playlist?");
            if (answer == TAnswer::Cancel) {
                event->ignore();
                return;
            }
            if (answer == TAnswer::Yes) {
                actSelectAllExecute();
                Host.SavePlaylistOf(this);
            }
        }
        setAcceptDrops(false);
        WriteColumnWidths();
    }
    event->accept();
    Host.BrowserClosing(this);
}

void TBrowserForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TBrowserForm::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    DropFiles(DroppedPaths(*event->mimeData()));
}

}  // namespace velmar::gui
