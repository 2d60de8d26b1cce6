#pragma once
// TRenameForm ("Rename files"): gives the selected files of a browser new names from
// their tags by an output format of mode "Rename". Before anything moves it lists
// every file with the name it will get and marks the names that cannot be used;
// the core's plan of the moves is then carried out as it was shown.
#include <QDialog>
#include <QStringList>
#include <vector>

#include "app/messagesink.h"
#include "batch/rename.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;
class QPushButton;
class QStatusBar;
class QTreeWidget;

namespace velmar::gui {

class TChanges;
class TDialogs;
class TOutputForm;

class TRenameForm : public QDialog {
    Q_OBJECT
public:
    TRenameForm(TOutputForm& output, TDialogs& dialogs, QWidget* parent = nullptr);

    // The hand-in, in this order: a new start, each selected row's full file name,
    // then each selected row's index, in row order.
    void BeginRename();
    void AddRenameFile(const QString& fullFileName);
    void PrepareIndexes();
    void AddIndex(int row);

    // "Rename": works the names out again against the folders as they are now. Files
    // whose new name cannot be used are listed once, each with its reason, with the
    // choice to rename the others or to go back to the window; the others are then
    // moved in the plan's order and the window closes with OK. Moves that still fail
    // are shown once at the end.
    void RenameFiles();
    // After renaming: the row index and the new full name of each file moved.
    QList<QPair<int, QString>> Renamed;
    // Where the renaming is recorded, to be undone; none: it is not.
    TChanges* Changes = nullptr;

    QListWidget* lstFormats;
    QTreeWidget* lvNames;  // each file, the name it gets, and why it cannot get it
    QPushButton* btnNew;
    QPushButton* btnEdit;
    QPushButton* btnDelete;
    QPushButton* btnRename;
    QPushButton* btnExit;
    // Where the new names go: empty, each file's own folder.
    QLineEdit* edtTarget;
    QToolButton* btnBrowse;
    // Folders the new names need are made when checked; otherwise such a name is a problem.
    QCheckBox* chkMakeFolders;
    QStatusBar* StatusBar;
    QLabel* StatusPanels[2];

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void Refill();
    void FormatChosen();
    void UpdateNames();
    void ReadValues();
    void Browse();
    // The target folder, its browse button, "Make folders", "Rename" and "Exit".
    QHBoxLayout* BottomRow();
    QString ShownName(const velmar::TRenamePlan& plan) const;
    // The target folder as a full path; empty for each file's own folder.
    QString TargetFolder() const;

    TOutputForm& Output;
    TDialogs& Dialogs;
    QStringList FileNames;
    std::vector<int> RowIndexes;
    std::vector<velmar::TFileValues> Values;  // read once, when the window is shown
    TBatchErrors ReadErrors;                  // of reading them, shown once after renaming
    std::vector<velmar::TRenamePlan> Plans;
};

}  // namespace velmar::gui
