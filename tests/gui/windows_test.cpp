// How the main window places, lays out and dresses its browsers: grid and selection,
// window places, cascade and tiles, the one menu bar, long texts, and the small
// windows' remembered choices.
#include <QCheckBox>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QRadioButton>
#include <QSettings>

#include "browser/searchform.h"
#include "checker/mpegcheckform.h"
#include "guitest.h"
#include "main/windowplacement.h"

using namespace velmar::gui;
using namespace velmar::gui::test;

namespace {

QStringList MenuTitles(const TMainForm& main) {
    QStringList out;
    for (const QAction* a : main.menuBar()->actions()) out << a->text();
    return out;
}

QRect AreaRect(TApp& app) { return app.Main.Area->viewport()->rect(); }

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void gridLinesAndTheSelectionBothShow() {
        TWorkspace ws;
        QSettings ini(ws.Config() + "Orvane Design/Velmar.ini", QSettings::IniFormat);
        ini.setValue("Preferences/Grid", "1");
        ini.sync();
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3"), ws.Copy(1, "b.mp3"), ws.Copy(2, "c.mp3"), ws.Copy(3, "d.mp3")});
        TMP3ListView* list = b->MP3ListView;
        QVERIFY(list->Grid());
        list->SelectRows(Flags({1, 0, 1, 1}));
        list->clearFocus();
        const QImage shot = list->viewport()->grab().toImage();
        const QColor highlight = list->palette().color(QPalette::Inactive, QPalette::Highlight);
        const QColor activeHighlight = list->palette().color(QPalette::Active, QPalette::Highlight);
        auto highlighted = [&](int row) {
            // The top edge of a cell, above its text, shows the row's background.
            const QRect cell = list->visualRect(list->Model()->index(row, 1));
            const QColor c = shot.pixelColor(cell.center().x(), cell.top() + 1);
            return c.rgb() == highlight.rgb() || c.rgb() == activeHighlight.rgb();
        };
        QVERIFY(highlighted(0));
        QVERIFY(!highlighted(1));
        QVERIFY(highlighted(2));
        // A grid line below each row.
        const QRect first = list->visualRect(list->Model()->index(1, 2));
        QCOMPARE(shot.pixelColor(first.center().x(), first.bottom()).rgb(), list->palette().color(QPalette::Mid).rgb());
    }

    void newWindowsStayInsideTheAreaAndCascadeAndTilesKeepAUsableSize() {
        TWorkspace ws;
        TApp app(ws);
        app.Main.resize(1024, 768);
        const QRect area = AreaRect(app);
        for (int i = 0; i < 12; ++i) {
            TBrowserForm* b = app.Browser();
            QVERIFY2(area.contains(b->SubWindow()->geometry()), qPrintable(QString::number(i)));
        }
        const QList<QMdiSubWindow*> subs = app.Main.Children();
        QCOMPARE(subs[1]->pos() - subs[0]->pos(), QPoint(subs[1]->x(), subs[1]->x()));  // down and right
        QVERIFY(subs[1]->x() > 0);

        app.Main.actCascade->trigger();
        for (QMdiSubWindow* sub : subs) {
            QVERIFY(area.contains(sub->geometry()));
            QVERIFY(sub->width() >= area.width() * 2 / 3);
            QVERIFY(sub->height() >= area.height() * 2 / 3);
        }
        for (QAction* tile : {app.Main.actTileHorizontal, app.Main.actTileVertical}) {
            tile->trigger();
            for (QMdiSubWindow* sub : subs) {
                QVERIFY(area.contains(sub->geometry()));
                QVERIFY(sub->width() >= 320);
                QVERIFY(sub->height() >= 160);
            }
        }
    }

    void placesOfCascadesAndTiles() {
        const QRect area(0, 0, 1000, 600);
        // Stepping down and right, and back to the corner when the next step would leave the area.
        QCOMPARE(CascadeRect(0, QSize(680, 400), area, 30), QRect(0, 0, 680, 400));
        QCOMPARE(CascadeRect(6, QSize(680, 400), area, 30), QRect(180, 180, 680, 400));
        QCOMPARE(CascadeRect(7, QSize(680, 400), area, 30), QRect(0, 0, 680, 400));
        QCOMPARE(CascadeRect(3, QSize(2000, 900), area, 30), area);  // larger than the area: the area
        QCOMPARE(CascadeRects(3, area, 30).last(), QRect(60, 60, 940, 540));
        // Two windows one above the other; nine in three columns of three.
        QCOMPARE(TileRects(2, area, Qt::Vertical, QSize(320, 160)),
                 QList<QRect>({{0, 0, 1000, 300}, {0, 300, 1000, 300}}));
        const QList<QRect> nine = TileRects(9, area, Qt::Vertical, QSize(320, 160));
        QCOMPARE(nine[3], QRect(333, 0, 333, 200));
        QCOMPARE(TileRects(2, area, Qt::Horizontal, QSize(320, 160)),
                 QList<QRect>({{0, 0, 500, 600}, {500, 0, 500, 600}}));
        QCOMPARE(TileRects(5, area, Qt::Horizontal, QSize(320, 160)).last(),
                 QRect(500, 300, 500, 300));  // the second row shares its width
    }

    void theActiveBrowsersMenusStandInTheMainMenuBar() {
        TWorkspace ws;
        TApp app(ws);
        QCOMPARE(MenuTitles(app.Main), QStringList({"&File", "&Edit", "&Window", "&?"}));
        TBrowserForm* b = app.Browser();
        QCOMPARE(MenuTitles(app.Main), QStringList({"&File", "&Edit", "&Tools", "&Player", "&Window", "&?"}));
        QVERIFY(b->findChildren<QMenuBar*>().isEmpty());
        QVERIFY(b->Menus.first()->actions().contains(app.Main.actExit));
        b->SubWindow()->showMaximized();
        QCOMPARE(MenuTitles(app.Main).size(), 6);
        TBrowserForm* second = app.Browser();
        QCOMPARE(app.Main.menuBar()->actions().first(), second->Menus.first()->menuAction());
        second->SubWindow()->close();
        QCOMPARE(app.Main.menuBar()->actions().first(), b->Menus.first()->menuAction());
        b->ClosingWithoutPrompt = true;
        b->SubWindow()->close();
        QCOMPARE(MenuTitles(app.Main), QStringList({"&File", "&Edit", "&Window", "&?"}));
    }

    void maximisedAndMinimisedWindowsAreSavedWithTheirNormalPlace() {
        TWorkspace ws;
        {
            TApp app(ws);
            QMdiSubWindow* first = app.Browser()->SubWindow();
            first->setGeometry(40, 50, 420, 260);
            first->showMinimized();
            QMdiSubWindow* second = app.Browser()->SubWindow();
            second->setGeometry(10, 20, 500, 300);
            second->showMaximized();
            app.Main.close();
        }
        const QString recent = ws.Data() + "Recent Files/";
        QCOMPARE(ReadAll(recent + "WND0.ctl").left(21), QByteArray("420\r\n260\r\n40\r\n50\r\n1\r\n"));
        QCOMPARE(ReadAll(recent + "WND1.ctl").left(21), QByteArray("500\r\n300\r\n10\r\n20\r\n2\r\n"));
        TApp again(ws);
        QMdiSubWindow* restored = again.Main.Browsers().last()->SubWindow();
        QVERIFY(restored->isMaximized());
        restored->showNormal();
        QCOMPARE(restored->geometry(), QRect(10, 20, 500, 300));
    }

    void longTextsStayReadable() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        const QString deep = ws.Copy(0, QString("%1/%2/Album.mp3").arg(QString(60, 'x'), QString(60, 'y')));
        b->AddFileNames({deep});
        TMP3ListView* list = b->MP3ListView;
        list->SelectAll();
        // The status bar's file name does not widen the window.
        QVERIFY(b->StatusPanels[2]->text().endsWith("Album.mp3"));
        QVERIFY(b->minimumSizeHint().width() < 400);
        // Rows hold accented capitals and CJK text.
        const QFontMetrics metrics(list->font());
        QVERIFY(list->visualRect(list->Model()->index(0, 0)).height() >= metrics.boundingRect("ÅÉ漢字").height());
        // A double click on a divider fits the column to its longest text.
        const int path = list->ColumnIndex("Path") + 1;
        emit list->header()->sectionHandleDoubleClicked(path);
        QVERIFY(list->header()->sectionSize(path) >= metrics.horizontalAdvance(list->Model()->Cell(0, path)));
        const int tags = list->ColumnIndex("Tags") + 1;
        list->header()->resizeSection(tags, 300);
        emit list->header()->sectionHandleDoubleClicked(tags);
        QVERIFY(list->header()->sectionSize(tags) < 150);
    }

    void keepSelectionFollowsTheSearchChoices() {
        TWorkspace ws;
        TApp app(ws);
        app.Main.MainReg.WriteBool("Preferences", "Search Keep Selection", true);
        app.Main.MainReg.WriteBool("Preferences", "Search Create New Window", true);
        TSearchItemsForm& form = app.Main.SearchForm();
        form.Prepare();
        QVERIFY(!form.chkKeepSelection->isEnabled());  // copies go to a new window
        QTest::mouseClick(form.rbAllItems, Qt::LeftButton);
        QVERIFY(form.chkKeepSelection->isEnabled());
        QVERIFY(form.chkKeepSelection->isChecked());           // as stored
        QTest::mouseClick(form.chkNewWindow, Qt::LeftButton);  // unticked: nothing taken away
        QVERIFY(form.chkKeepSelection->isEnabled());
        QTest::mouseClick(form.chkNewWindow, Qt::LeftButton);  // ticked
        QVERIFY(!form.chkKeepSelection->isEnabled());
        QVERIFY(!form.chkKeepSelection->isChecked());
        QTest::mouseClick(form.rbAllItems, Qt::LeftButton);
        QVERIFY(form.chkKeepSelection->isEnabled());
        QTest::mouseClick(form.rbSelectedItems, Qt::LeftButton);
        QVERIFY(!form.chkKeepSelection->isEnabled());
        QVERIFY(!form.chkKeepSelection->isChecked());
    }

    void theCheckerLogIsSavedWhereTheLastOneWent() {
        TWorkspace ws;
        TApp app(ws);
        const QString logs = ws.Root() + "logs";
        QDir().mkpath(logs);
        TMPEGCheckForm form(app.Dialogs, app.Main.MainReg, &app.Main);
        app.Dialogs.SaveAs(logs + "/first.log");
        form.Button2Click();
        QCOMPARE(app.Dialogs.Asked.last().Folder, QDir::homePath());
        app.Dialogs.SaveAs(QString());
        form.Button2Click();
        QCOMPARE(app.Dialogs.Asked.last().Folder, logs);
    }

    void aBrowserIsTitledByItsFolderOrPlaylistAndTheMainWindowByTheActiveOne() {
        TWorkspace ws;
        const QString rock = ws.Copy(0, "Music/Rock/a.mp3"), rock2 = ws.Copy(1, "Music/Rock/b.mp3");
        const QString jazz = ws.Copy(2, "Music/Jazz/c.mp3");
        const QString list = ws.Files() + "Party Mix.m3u";
        QFile m3u(list);
        QVERIFY(m3u.open(QIODevice::WriteOnly));
        m3u.write((rock + "\n" + jazz + "\n").toUtf8());
        m3u.close();
        struct TCase {
            const char* Name;
            QStringList Paths;  // added as a user adds them
            QString Title;
        };
        const TCase cases[] = {
            {"empty", {}, "MP3 Browser"},
            {"one folder", {rock, rock2}, "Rock"},
            {"a folder scanned", {ws.Files() + "Music"}, "Music"},
            {"two folders side by side", {jazz, rock}, "Music"},
            {"a playlist", {list}, "Party Mix.m3u"},
        };
        TApp app(ws);
        for (const TCase& c : cases) {
            TBrowserForm* b = app.Browser();
            if (QString(c.Name) == "a playlist") {
                app.Dialogs.Files({list});
                app.Main.actLoadSongList->trigger();
            } else if (!c.Paths.isEmpty()) {
                b->AddPaths(c.Paths, false);
                b->UpdateStatus();
            }
            QCOMPARE(b->Caption(), c.Title);
            QCOMPARE(b->SubWindow()->windowTitle(), c.Title);
            QCOMPARE(app.Main.windowTitle(), c.Title + " - Velmar v1.3");
        }
        // Each window's title goes to the main window when it becomes active.
        const QList<TBrowserForm*> browsers = app.Main.Browsers();
        app.Main.ActivateBrowser(browsers[1]);
        QCOMPARE(app.Main.windowTitle(), QString("Rock - Velmar v1.3"));
        // Rows going and coming retitle a window; a playlist's name stays.
        TBrowserForm* rocks = browsers[1];
        rocks->MP3ListView->DeleteItem(1);
        rocks->MP3ListView->DeleteItem(0);
        QTRY_COMPARE(rocks->Caption(), QString("MP3 Browser"));
        QCOMPARE(app.Main.windowTitle(), QString("MP3 Browser - Velmar v1.3"));
        rocks->AddFileNames({jazz});
        QTRY_COMPARE(rocks->Caption(), QString("Jazz"));
        browsers[4]->AddFileNames({rock2});
        QTest::qWait(10);
        QCOMPARE(browsers[4]->Caption(), QString("Party Mix.m3u"));
        // Maximised, the window is named once in the main title, restored as before.
        app.Main.ActivateBrowser(rocks);
        rocks->SubWindow()->showMaximized();
        QTRY_VERIFY2(app.Main.windowTitle().count("Jazz") == 1 && app.Main.windowTitle().contains("Velmar v1.3"),
                     qPrintable(app.Main.windowTitle()));
        QTest::qWait(20);
        QCOMPARE(app.Main.windowTitle().count("Jazz"), 1);
        rocks->SubWindow()->showNormal();
        QTRY_COMPARE(app.Main.windowTitle(), QString("Jazz - Velmar v1.3"));
        // With no window left, the program's own title.
        for (TBrowserForm* b : browsers) b->ClosingWithoutPrompt = true;
        app.Main.actCloseAll->trigger();
        QTRY_COMPARE(app.Main.windowTitle(), QString("Velmar v1.3 "));
    }

    void theWindowMenuListsTheWindowsAndActivatesTheOneChosen() {
        TWorkspace ws;
        TApp app(ws);
        const QStringList folders = {"Blues", "Folk & Country", "Soul"};
        for (int i = 0; i < folders.size(); ++i) app.Browser()->AddFileNames({ws.Copy(i, folders[i] + "/x.mp3")});
        QMenu* menu = nullptr;
        for (QAction* a : app.Main.menuBar()->actions())
            if (a->text() == "&Window") menu = a->menu();
        QVERIFY(menu);
        auto listed = [&] {
            emit menu->aboutToShow();
            QStringList out;
            for (QAction* a : menu->actions())
                if (a->isCheckable()) out << (a->isChecked() ? "* " : "  ") + a->text();
            return out;
        };
        // The titles follow the files once they are in.
        QTRY_COMPARE(listed(), QStringList({"  &1 Blues", "  &2 Folk && Country", "* &3 Soul"}));
        // Shown again, the menu lists each window once.
        QCOMPARE(listed().size(), 3);
        for (QAction* a : menu->actions())
            if (a->text() == "&1 Blues") a->trigger();
        QCOMPARE(app.Main.ActiveBrowser(), app.Main.Browsers().first());
        QCOMPARE(listed(), QStringList({"* &1 Blues", "  &2 Folk && Country", "  &3 Soul"}));
        // A minimised window chosen comes back.
        app.Main.Browsers()[1]->SubWindow()->showMinimized();
        for (QAction* a : menu->actions())
            if (a->text().startsWith("&2")) a->trigger();
        QVERIFY(!app.Main.Browsers()[1]->SubWindow()->isMinimized());
        QCOMPARE(app.Main.ActiveBrowser(), app.Main.Browsers()[1]);
    }

    void cascadeAndTilesPlaceMaximisedWindowsToo() {
        TWorkspace ws;
        TApp app(ws);
        app.Main.resize(1024, 768);
        for (QAction* arrange : {app.Main.actCascade, app.Main.actTileHorizontal, app.Main.actTileVertical}) {
            for (int i = 0; i < 3; ++i) app.Browser();
            app.Main.Children().last()->showMaximized();
            arrange->trigger();
            QStringList places;
            for (QMdiSubWindow* sub : app.Main.Children()) {
                QVERIFY2(!sub->isMaximized(), qPrintable(arrange->text()));
                QVERIFY(sub->isVisible());
                places << QString("%1,%2").arg(sub->x()).arg(sub->y());
            }
            places.removeDuplicates();
            QCOMPARE(places.size(), 3);
            for (TBrowserForm* b : app.Main.Browsers()) b->ClosingWithoutPrompt = true;
            app.Main.actCloseAll->trigger();
            QTRY_COMPARE(app.Main.ChildCount(), 0);
        }
    }

    void aStartWithoutFilesOpensOneEmptyBrowserUnlessWindowsCameBack() {
        struct TCase {
            const char* Name;
            int Saved;       // browsers saved at the last close
            bool GivePaths;  // files named on the command line
            int Browsers;
        };
        const TCase cases[] = {
            {"nothing at all", 0, false, 1},
            {"files named", 0, true, 1},
            {"windows restored", 2, false, 2},
            {"windows restored and files named", 2, true, 3},
        };
        for (const TCase& c : cases) {
            TWorkspace ws;
            const QString file = ws.Copy(0, "Start/a.mp3");
            if (c.Saved > 0) {
                TApp app(ws);
                for (int i = 0; i < c.Saved; ++i) app.Browser()->AddFileNames({file});
            }
            TApp app(ws);
            app.Main.OpenStartPaths(c.GivePaths ? QStringList{file} : QStringList{});
            QVERIFY2(app.Main.ChildCount() == c.Browsers, c.Name);
            TBrowserForm* active = app.Main.ActiveBrowser();
            QVERIFY(active);
            QCOMPARE(active->Caption(), QString(c.Saved == 0 && !c.GivePaths ? "MP3 Browser" : "Start"));
            QVERIFY(active->actAddFiles->isEnabled());
        }
    }
};


QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
