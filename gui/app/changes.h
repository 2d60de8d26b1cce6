#pragma once
// The history of changes as the windows reach it. A window that writes or renames
// audio files does so inside a TChangeScope, so that Edit > Undo can take it back;
// the main window hears of every change, undo and redo to name what Undo and Redo
// would do next.
#include <QObject>
#include <QString>
#include <optional>

#include "base/messages.h"
#include "change/history.h"

class QWidget;

namespace velmar::gui {

class TDialogs;
class TRegisterComp;

class TChanges : public QObject {
    Q_OBJECT
public:
    TChanges(const std::filesystem::path& folder, const velmar::THistoryLimits& limits, QObject* parent = nullptr);
    velmar::THistory History;
    void Tell() { emit Changed(); }

signals:
    void Changed();  // a change was made, undone or redone
};

// The limits the user set in the Preferences ("History Changes", "History Megabytes").
velmar::THistoryLimits StoredHistoryLimits(TRegisterComp& store);

// Every write and rename of audio files made while it lives is one change of the
// history, shown as `text` ("Rename"). With `session`, the writes continue the change
// it names, while that change is still the newest, and it receives the change made.
// Problems of recording are shown once at the end. Without `changes`, nothing is recorded.
class TChangeScope {
public:
    TChangeScope(TChanges* changes, const char* command, const char* text, TDialogs& dialogs, QWidget* parent,
                 uint64_t* session = nullptr);
    ~TChangeScope();
    TChangeScope(const TChangeScope&) = delete;
    TChangeScope& operator=(const TChangeScope&) = delete;

private:
    TChanges* Changes;
    TDialogs& Dialogs;
    QWidget* Parent;
    uint64_t* Session;
    velmar::TCollectingSink Sink;
    std::optional<velmar::TChange> Change;
};

}  // namespace velmar::gui
