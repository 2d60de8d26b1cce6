#include "searchform.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/RegisterComp.h"

namespace velmar::gui {

namespace {
const QString kPrefs = QStringLiteral("Preferences");
}

TSearchItemsForm::TSearchItemsForm(TRegisterComp& store, QWidget* parent) : QDialog(parent), Store(store) {
    setWindowTitle("Search For Items");
    setProperty("helpTopic", "Search");
    auto* group = new QGroupBox("Search Keyword:", this);
    edKeyword = new QLineEdit(group);
    edKeyword->setToolTip("Write the keyword you wish to search for here");
    edKeyword->setMinimumWidth(280);
    rbAllItems = new QRadioButton("&All Items", group);
    rbSelectedItems = new QRadioButton("&Selected Items", group);
    chkKeepSelection = new QCheckBox("&Keep Current Selection", group);
    chkCaseSensitive = new QCheckBox("Cas&e Sensitive", group);
    chkNewWindow = new QCheckBox("&Copy Matches To New Window", group);

    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(edKeyword);
    auto* choice = new QHBoxLayout;
    choice->addWidget(rbAllItems);
    choice->addWidget(rbSelectedItems);
    choice->addStretch(1);
    groupLayout->addLayout(choice);
    groupLayout->addWidget(chkKeepSelection);
    groupLayout->addWidget(chkCaseSensitive);
    groupLayout->addWidget(chkNewWindow);

    btnSearch = new QPushButton("&Search", this);
    btnCancel = new QPushButton("&Cancel", this);
    btnSearch->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSearch);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    setSizeGripEnabled(false);

    connect(edKeyword, &QLineEdit::textChanged, this,
            [this](const QString& t) { btnSearch->setEnabled(!t.isEmpty()); });
    // Keeping the selection means something only when all rows are searched in place:
    // "All Items" offers it again as stored; "Selected Items" and copying to a new window take it away.
    connect(rbAllItems, &QRadioButton::clicked, this, [this] { OfferKeepSelection(true); });
    connect(rbSelectedItems, &QRadioButton::clicked, this, [this] { OfferKeepSelection(false); });
    connect(chkNewWindow, &QCheckBox::clicked, this,
            [this](bool copy) { OfferKeepSelection(!copy && rbAllItems->isChecked()); });
    connect(btnSearch, &QPushButton::clicked, this, &TSearchItemsForm::btnSearchClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    btnSearch->setEnabled(false);
}

void TSearchItemsForm::OfferKeepSelection(bool offered) {
    chkKeepSelection->setChecked(offered && Store.ReadBool(kPrefs, "Search Keep Selection", false));
    chkKeepSelection->setEnabled(offered);
}

void TSearchItemsForm::Prepare() {
    edKeyword->clear();
    btnSearch->setEnabled(false);
    // The stored choice first, with its effect on keeping the selection, then the check boxes as stored.
    const bool selected = Store.ReadInteger(kPrefs, "Search Items", 0) == 1;
    (selected ? rbSelectedItems : rbAllItems)->setChecked(true);
    chkNewWindow->setChecked(Store.ReadBool(kPrefs, "Search Create New Window", false));
    chkCaseSensitive->setChecked(Store.ReadBool(kPrefs, "Search Case Sensitive", false));
    OfferKeepSelection(!selected && !chkNewWindow->isChecked());
    edKeyword->setFocus();
}

TSearchOptions TSearchItemsForm::Options() const {
    TSearchOptions o;
    o.Keyword = edKeyword->text();
    o.SelectedItems = rbSelectedItems->isChecked();
    o.CaseSensitive = chkCaseSensitive->isChecked();
    o.KeepSelection = chkKeepSelection->isChecked();
    o.NewWindow = chkNewWindow->isChecked();
    return o;
}

void TSearchItemsForm::btnSearchClick() {
    if (edKeyword->text().isEmpty()) return;
    Store.WriteInteger(kPrefs, "Search Items", rbSelectedItems->isChecked() ? 1 : 0);
    Store.WriteBool(kPrefs, "Search Case Sensitive", chkCaseSensitive->isChecked());
    Store.WriteBool(kPrefs, "Search Keep Selection", chkKeepSelection->isChecked());
    Store.WriteBool(kPrefs, "Search Create New Window", chkNewWindow->isChecked());
    accept();
}

}  // namespace velmar::gui
