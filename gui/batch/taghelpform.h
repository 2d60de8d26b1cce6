#pragma once
// TTagHelpForm: a small tool window listing the tag names of output formats and
// their tokens "%00".."%12".
#include <QWidget>

class QTreeWidget;

namespace velmar::gui {

class TTagHelpForm : public QWidget {
    Q_OBJECT
public:
    explicit TTagHelpForm(QWidget* parent = nullptr);
    // Shows the window with its top at the caller's top and its left edge at the caller's right edge.
    void ShowBeside(QWidget* caller);

    QTreeWidget* lvTags;
};

}  // namespace velmar::gui
