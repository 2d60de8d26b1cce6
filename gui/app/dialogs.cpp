#include "dialogs.h"
#include "base/version.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar::gui {

QString ApplicationTitle() { return QString("Velmar v%1.%2").arg(kVersionMajor).arg(kVersionMinor); }

QString DisplayText(const QString& text) {
    QString out = text;
    out.replace("\r\n", "\n");
    out.replace('\r', '\n');
    return out;
}

QString QtFileFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        patterns = patterns.simplified();
        const qsizetype open = description.lastIndexOf('(');
        // The description shows the patterns already: Qt reads them from the parentheses.
        if (open >= 0 && description.endsWith(')')) description = description.left(open).trimmed();
        out << description + " (" + patterns + ")";
    }
    return out.join(";;");
}

void TQtDialogs::Information(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, ApplicationTitle(), DisplayText(text));
}

void TQtDialogs::Error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, ApplicationTitle(), DisplayText(text));
}

bool TQtDialogs::AskYesNo(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, ApplicationTitle(), DisplayText(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

TAnswer TQtDialogs::AskYesNoCancel(QWidget* parent, const QString& text) {
    switch (QMessageBox::question(parent, ApplicationTitle(), DisplayText(text),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
        case QMessageBox::Yes: return TAnswer::Yes;
        case QMessageBox::No: return TAnswer::No;
        default: return TAnswer::Cancel;
    }
}

std::optional<QString> TQtDialogs::Input(QWidget* parent, const QString& caption, const QString& prompt,
                                         const QString& value) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (!ok) return std::nullopt;
    return text;
}

bool TQtDialogs::AskOverList(QWidget* parent, const QString& text, const QStringList& lines, const QString& accept) {
    QDialog dialog(parent);
    dialog.setWindowTitle(ApplicationTitle());
    auto* label = new QLabel(DisplayText(text), &dialog);
    label->setWordWrap(true);
    auto* list = new QListWidget(&dialog);
    list->addItems(lines);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    auto* buttons = new QDialogButtonBox(&dialog);
    if (accept.isEmpty()) {
        buttons->addButton(QDialogButtonBox::Close);
    } else {
        buttons->addButton(accept, QDialogButtonBox::AcceptRole)->setDefault(true);
        buttons->addButton(QDialogButtonBox::Cancel);
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    dialog.resize(720, 360);
    return dialog.exec() == QDialog::Accepted && !accept.isEmpty();
}

QStringList TQtDialogs::OpenFiles(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                                  bool multiple) {
    if (multiple) return QFileDialog::getOpenFileNames(parent, title, folder, QtFileFilter(filter));
    const QString file = QFileDialog::getOpenFileName(parent, title, folder, QtFileFilter(filter));
    return file.isEmpty() ? QStringList() : QStringList{file};
}

QString TQtDialogs::SaveFile(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                             const QString& defaultExtension) {
    QFileDialog dialog(parent, title, folder, QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QString TQtDialogs::Folder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

bool TQtDialogs::Colour(QWidget* parent, QColor& colour) {
    const QColor chosen = QColorDialog::getColor(colour, parent);
    if (chosen.isValid()) colour = chosen;
    return chosen.isValid();
}

bool TQtDialogs::Font(QWidget* parent, QFont& font) {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, parent);
    if (ok) font = chosen;
    return ok;
}

int TQtDialogs::Exec(QDialog& dialog) { return dialog.exec(); }

}  // namespace velmar::gui
