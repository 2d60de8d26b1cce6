#pragma once
// TFilename2TagWizardForm ("Filename To Tag Wizard"): writes new tags into files of
// one folder from their names. Each name is split by a mask of mode "Filename To Tag";
// the values shared by all files are entered once. Four pages: welcome, the files in
// track order, the shared values, and a preview of every file with its own mask.
#include <QDialog>
#include <QStringList>
#include <functional>

#include "batch/filltags.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class QTreeWidget;

namespace velmar::gui {

class TChanges;
class TComboBoxDB;
class TDialogs;
class TOutputForm;
class TRegisterComp;
struct TAppPaths;

class TFilename2TagWizardForm : public QDialog {
    Q_OBJECT
public:
    TFilename2TagWizardForm(const TAppPaths& paths, TOutputForm& output, TRegisterComp& store, TDialogs& dialogs,
                            QWidget* parent = nullptr);

    // The hand-in: the folder of the files, then each file; a file of another folder
    // is refused (false) and not added.
    void SetWizardFolder(const QString& folder);
    bool AddWizardFile(const QString& fullFileName);
    QStringList Files() const { return FileList; }  // full names, in track order

    int Page() const;
    void GoToPage(int page);
    // Steps the preview by `step` files (0: to the first), keeping the mask typed for the file left.
    void StepFile(int step);
    // What "&Finish" writes for the file at `position` (from 1) with its own mask.
    velmar::TFillValues ValuesFor(int position) const;
    // "&Finish": says how many files will be written and how many are left (their names do
    // not fit their masks) and, when the user agrees, writes the files that fit; the
    // files left and those that fail are reported once at the end.
    void Finish();

    // Opens a help topic by name; unset, the help button is disabled.
    std::function<void(const QString&)> ShowHelp;
    // Where the writing is recorded, to be undone; none: it is not.
    TChanges* Changes = nullptr;

    QLabel* lblPage;
    QStackedWidget* Pages;
    QPushButton* btnPrevious;
    QPushButton* btnNext;
    QPushButton* btnCancel;
    QPushButton* btnHelp;
    QCheckBox* chkSaveID3v1;
    QCheckBox* chkSaveID3v2;
    QCheckBox* chkGenerateTrack;
    QCheckBox* chkCaseConvert;
    // Page 2.
    QLineEdit* edtFolder;
    QListWidget* lstFiles;
    QToolButton* btnUp;
    QToolButton* btnDown;
    // Page 3.
    QCheckBox* chkSameArtist;
    TComboBoxDB* dbTPE1;
    TComboBoxDB* dbTALB;
    QComboBox* cmbGenre;
    TComboBoxDB* dbTCOP;
    TComboBoxDB* dbTENC;
    TComboBoxDB* dbTSSE;
    QCheckBox* chkIncludeYear;
    QSpinBox* spnYear;
    QCheckBox* chkIncludeCD;
    QSpinBox* spnCD;
    QSpinBox* spnCDTotal;
    // Page 4.
    QLineEdit* edtFileName;
    QPushButton* btnBack;
    QPushButton* btnForward;
    QLabel* lblPreviewing;
    QProgressBar* Position;
    QListWidget* lstFormats;
    QToolButton* btnNewFormat;
    QToolButton* btnEditFormat;
    QToolButton* btnRenameFormat;
    QToolButton* btnDeleteFormat;
    QPushButton* btnTagHelp;
    QPushButton* btnAssignAll;
    QLineEdit* edtMask;
    QLabel* lblMaskPreview;
    QTreeWidget* lstPlan;  // every file with its mask and whether its name fits
    enum TPreviewField {
        pfArtist,
        pfTitle,
        pfSubTitle,
        pfRemix,
        pfComment,
        pfAlbum,
        pfGenre,
        pfTrack,
        pfYear,
        pfCD,
        pfEncodedBy,
        pfEncodedUsing,
        pfCopyright,
        pfCount
    };
    QLabel* Preview[pfCount];

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* CreateWelcomePage();
    QWidget* CreateFilesPage();
    QWidget* CreateCommonPage();
    QWidget* CreateFormatsPage();
    QWidget* CreatePreviewBox(QWidget* parent);
    void CreateButtons();
    void Connect();
    void ConnectFormatButtons();
    void Reset();
    void FillFormats(bool assignToAll);
    void FormatChosen(int row);
    void MoveFile(int step);
    void MatchCurrent();
    void ShowPlan();
    velmar::TCommonValues Common() const;
    velmar::TFillOptions Options() const;

    const TAppPaths& Paths;
    TOutputForm& Output;
    TRegisterComp& Store;
    TDialogs& Dialogs;
    QString Folder;
    QStringList FileList;
    QStringList Masks;        // the mask of each position in the list
    QStringList FormatMasks;  // the mask of each format in the format list
    int Current = 1;          // the position shown on page 4, from 1
};

}  // namespace velmar::gui
