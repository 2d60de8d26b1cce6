#pragma once
// TMakeListForm ("Make List"): writes a report of the selected files from a
// predefined list (its top, main and end templates) and an output format of mode
// "MakeList". The templates are edited and saved here.
#include <QDialog>
#include <QStringList>

#include "batch/makelist.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace velmar::gui {

class TDialogs;
class TOutputForm;
struct TAppPaths;

class TMakeListForm : public QDialog {
    Q_OBJECT
public:
    TMakeListForm(const TAppPaths& paths, TOutputForm& output, TDialogs& dialogs, QWidget* parent = nullptr);

    // The hand-in: a new start, then each selected row's full file name in row order.
    void BeginList();
    void AddListFile(const QString& fullFileName);

    QString ListsFolder() const { return Folder; }
    QString SelectedList() const;
    // "&Make List": writes the report named in the "Filename" field.
    void MakeList();
    bool Modified = false;

    QListWidget* lstLists;
    QPushButton* btnAddList;
    QPushButton* btnRenameList;
    QPushButton* btnDeleteList;
    QListWidget* lstFormats;
    QPushButton* btnNewFormat;
    QPushButton* btnEditFormat;
    QPushButton* btnDeleteFormat;
    QTabWidget* Pages;
    QPlainTextEdit* memTop;
    QPlainTextEdit* memMain;
    QPlainTextEdit* memEnd;
    QPushButton* btnSave;
    QPushButton* btnFont;
    QPushButton* btnTagHelp;
    QLineEdit* edtFileName;
    QToolButton* btnBrowse;
    QPushButton* btnMakeList;
    QPushButton* btnExit;
    QLabel* StatusPanels[2];

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    QWidget* CreateListsBox();
    QWidget* CreateFormatsBox();
    void CreateControls();
    void ConnectLists();
    void ConnectFormats();
    void FillLists(const QString& select);
    void FillFormats();
    void LoadSelectedList();
    void FollowListExtension();  // the report name's extension follows the list shown
    void SaveList();
    void AskToSave();  // "Save changes made to ...?" while there are unsaved edits
    void AddList();
    void RenameList();
    void DeleteList();
    void Browse();

    const TAppPaths& Paths;
    TOutputForm& Output;
    TDialogs& Dialogs;
    QString Folder;  // the predefined lists, with a trailing "/"
    QStringList Files;
    QString ShownList;  // the list whose templates are shown
};

}  // namespace velmar::gui
