#pragma once
// TBrowserForm: a child window of the main window ("MP3 Browser") holding one file
// list and the commands that act on it.
#include <QList>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <vector>

class QAction;
class QLabel;
class QMdiSubWindow;
class QMenu;
class QStatusBar;
class QToolButton;
class QUrl;

namespace velmar::gui {

class TDialogs;
class TGraphics;
class TMP3ListView;
class TOutputForm;
class TRegisterComp;
class TBrowserForm;
class TChanges;
class TTagEditorForm;
struct TAppPaths;

// What a browser window asks of the window that holds it: the commands it shares
// with that window, and the news that its rows, selection or life changed.
class TBrowserHost {
public:
    enum class TCommand {
        NewBrowser,
        LoadPlaylist,
        SavePlaylist,
        Search,
        Refresh,
        MPEGCheck,
        WipeTags,
        MatchToTime,
        Preferences
    };
    virtual void RunCommand(TCommand command) = 0;
    virtual void BrowserStateChanged() = 0;  // rows or selection changed: command states follow
    virtual void SavePlaylistOf(TBrowserForm* browser) = 0;
    virtual void BrowserClosing(TBrowserForm* browser) = 0;
    // The program's one output-format engine and its folders, for the rename and wizard windows.
    virtual TOutputForm& OutputForm() = 0;
    virtual const TAppPaths& AppPaths() const = 0;
    // The transport commands, shown in the window's "&Player" menus; playing a file.
    virtual QList<QAction*> PlayerActions() = 0;
    virtual QAction* EqualizerAction() = 0;
    virtual void PlayFile(const QString& file) = 0;
    virtual void ShowHelp(const QString& topic) = 0;
    // The history of changes that the windows' writes and renames go into (none: not recorded),
    // and Undo, Redo and History..., shown first in the window's "&Edit" menu.
    virtual TChanges* Changes() = 0;
    virtual QList<QAction*> UndoActions() = 0;

protected:
    ~TBrowserHost() = default;
};

// The vertical strip of large buttons on the left, over its background picture.
class TBrowserStrip : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void SetPicture(const QPixmap& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap Picture;
};

class TBrowserForm : public QWidget {
    Q_OBJECT
public:
    TBrowserForm(TBrowserHost& host, TRegisterComp& store, TGraphics& graphics, TDialogs& dialogs);

    TMP3ListView* MP3ListView;
    QStatusBar* StatusBar;
    QLabel* StatusPanels[3];
    TBrowserStrip* Strip;

    QAction* actAddFiles;
    QAction* actAddDir;
    QAction* actDeleteItems;
    QAction* actEditTags;
    QAction* actRenameFiles;
    QAction* actMakeList;
    QAction* actStartWizard;  // pops up the wizard menu
    QAction* mnuFilenameToTag;
    QMenu* WizardMenu;
    QAction* actSelectAll;
    QAction* actSelectNone;
    QAction* actSelectInverse;
    QAction* actCloseBrowser;
    // The list's context menu: play the file, copy the tags of one file and write them
    // to others, take rows off the list, and show a file's folder.
    QAction* actPlay;
    QAction* actCopyTags;
    QAction* actPasteTags;
    QAction* actRemoveFromList;
    QAction* actShowInFolder;
    // Opens a folder in the desktop's file manager; true when it could.
    std::function<bool(const QUrl&)> OpenLocation;
    // Menu entries that run the main window's commands on this browser.
    QAction* mnuNewBrowser;
    QAction* mnuNewDatabase;
    QAction* mnuLoadPlaylist;
    QAction* mnuSavePlaylist;
    QAction* mnuSearch;
    QAction* mnuRefresh;
    QAction* mnuMPEGCheck;
    QAction* mnuWipeTags;
    QAction* mnuMatchToTime;
    QAction* mnuPreferences;
    QMenu* ContextMenu;
    // "&File", "&Edit" and "&Tools": the main window shows them while this browser is active.
    QList<QMenu*> Menus;

    // The tag editor while it is open on this window's files.
    TTagEditorForm* TagEditor = nullptr;

    int SortColumn = -999;
    Qt::SortOrder SortOrder = Qt::AscendingOrder;
    bool ClosingWithoutPrompt = false;

    QMdiSubWindow* SubWindow() const;
    // A playlist's name titles the window from now on; an empty name gives the title
    // back to the rows: the name of the folder that holds them, or "MP3 Browser".
    void SetCaption(const QString& caption);
    QString Caption() const;

    void UpdateStatus();
    // Adds the audio files of a folder and of all its sub-folders: a folder's own
    // files before those of its sub-folders.
    void ScanFolder(const QString& folder);
    // Adds files, folders (scanned) and, with `playlists`, the entries of playlists;
    // messages of all files are shown once at the end. Returns the rows added.
    int AddPaths(const QStringList& paths, bool playlists = false);
    // As they are, one row each; messages go to `gather` when given, else are shown at the end.
    void AddFileNames(const QStringList& files, class TBatchErrors* gather = nullptr);
    void DropFiles(const QStringList& paths);
    void LoadGraphics();  // button images and the strip picture
    void WriteColumnWidths();
    // Enables the window's own commands for a list with rows, by whether any is selected.
    void UpdateListCommands();
    void ReadColumns();  // captions, widths and grid from the settings store; removes every row

public slots:
    void actAddFilesExecute();
    void actAddDirExecute();
    void actDeleteItemsExecute();
    void actEditTagsExecute();
    void actRenameFilesExecute();
    void actMakeListExecute();
    void actStartWizardExecute();
    void mnuFilenameToTagExecute();
    void actSelectAllExecute();
    void actSelectNoneExecute();
    void actSelectInverseExecute();
    void actCloseBrowserExecute();
    void actPlayExecute();
    void actCopyTagsExecute();
    void actPasteTagsExecute();
    void actShowInFolderExecute();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The steps of building the window.
    void CreateActions();
    void CreateMenus();  // the window's menus and the list's context menu
    void CreateStrip();
    void CreateStatusBar();
    void LayOut();
    void ConnectList();
    void SelectionChanged(bool becameSelected);
    void UpdateCommandStates();
    void HeaderClicked(int column);
    // Writes a tag cell typed in the list to the row's file, as one undoable change.
    void CellEdited(int row, int column, const QString& text);
    void UpdateContextMenu();  // enables its commands by the rows there are and are selected
    // What the commands on the selection do first: refuse in edit mode or without rows,
    // offer to select all rows when none is. True when rows are selected.
    bool SelectionReady();
    std::vector<int> SelectedRowIndexes() const;
    void RefreshRows(const std::vector<int>& rows);
    void RowsChanged();
    void ShowCaption();
    QString ListName;  // the playlist the window shows, if any
    bool CaptionStale = false;
    TRegisterComp& Store;
    TGraphics& Graphics;
    TDialogs& Dialogs;
    TBrowserHost& Host;
    static constexpr int kStripButtons = 7;
    QToolButton* StripButtons[kStripButtons];
};

}  // namespace velmar::gui
