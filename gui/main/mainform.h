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
#include "change/history.h"

class QAction;
class QLabel;
class QMenu;
class QMdiSubWindow;
class QTimer;
class QToolBar;

namespace velmar::gui {

// Property of a browser's sub-window: its geometry while it was last neither minimised nor maximised.
inline constexpr char kNormalGeometry[] = "velmarNormalGeometry";

class TChanges;
class TDialogs;
class TEqualizer;
class TExternalPlayer;
class TGraphics;
class TOutputForm;
class TVolPosBar;
class TXaudioPlayer;
class TRegisterComp;
class TSearchItemsForm;

// The client area behind the child windows: its picture tiled over its colour, or
// centred or stretched.
class TBackgroundArea : public QMdiArea {
    Q_OBJECT
public:
    enum TMode { Tile = 0, Centre = 1, Stretch = 2 };
    // How much of a tiled picture covers the area colour beneath it.
    static constexpr double kTileOpacity = 0.7;
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
    QAction* actPreferences;
    // Undo and Redo name the change they would take back or give again; History... lists them all.
    QAction* actUndo;
    QAction* actRedo;
    QAction* actHistory;
    // The transport, shared with the browsers' "&Player" menus.
    QAction* actPreviousTrack;
    QAction* actRewindTrack;
    QAction* actPlayTrack;
    QAction* actPauseTrack;
    QAction* actStopTrack;
    QAction* actForwardTrack;
    QAction* actNextTrack;
    QAction* actEqualizer;
    TXaudioPlayer* XPlayer = nullptr;  // the program's own player
    TVolPosBar* VolPos = nullptr;
    TEqualizer* Equalizer = nullptr;
    // With "Use XPlayer" off, an external player driven over D-Bus, and the timers
    // that follow its state and make the time blink while it is paused.
    bool InternalPlayer = true;
    TExternalPlayer* External = nullptr;
    QTimer* IdleTimer = nullptr;
    QTimer* PauseTimer = nullptr;
    QString PausedTime;
    QLabel* TimePanel = nullptr;     // status panel 0: the play time
    QLabel* MessagePanel = nullptr;  // status panel 1
    int PlayerState = 0;             // 0 stopped, 1 playing, 3 paused
    int TotalSeconds = 0;            // the length of what plays, minus one second
    int ElapsedSeconds = 0;
    QString TotalTime = "00:00";
    QString PlayingFile;  // the file the player was last given

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
    // The start's paths; without any, one empty browser unless saved ones came back.
    void OpenStartPaths(const QStringList& paths);
    // Files dropped on the background: a new browser when anything is to be added.
    void DropPaths(const QStringList& paths);
    void SaveWindows();     // every browser into "Recent Files", then closed without asking
    void RestoreWindows();  // the saved browsers back, each once
    void SavePlaylistOf(TBrowserForm* browser) override;
    void LoadPlaylistInto(TBrowserForm* browser, const QString& file);
    void BrowserClosing(TBrowserForm* browser) override;
    void RunCommand(TCommand command) override;
    void BrowserStateChanged() override;
    QList<QAction*> PlayerActions() override;
    QAction* EqualizerAction() override { return actEqualizer; }
    void PlayFile(const QString& file) override;
    void ShowHelp(const QString& topic) override;
    // The play time in status panel 0, from the elapsed seconds, by the time mode.
    void ShowTime(int elapsed);
    TOutputForm& OutputForm() override;
    const TAppPaths& AppPaths() const override { return Paths; }
    TChanges* Changes() override { return UndoHistory.get(); }
    QList<QAction*> UndoActions() override { return {actUndo, actRedo, actHistory}; }
    // Undo and Redo named after the changes they would undo and redo, or disabled.
    void UpdateUndoActions();
    // Undoes the change `id` (0: the newest not undone), or redoes the change undone
    // last. The rows of the browsers follow the files; the files left as they are,
    // each with its reason, are shown in one list.
    velmar::TUndoOutcome TurnChange(bool undo, uint64_t id, QWidget* parent);
    void ApplyBackground();

public slots:
    void actNewBrowserExecute();
    void actLoadSongListExecute();
    void actSaveSongListExecute();
    void actMoveUpExecute();
    void actMoveDownExecute();
    void actRefreshExecute();
    void FinishCutShortSaves(TBrowserForm* b, const std::vector<int>& rows, const QStringList& files);
    void actSearchExecute();
    void actMPEGCheckExecute();
    void actWipeTagsExecute();
    void actMatchToTimeExecute();
    void actCascadeExecute();
    void actTileHorizontalExecute();
    void actTileVerticalExecute();
    void actArrangeExecute();
    void actAboutExecute();
    void actPreferencesExecute();
    void actUndoExecute();
    void actRedoExecute();
    void actHistoryExecute();
    void actPlayTrackExecute();
    void actPauseTrackExecute();
    void actStopTrackExecute();
    void actRewindTrackExecute();
    void actForwardTrackExecute();
    void actPreviousTrackExecute();
    void actNextTrackExecute();
    void actEqualizerExecute();

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
    void CreatePlayer();  // the engine, the transport actions and tool bar, the volume and position bar
    void ConnectPlayer();
    void InitPlayer();  // at the first activation
    void UpdateTransport(int selected, int first, int count, bool editing);
    void StepTrack(int step);
    // The engine's equalizer and volume: the bar's volume times the equalizer's level.
    void ApplySound();
    // After the preferences: the pictures, background and columns they changed.
    void ApplyPreferences(bool columns, bool mainScheme, bool browserScheme, bool skin);
    void ReloadPictures();
    // Gives an action a picture of the tool-bar strip, kept by number for a reload with another skin.
    void SetToolbarIcon(QAction* action, int icon);
    void InitExternalPlayer();
    void PollExternalPlayer();
    bool LaunchExternalPlayer(const QString& file);
    void WriteStartDefaults();
    void RestoreToolBarPosition();
    void MoveItem(int step);
    // The menu bar: the active browser's menus, or the main window's own "&File", then "&Window" and "&?".
    void ShowMenusOf(TBrowserForm* browser);
    int CascadeStep() const;
    QList<QMdiSubWindow*> ShownChildren() const;  // neither minimised nor hidden
    void PlaceChildren(const QList<QMdiSubWindow*>& children, const QList<QRect>& places);
    void Tile(Qt::Orientation stacking);
    void RestoreMaximisedChildren();
    void FillWindowList();  // the open windows at the end of "&Window", the active one checked
    void ShowTitle();       // the active browser's title, then the program's
    void Status(const QString& text);
    // After an undo or redo: rows whose files moved take their names, rows whose files were written are read again.
    void FollowFiles(const velmar::TUndoOutcome& outcome);

    std::function<void(const QString&)> StatusCallback;
    TSearchItemsForm* Search = nullptr;
    TOutputForm* Output = nullptr;  // made at its first use, a child of this window
    std::unique_ptr<TChanges> UndoHistory;
    QMenu* MainFileMenu = nullptr;
    QMenu* MainEditMenu = nullptr;
    QMenu* WindowMenu = nullptr;
    QList<QAction*> WindowListActions;
    QMenu* HelpMenu = nullptr;
    QPointer<TBrowserForm> ShownMenus;
    int NextPlace = 0;  // the cascade place of the next new browser
    bool Started = false;
    bool FirstActivate = true;
    bool Closing = false;
};

}  // namespace velmar::gui
