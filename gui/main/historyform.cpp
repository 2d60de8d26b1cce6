#include "historyform.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "change/history.h"

namespace velmar::gui {

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kUndoneRole = Qt::UserRole + 1;

}  // namespace

THistoryForm::THistoryForm(const velmar::THistory& history, QWidget* parent) : QDialog(parent), History(history) {
    setWindowTitle("History");
    setProperty("helpTopic", "History");
    auto* note = new QLabel(
        "The changes Velmar made to your files, newest first. Undo puts back the files of the "
        "chosen change; a file changed by another program since is left as it is.",
        this);
    note->setWordWrap(true);
    lvChanges = new QTreeWidget(this);
    lvChanges->setHeaderLabels({"No.", "Date and Time", "Change", "Files", "Undone"});
    lvChanges->setRootIsDecorated(false);
    lvChanges->setUniformRowHeights(true);
    lvChanges->header()->setStretchLastSection(false);
    lvChanges->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    lblRedo = new QLabel(this);
    btnUndo = new QPushButton("&Undo", this);
    btnRedo = new QPushButton("&Redo", this);
    btnClose = new QPushButton("&Close", this);
    btnClose->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblRedo, 1);
    for (QPushButton* b : {btnUndo, btnRedo, btnClose}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(lvChanges, 1);
    layout->addLayout(buttons);
    connect(lvChanges, &QTreeWidget::currentItemChanged, this, &THistoryForm::UpdateButtons);
    connect(btnUndo, &QPushButton::clicked, this, [this] {
        if (const uint64_t id = ChosenId(); id != 0 && UndoChange) UndoChange(id);
        Fill();
    });
    connect(btnRedo, &QPushButton::clicked, this, [this] {
        if (RedoChange) RedoChange();
        Fill();
    });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    Fill();
    resize(640, 380);
}

uint64_t THistoryForm::ChosenId() const {
    const QTreeWidgetItem* item = lvChanges->currentItem();
    return item ? item->data(0, kIdRole).toULongLong() : 0;
}

void THistoryForm::Fill() {
    const uint64_t chosen = ChosenId();
    lvChanges->clear();
    QList<QTreeWidgetItem*> items;
    for (const velmar::TChangeRecord& r : History.Changes()) {
        auto* item = new QTreeWidgetItem(
            {QString::number(r.Id), QDateTime::fromSecsSinceEpoch(r.Time).toString("yyyy-MM-dd hh:mm:ss"),
             FromUtf8(r.Text), QString::number(r.Files.size()), r.Undone ? "undone" : QString()});
        item->setData(0, kIdRole, QVariant::fromValue<qulonglong>(r.Id));
        item->setData(0, kUndoneRole, r.Undone);
        item->setToolTip(2, FromUtf8(r.Command));
        for (int c : {0, 3}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    lvChanges->addTopLevelItems(items);
    for (int c : {0, 1, 3, 4}) lvChanges->resizeColumnToContents(c);
    // The change chosen before; at first the one Edit > Undo would undo.
    QTreeWidgetItem* current = items.isEmpty() ? nullptr : items.first();
    for (QTreeWidgetItem* item : items)
        if (chosen == 0 && !item->data(0, kUndoneRole).toBool()) {
            current = item;
            break;
        }
    for (QTreeWidgetItem* item : items)
        if (item->data(0, kIdRole).toULongLong() == chosen) current = item;
    lvChanges->setCurrentItem(current);
    const velmar::TChangeRecord redo = History.NextRedo();
    lblRedo->setText(redo.Id ? "Redo gives again: " + FromUtf8(velmar::Described(redo)) : QString());
    btnRedo->setEnabled(redo.Id != 0);
    UpdateButtons();
}

void THistoryForm::UpdateButtons() {
    const QTreeWidgetItem* item = lvChanges->currentItem();
    btnUndo->setEnabled(item && !item->data(0, kUndoneRole).toBool());
}

}  // namespace velmar::gui
