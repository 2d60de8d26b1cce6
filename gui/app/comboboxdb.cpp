#include "comboboxdb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSaveFile>
#include <QSet>
#include <QStringList>
#include <algorithm>

namespace velmar::gui {

namespace {

bool Before(const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; }

}  // namespace

TComboBoxDB::TComboBoxDB(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Only the completion below runs, and Enter adds nothing by itself: entries come
    // from the file and from AddHistory.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this, &TComboBoxDB::Edited);
}

void TComboBoxDB::SetDBFile(const QString& file) {
    DBFileName = file;
    QStringList entries;
    QFile f(file);
    if (!f.exists()) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        f.open(QIODevice::WriteOnly);  // an empty history to be written later
    } else if (f.open(QIODevice::ReadOnly)) {
        QByteArray data = f.readAll();
        if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);  // a byte order mark from an editor
        QSet<QString> seen;
        for (QByteArray line : data.split('\n')) {
            if (line.endsWith('\r')) line.chop(1);
            if (line.isEmpty()) continue;
            const QString entry = QString::fromUtf8(line);
            if (seen.contains(entry)) continue;
            seen.insert(entry);
            entries << entry;
        }
    }
    std::stable_sort(entries.begin(), entries.end(), Before);
    clear();
    addItems(entries);
    setCurrentIndex(-1);
    clearEditText();
}

int TComboBoxDB::InsertRow(const QString& text) const {
    int low = 0, high = count();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (Before(text, itemText(mid)))
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

void TComboBoxDB::AddHistory(const QString& text) {
    if (text.isEmpty()) return;
    for (int i = 0; i < count(); ++i)
        if (itemText(i) == text) return;
    const QString edit = lineEdit()->text();
    const bool noneCurrent = currentIndex() < 0;
    insertItem(InsertRow(text), text);
    // The first item of an empty list becomes the current one, which would replace
    // the edit text.
    if (noneCurrent && currentIndex() >= 0) setCurrentIndex(-1);
    if (lineEdit()->text() != edit) setEditText(edit);
}

bool TComboBoxDB::SaveHistory(QString& error) {
    if (DBFileName.isEmpty()) return true;
    QByteArray data;
    for (int i = 0; i < count(); ++i) data += itemText(i).toUtf8() + '\n';
    QSaveFile f(DBFileName);
    if (f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit()) return true;
    error =
        QString("Cannot write the history file \"%1\": %2").arg(QDir::toNativeSeparators(DBFileName), f.errorString());
    return false;
}

bool TComboBoxDB::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) LastKey = static_cast<QKeyEvent*>(event)->key();
    return QComboBox::eventFilter(watched, event);
}

void TComboBoxDB::Edited(const QString& typed) {
    // After deleting, appending again would undo what the user just removed.
    if (!Complete || LastKey == Qt::Key_Backspace || LastKey == Qt::Key_Delete) return;
    if (typed.isEmpty() || typed.size() < MinLengthComplete) return;
    for (int i = 0; i < count(); ++i) {
        const QString item = itemText(i);
        if (!item.startsWith(typed, Qt::CaseInsensitive)) continue;
        QString completion = item.mid(typed.size());
        if (OnComplete && !OnComplete(LastKey, completion)) return;
        if (completion.isEmpty()) return;
        lineEdit()->setText(typed + completion);
        lineEdit()->setSelection(int(typed.size()), int(completion.size()));
        return;
    }
}

}  // namespace velmar::gui
