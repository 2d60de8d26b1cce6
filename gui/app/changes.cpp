#include "changes.h"

#include <QStringList>
#include <algorithm>

#include "RegisterComp.h"
#include "appcontext.h"
#include "dialogs.h"

namespace velmar::gui {

TChanges::TChanges(const std::filesystem::path& folder, const velmar::THistoryLimits& limits, QObject* parent)
    : QObject(parent), History(folder, limits) {}

velmar::THistoryLimits StoredHistoryLimits(TRegisterComp& store) {
    velmar::THistoryLimits limits;
    limits.Changes = size_t(std::max(1, store.ReadInteger("Preferences", "History Changes", 100)));
    limits.Bytes = uint64_t(std::max(1, store.ReadInteger("Preferences", "History Megabytes", 256))) << 20;
    return limits;
}

TChangeScope::TChangeScope(TChanges* changes, const char* command, const char* text, TDialogs& dialogs, QWidget* parent,
                           uint64_t* session)
    : Changes(changes), Dialogs(dialogs), Parent(parent), Session(session) {
    if (Changes) Change.emplace(Changes->History, command, text, Sink, Session ? *Session : 0);
}

TChangeScope::~TChangeScope() {
    if (!Change) return;
    const uint64_t id = Change->Id();
    Change.reset();  // the record is closed and the history kept within its limits
    if (Session && id != 0) *Session = id;
    if (!Sink.Messages.empty()) {
        QStringList lines;
        for (const std::string& m : Sink.Messages) lines << FromUtf8(m);
        Dialogs.Error(Parent, lines.join('\n'));
    }
    if (id != 0) Changes->Tell();
}

}  // namespace velmar::gui
