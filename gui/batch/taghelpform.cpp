#include "taghelpform.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

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
    lvTags->header()->setStretchLastSection(true);
    lvTags->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvTags->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lvTags);
    // Every row in view: the widest name and "Number", and one line per tag below the header.
    const QFontMetrics metrics = lvTags->fontMetrics();
    int nameWidth = 0;
    for (const char* name : names)
        nameWidth = std::max(nameWidth, metrics.horizontalAdvance(QString::fromUtf8(name)) + 24);
    lvTags->setColumnWidth(0, nameWidth);
    resize(nameWidth + metrics.horizontalAdvance("Number") + 32, (metrics.height() + 4) * int(names.size() + 1) + 12);
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
