#pragma once
// TSearchItemsForm ("Search For Items"): the keyword and options of a search of
// the active browser's rows. The options live in the settings store.
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmar::gui {

class TRegisterComp;

struct TSearchOptions {
    QString Keyword;
    bool SelectedItems = false;
    bool CaseSensitive = false;
    bool KeepSelection = false;
    bool NewWindow = false;
};

class TSearchItemsForm : public QDialog {
    Q_OBJECT
public:
    TSearchItemsForm(TRegisterComp& store, QWidget* parent);

    // Empties the keyword and sets the options from the settings store.
    void Prepare();
    TSearchOptions Options() const;

    QLineEdit* edKeyword;
    QRadioButton* rbAllItems;
    QRadioButton* rbSelectedItems;
    QCheckBox* chkKeepSelection;
    QCheckBox* chkCaseSensitive;
    QCheckBox* chkNewWindow;
    QPushButton* btnSearch;
    QPushButton* btnCancel;

private:
    // Enables "&Keep Current Selection" (checked as stored) or unchecks and disables it.
    void OfferKeepSelection(bool offered);
    void btnSearchClick();
    TRegisterComp& Store;
};

}  // namespace velmar::gui
