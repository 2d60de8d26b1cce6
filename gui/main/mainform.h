#pragma once
// TMainForm: the main frame window. It owns the settings store, the pictures and
// the browser windows (child windows of its background area), and carries the
// commands that act on the active browser.
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <functional>
#include <memory>

#include "app/appcontext.h"
#include "browser/browser.h"

class QAction;
class QLabel;
class QMenu;
class QMdiSubWindow;
class QToolBar;

namespace velmar::gui {

// Property of a browser's sub-window: its geometry while it was last neither minimised nor maximised.
inline constexpr char kNormalGeometry[] = "velmarNormalGeometry";

class TDialogs;
class TGraphics;
class TOutputForm;
class TRegisterComp;
class TSearchItemsForm;

// The client area behind the child windows: its picture tiled, centred or stretched.
class TBackgroundArea : public QMdiArea {
    Q_OBJECT
public:
    enum TMode { Tile = 0, Centre = 1, Stretch = 2 };
    using QMdiArea::QMdiArea;
    void SetPicture(const QPixmap& picture);
    void SetMode(int mode);
    int Mode() const { return PictureMode; }
    void SetAreaColour(const QColor& colour);

signals:
    void EmptySpaceDoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QPixmap Picture;
    int PictureMode = Tile;
    QColor AreaColour = QColor(128, 128, 128);
};

class TMainForm : public QMainWindow, public TBrowserHost {
    Q_OBJECT
    // Made first: MainReg and Graphics refer to them.
    std::unique_ptr<TRegisterComp> Store;
    std::unique_ptr<TGraphics> Pictures;

public:
    // `status` receives the start-up status texts ("Status: Loading Graphics"...).
    TMainForm(const TAppPaths& paths, TDialogs& dialogs, std::function<void(const QString&)> status = {});
    ~TMainForm() override;

    // False when the built-in pictures could not be loaded: the program ends.
    bool Ok() const { return Started; }

    const TAppPaths Paths;
    TDialogs& Dialogs;
    TRegisterComp& MainReg;
    TGraphics& Graphics;
    TBackgroundArea* Area;
    QToolBar* MainToolBar;
    int TimeMode = 0;

    QAction* actNewBrowser;
    QAction* actNewDatabase;
    QAction* actLoadSongList;
    QAction* actSaveSongList;
    QAction* actMoveUp;
    QAction* actMoveDown;
    QAction* actRefresh;
    QAction* actSearch;
    QAction* actMPEGCheck;
    QAction* actWipeTags;
    QAction* actMatchToTime;
    QAction* actExit;
    QAction* actCascade;
    QAction* actTileHorizontal;
    QAction* actTileVertical;
    QAction* actArrange;
    QAction* actCloseAll;
    QAction* actAbout;

    TBrowserForm* NewBrowser();
    TBrowserForm* ActiveBrowser() const;
    QList<TBrowserForm*> Browsers() const;  // in the order they were created
    QList<QMdiSubWindow*> Children() const;
    int ChildCount() const;
    void ActivateBrowser(TBrowserForm* browser);
    TSearchItemsForm& SearchForm();

    // Enables the commands that fit the active browser's rows and selection;
    // `childCount` is the number of child windows the caller counts.
    void UpdateCommandStates(int childCount);
    // Runs once, at the first activation: restores the saved browser windows.
    void FirstActivation();
    bool FirstActivationDone() const { return !FirstActivate; }
    // One browser window with the files, folders and playlists named (command line,
    // or handed over by a second start of the program).
    void OpenPaths(const QStringList& paths);
    // Files dropped on the background: a new browser when anything is to be added.
    void DropPaths(const QStringList& paths);
    void SaveWindows();     // every browser into "Recent Files", then closed without asking
    void RestoreWindows();  // the saved browsers back, each once
    void SavePlaylistOf(TBrowserForm* browser) override;
    void LoadPlaylistInto(TBrowserForm* browser, const QString& file);
    void BrowserClosing(TBrowserForm* browser) override;
    void RunCommand(TCommand command) override;
    void BrowserStateChanged() override;
    TOutputForm& OutputForm() override;
    const TAppPaths& AppPaths() const override { return Paths; }
    void ApplyBackground();

public slots:
    void actNewBrowserExecute();
    void actLoadSongListExecute();
    void actSaveSongListExecute();
    void actMoveUpExecute();
    void actMoveDownExecute();
    void actRefreshExecute();
    void actSearchExecute();
    void actMPEGCheckExecute();
    void actWipeTagsExecute();
    void actMatchToTimeExecute();
    void actCascadeExecute();
    void actTileHorizontalExecute();
    void actTileVerticalExecute();
    void actArrangeExecute();
    void actAboutExecute();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The steps of building the window.
    void CreateArea();  // the background area that holds the browsers
    void CreateActions();
    void CreateMenusAndToolBar();
    void CreateStatusBar();
    void WriteStartDefaults();
    void RestoreToolBarPosition();
    void MoveItem(int step);
    // The menu bar: the active browser's menus, or the main window's own "&File", then "&Window" and "&?".
    void ShowMenusOf(TBrowserForm* browser);
    int CascadeStep() const;
    QList<QMdiSubWindow*> ShownChildren() const;  // neither minimised nor hidden
    void PlaceChildren(const QList<QMdiSubWindow*>& children, const QList<QRect>& places);
    void Tile(Qt::Orientation stacking);
    void Status(const QString& text);

    std::function<void(const QString&)> StatusCallback;
    TSearchItemsForm* Search = nullptr;
    TOutputForm* Output = nullptr;  // made at its first use, a child of this window
    QMenu* MainFileMenu = nullptr;
    QMenu* WindowMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QPointer<TBrowserForm> ShownMenus;
    int NextPlace = 0;  // the cascade place of the next new browser
    bool Started = false;
    bool FirstActivate = true;
    bool Closing = false;
};

}  // namespace velmar::gui
