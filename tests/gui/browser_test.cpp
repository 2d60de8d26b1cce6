// The browser window driven as a user would: start, add, delete, sort, close.
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>

#include "batch/tagsheet.h"
#include "guitest.h"
#include "tageditor/tageditorform.h"

using namespace velmar::gui;
using namespace velmar::gui::test;
using TKind = TScriptedDialogs::TKind;

class BrowserTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartWritesDefaultsAndShowsDefaultColumns() {
        TWorkspace ws;
        {
            TApp app(ws);
            TBrowserForm* b = app.Browser();
            QCOMPARE(b->MP3ListView->StrList(), QStringList({"Path", "Filename", "Tags", "Artist / Group", "Title",
                                                             "Album", "Remix", "Track", "Length"}));
            QCOMPARE(b->MP3ListView->header()->sectionSize(3), 130);
            QCOMPARE(b->windowTitle(), QString("MP3 Browser"));
            QCOMPARE(app.Main.windowTitle(), QString("MP3 Browser - Velmar v1.3"));
            QCOMPARE(b->StatusPanels[0]->text(), QString("0 File(s)"));
            QCOMPARE(app.Main.MainReg.ReadString("Preferences", "Skin", ""), QString("<DEFAULT>"));
            QCOMPARE(app.Main.MainReg.ReadInteger("Preferences", "XPlayer Priority", 0), 4);
            QCOMPARE(app.Main.MainReg.ReadInteger("Column All", "Att. Pics", -1), 17);
            QVERIFY(app.Main.MainReg.ValueExists("Preferences", "Last Directory"));
            QVERIFY(!app.Main.MainReg.ValueExists("Column Pos", "Size"));
            QVERIFY(app.Dialogs.Asked.isEmpty());  // no error of any kind at start
            // The colour variants were built from the palettes.
            QVERIFY(QFileInfo::exists(ws.Data() + "GFX/MAIN_MAGENTA.BMP"));
            QVERIFY(QFileInfo::exists(ws.Data() + "GFX/BROWSER_DEFAULT.BMP"));
            QVERIFY(QDir(ws.Data() + "Recent Files").exists());
        }
        // The store is a plain INI file in the given folder; a later start keeps what is there.
        QSettings ini(ws.Config() + "Orvane Design/Velmar.ini", QSettings::IniFormat);
        ini.setValue("Column Pos/Title", "0");
        ini.setValue("Column Pos/Path", "4");
        ini.sync();
        TApp again(ws);
        const QStringList columns = again.Browser()->MP3ListView->StrList();
        QCOMPARE(columns.at(0), QString("Title"));
        QCOMPARE(columns.at(4), QString("Path"));
    }

    void folderScanListsOwnFilesBeforeSubFoldersAndOnlyMpExtensions() {
        TWorkspace ws;
        ws.Copy(0, "tree/b.mp3");
        ws.Copy(1, "tree/sub/a.mp3");
        ws.Copy(2, "tree/a.mp2");
        ws.Copy(3, "tree/x.wav");
        ws.Copy(4, "tree/sub/deeper/c.MPA");
        ws.Copy(5, "tree/z.mp3");
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        app.Dialogs.ChooseFolder(ws.Files() + "tree");
        b->actAddDirExecute();
        QCOMPARE(FileNames(b),
                 QStringList({ws.Files() + "tree/a.mp2", ws.Files() + "tree/b.mp3", ws.Files() + "tree/z.mp3",
                              ws.Files() + "tree/sub/a.mp3", ws.Files() + "tree/sub/deeper/c.MPA"}));
        QCOMPARE(app.Dialogs.Asked.first().Text, QString("Choose a directory to scan recursively for MPEG file(s)"));
        QCOMPARE(app.Main.MainReg.ReadString("Preferences", "Last Directory", ""), ws.Files() + "tree");
        QCOMPARE(b->StatusPanels[0]->text(), QString("5 File(s)"));
        // The next picker starts in the stored folder; the file dialog too.
        app.Dialogs.ChooseFolder("");
        b->actAddDirExecute();
        QCOMPARE(app.Dialogs.Asked.last().Folder, ws.Files() + "tree");
        // Adding the same file again gives a second row.
        app.Dialogs.Files({ws.Files() + "tree/b.mp3"});
        b->actAddFilesExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Add MPEG File(s) To List"));
        QCOMPARE(app.Dialogs.Asked.last().Filter, QString("MPEG Layer 3 files (*.mp3)|*.mp3"));
        QCOMPARE(b->MP3ListView->Count(), 6);
        QCOMPARE(b->MP3ListView->FileNameAt(5), ws.Files() + "tree/b.mp3");
        QCOMPARE(app.Main.MainReg.ReadString("Preferences", "Last Directory", ""), ws.Files() + "tree/");
        QVERIFY(app.Dialogs.Problems.isEmpty());
    }

    void rowsShowTagsAndStreamFacts() {
        TWorkspace ws;
        const QString mira = ws.Copy(3, "m.mp3");
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({mira, ws.Files() + "gone.mp3"});
        QCOMPARE(Column(b, "Title").first(), QString::fromUtf8("Звёзды над рекой"));
        QCOMPARE(Column(b, "Album").first(), QString::fromUtf8("夜の灯り"));
        QCOMPARE(Column(b, "Track").first(), QString("04"));
        QCOMPARE(Column(b, "Length").first(), QString("00:03"));
        QCOMPARE(Column(b, "Tags").first(), QString("  2 "));
        // A file that cannot be read keeps its row with its name; the message comes once, with the file.
        QCOMPARE(b->MP3ListView->FileNameAt(1), ws.Files() + "gone.mp3");
        QCOMPARE(Column(b, "Tags").at(1), QString("    "));
        QCOMPARE(app.Dialogs.Messages(TKind::Error).size(), 1);
        QVERIFY(app.Dialogs.Messages(TKind::Error).first().contains(ws.Files() + "gone.mp3"));
        // Refresh rereads a changed file.
        QFile::remove(mira);
        QVERIFY(QFile::copy(SampleFiles().at(5), mira));
        b->MP3ListView->SelectRows(Flags({1, 0}));
        app.Main.actRefreshExecute();
        QCOMPARE(Column(b, "Title").first(), QString("Night Bulletin"));
    }

    void manyFilesLoadInListOrderWithTheirOwnMessages() {
        // Enough files that the threads reading them finish out of order: every row and
        // every message is still the one a file-by-file load gives, in the list's order.
        TWorkspace ws;
        const int samples = int(SampleFiles().size());
        for (int i = 0; i < 150; ++i)
            ws.Copy(i % samples, QString("many/d%1/f%2.mp3").arg(i % 4).arg(i, 3, 10, QChar('0')));
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        TMP3ListView* list = b->MP3ListView;
        auto shownRows = [list] {
            std::vector<QStringList> rows;
            for (int r = 0; r < list->Count(); ++r) rows.push_back(list->Model()->Row(r));
            return rows;
        };
        auto loadedOneByOne = [list](const QStringList& files) {
            TRowLoader loader(list->StrList());
            std::vector<QStringList> rows;
            for (const QString& f : files) {
                velmar::TCollectingSink sink;
                rows.push_back(loader.Load(f, sink));
            }
            return rows;
        };
        app.Dialogs.ChooseFolder(ws.Files() + "many");
        b->actAddDirExecute();
        const QStringList scanned = FileNames(b);
        QCOMPARE(scanned.size(), 150);
        QCOMPARE(scanned.at(0), ws.Files() + "many/d0/f000.mp3");
        QCOMPARE(scanned.at(37), ws.Files() + "many/d0/f148.mp3");
        QCOMPARE(scanned.at(38), ws.Files() + "many/d1/f001.mp3");
        QVERIFY(shownRows() == loadedOneByOne(scanned));

        // Files that cannot be read among them: each message with its file, in order.
        list->Model()->Clear();
        QStringList given, gone;
        for (int i = 0; i < scanned.size(); ++i) {
            if (i % 10 == 3) given << (gone << ws.Files() + QString("gone%1.mp3").arg(i)).last();
            given << scanned.at(i);
        }
        b->AddFileNames(given);
        QCOMPARE(FileNames(b), given);
        QVERIFY(shownRows() == loadedOneByOne(given));
        QCOMPARE(app.Dialogs.Messages(TKind::Error).size(), 1);
        const QString text = app.Dialogs.Messages(TKind::Error).first();
        qsizetype at = -1;
        for (const QString& g : gone) {
            const qsizetype found = text.indexOf(g);
            QVERIFY2(found > at, qPrintable(g));
            at = found;
        }

        // Refreshing all rows after some files changed or went away.
        QVERIFY(QFile::remove(given.at(60)));
        QVERIFY(QFile::remove(given.at(120)));
        QVERIFY(QFile::remove(given.at(1)));
        QVERIFY(QFile::copy(SampleFiles().at(5), given.at(1)));
        app.Main.actRefreshExecute();
        QVERIFY(shownRows() == loadedOneByOne(given));
        QCOMPARE(app.Dialogs.Messages(TKind::Error).size(), 2);
        const QString refreshed = app.Dialogs.Messages(TKind::Error).last();
        QVERIFY(refreshed.indexOf(given.at(60)) >= 0);
        QVERIFY(refreshed.indexOf(given.at(60)) < refreshed.indexOf(given.at(120)));
    }

    void deleteAsksAndRemovesExactlyTheSelection() {
        TWorkspace ws;
        QStringList files;
        for (int i = 0; i < 5; ++i) files << ws.Copy(i, QString("f%1.mp3").arg(i));
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->actDeleteItemsExecute();
        QCOMPARE(app.Dialogs.Messages(TKind::Information), QStringList({"No files to delete."}));
        b->AddFileNames(files);

        app.Dialogs.No();
        b->actDeleteItemsExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Delete ALL 5 item(s)?"));
        QCOMPARE(b->MP3ListView->Count(), 5);

        b->MP3ListView->SelectRows(Flags({0, 1, 0, 0, 0}));
        app.Dialogs.Yes();
        b->actDeleteItemsExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Delete one item from list?"));
        QCOMPARE(FileNames(b), QStringList({files[0], files[2], files[3], files[4]}));

        b->MP3ListView->SelectRows(Flags({1, 0, 1, 1}));
        app.Dialogs.No();
        b->actDeleteItemsExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Delete 3 item(s) from list?"));
        QCOMPARE(b->MP3ListView->Count(), 4);
        app.Dialogs.Yes();
        b->actDeleteItemsExecute();
        QCOMPARE(FileNames(b), QStringList({files[2]}));
        QCOMPARE(b->StatusPanels[0]->text(), QString("1 File(s)"));

        app.Dialogs.Yes();
        b->MP3ListView->SelectNone();
        b->actDeleteItemsExecute();
        QCOMPARE(b->MP3ListView->Count(), 0);
        QVERIFY(app.Dialogs.AllAnswered());
        QVERIFY(app.Dialogs.Problems.isEmpty());
    }

    void headerClicksSortByTextBothWaysKeepingTheSelection() {
        TWorkspace ws;
        QStringList files = {ws.Cut(0, "a.mp3", 9728), ws.Cut(1, "b.mp3", 10240), ws.Cut(2, "c.mp3", 1000000),
                             ws.Cut(3, "d.mp3", 999999)};
        TApp app(ws);
        // Show "Size" as a fifth column.
        app.Main.MainReg.WriteInteger("Column Pos", "Size", 2);
        app.Main.MainReg.WriteInteger("Column Pos", "Tags", 9);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        QCOMPARE(Column(b, "Size"), QStringList({"9,5 Kb", "10,0 Kb", "1,0 Mb", "976,6 Kb"}));
        b->MP3ListView->SelectRows(Flags({1, 0, 0, 0}));
        QCOMPARE(b->MP3ListView->header()->sortIndicatorSection(), -1);  // no arrow before a sort
        const int size = int(b->MP3ListView->StrList().indexOf("Size"));
        b->MP3ListView->header()->sectionClicked(size);
        QCOMPARE(Column(b, "Size"), QStringList({"1,0 Mb", "10,0 Kb", "9,5 Kb", "976,6 Kb"}));
        QCOMPARE(b->SortColumn, size);
        QCOMPARE(b->MP3ListView->FocusedFileName(), files[0]);
        QCOMPARE(b->MP3ListView->FirstSelected(), 2);
        QHeaderView* header = b->MP3ListView->header();
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), size);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        // Each further click on a header: the order it gives and the arrow it shows.
        const int name = int(b->MP3ListView->StrList().indexOf("Filename"));
        const struct {
            int Column;
            QStringList Sizes;
            Qt::SortOrder Order;
        } clicks[] = {
            {size, {"976,6 Kb", "9,5 Kb", "10,0 Kb", "1,0 Mb"}, Qt::DescendingOrder},
            {size, {"1,0 Mb", "10,0 Kb", "9,5 Kb", "976,6 Kb"}, Qt::AscendingOrder},
            {name, {"9,5 Kb", "10,0 Kb", "1,0 Mb", "976,6 Kb"}, Qt::AscendingOrder},
            {name, {"976,6 Kb", "1,0 Mb", "10,0 Kb", "9,5 Kb"}, Qt::DescendingOrder},
        };
        for (const auto& click : clicks) {
            header->sectionClicked(click.Column);
            QCOMPARE(Column(b, "Size"), click.Sizes);
            QCOMPARE(header->sortIndicatorSection(), click.Column);
            QCOMPARE(header->sortIndicatorOrder(), click.Order);
            QCOMPARE(b->MP3ListView->FocusedFileName(), files[0]);  // the selection follows its file
        }
        QCOMPARE(b->StatusPanels[1]->text(), QString("1 File(s) Selected"));
    }

    void columnsShowTheirCaptionsAndTheNamesTakeTheRoomLeft() {
        TWorkspace ws;
        TApp app(ws);
        TRegisterComp& store = app.Main.MainReg;
        store.WriteInteger("Column Pos", "Comment(s)", 9);
        store.WriteInteger("Column Pos", "User Text(s)", 10);
        store.WriteInteger("Column Width", "Remix", 20);  // a user's choice, though it cuts the caption
        store.WriteInteger("Column Width", "Title", 77);
        TBrowserForm* b = app.Browser();
        TMP3ListView* list = b->MP3ListView;
        QHeaderView* header = list->header();
        auto width = [&](const char* caption) { return header->sectionSize(int(list->StrList().indexOf(caption))); };
        auto whole = [&](const char* caption) {
            const int column = int(list->StrList().indexOf(caption));
            return header->sectionSize(column) >= header->sectionSizeHint(column);
        };
        // Default widths grow to their captions; widths the user set stay as they are.
        for (const char* caption : {"Comment(s)", "User Text(s)", "Length", "Track", "Tags"})
            QVERIFY2(whole(caption), caption);
        QCOMPARE(width("Artist / Group"), 130);
        QCOMPARE(width("Remix"), 20);
        QCOMPARE(width("Title"), 77);

        // The room the other columns leave goes to the file name (two thirds) and its folder.
        int others = 0;
        for (int c = 0; c < list->StrList().size(); ++c)
            if (c != list->StrList().indexOf("Filename") && c != list->StrList().indexOf("Path"))
                others += header->sectionSize(c);
        const struct {
            int WindowWidth;
            bool Stretched;
        } sizes[] = {{1600, true}, {300, false}, {2000, true}};
        for (const auto& size : sizes) {
            b->SubWindow()->resize(size.WindowWidth, 400);
            QCoreApplication::processEvents();
            const int room = list->viewport()->width() - others - 100 - 65;
            const int name = width("Filename"), path = width("Path");
            QCOMPARE(name, size.Stretched ? 100 + room * 2 / 3 : 100);
            QCOMPARE(path, size.Stretched ? 65 + room - room * 2 / 3 : 65);
            QCOMPARE(list->OwnWidth(int(list->StrList().indexOf("Filename"))), 100);
        }
        // A column the user widens keeps that width as its own; the stretch is not stored.
        header->resizeSection(int(list->StrList().indexOf("Filename")), 500);
        b->ClosingWithoutPrompt = true;
        b->AddFileNames({ws.Copy(0, "a.mp3")});
        b->actCloseBrowserExecute();
        QCOMPARE(store.ReadInteger("Column Width", "Filename", 0), 500);
        QCOMPARE(store.ReadInteger("Column Width", "Path", 0), 65);
    }

    void contextMenuCopiesTagsAndPastesThemUndoably() {
        TWorkspace ws;
        const QStringList files = {ws.Copy(2, "a.mp3"), ws.Copy(0, "b.mp3"), ws.Copy(6, "c.mp3")};
        const QByteArray original[3] = {ReadAll(files[0]), ReadAll(files[1]), ReadAll(files[2])};
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        // The tags a file shows through its fields by name, the way a copy takes them.
        auto tags = [](const QString& file) {
            velmar::TCollectingSink sink;
            velmar::TMP3Object object(sink);
            if (!object.LoadFile(ToPath(file), false)) return velmar::TFieldValues();
            return velmar::CopiedFields(velmar::CommonTags(object));
        };
        const velmar::TFieldValues source = tags(files[0]);
        const velmar::TFieldValues untouched = tags(files[2]);

        b->MP3ListView->SelectRows(Flags({1, 0, 0}));
        b->actCopyTagsExecute();
        b->MP3ListView->SelectRows(Flags({1, 1, 0}));  // the source among the targets is left as it is
        emit b->ContextMenu->aboutToShow();
        QVERIFY(b->actPasteTags->isEnabled());
        b->actPasteTagsExecute();
        QCOMPARE(ReadAll(files[0]), original[0]);
        velmar::TFieldValues expected = tags(files[1]);
        for (const auto& [field, value] : source) expected[field] = value;
        QVERIFY(expected != source);  // the target has a field the source lacks, and keeps it
        QCOMPARE(tags(files[1]), expected);
        QCOMPARE(tags(files[2]), untouched);
        QCOMPARE(Column(b, "Title").at(1), Column(b, "Title").at(0));  // the row shows the new tags

        QVERIFY(app.Main.actUndo->isEnabled());
        app.Main.actUndo->trigger();
        for (int i = 0; i < 3; ++i) QCOMPARE(ReadAll(files[i]), original[i]);
        QVERIFY(app.Dialogs.Messages(TKind::Error).isEmpty());
    }

    void aTagCellEditedInPlaceIsWrittenAndUndoable() {
        TWorkspace ws;
        const QString file = ws.Copy(0, "a.mp3");
        const QByteArray original = ReadAll(file);
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({file});
        TMP3ListView* list = b->MP3ListView;
        auto tags = [&file] {
            velmar::TCollectingSink sink;
            velmar::TMP3Object object(sink);
            if (!object.LoadFile(ToPath(file), false)) return velmar::TFieldValues();
            return velmar::CopiedFields(velmar::CommonTags(object));
        };
        auto column = [&](const char* caption) { return int(list->StrList().indexOf(caption)); };
        const velmar::TFieldValues before = tags();
        QVERIFY(before.count("artist") && before.count("track_total"));
        auto editing = [list] {
            const QList<QLineEdit*> editors = list->viewport()->findChildren<QLineEdit*>();
            return std::any_of(editors.begin(), editors.end(), [](QLineEdit* e) { return e->isVisible(); });
        };

        // F2 edits the tag cell in focus.
        list->setCurrentIndex(list->Model()->index(0, column("Title")));
        QTest::keyClick(list, Qt::Key_F2);
        QVERIFY(editing());
        // The editor stands over the cell it edits.
        QCOMPARE(list->viewport()->findChild<QLineEdit*>()->geometry().left(),
                 list->visualRect(list->currentIndex()).left());
        QTest::keyClick(list->viewport()->findChild<QLineEdit*>(), Qt::Key_Escape);
        QVERIFY(!editing());

        // What each typed text writes: the fields it changes (none: the file is not written).
        const struct {
            const char* Caption;
            QString Typed;
            velmar::TFieldValues Changed;
            int Errors;
        } edits[] = {
            {"Title", " New Title ", {{"title", "New Title"}}, 0},
            {"Artist / Group", "", {{"artist", ""}}, 0},
            {"Track", "3/12", {{"track", "3"}, {"track_total", "12"}}, 0},
            {"Track", "4", {{"track", "4"}}, 0},
            {"Filename", "x.mp3", {}, 0},
            {"Track", "x", {}, 1},
        };
        for (const auto& e : edits) {
            QVERIFY(!list->Model()->setData(list->Model()->index(0, column(e.Caption)), e.Typed, Qt::EditRole) ==
                    (QString(e.Caption) == "Filename"));
            velmar::TFieldValues expected = before;
            for (const auto& [field, value] : e.Changed) {
                if (value.empty())
                    expected.erase(field);
                else
                    expected[field] = value;
            }
            QCOMPARE(tags(), expected);
            QCOMPARE(int(app.Dialogs.Messages(TKind::Error).size()), e.Errors);
            if (e.Changed.empty()) {
                QCOMPARE(ReadAll(file), original);
                continue;
            }
            if (e.Changed.count("title")) QCOMPARE(Column(b, "Title"), QStringList({"New Title"}));
            app.Main.actUndo->trigger();
            QCOMPARE(ReadAll(file), original);
        }
        QCOMPARE(Column(b, "Title"), QStringList({QString::fromStdString(before.at("title"))}));

        // While the tag editor has the file, F2 says so and edits nothing.
        list->SelectRows(Flags({1}));
        b->actEditTagsExecute();
        list->setCurrentIndex(list->Model()->index(0, column("Title")));
        QTest::keyClick(list, Qt::Key_F2);
        QVERIFY(!editing());
        QVERIFY(app.Dialogs.Asked.last().Text.startsWith("You are currently in Edit mode."));
        b->TagEditor->close();
    }

    void showInFileManagerOpensTheFolderOfTheFirstSelectedFile() {
        TWorkspace ws;
        const QStringList files = {ws.Copy(0, "one/a.mp3"), ws.Copy(1, "two/b.mp3")};
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        QList<QUrl> opened;
        b->OpenLocation = [&opened](const QUrl& url) {
            opened << url;
            return true;
        };
        const struct {
            std::vector<char> Selected;
            QString Removed;  // a folder taken away first
            QList<QUrl> Opened;
            int Errors;
        } cases[] = {
            {{0, 1}, {}, {QUrl::fromLocalFile(ws.Files() + "two")}, 0},
            {{0, 0}, {}, {}, 0},
            {{1, 0}, ws.Files() + "one", {}, 1},
        };
        for (const auto& c : cases) {
            opened.clear();
            if (!c.Removed.isEmpty()) QVERIFY(QDir(c.Removed).removeRecursively());
            b->MP3ListView->SelectRows(c.Selected);
            b->actShowInFolderExecute();
            QCOMPARE(opened, c.Opened);
            QCOMPARE(int(app.Dialogs.Messages(TKind::Error).size()), c.Errors);
        }
    }

    void commandStatesFollowTheSelection() {
        TWorkspace ws;
        TApp app(ws);
        QVERIFY(!app.Main.actSaveSongList->isEnabled());
        QVERIFY(app.Main.actNewBrowser->isEnabled());
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3"), ws.Copy(1, "b.mp3"), ws.Copy(2, "c.mp3")});
        b->UpdateStatus();
        QVERIFY(app.Main.actSaveSongList->isEnabled());
        QVERIFY(!app.Main.actMPEGCheck->isEnabled());
        QVERIFY(!b->actSelectNone->isEnabled());
        b->MP3ListView->SelectRows(Flags({1, 0, 0}));
        QVERIFY(!app.Main.actMoveUp->isEnabled());
        QVERIFY(app.Main.actMoveDown->isEnabled());
        QVERIFY(app.Main.actMPEGCheck->isEnabled());
        app.Main.actMoveDownExecute();
        QCOMPARE(b->MP3ListView->FocusedFileName(), ws.Files() + "a.mp3");
        QCOMPARE(b->MP3ListView->FirstSelected(), 1);
        QCOMPARE(b->MP3ListView->SelectedCount(), 1);
        QCOMPARE(b->MP3ListView->FileNameAt(0), ws.Files() + "b.mp3");
        QVERIFY(app.Main.actMoveUp->isEnabled());
        app.Main.actMoveUpExecute();
        QCOMPARE(FileNames(b), QStringList({ws.Files() + "a.mp3", ws.Files() + "b.mp3", ws.Files() + "c.mp3"}));
        b->actSelectAllExecute();
        QVERIFY(!app.Main.actMoveUp->isEnabled());
        QVERIFY(!app.Main.actMoveDown->isEnabled());
        b->actSelectInverseExecute();
        QCOMPARE(b->MP3ListView->SelectedCount(), 0);
    }

    void editModeRefusesChangesButRefreshes() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3")});
        b->MP3ListView->EditMode = true;
        const QString message =
            "You are currently in Edit mode.\rNo changes can be done to the list while you are in this mode.\r"
            "To make the changes you want, exit the tag editor.";
        b->actAddFilesExecute();
        b->actDeleteItemsExecute();
        b->MP3ListView->AddFile(ws.Files() + "a.mp3");
        QCOMPARE(app.Dialogs.Messages(TKind::Information), QStringList({message, message, message}));
        QCOMPARE(b->MP3ListView->Count(), 1);
        b->MP3ListView->SetField(0, "Title", "changed");
        b->MP3ListView->RefreshItem(0);
        QCOMPARE(Column(b, "Title").first(), QString("Lanterns in the Rain"));
        // Closing is refused too: the window is minimised instead.
        b->SubWindow()->close();
        QCOMPARE(app.Main.ChildCount(), 1);
        QVERIFY(b->SubWindow()->isMinimized());
        b->MP3ListView->EditMode = false;
    }

    void listFieldsByCaption() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3")});
        TMP3ListView* list = b->MP3ListView;
        QCOMPARE(list->ColumnIndex("Path"), -1);
        QCOMPARE(list->ColumnIndex("Filename"), 0);
        QCOMPARE(list->ColumnIndex("Genre"), -2);
        QString text = "untouched";
        list->GetField(0, "Genre", text);
        QCOMPARE(text, QString("untouched"));
        list->SetField(0, "Genre", "x");
        list->SetFileName(0, "renamed.mp3");
        QCOMPARE(list->FileNameAt(0), ws.Files() + "renamed.mp3");
        QCOMPARE(list->FocusedFileName(), QString());
    }

    void closingAskedSavePlaylistAndCancelKeepsTheWindow() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* empty = app.Browser();
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3"), ws.Copy(1, "b.mp3")});
        b->MP3ListView->header()->resizeSection(1, 222);

        app.Dialogs.Answer(TAnswer::Cancel);
        b->actCloseBrowserExecute();
        QCOMPARE(app.Dialogs.Asked.last().Text, QString("Save playlist?"));
        QCOMPARE(app.Main.ChildCount(), 2);
        QCOMPARE(b->MP3ListView->Count(), 2);
        QCOMPARE(app.Main.MainReg.ReadInteger("Column Width", "Filename", 0), 100);

        // Yes saves the whole list through the save dialog, then closes.
        app.Dialogs.Answer(TAnswer::Yes);
        app.Dialogs.SaveAs(ws.Root() + "kept.m3u");
        b->actCloseBrowserExecute();
        QTest::qWait(0);
        QCOMPARE(app.Main.ChildCount(), 1);
        QFile saved(ws.Root() + "kept.m3u");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), (ws.Files() + "a.mp3\r\n" + ws.Files() + "b.mp3\r\n").toUtf8());
        QCOMPARE(app.Main.MainReg.ReadInteger("Column Width", "Filename", 0), 222);

        // An empty browser closes without a question.
        const qsizetype asked = app.Dialogs.Asked.size();
        empty->actCloseBrowserExecute();
        QTest::qWait(0);
        QCOMPARE(app.Main.ChildCount(), 0);
        QCOMPARE(app.Dialogs.Asked.size(), asked);
        QVERIFY(!app.Main.actSaveSongList->isEnabled());
        QVERIFY(app.Dialogs.Problems.isEmpty());
    }

    void droppedPathsOnTheBackground() {
        TWorkspace ws;
        ws.Copy(0, "drop/a.mp3");
        QFile text(ws.Files() + "notes.txt");
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.close();
        QDir().mkpath(ws.Files() + "nothing/inner");
        TApp app(ws);
        app.Main.DropPaths({ws.Files() + "nothing"});
        QCOMPARE(app.Main.ChildCount(), 0);
        app.Main.DropPaths({ws.Files() + "notes.txt"});
        QCOMPARE(app.Main.ChildCount(), 1);
        QCOMPARE(app.Main.Browsers().first()->MP3ListView->Count(), 0);
        app.Main.DropPaths({ws.Files() + "drop", ws.Files() + "notes.txt"});
        QCOMPARE(app.Main.ChildCount(), 2);
        QCOMPARE(FileNames(app.Main.Browsers().last()), QStringList({ws.Files() + "drop/a.mp3"}));
        // The command line opens one browser with files, folders and playlists.
        const QString list = ws.Root() + "l.m3u";
        QFile m3u(list);
        QVERIFY(m3u.open(QIODevice::WriteOnly));
        m3u.write("#EXTM3U\r\nfiles/drop/a.mp3\r\n");
        m3u.close();
        app.Main.OpenPaths({ws.Files() + "drop", list});
        QCOMPARE(app.Main.ChildCount(), 3);
        QCOMPARE(FileNames(app.Main.Browsers().last()).size(), 2);
    }
};

QTEST_MAIN(BrowserTest)
#include "browser_test.moc"
