// Undo, Redo and the History window, driven as a user would on real files: the
// changes of the tag editor, the rename window and Wipe Tags are taken back and given
// again, the browser rows follow the files, a file another program changed is left
// as it is and listed once, and the Preferences set the history's limits.
#include <QCheckBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include "app/changes.h"
#include "app/comboboxdb.h"
#include "batch/matchwipeforms.h"
#include "batch/renameform.h"
#include "guitest.h"
#include "main/historyform.h"
#include "main/preferences.h"
#include "tageditor/tageditorform.h"

using namespace velmar::gui;
using namespace velmar::gui::test;
using TKind = TScriptedDialogs::TKind;

namespace {

QStringList Texts(const QTreeWidget* tree, int column) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) out << tree->topLevelItem(i)->text(column);
    return out;
}

// The "&Edit" menu of the menu bar, opened: the texts of its first three entries, as shown.
QStringList EditMenu(TMainForm& main) {
    for (QAction* a : main.menuBar()->actions()) {
        if (a->text() != "&Edit" || !a->menu()) continue;
        emit a->menu()->aboutToShow();
        QStringList out;
        for (QAction* entry : a->menu()->actions().mid(0, 3))
            out << entry->text().remove('&') + (entry->isEnabled() ? "" : " (disabled)");
        return out;
    }
    return {"no Edit menu"};
}

}  // namespace

class UndoTest : public QObject {
    Q_OBJECT

private slots:
    void aRenameAfterATagEditIsUndoneAndRedoneFromTheEditMenu() {
        TWorkspace ws;
        ShipFormats(ws);
        const QStringList files = {ws.Copy(0, "a.mp3"), ws.Copy(2, "b.mp3")};
        const QByteArray original[2] = {ReadAll(files[0]), ReadAll(files[1])};
        TApp app(ws);
        QCOMPARE(app.Main.Changes()->History.Folder(), ToPath(ws.Config() + "history"));
        QCOMPARE(app.Main.actUndo->shortcut(), QKeySequence(QKeySequence::Undo));
        QCOMPARE(app.Main.actRedo->shortcut(), QKeySequence(QKeySequence::Redo));
        QCOMPARE(EditMenu(app.Main), QStringList({"Undo (disabled)", "Redo (disabled)", "History..."}));
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        const QStringList titles = Column(b, "Title");

        // Both files' titles, saved in one tag editor window: one change.
        b->actSelectAllExecute();
        b->actEditTagsExecute();
        TTagEditorForm* editor = b->TagEditor;
        editor->chkCaseConvert->setChecked(false);
        editor->TextBoxes["TIT2"]->SetText("first edit");
        editor->btnNextFileClick();
        editor->TextBoxes["TIT2"]->SetText("second edit");
        editor->btnNextFileClick();  // saves and closes
        QVERIFY(!b->TagEditor);
        const QByteArray edited[2] = {ReadAll(files[0]), ReadAll(files[1])};
        // Ctrl+Z works at once, before any menu opened.
        QVERIFY(app.Main.actUndo->isEnabled());
        QCOMPARE(EditMenu(app.Main), QStringList({"Undo Edit tags of 2 file(s)", "Redo (disabled)", "History..."}));

        app.Dialogs.Run(Shown<TRenameForm>([](TRenameForm& form) {
            form.lstFormats->setCurrentItem(form.lstFormats->findItems("Artist - Title", Qt::MatchExactly).value(0));
            form.btnRename->click();
        }));
        b->actRenameFilesExecute();
        const QStringList renamed = {ws.Files() + "Cinder & Vale - first edit.mp3",
                                     ws.Files() + "Marlow Fenwick - second edit.mp3"};
        QCOMPARE(FileNames(b), renamed);
        QCOMPARE(EditMenu(app.Main), QStringList({"Undo Rename of 2 file(s)", "Redo (disabled)", "History..."}));

        app.Main.actUndo->trigger();
        QCOMPARE(FileNames(b), files);
        for (int i = 0; i < 2; ++i) QCOMPARE(ReadAll(files[i]), edited[i]);
        QCOMPARE(EditMenu(app.Main),
                 QStringList({"Undo Edit tags of 2 file(s)", "Redo Rename of 2 file(s)", "History..."}));

        app.Main.actUndo->trigger();
        for (int i = 0; i < 2; ++i) QCOMPARE(ReadAll(files[i]), original[i]);
        QCOMPARE(QDir(ws.Files()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.mp3", "b.mp3"}));
        QCOMPARE(Column(b, "Title"), titles);
        QCOMPARE(EditMenu(app.Main), QStringList({"Undo (disabled)", "Redo Edit tags of 2 file(s)", "History..."}));

        app.Main.actRedo->trigger();
        QCOMPARE(Column(b, "Title"), QStringList({"first edit", "second edit"}));
        app.Main.actRedo->trigger();
        QCOMPARE(FileNames(b), renamed);
        for (int i = 0; i < 2; ++i) QCOMPARE(ReadAll(renamed[i]), edited[i]);
        QCOMPARE(EditMenu(app.Main), QStringList({"Undo Rename of 2 file(s)", "Redo (disabled)", "History..."}));
        QVERIFY(app.Dialogs.Messages(TKind::Error).isEmpty());
        QVERIFY(app.Dialogs.Messages(TKind::List).isEmpty());
    }

    void theHistoryWindowUndoesTheChosenChangeAndListsTheFilesLeftAloneOnce() {
        TWorkspace ws;
        const QStringList files = {ws.Copy(0, "a.mp3"), ws.Copy(2, "b.mp3"), ws.Copy(6, "c.mp3")};
        const QByteArray original[3] = {ReadAll(files[0]), ReadAll(files[1]), ReadAll(files[2])};
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        const QStringList titles = Column(b, "Title");
        b->actSelectAllExecute();
        app.Dialogs.Run(Shown<TWipeTagsForm>([](TWipeTagsForm& form) {
            form.chkID3v2->setChecked(true);
            form.chkID3v1->setChecked(true);
            form.btnOk->click();
        }));
        app.Dialogs.Yes();
        app.Main.actWipeTags->trigger();
        QCOMPARE(Column(b, "Title"), QStringList(3, QString()));
        // Another program writes the second file after the wipe.
        {
            QFile other(files[1]);
            QVERIFY(other.open(QIODevice::Append));
            other.write("x");
        }
        const QByteArray otherProgram = ReadAll(files[1]);

        app.Dialogs.Run(Shown<THistoryForm>([](THistoryForm& form) {
            QCOMPARE(Texts(form.lvChanges, 0), QStringList({"1"}));
            QCOMPARE(Texts(form.lvChanges, 2), QStringList({"Wipe tags"}));
            QCOMPARE(Texts(form.lvChanges, 3), QStringList({"3"}));
            QCOMPARE(Texts(form.lvChanges, 4), QStringList({""}));
            QVERIFY(form.btnUndo->isEnabled() && !form.btnRedo->isEnabled());
            form.btnUndo->click();
            QCOMPARE(Texts(form.lvChanges, 4), QStringList({"undone"}));
            QVERIFY(!form.btnUndo->isEnabled() && form.btnRedo->isEnabled());
            form.btnClose->click();
        }));
        app.Main.actHistory->trigger();
        QCOMPARE(ReadAll(files[0]), original[0]);
        QCOMPARE(ReadAll(files[1]), otherProgram);
        QCOMPARE(ReadAll(files[2]), original[2]);
        QCOMPARE(app.Dialogs.Messages(TKind::List),
                 QStringList({"Undo Wipe tags of 3 file(s): 1 file(s) were left as they are:"}));
        QCOMPARE(app.Dialogs.Asked.last().Lines, QStringList({files[1] + ": it was changed by another program since"}));
        QCOMPARE(Column(b, "Title"), QStringList({titles[0], QString(), titles[2]}));
        QVERIFY(app.Dialogs.Messages(TKind::Error).isEmpty());
        QVERIFY(app.Dialogs.AllAnswered());
    }

    void thePreferencesSetTheHistorysLimits() {
        TWorkspace ws;
        {
            TApp app(ws);
            const velmar::THistoryLimits& limits = app.Main.Changes()->History.Limits();
            QCOMPARE(limits.Changes, size_t(100));
            QCOMPARE(limits.Bytes, uint64_t(256) << 20);
            app.Dialogs.Run(Shown<TPreferences>([](TPreferences& form) {
                QCOMPARE(form.spnHistoryChanges->value(), 100);
                QCOMPARE(form.spnHistoryMegabytes->value(), 256);
                form.spnHistoryChanges->setValue(7);
                form.spnHistoryMegabytes->setValue(3);
                form.btnOk->click();
            }));
            app.Main.actPreferences->trigger();
            QCOMPARE(limits.Changes, size_t(7));
            QCOMPARE(limits.Bytes, uint64_t(3) << 20);
        }
        TApp again(ws);  // read at the start
        QCOMPARE(again.Main.Changes()->History.Limits().Changes, size_t(7));
        QCOMPARE(again.Main.Changes()->History.Limits().Bytes, uint64_t(3) << 20);
    }
};

QTEST_MAIN(UndoTest)
#include "undo_test.moc"
