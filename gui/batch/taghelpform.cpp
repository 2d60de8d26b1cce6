#include "taghelpform.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "batch/outputformat.h"

namespace velmar::gui {

TTagHelpForm::TTagHelpForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle("Tag Help");
    lvTags = new QTreeWidget(this);
    lvTags->setHeaderLabels({"TAG", "Number"});
    lvTags->setRootIsDecorated(false);
    lvTags->setSelectionMode(QAbstractItemView::NoSelection);
    lvTags->setFocusPolicy(Qt::NoFocus);
    const auto& names = velmar::TokenTagNames();
    for (size_t n = 0; n < names.size(); ++n)
        new QTreeWidgetItem(lvTags, {QString::fromUtf8(names[n]), QString("%%1").arg(n, 2, 10, QChar('0'))});
    lvTags->resizeColumnToContents(0);
    lvTags->header()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lvTags);
    const int rows = lvTags->sizeHintForRow(0) * int(names.size());
    resize(lvTags->columnWidth(0) + 80, rows + lvTags->header()->sizeHint().height() + 6);
}

void TTagHelpForm::ShowBeside(QWidget* caller) {
    if (caller) {
        const QWidget* window = caller->window();
        move(window->frameGeometry().right() + 1, window->frameGeometry().top());
    }
    show();
    raise();
}

}  // namespace velmar::gui
