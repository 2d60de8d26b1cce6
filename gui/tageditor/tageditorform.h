#pragma once
// TTagEditorForm: edits every tag of the files selected in a browser window, one
// file at a time. The controls show a TEditorFields; what the user changes goes
// into the edited copy, and saving writes only what differs from the file as read.
#include <QList>
#include <QMap>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "edit/editorfields.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;

namespace velmar {
class TMP3Object;
class TCollectingSink;
}  // namespace velmar

namespace velmar::gui {

class TChanges;
class TComboBoxDB;
class TDialogs;
class TRegisterComp;
struct TAppPaths;

class TTagEditorForm : public QWidget {
    Q_OBJECT
public:
    TTagEditorForm(const TAppPaths& paths, TRegisterComp& store, TDialogs& dialogs, QWidget* parent = nullptr);
    ~TTagEditorForm() override;

    // The hand-over: each selected file with its browser row, then Start.
    void AddFile(const QString& fullFileName, int row);
    void Start();

    // Called after a file was saved, with its browser row; and when the window closed.
    std::function<void(int row)> RowSaved;
    std::function<void()> Closed;
    // Plays a file; unset, "&Autoplay Song" is hidden.
    std::function<void(const QString&)> PlayFile;
    // Where the saves are recorded, to be undone; none: they are not. The saves of one
    // window are one change while no other change comes after it.
    TChanges* Changes = nullptr;
    uint64_t SessionChange = 0;

    void btnNextFileClick();
    void btnPreviousFileClick();
    void btnAllFilesClick();
    bool actSaveMP3Execute();  // false when the file could not be saved
    void SetChanged(bool changed);

    int Index = 0;
    bool Changed = false;
    bool ReadOnlyMode = false;
    QStringList Files;
    std::vector<int> Rows;
    // The current file as read; as first shown (older tags filling what ID3v2 lacks);
    // as the controls show it now.
    TEditorFields Read, Shown, Edited;

    // Window-wide controls.
    QLabel* lblCounter;
    QProgressBar* Progress;
    QPushButton* btnPrevious;
    QPushButton* btnNext;
    QPushButton* btnAll;
    QPushButton* btnSave;
    QCheckBox* chkSaveEnabled;
    QCheckBox* chkAutoIncTrack;
    QCheckBox* chkCaseConvert;
    QCheckBox* chkAutoPlay;
    QCheckBox* chkSaveV2;
    QCheckBox* chkSaveLyrics3;
    QCheckBox* chkSaveV1;
    QTabWidget* Pages;
    QLabel* StatusPanels[3];
    // Main page.
    QSpinBox* spnTYER;
    QSpinBox* spnTRCK;
    QSpinBox* spnTRCKTotal;
    QSpinBox* spnTPOS;
    QSpinBox* spnTPOSTotal;
    QComboBox* cmbTCON;
    QLineEdit* edtComment;
    QSpinBox* spnTBPM;
    QPushButton* btnLaunchBPM;
    // Every single text or URL frame field, by identifier (the main page's texts included).
    QMap<QString, TComboBoxDB*> TextBoxes;
    QMap<QString, QCheckBox*> Locks;  // by identifier, and "COMM", "TXXX", "WXXX", "USLT", "POPM", "IPLS" for lists
    // The lists.
    QTreeWidget* lvComments;
    QTreeWidget* lvUserTexts;
    QTreeWidget* lvUserUrls;
    QTreeWidget* lvLyrics;
    QPlainTextEdit* memLyricsText;
    QPlainTextEdit* memLyrics3;
    QPushButton* btnCopyLyrics;
    QTreeWidget* lvPictures;
    QLabel* imgPicture;
    QLabel* lblPictureSize;
    QTreeWidget* lvRatings;
    QCheckBox* chkPlayCounter;
    QSpinBox* spnPlayCounter;
    QTreeWidget* lvPeople;
    // ID3v1 and Lyrics3 page.
    QLineEdit* edtV1[5];  // title, artist, album, year, comment
    QSpinBox* spnV1Track;
    QComboBox* cmbV1Genre;
    QLineEdit* edtL3[5];  // info, author, album, artist, title
    QPlainTextEdit* memL3Images;
    // Contents page.
    QTreeWidget* tvContents;
    QListWidget* lstContents;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Building the window.
    QWidget* CreateMainPage();
    QWidget* CreateTextsPage();
    QWidget* CreateLinksPage();
    QWidget* CreateCommentsPage();
    QWidget* CreateLyricsPage();
    QWidget* CreatePicturesPage();
    QWidget* CreatePeoplePage();
    QWidget* CreateV1Page();
    QWidget* CreateContentsPage();
    void CreateFrame();
    void ConnectMain();
    TComboBoxDB* TextBox(const QString& id, QWidget* parent);
    QCheckBox* Lock(const QString& key, QWidget* parent, const QString& caption = QString());
    QTreeWidget* ListView(const QStringList& headers, QWidget* parent);
    // Add, edit and delete buttons of a list, named "btnAdd" + key and so on.
    QWidget* ListButtons(QWidget* parent, QTreeWidget* list, const QString& key, std::function<void()> add,
                         std::function<void()> edit, std::function<void()> remove);

    // Files.
    void ReadFile();  // the current file into File, Read and Edited
    void LoadCurrent();
    void ApplyLocks(const TEditorFields& previous);
    void ShowFields();
    void ShowLists();
    void ShowPicture();
    void FillContents();
    void Step(int step);
    bool SaveIfWanted();
    void CaseConvertChanged();
    void WriteHistories();

    // Editing the lists.
    void EditLangText(std::vector<TLangTextItem>& items, QTreeWidget* list, bool add, const QString& caption,
                      const QString& history);
    void EditDescValue(std::vector<TDescValueItem>& items, QTreeWidget* list, bool add, const QString& caption,
                       const QString& history);
    void EditRating(bool add);
    void EditPerson(bool add);
    void AddPicture(bool replace);
    void EditPicture();
    void ExtractPicture();
    template <typename T>
    void RemoveSelected(std::vector<T>& items, QTreeWidget* list);
    void ListChanged();

    const TAppPaths& Paths;
    TRegisterComp& Store;
    TDialogs& Dialogs;
    std::unique_ptr<velmar::TCollectingSink> Sink;
    std::unique_ptr<velmar::TMP3Object> File;
    bool Filling = false;  // the controls are being filled: their signals are not edits
    QStringList Touched;   // the text frames the user changed in this file
    // "Save ID3 v1.1" for files without an ID3v1 tag, and whether the user set it in this window.
    bool SaveV1Preference = false;
    bool SaveV1Chosen = false;
};

}  // namespace velmar::gui
