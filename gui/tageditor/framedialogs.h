#pragma once
// The small dialogs that add or edit one element of a frame list (a comment, a user
// text, a picture's type and description...): a column of labelled fields.
#include <QDialog>
#include <QList>
#include <QStringList>

class QWidget;

namespace velmar::gui {

class TFrameItemDialog : public QDialog {
    Q_OBJECT
public:
    enum class TKind { Line, Text, Number, Choice };
    struct TField {
        QString Label;
        TKind Kind = TKind::Line;
        QString HistoryFile;  // Line: a history combo box over this file, when given
        QStringList Choices;  // Choice: the entries; the value is the index
        int Maximum = 255;    // Number: 0 to this
    };

    // `values` are the fields' texts (Number and Choice: decimal).
    TFrameItemDialog(const QString& caption, const QList<TField>& fields, const QStringList& values,
                     QWidget* parent = nullptr);
    QStringList Values() const;
    // Writes the histories of the history fields; the errors of those that could not be written.
    QStringList SaveHistories();

    QList<QWidget*> Editors;  // one per field, in order
};

}  // namespace velmar::gui
