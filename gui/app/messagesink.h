#pragma once
// Messages of the core reach the user here: at once in a message box for work on
// one file, or gathered during work on many files and shown once at the end.
#include <QList>
#include <QString>

#include "base/messages.h"

class QWidget;

namespace velmar::gui {

class TDialogs;

// Shows every message at once in an error box.
class TBoxSink : public velmar::TMessageSink {
public:
    TBoxSink(TDialogs& dialogs, QWidget* parent) : Dialogs(dialogs), Parent(parent) {}
    void Error(const std::string& text) override;

private:
    TDialogs& Dialogs;
    QWidget* Parent;
};

// The messages of one batch of files, each with the file it belongs to.
class TBatchErrors {
public:
    void Add(const QString& file, const QString& text) { Entries.append({file, text}); }
    bool IsEmpty() const { return Entries.isEmpty(); }
    qsizetype Count() const { return Entries.size(); }
    // One error box with every message (the first kMaxShown of them and a count of the rest).
    void Show(TDialogs& dialogs, QWidget* parent) const;
    QString Text() const;
    static constexpr int kMaxShown = 20;

private:
    struct TEntry {
        QString File, Text;
    };
    QList<TEntry> Entries;
};

}  // namespace velmar::gui
