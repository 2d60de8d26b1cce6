// Playlists, saved browser windows, search and the stream checker, through the windows.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "browser/searchform.h"
#include "checker/mpegcheckform.h"
#include "guitest.h"

using namespace velmar::gui;
using namespace velmar::gui::test;
using TKind = TScriptedDialogs::TKind;

namespace {

// Answers the search window: keyword and options, then "&Search".
std::function<int(QDialog&)> SearchFor(const QString& keyword, bool selectedItems, bool caseSensitive, bool keep,
                                       bool newWindow) {
    return [=](QDialog& dialog) {
        auto& form = dynamic_cast<TSearchItemsForm&>(dialog);
        if (!form.edKeyword->text().isEmpty()) qWarning("the keyword was not emptied");
        form.edKeyword->setText(keyword);
        QTest::mouseClick(selectedItems ? form.rbSelectedItems : form.rbAllItems, Qt::LeftButton);
        form.chkCaseSensitive->setChecked(caseSensitive);
        if (form.chkNewWindow->isChecked() != newWindow) QTest::mouseClick(form.chkNewWindow, Qt::LeftButton);
        if (keep) {
            if (!form.chkKeepSelection->isEnabled()) return int(QDialog::Rejected);
            form.chkKeepSelection->setChecked(true);
        }
        QTest::mouseClick(form.btnSearch, Qt::LeftButton);
        return form.result();
    };
}

}  // namespace

class ListsTest : public QObject {
    Q_OBJECT

private slots:
    void playlistsWrittenAndReadBack() {
        TWorkspace ws;
        QStringList files;
        for (int i = 0; i < 5; ++i) files << ws.Copy(i, QString("p%1.mp3").arg(i));
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);

        b->MP3ListView->SelectRows(Flags({0, 1, 0, 1, 1}));
        app.Dialogs.SaveAs(ws.Root() + "three.pls");
        app.Main.actSaveSongListExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Save Playlist"));
        QCOMPARE(app.Dialogs.Asked.last().Filter,
                 QString("M3U Playlists (*.m3u)|*.m3u|PLS Playlists (*.pls)|*.pls|All Playlist Files (*.m3u; "
                         "*.pls)|*.pls;*.m3u"));
        QCOMPARE(b->Caption(), QString("three.pls"));
        QCOMPARE(ReadAll(ws.Root() + "three.pls"), ("[playlist]\r\nFile1=" + files[1] + "\r\nFile2=" + files[3] +
                                                    "\r\nFile3=" + files[4] + "\r\nNumberOfEntries=3\r\n")
                                                       .toUtf8());

        // Nothing selected and No: an empty file.
        b->MP3ListView->SelectNone();
        app.Dialogs.No();
        app.Dialogs.SaveAs(ws.Root() + "none.M3U");
        app.Main.actSaveSongListExecute();
        QCOMPARE(app.Dialogs.Asked.at(app.Dialogs.Asked.size() - 2).Text,
                 QString("No item(s) selected. Select all 5 item(s)?"));
        QCOMPARE(ReadAll(ws.Root() + "none.M3U"), QByteArray());

        // Yes selects all.
        app.Dialogs.Yes();
        app.Dialogs.SaveAs(ws.Root() + "all.m3u");
        app.Main.actSaveSongListExecute();
        QCOMPARE(b->MP3ListView->SelectedCount(), 5);

        // Loading goes into the active browser; its caption becomes the playlist's name.
        TBrowserForm* other = app.Browser();
        app.Dialogs.Files({ws.Root() + "three.pls"});
        app.Main.actLoadSongListExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Load Playlist"));
        QCOMPARE(FileNames(other), QStringList({files[1], files[3], files[4]}));
        QCOMPARE(other->Caption(), QString("three.pls"));
        QFile::remove(files[0]);  // files that are gone are skipped
        app.Dialogs.Files({ws.Root() + "all.m3u"});
        app.Main.actLoadSongListExecute();
        QCOMPARE(other->MP3ListView->Count(), 7);
        QCOMPARE(other->StatusPanels[0]->text(), QString("7 File(s)"));
        QVERIFY(app.Dialogs.Messages(TKind::Error).isEmpty());

        // With no window open, Load Playlist makes a browser after the dialog.
        for (auto* w : app.Main.Browsers()) w->ClosingWithoutPrompt = true;
        for (auto* sub : app.Main.Children()) sub->close();
        QTest::qWait(0);
        QCOMPARE(app.Main.ChildCount(), 0);
        app.Dialogs.Files({});
        app.Main.actLoadSongListExecute();
        QCOMPARE(app.Main.ChildCount(), 0);
        app.Dialogs.Files({ws.Root() + "three.pls"});
        app.Main.actLoadSongListExecute();
        QCOMPARE(app.Main.ChildCount(), 1);
        QCOMPARE(app.Main.Browsers().first()->MP3ListView->Count(), 3);
        QVERIFY(app.Dialogs.Problems.isEmpty());
    }

    void savedWindowsComeBackWithSelectionAndState() {
        TWorkspace ws;
        QStringList files;
        for (int i = 0; i < 4; ++i) files << ws.Copy(i, QString("w%1.mp3").arg(i));
        {
            TApp app(ws);
            TBrowserForm* first = app.Browser();
            first->AddFileNames(files);
            first->MP3ListView->SelectRows(Flags({0, 1, 0, 1}));
            first->SubWindow()->setGeometry(10, 20, 500, 300);
            TBrowserForm* second = app.Browser();
            second->AddFileNames({files[2]});
            second->SubWindow()->showMinimized();
            app.Browser();  // an empty one is saved too
            app.Main.close();
            QCOMPARE(app.Main.ChildCount(), 0);
            QVERIFY(app.Dialogs.Asked.isEmpty());  // closing all at the end asks nothing
        }
        const QString recent = ws.Data() + "Recent Files/";
        QCOMPARE(ReadAll(recent + "WND0.ctl"), QByteArray("500\r\n300\r\n10\r\n20\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
        QCOMPARE(ReadAll(recent + "WND1.ctl").split('\n').at(4), QByteArray("1\r"));
        QCOMPARE(ReadAll(recent + "WND2.m3u"), QByteArray());
        QCOMPARE(ReadAll(recent + "WND2.ctl").count('\n'), 5);

        QFile::remove(files[0]);  // a file gone: later selection lines move up one row
        {
            TApp app(ws);
            const QList<TBrowserForm*> browsers = app.Main.Browsers();
            QCOMPARE(browsers.size(), 3);
            TBrowserForm* first = browsers[0];
            // Titled by the folder of their files, never by the list that kept them.
            QCOMPARE(first->Caption(), QString("files"));
            QCOMPARE(browsers[2]->Caption(), QString("MP3 Browser"));
            QCOMPARE(FileNames(first), QStringList({files[1], files[2], files[3]}));
            const std::vector<char> restored = first->MP3ListView->SelectedRows();
            QCOMPARE(QByteArray(restored.data(), qsizetype(restored.size())), QByteArray("\0\1\0", 3));
            QCOMPARE(first->SubWindow()->geometry(), QRect(10, 20, 500, 300));
            QCOMPARE(first->StatusPanels[1]->text(), QString("1 File(s) Selected"));
            QVERIFY(browsers[1]->SubWindow()->isMinimized());
            QCOMPARE(browsers[1]->MP3ListView->Count(), 1);
            QCOMPARE(browsers[2]->MP3ListView->Count(), 0);
            // Each window comes back once: the lists are gone, the control files stay.
            QVERIFY(!QFileInfo::exists(recent + "WND0.m3u"));
            QVERIFY(QFileInfo::exists(recent + "WND0.ctl"));
        }
    }

    void searchSelectsOrCopiesMatches() {
        TWorkspace ws;
        QStringList files;
        for (int i = 0; i < 5; ++i) files << ws.Copy(i, QString("s%1.mp3").arg(i));
        // Rows: Cinder & Vale, Juniper Static, Marlow Fenwick (album "Dust and Harbour"), Mira Kovac,
        // Northwind Collective ("Harbour Lights").
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        TMP3ListView* list = b->MP3ListView;

        app.Dialogs.Run(SearchFor("harbour", false, false, false, false));
        app.Main.actSearchExecute();
        QCOMPARE(list->SelectedRows(), Flags({0, 0, 1, 0, 1}));
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Search For Items"));
        QCOMPARE(app.Main.MainReg.ReadBool("Preferences", "Search Case Sensitive", true), false);

        app.Dialogs.Run(SearchFor("harbour", false, true, false, false));
        app.Main.actSearchExecute();
        QCOMPARE(list->SelectedCount(), 0);
        QCOMPARE(app.Main.MainReg.ReadBool("Preferences", "Search Case Sensitive", false), true);

        // Keep the current selection and add the matches.
        list->SelectRows(Flags({1, 0, 0, 0, 0}));
        app.Dialogs.Run(SearchFor("Salt", false, true, true, false));
        app.Main.actSearchExecute();
        QCOMPARE(list->SelectedRows(), Flags({1, 0, 1, 0, 0}));

        // Only the selected rows are searched; afterwards exactly the matching one is selected.
        list->SelectRows(Flags({0, 1, 1, 0, 0}));
        app.Dialogs.Run(SearchFor("orbit", true, false, false, false));
        app.Main.actSearchExecute();
        QCOMPARE(list->SelectedRows(), Flags({0, 1, 0, 0, 0}));
        QCOMPARE(app.Main.MainReg.ReadInteger("Preferences", "Search Items", 0), 1);

        // Copies go to one new window; no match makes no window.
        app.Dialogs.Run(SearchFor("no such text", false, false, false, true));
        app.Main.ActivateBrowser(b);
        app.Main.actSearchExecute();
        QCOMPARE(app.Main.ChildCount(), 1);
        app.Dialogs.Run(SearchFor("Harbour", false, true, false, true));
        app.Main.ActivateBrowser(b);
        app.Main.actSearchExecute();
        QCOMPARE(app.Main.ChildCount(), 2);
        TBrowserForm* copy = app.Main.Browsers().last();
        QCOMPARE(Column(copy, "Artist / Group"), QStringList({"Marlow Fenwick", "Northwind Collective"}));
        QCOMPARE(Column(copy, "Title"), QStringList({"Salt Road", "Harbour Lights"}));
        QCOMPARE(list->SelectedCount(), 0);  // the searched window keeps no selection
        QCOMPARE(copy->StatusPanels[0]->text(), QString("2 File(s)"));

        // The stored options come back when the window opens again.
        app.Dialogs.Run([](QDialog& dialog) {
            auto& form = dynamic_cast<TSearchItemsForm&>(dialog);
            const bool ok = form.edKeyword->text().isEmpty() && !form.btnSearch->isEnabled() &&
                            form.rbAllItems->isChecked() && form.chkNewWindow->isChecked() &&
                            form.chkCaseSensitive->isChecked() && !form.chkKeepSelection->isEnabled();
            return ok ? int(QDialog::Rejected) : 42;
        });
        app.Main.ActivateBrowser(b);
        app.Main.actSearchExecute();
        QCOMPARE(app.Main.ChildCount(), 2);
        QVERIFY(app.Dialogs.AllAnswered());
        QVERIFY(app.Dialogs.Problems.isEmpty());
    }

    void streamCheckerReportsEverySelectedFile() {
        TWorkspace ws;
        const QString good = ws.Copy(0, "good.mp3");
        const QString cut = ws.Cut(1, "cut.mp3", 18700);  // the last frame cut short
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({good, cut, ws.Copy(2, "unchecked.mp3")});
        b->MP3ListView->SelectRows(Flags({1, 1, 0}));
        QStringList report, files;
        app.Dialogs.Run([&](QDialog& dialog) {
            auto& form = dynamic_cast<TMPEGCheckForm&>(dialog);
            files = form.FileList();
            QTest::mouseClick(form.btnStart, Qt::LeftButton);
            report = form.ReportLines();
            return int(QDialog::Accepted);
        });
        app.Main.actMPEGCheckExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("MPEG Stream Checker"));
        QCOMPARE(files, QStringList({good, cut}));
        QCOMPARE(report.first(), QString("Sync Check Report:"));
        QVERIFY(report.contains("No error(s) found."));
        QVERIFY(report.contains("FATAL ERROR:"));
        QVERIFY(report.contains("File: " + good));
        QCOMPARE(report.last(), QString("2 file(s) checked."));

        // Every damaged place of a file: garbage after two frames and after four.
        QByteArray frame(417, '\x11');
        frame.replace(0, 4, QByteArray("\xFF\xFB\x90\x00", 4));
        QFile out(ws.Files() + "twice.mp3");
        QVERIFY(out.open(QIODevice::WriteOnly) &&
                out.write(frame + frame + "junk" + frame + frame + "junk" + frame) > 0);
        out.close();
        TMPEGCheckForm damaged(app.Dialogs, app.Main.MainReg, &app.Main);
        damaged.AddFile(out.fileName());
        damaged.btnStartClick();
        QCOMPARE(damaged.ReportLines().mid(3, 3),
                 QStringList({"Problems found: 2", "At offset 834: 4 bytes of garbage.",
                              "At offset 1672: 4 bytes of garbage."}));
        // A line longer than the first can be scrolled to its end.
        damaged.resize(300, 300);
        damaged.show();
        QTRY_VERIFY(damaged.lbMPEGSync->horizontalScrollBar()->maximum() > 0);
        damaged.hide();

        // The damaged file repaired after a question naming how many, checked again,
        // and taken back by Edit > Undo.
        const QString twice = out.fileName();
        const QByteArray before = ReadAll(twice);
        QVERIFY(damaged.btnRepair->isEnabled());
        app.Dialogs.No();
        damaged.btnRepair->click();
        QCOMPARE(app.Dialogs.Asked.last().Text,
                 QString("Repair the damaged streams of 1 file(s)?\rEdit > Undo puts the removed bytes back."));
        QCOMPARE(ReadAll(twice), before);
        TMPEGCheckForm repairing(app.Dialogs, app.Main.MainReg, &app.Main, app.Main.Changes());
        repairing.AddFile(twice);
        repairing.AddFile(good);
        repairing.btnStartClick();
        QCOMPARE(repairing.DamagedFiles(), QStringList({twice}));
        app.Dialogs.Yes();
        repairing.btnRepairClick();
        QVERIFY(app.Dialogs.AllAnswered());
        QCOMPARE(ReadAll(twice).size(), before.size() - 8);
        QVERIFY(repairing.ReportLines().contains(
            twice + ": removed 4 bytes of garbage at 834, removed 4 bytes of garbage at 1672; 2 problems repaired"));
        QVERIFY(!repairing.btnRepair->isEnabled());
        QCOMPARE(repairing.ReportLines().count("No error(s) found."), 2);
        app.Main.actUndo->trigger();
        QCOMPARE(ReadAll(twice), before);

        // The report saved as a text file, line by line.
        app.Dialogs.SaveAs(ws.Root() + "check.log");
        TMPEGCheckForm form(app.Dialogs, app.Main.MainReg, &app.Main);
        form.AddFile(good);
        form.btnStartClick();
        form.Button2Click();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Save MPEG log"));
        QCOMPARE(app.Dialogs.Asked.last().Filter,
                 QString("Logfile (*.log)|*.log|Textfile (*.txt)|*.txt|All Files (*.*)|*.*"));
        QCOMPARE(QString::fromUtf8(ReadAll(ws.Root() + "check.log")), form.ReportLines().join('\n') + '\n');
    }
};

QTEST_MAIN(ListsTest)
#include "lists_test.moc"
