// Parts of the windows with their own logic: the row model under large and
// scattered changes, text order, the mouse on empty list space, gathered
// messages, colour variants, skins, and the combo box with a stored history.
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "app/comboboxdb.h"
#include "app/graphics.h"
#include "app/messagesink.h"
#include "guitest.h"
#include "tageditor/bpmform.h"

using namespace velmar::gui;
using namespace velmar::gui::test;
using TKind = TScriptedDialogs::TKind;

namespace {

// Rows of one column whose texts are given, without files behind them.
void FillRows(TMP3ListView& list, const QStringList& texts) {
    std::vector<QStringList> rows;
    for (const QString& t : texts) {
        QStringList row(list.StrList().size());
        row[0] = t;
        rows.push_back(row);
    }
    list.Model()->AppendRows(rows);
}

QStringList Items(const QComboBox& box) {
    QStringList out;
    for (int i = 0; i < box.count(); ++i) out << box.itemText(i);
    return out;
}

void WriteFile(const QString& file, const QByteArray& data) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) qFatal("cannot write %s", qPrintable(file));
}

// A BPM counter on a clock that only moves when told to.
struct TBPMOnFakeClock {
    explicit TBPMOnFakeClock(qint64 start) : Now(start) {
        Form.Clock = [this] { return Now; };
    }
    // The clock reaches `ms` after the first tap and the timer ticks there.
    void TickAt(qint64 ms) {
        Now = First + ms;
        Form.timerTick();
    }
    // A tap at `ms` after the first, with a tick at the same moment before it.
    void TapAt(qint64 ms) {
        TickAt(ms);
        Form.beatClick();
    }
    void FirstTap() {
        First = Now;
        Form.beatClick();
    }
    TBPMForm Form;
    qint64 Now;
    qint64 First = 0;
};

}  // namespace

class PartsTest : public QObject {
    Q_OBJECT

private slots:
    void scatteredSelectionsAreDeletedAndInvertedExactly() {
        TScriptedDialogs dialogs;
        TMP3ListView list(dialogs);
        list.SetColumns({{"Path", 50}, {"Filename", 50}});
        QStringList texts;
        for (int i = 0; i < 1000; ++i) texts << QString::number(i);
        FillRows(list, texts);
        // Every third row: far more separate runs than one removal per run would allow.
        std::vector<char> flags(1000, 0);
        for (int i = 0; i < 1000; i += 3) flags[size_t(i)] = 1;
        list.SelectRows(flags);
        QCOMPARE(list.SelectedCount(), 334);
        QCOMPARE(list.FirstSelected(), 0);
        list.SelectInverse();
        QCOMPARE(list.SelectedCount(), 666);
        QCOMPARE(list.FirstSelected(), 1);
        list.Model()->RemoveRowSet(list.SelectedRows());
        QCOMPARE(list.Count(), 334);
        for (int r = 0; r < list.Count(); ++r) QCOMPARE(list.Model()->Cell(r, 0), QString::number(3 * r));
        // A few runs take the row-by-row path.
        list.SelectRows(Flags({0, 1, 1, 0, 1}));
        list.Model()->RemoveRowSet(list.SelectedRows());
        QCOMPARE(list.Model()->Cell(0, 0), QString("0"));
        QCOMPARE(list.Model()->Cell(1, 0), QString("9"));
        QCOMPARE(list.Model()->Cell(2, 0), QString("15"));
        QCOMPARE(list.Count(), 331);
    }

    void sortOrderIsThatOfTheCharactersAsWritten() {
        TScriptedDialogs dialogs;
        TMP3ListView list(dialogs);
        list.SetColumns({{"Path", 50}, {"Filename", 50}});
        const QString high = QString(QChar(0xFF21));              // FULLWIDTH A, above U+E000
        const QString astral = QString::fromUcs4(U"\U0001F3B5");  // a surrogate pair in UTF-16
        FillRows(list, {"b", astral, "B", high, "a10", "", "a9", "a", "b"});
        list.Model()->setData(list.Model()->index(0, 1), "first b");
        list.Model()->SetCell(0, 1, "first b");
        list.Model()->SetCell(8, 1, "second b");
        list.SortByColumn(0);
        QStringList sorted;
        for (int r = 0; r < list.Count(); ++r) sorted << list.Model()->Cell(r, 0);
        QCOMPARE(sorted, QStringList({"", "B", "a", "a10", "a9", "b", "b", high, astral}));
        // Equal texts keep their order.
        QCOMPARE(list.Model()->Cell(5, 1), QString("first b"));
        QCOMPARE(list.Model()->Cell(6, 1), QString("second b"));
    }

    void doubleClickOnEmptyListSpaceAddsFilesOrAFolder() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->SubWindow()->resize(600, 400);
        QWidget* viewport = b->MP3ListView->viewport();
        const QPoint empty(viewport->width() / 2, viewport->height() - 10);
        app.Dialogs.Files({});
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, empty);
        app.Dialogs.ChooseFolder("");
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::ShiftModifier, empty);
        const QList<TScriptedDialogs::TAsked> asked = app.Dialogs.Asked;
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[0].Kind, TKind::OpenFiles);
        QCOMPARE(asked[1].Kind, TKind::Folder);
        QVERIFY(app.Dialogs.Problems.isEmpty());
    }

    void messagesOfManyFilesAreShownOnceWithTheirFiles() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        QStringList missing;
        for (int i = 0; i < 25; ++i) missing << ws.Files() + QString("missing%1.mp3").arg(i);
        b->AddFileNames(missing);
        QCOMPARE(b->MP3ListView->Count(), 25);
        const QStringList errors = app.Dialogs.Messages(TKind::Error);
        QCOMPARE(errors.size(), 1);
        // Each file is named once, whether its message names it or a "File:" line does.
        for (int i = 0; i < TBatchErrors::kMaxShown; ++i) QCOMPARE(errors.first().count(missing[i] + "\""), 1);
        QCOMPARE(errors.first().count(missing[TBatchErrors::kMaxShown] + "\""), 0);
        TBatchErrors unnamed;
        unnamed.Add("/music/a.mp3", "Lyrics3 field EAL is too long for the tag and was cut to 99999 bytes.");
        QVERIFY(unnamed.Text().endsWith("\nFile: /music/a.mp3"));
        QVERIFY(errors.first().endsWith("... and 5 more message(s)."));
        // One file on its own shows its message at once, as the core wrote it.
        b->MP3ListView->AddFile(missing.first());
        QCOMPARE(app.Dialogs.Messages(TKind::Error).size(), 2);
        QVERIFY(app.Dialogs.Messages(TKind::Error).last().startsWith("MP3Object"));
    }

    void colourVariantsTakeEachPaletteAndKeepThePixels() {
        TWorkspace ws;
        TRegisterComp store(ws.Config() + "v.ini");
        TGraphics graphics(ws.Paths(), store);
        QVERIFY(TGraphics::LibraryAvailable());
        QVERIFY(graphics.PrepareFiles().isEmpty());
        const QByteArray base = ReadAll(ws.Data() + "GFX/background.bmp");
        QVERIFY(base.size() > 1078);
        for (int k = 0; k < 7; ++k) {
            const QByteArray variant = ReadAll(graphics.MainVariant(k));
            const QByteArray palette = ReadAll(ws.Data() + QString("GFX/COLTAB/CM%1.ACT").arg(k));
            QCOMPARE(variant.size(), base.size());
            QCOMPARE(variant.left(54), base.left(54));
            QCOMPARE(variant.mid(1078), base.mid(1078));
            for (int i = 0; i < 256; i += 51) {  // blue, green, red, 0 from red, green, blue
                QCOMPARE(variant[54 + 4 * i], palette[3 * i + 2]);
                QCOMPARE(variant[54 + 4 * i + 1], palette[3 * i + 1]);
                QCOMPARE(variant[54 + 4 * i + 2], palette[3 * i]);
                QCOMPARE(variant[54 + 4 * i + 3], char(0));
            }
        }
        QVERIFY(!QImage(graphics.BrowserVariant(6)).isNull());
        QCOMPARE(QImage(graphics.AboutWater()).size(), QSize(400, 300));
        // A missing palette is reported; the other set is still built.
        QFile::remove(ws.Data() + "GFX/COLTAB/CB3.ACT");
        const QStringList problems = graphics.PrepareFiles();
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems.first().contains("CB3.ACT"));
    }

    void skinPicturesReplaceOnlyTheBuiltInOnesTheyHave() {
        TWorkspace ws;
        TRegisterComp store(ws.Config() + "s.ini");
        TGraphics graphics(ws.Paths(), store);
        graphics.PrepareFiles();
        const QString skin = ws.Data() + "SKINS/Night/";
        QDir().mkpath(skin);
        QImage back(64, 48, QImage::Format_RGB32);
        back.fill(Qt::darkBlue);
        QVERIFY(back.save(skin + "BACK.BMP", "BMP"));
        QImage icons(224, 40, QImage::Format_RGB32);
        icons.fill(QColor(255, 0, 255));
        QVERIFY(icons.save(skin + "bicons_normal.bmp", "BMP"));
        store.WriteString("Preferences", "Skin", "Night");
        graphics.LoadWindowGraphics();
        QCOMPARE(graphics.MainBackground.size(), QSize(64, 48));
        QCOMPARE(graphics.ToolbarStrip.size(), TGraphics::BuiltIn("ID_TOOLBAR").size());  // no TOOLBAR.BMP
        QCOMPARE(graphics.BrowserNormal.size(), 7);
        QCOMPARE(graphics.BrowserNormal[0].size(), QSize(72, 40));
        QVERIFY(graphics.BrowserNormal[0].toImage().pixelColor(30, 20).alpha() == 0);  // magenta is transparent
        int opaque = 0;  // the hot images are still the built-in ones
        const QImage hot = graphics.BrowserHot[0].toImage();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 72; ++x) opaque += hot.pixelColor(x, y).alpha() > 0 ? 1 : 0;
        QVERIFY(opaque > 100);
        QCOMPARE(hot.pixelColor(5, 20).alpha(), 0);  // left of the cell: filled with magenta
        QCOMPARE(graphics.ToolbarNormal.size(), 30);
        // Without a skin the browser strip is the chosen colour variant.
        store.WriteString("Preferences", "Skin", "<DEFAULT>");
        store.WriteInteger("Preferences", "Explorer Background Color", 2);
        QCOMPARE(graphics.BrowserStrip().toImage(),
                 QImage(graphics.BrowserVariant(2)).convertToFormat(graphics.BrowserStrip().toImage().format()));
    }
    void historyLoadsSortedOnceAndIsWrittenBackAsUtf8Lines() {
        TWorkspace ws;
        const QString file = ws.Root() + "history/artists.db";
        WriteFile(file, QString("東京\nBjörk\r\nabba\n\nÄrzte\r\nbjörk\nABBA\nBjörk\r\n\r\nBeck").toUtf8());
        TComboBoxDB box;
        box.SetText("typed before");
        box.SetDBFile(file);
        QCOMPARE(box.DBFile(), file);
        // Exact repeats are dropped; texts equal but for case keep the order they came in.
        QCOMPARE(Items(box), QStringList({"abba", "ABBA", "Beck", "Björk", "björk", "Ärzte", "東京"}));
        QVERIFY(box.Text().isEmpty());

        box.SetText("draft");
        box.AddHistory("Beck");
        box.AddHistory("");
        QCOMPARE(box.count(), 7);
        box.AddHistory("beck");
        box.AddHistory("Adele");
        QCOMPARE(Items(box), QStringList({"abba", "ABBA", "Adele", "Beck", "beck", "Björk", "björk", "Ärzte", "東京"}));
        QCOMPARE(box.Text(), QString("draft"));

        QString error;
        QVERIFY(box.SaveHistory(error));
        QCOMPARE(ReadAll(file), (Items(box).join('\n') + '\n').toUtf8());
        TComboBoxDB reread;
        reread.SetDBFile(file);
        QCOMPARE(Items(reread), Items(box));

        // A missing file is created empty, folder and all; the first entry added to the
        // empty list does not take over the edit field.
        const QString fresh = ws.Root() + "new/folder/fresh.db";
        reread.SetDBFile(fresh);
        QVERIFY(QFileInfo(fresh).isFile());
        QCOMPARE(QFileInfo(fresh).size(), 0);
        QCOMPARE(reread.count(), 0);
        reread.AddHistory("Zappa");
        QVERIFY(reread.Text().isEmpty());
        QCOMPARE(reread.currentIndex(), -1);
        QVERIFY(reread.SaveHistory(error));
        QCOMPARE(ReadAll(fresh), QByteArray("Zappa\n"));

        TComboBoxDB unnamed;
        unnamed.AddHistory("kept in memory only");
        QVERIFY(unnamed.SaveHistory(error));
    }

    void typingCompletesFromTheFirstMatchingEntry() {
        TComboBoxDB box;
        for (const char* t : {"Björk", "Beck", "Beatles"}) box.AddHistory(t);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QLineEdit* edit = box.lineEdit();
        const auto type = [&](const QString& keys) {
            edit->clear();
            QTest::keyClicks(edit, keys);
            return std::pair(edit->text(), edit->selectedText());
        };
        QCOMPARE(type("Be"), std::pair(QString("Beatles"), QString("atles")));
        QTest::keyClicks(edit, "c");  // replaces the appended part
        QCOMPARE(edit->text(), QString("Beck"));
        QCOMPARE(edit->selectedText(), QString("k"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString("Bec"));
        QVERIFY(!edit->hasSelectedText());
        // The typed text stays as typed; only the tail comes from the entry.
        QCOMPARE(type("bj"), std::pair(QString("björk"), QString("örk")));
        QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(edit->text(), QString("bj"));
        QCOMPARE(type("x"), std::pair(QString("x"), QString()));
        // Enter leaves the list alone.
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(box.count(), 3);

        box.MinLengthComplete = 3;
        QCOMPARE(type("be"), std::pair(QString("be"), QString()));
        QTest::keyClicks(edit, "a");
        QCOMPARE(edit->text(), QString("beatles"));
        box.Complete = false;
        QCOMPARE(type("bea"), std::pair(QString("bea"), QString()));

        box.Complete = true;
        QList<int> keys;
        bool allow = true;
        box.OnComplete = [&](int key, QString& completion) {
            keys << key;
            completion = completion.left(1);
            return allow;
        };
        QCOMPARE(type("bea"), std::pair(QString("beat"), QString("t")));
        QCOMPARE(keys, QList<int>({Qt::Key_A}));
        allow = false;
        QCOMPARE(type("bec"), std::pair(QString("bec"), QString()));
        QCOMPARE(keys.size(), 2);
        QCOMPARE(type("xyz"), std::pair(QString("xyz"), QString()));
        QCOMPARE(keys.size(), 2);  // asked only when an entry matches
    }

    void historyThatCannotBeWrittenIsReportedWithItsFile() {
        TWorkspace ws;
        const QString folder = ws.Root() + "history";
        const QString file = folder + "/artists.db";
        TComboBoxDB box;
        box.SetDBFile(file);
        box.AddHistory("Beck");
        // The folder becomes a plain file: no permission lets anybody write under it.
        QVERIFY(QDir(folder).removeRecursively());
        WriteFile(folder, "not a folder");
        QString error;
        QVERIFY(!box.SaveHistory(error));
        const QString start = "Cannot write the history file \"" + QDir::toNativeSeparators(file) + "\": ";
        QVERIFY2(error.startsWith(start) && error.size() > start.size(), qPrintable(error));
        QCOMPARE(ReadAll(folder), QByteArray("not a folder"));
    }

    void bpmIsTheAverageTempoSinceTheFirstTap() {
        TBPMOnFakeClock bpm(0);
        TBPMForm& form = bpm.Form;
        bpm.FirstTap();
        QCOMPARE(form.BeatCount, 1);
        for (qint64 at : {500, 1000, 1500}) {
            bpm.TapAt(at);
            QCOMPARE(form.bpmEdit->text(), QString("120.00"));
            QCOMPARE(form.Result, 120);
        }
        QCOMPARE(form.BeatCount, 4);
        bpm.TickAt(1600);
        QCOMPARE(form.beatsLabel->text(), QString("4"));

        // An uneven tap counts toward the average, not on its own: two intervals in 1.5 s.
        form.stopClick();
        form.ClearBtnClick();
        bpm.FirstTap();
        bpm.TapAt(400);
        QCOMPARE(form.bpmEdit->text(), QString("150.00"));
        bpm.TapAt(1500);
        QCOMPARE(form.bpmEdit->text(), QString("80.00"));
        QCOMPARE(form.Result, 80);
        // Rounded to the nearest whole beat: 85.71 gives 86.
        form.stopClick();
        bpm.FirstTap();
        bpm.TapAt(700);
        QCOMPARE(form.bpmEdit->text(), QString("85.71"));
        QCOMPARE(form.Result, 86);
    }

    void bpmTapsAreTimedByTheLatestTimerTick() {
        TBPMOnFakeClock bpm(1000);
        TBPMForm& form = bpm.Form;
        bpm.FirstTap();
        // Before any tick the tap has nothing to measure: no change at all.
        bpm.Now += 300;
        form.beatClick();
        QCOMPARE(form.BeatCount, 1);
        QVERIFY(form.bpmEdit->text().isEmpty());
        QCOMPARE(form.Result, 0);
        // Between ticks, the tap counts at the tick before it.
        bpm.TickAt(500);
        bpm.Now += 40;
        form.beatClick();
        QCOMPARE(form.bpmEdit->text(), QString("120.00"));
        QCOMPARE(form.BeatCount, 2);
        // A new measurement does not measure against the ticks of the last one.
        form.stopClick();
        bpm.Now += 5000;
        bpm.FirstTap();
        form.beatClick();
        QCOMPARE(form.BeatCount, 1);
        QCOMPARE(form.bpmEdit->text(), QString("120.00"));
        QCOMPARE(form.Result, 120);
    }

    void bpmResultIsOnlyThatOfTheCurrentShowing() {
        TBPMOnFakeClock bpm(0);
        TBPMForm& form = bpm.Form;
        form.show();
        bpm.FirstTap();
        bpm.TickAt(500);
        QTest::mouseClick(form.OkBtn, Qt::LeftButton);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.Result, 0);

        form.show();
        form.stopClick();
        bpm.FirstTap();
        bpm.TapAt(500);
        bpm.TapAt(1000);
        QCOMPARE(form.Result, 120);
        form.hide();
        form.show();
        QCOMPARE(form.Result, 0);
        QCOMPARE(form.BeatCount, 0);
        QCOMPARE(form.bpmEdit->text(), QString("120.00"));  // the display stays until "Clear"
    }

    void bpmButtonsTimerAndTimeDisplay() {
        TBPMOnFakeClock bpm(0);
        TBPMForm& form = bpm.Form;
        QCOMPARE(form.windowTitle(), QString("BPM Counter"));
        QVERIFY(form.beat->isDefault());
        QVERIFY(!form.Stop->isEnabled());
        QVERIFY(form.ClearBtn->isEnabled());
        QVERIFY(form.bpmEdit->isReadOnly());
        QVERIFY(!form.Timer->isActive());
        QCOMPARE(form.Timer->interval(), 50);
        QCOMPARE(form.timeLabel->text(), QString("00:00"));
        QCOMPARE(form.beatsLabel->text(), QString("0"));

        bpm.FirstTap();
        QVERIFY(form.Timer->isActive());
        QVERIFY(form.Stop->isEnabled());
        QVERIFY(!form.ClearBtn->isEnabled());
        // The running timer itself brings the display up to the clock.
        bpm.Now += 75'000;
        QTRY_COMPARE(form.timeLabel->text(), QString("01:15"));
        bpm.TickAt(75'999);
        QCOMPARE(form.timeLabel->text(), QString("01:15"));
        bpm.TapAt(76'000);
        bpm.TickAt(100 * 60'000 + 59'000);  // minutes go past two digits
        QCOMPARE(form.timeLabel->text(), QString("100:59"));
        QCOMPARE(form.beatsLabel->text(), QString("2"));

        QTest::mouseClick(form.Stop, Qt::LeftButton);
        QVERIFY(!form.Timer->isActive());
        QVERIFY(!form.Stop->isEnabled());
        QVERIFY(form.ClearBtn->isEnabled());
        QCOMPARE(form.bpmEdit->text(), QString("0.79"));  // stopping keeps what was measured
        QCOMPARE(form.timeLabel->text(), QString("100:59"));

        QTest::mouseClick(form.ClearBtn, Qt::LeftButton);
        QCOMPARE(form.BeatCount, 0);
        QVERIFY(form.bpmEdit->text().isEmpty());
        QCOMPARE(form.timeLabel->text(), QString("00:00"));
        QCOMPARE(form.beatsLabel->text(), QString("0"));
    }

    void bpmElapsedTimeIsRightAcrossTheEndOfADay() {
        TBPMOnFakeClock bpm(86'399'000);  // one second before 24 hours in milliseconds
        TBPMForm& form = bpm.Form;
        bpm.FirstTap();
        for (qint64 at : {500, 1000, 1500}) {
            bpm.TapAt(at);
            QCOMPARE(form.bpmEdit->text(), QString("120.00"));
        }
        QCOMPARE(form.Result, 120);
        bpm.TickAt(2'000);
        QCOMPARE(form.timeLabel->text(), QString("00:02"));
    }
};

QTEST_MAIN(PartsTest)
#include "parts_test.moc"
