// Undo, Redo and the History window of the main window, and the rows of the browsers
// following the files that an undo or redo moved or wrote back.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include "app/changes.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "browser/MP3ListView.h"
#include "historyform.h"
#include "mainform.h"

namespace velmar::gui {

namespace {

// A change's text as a menu shows it: "&" is not a mnemonic there.
QString MenuText(const velmar::TChangeRecord& change) { return FromUtf8(velmar::Described(change)).replace('&', "&&"); }

}  // namespace

void TMainForm::UpdateUndoActions() {
    if (!UndoHistory) return;
    const velmar::TChangeRecord undo = UndoHistory->History.NextUndo();
    const velmar::TChangeRecord redo = UndoHistory->History.NextRedo();
    actUndo->setText(undo.Id != 0 ? "&Undo " + MenuText(undo) : QString("&Undo"));
    actUndo->setEnabled(undo.Id != 0);
    actRedo->setText(redo.Id != 0 ? "Re&do " + MenuText(redo) : QString("Re&do"));
    actRedo->setEnabled(redo.Id != 0);
}

void TMainForm::actUndoExecute() { TurnChange(true, 0, this); }

void TMainForm::actRedoExecute() { TurnChange(false, 0, this); }

void TMainForm::actHistoryExecute() {
    if (!UndoHistory) return;
    THistoryForm form(UndoHistory->History, this);
    form.UndoChange = [this, &form](uint64_t id) { TurnChange(true, id, &form); };
    form.RedoChange = [this, &form] { TurnChange(false, 0, &form); };
    Dialogs.Exec(form);
}

velmar::TUndoOutcome TMainForm::TurnChange(bool undo, uint64_t id, QWidget* parent) {
    velmar::TUndoOutcome outcome;
    if (!UndoHistory) return outcome;
    velmar::THistory& history = UndoHistory->History;
    // The change as it is before it is turned: its text and number of files name it afterwards.
    velmar::TChangeRecord change = !undo ? history.NextRedo() : id == 0 ? history.NextUndo() : velmar::TChangeRecord();
    if (undo && id != 0)
        for (velmar::TChangeRecord& r : history.Changes())
            if (r.Id == id) change = std::move(r);
    const auto total = std::count_if(change.Files.begin(), change.Files.end(), [](const auto& f) { return f.Written; });
    try {
        // An undo, once begun, goes through every file: a change half undone could not be redone.
        TProgress progress(parent, undo ? "Undoing changes..." : "Redoing changes...", int(total), false);
        const velmar::TUndoProgress step = [&progress](size_t done, size_t) { progress.Step(int(done)); };
        outcome = undo ? history.Undo(id, step) : history.Redo(step);
    } catch (const std::exception& e) {
        Dialogs.Error(parent, FromUtf8(e.what()));
    }
    FollowFiles(outcome);
    UndoHistory->Tell();
    if (!outcome.LeftAlone.empty()) {
        QStringList lines;
        for (const auto& [file, reason] : outcome.LeftAlone) lines << FromPath(file) + ": " + FromUtf8(reason);
        Dialogs.AskOverList(parent,
                            QString("%1 %2: %3 file(s) were left as they are:")
                                .arg(undo ? "Undo" : "Redo", FromUtf8(velmar::Described(change)))
                                .arg(lines.size()),
                            lines, QString());
    }
    return outcome;
}

void TMainForm::FollowFiles(const velmar::TUndoOutcome& outcome) {
    QHash<QString, QString> moved;  // by the name the file had
    QSet<QString> written;
    for (const auto& [from, to] : outcome.Moved) moved.insert(QDir::cleanPath(FromPath(from)), FromPath(to));
    for (const auto& file : outcome.Rewritten) written.insert(QDir::cleanPath(FromPath(file)));
    if (moved.isEmpty() && written.isEmpty()) return;
    TBatchErrors errors;
    for (TBrowserForm* b : Browsers()) {
        TMP3ListView* list = b->MP3ListView;
        std::vector<int> rows;
        for (int r = 0; r < list->Count(); ++r) {
            const QString file = QDir::cleanPath(list->FileNameAt(r));
            if (const auto it = moved.constFind(file); it != moved.constEnd()) {
                // Path + Filename is the file's full name again.
                const QFileInfo now(it.value());
                QString folder = now.path();
                if (!folder.endsWith('/')) folder += '/';
                list->SetField(r, "Path", folder);
                list->SetFileName(r, now.fileName());
                rows.push_back(r);
            } else if (written.contains(file)) {
                rows.push_back(r);
            }
        }
        if (rows.empty()) continue;
        list->RefreshItems(rows, errors, "Refreshing file(s)...");
        b->UpdateStatus();
    }
    errors.Show(Dialogs, this);
}

}  // namespace velmar::gui
