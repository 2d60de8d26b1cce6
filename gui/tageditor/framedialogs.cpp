#include "framedialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/comboboxdb.h"

namespace velmar::gui {

TFrameItemDialog::TFrameItemDialog(const QString& caption, const QList<TField>& fields, const QStringList& values,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    auto* form = new QFormLayout;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const TField& f = fields[i];
        const QString value = values.value(i);
        QWidget* editor = nullptr;
        switch (f.Kind) {
            case TKind::Line: {
                auto* box = new TComboBoxDB(this);
                if (!f.HistoryFile.isEmpty()) box->SetDBFile(f.HistoryFile);
                box->SetText(value);
                box->setMinimumWidth(320);
                editor = box;
                break;
            }
            case TKind::Text: {
                auto* text = new QPlainTextEdit(value, this);
                text->setMinimumSize(420, 160);
                editor = text;
                break;
            }
            case TKind::Number: {
                auto* spin = new QSpinBox(this);
                spin->setRange(0, f.Maximum);
                spin->setValue(value.toInt());
                editor = spin;
                break;
            }
            case TKind::Choice: {
                auto* combo = new QComboBox(this);
                combo->addItems(f.Choices);
                combo->setCurrentIndex(value.toInt());
                editor = combo;
                break;
            }
        }
        Editors << editor;
        form->addRow(f.Label, editor);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addWidget(buttons);
}

QStringList TFrameItemDialog::Values() const {
    QStringList out;
    for (QWidget* editor : Editors) {
        if (auto* box = qobject_cast<TComboBoxDB*>(editor))
            out << box->Text();
        else if (auto* text = qobject_cast<QPlainTextEdit*>(editor))
            out << text->toPlainText();
        else if (auto* spin = qobject_cast<QSpinBox*>(editor))
            out << QString::number(spin->value());
        else if (auto* combo = qobject_cast<QComboBox*>(editor))
            out << QString::number(combo->currentIndex());
    }
    return out;
}

QStringList TFrameItemDialog::SaveHistories() {
    QStringList errors;
    for (QWidget* editor : Editors)
        if (auto* box = qobject_cast<TComboBoxDB*>(editor); box && !box->DBFile().isEmpty()) {
            box->AddHistory(box->Text());
            if (QString error; !box->SaveHistory(error)) errors << error;
        }
    return errors;
}

}  // namespace velmar::gui
