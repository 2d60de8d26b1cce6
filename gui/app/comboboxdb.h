#pragma once
// An editable combo box that remembers what was entered: its entries come from a
// text file (one per line, UTF-8), are kept sorted without regard to case, and are
// written back on request. While typing, the rest of the first entry that begins
// with the typed text is appended and selected, so that typing on replaces it.
#include <QComboBox>
#include <QString>
#include <functional>

namespace velmar::gui {

class TComboBoxDB : public QComboBox {
    Q_OBJECT
public:
    explicit TComboBoxDB(QWidget* parent = nullptr);

    // Remembers `file` and replaces the entries with its lines: empty lines and a
    // trailing "\r" are ignored, repeated lines are kept once. A missing file is
    // created empty, with its folder. The edit field is empty afterwards.
    void SetDBFile(const QString& file);
    QString DBFile() const { return DBFileName; }

    // Adds `text` at its place in the order unless an entry equals it exactly or it
    // is empty. The edit field keeps its text.
    void AddHistory(const QString& text);
    // Writes every entry, one per line, replacing the file only once all is written.
    // False with `error` set when that fails; true without a file.
    bool SaveHistory(QString& error);

    QString Text() const { return currentText(); }
    void SetText(const QString& text) { setEditText(text); }

    // Completion while typing (not after Backspace or Delete), from this many typed
    // characters on.
    bool Complete = true;
    int MinLengthComplete = 1;
    // Called when an entry matches, with the last key and the part to be appended;
    // may change that part, or return false to append nothing.
    std::function<bool(int key, QString& completion)> OnComplete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Edited(const QString& typed);
    // The row where `text` goes: after every entry that is not above it, so equal
    // entries keep the order they came in.
    int InsertRow(const QString& text) const;

    QString DBFileName;
    int LastKey = 0;  // the last key pressed in the edit field
};

}  // namespace velmar::gui
