#pragma once
// TOutputForm: the one output-format engine of the program and, at the same time,
// the modal editor of the formats of one mode. The feature windows switch it to
// their mode, let the user pick or edit a format, then have it gather the values
// of a file and expand a mask. The rules themselves live in batch/outputformat.
#include <QDialog>
#include <QStringList>
#include <memory>

#include "batch/outputformat.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;
class QToolButton;

namespace velmar::gui {

class TDialogs;
class TRegisterComp;
class TTagHelpForm;
struct TAppPaths;

class TOutputForm : public QDialog {
    Q_OBJECT
public:
    TOutputForm(const TAppPaths& paths, TRegisterComp& store, TDialogs& dialogs, QWidget* parent = nullptr);
    ~TOutputForm() override;

    QString Mode;
    QString FormatFolder;               // the formats of `Mode`, with a trailing "/"
    velmar::TTags Format;               // the format loaded last
    QString FormatName;                 // its name; empty when none is loaded
    velmar::TTokenValues ParsedFields;  // of the last MatchFileName
    bool Modified = false;

    // Switches to a mode: its folder (made when missing; the shipped formats are copied
    // into a writable DATA folder of its own), the editor's caption and labels, its list.
    // False after "Unable to create the directory: ...".
    bool SelectMode(const QString& mode);
    void SetExpansionMode(const QString& mode) { Mode = mode; }
    // The format names of the mode's folder, sorted by name, so that a stored index
    // means the same format in every window that lists them.
    QStringList FormatNames() const;
    bool LoadFormat(const QString& name);  // "File: ... not found!" when missing
    bool SaveFormat(const QString& name);
    // Asks for a name and creates an empty format, selected and stored as the mode's choice.
    bool NewFormat(QWidget* parent);
    bool DeleteFormat(const QString& name, QWidget* parent);        // asks first
    QString RenameFormat(const QString& oldName, QWidget* parent);  // the name now in effect

    // The mode's stored choice: the index of the chosen format in FormatNames().
    int StoredChoice() const;
    void StoreChoice(int index);

    QString PreviewMask(const QString& mask) const;
    bool MatchFileName(const QString& name, const QString& mask);

    // Shows the editor modally on the mode's stored choice.
    int Edit(QWidget* caller);
    void ShowTagHelp(QWidget* caller);
    TTagHelpForm& TagHelp();

    // The editor's controls.
    QListWidget* lstOutputs;
    QToolButton* btnNew;
    QToolButton* btnRename;
    QToolButton* btnDelete;
    QLabel* lblUser;
    QLineEdit* edtUser;
    QListWidget* lstTags;
    QLineEdit* edtPrefix;
    QLineEdit* edtSuffix;
    QPushButton* btnAdd;
    QPushButton* btnSave;
    QPushButton* btnTagHelp;
    QPushButton* btnExit;
    QStatusBar* StatusBar;
    QLabel* lblPreview;

protected:
    void done(int result) override;

private:
    void CreateControls();
    void ConnectControls();
    void FillList(const QString& select);
    void RefreshControls();
    void ShowSelectedTag();
    void UpdatePreview();
    void FormatChosen(int row);
    void Save();
    velmar::TMessageSink& Messages();

    const TAppPaths& Paths;
    TRegisterComp& Store;
    TDialogs& Dialogs;
    std::unique_ptr<velmar::TMessageSink> BoxSink;
    TTagHelpForm* HelpForm = nullptr;
    bool Filling = false;  // the list is being refilled: choices are not user choices
};

}  // namespace velmar::gui
