#include "messagesink.h"

#include "appcontext.h"
#include "dialogs.h"

namespace velmar::gui {

void TBoxSink::Error(const std::string& text) { Dialogs.Error(Parent, FromUtf8(text)); }

QString TBatchErrors::Text() const {
    QStringList lines;
    for (qsizetype i = 0; i < Entries.size() && i < kMaxShown; ++i)
        // A message that names its file already is not followed by the name again.
        lines << (Entries[i].Text.contains(Entries[i].File) ? Entries[i].Text
                                                            : Entries[i].Text + "\nFile: " + Entries[i].File);
    if (Entries.size() > kMaxShown) lines << QString("... and %1 more message(s).").arg(Entries.size() - kMaxShown);
    return lines.join("\n\n");
}

void TBatchErrors::Show(TDialogs& dialogs, QWidget* parent) const {
    if (!Entries.isEmpty()) dialogs.Error(parent, Text());
}

}  // namespace velmar::gui
