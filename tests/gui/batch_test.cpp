// The windows that change files in batches, driven as a user would: the format
// editor, renaming by format and the filename-to-tag wizard, on real files.
#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtEndian>

#include "app/comboboxdb.h"
#include "batch/filename2tagwizard.h"
#include "batch/makelistform.h"
#include "batch/matchwipeforms.h"
#include "batch/outputform.h"
#include "batch/renameform.h"
#include "batch/taghelpform.h"
#include "edit/tagedit.h"
#include "file/mp3object.h"
#include "guitest.h"

using namespace velmar::gui;
using namespace velmar::gui::test;
using TKind = TScriptedDialogs::TKind;

namespace {

// The output formats shipped with the program, in the workspace's DATA folder.
void ShipFormats(const TWorkspace& ws) {
    const QString shipped = QStringLiteral(VELMAR_SOURCE_DATA) + "/Outputs/";
    for (const QString& mode : QDir(shipped).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDir().mkpath(ws.Data() + "Outputs/" + mode);
        for (const QString& name : QDir(shipped + mode).entryList(QDir::Files))
            QFile::copy(shipped + mode + "/" + name, ws.Data() + "Outputs/" + mode + "/" + name);
    }
}

// The shipped predefined lists, in the workspace's DATA folder.
void ShipLists(const TWorkspace& ws) {
    const QString shipped = QStringLiteral(VELMAR_SOURCE_DATA) + "/Lists/";
    for (const QString& list : QDir(shipped).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDir().mkpath(ws.Data() + "Lists/" + list);
        for (const QString& name : QDir(shipped + list).entryList(QDir::Files))
            QFile::copy(shipped + list + "/" + name, ws.Data() + "Lists/" + list + "/" + name);
    }
}

// A copy of the first sample that plays `seconds`: its first frame carries a "Xing"
// header with the frame count of that length (MPEG-1 Layer III, 44.1 kHz, stereo).
QString Lasting(const TWorkspace& ws, const QString& name, int seconds) {
    const QString file = ws.Copy(0, name);
    QByteArray bytes = ReadAll(file);
    const int tagSize = (bytes[6] << 21 | bytes[7] << 14 | bytes[8] << 7 | bytes[9]) + 10;
    char header[12] = {'X', 'i', 'n', 'g'};
    qToBigEndian<quint32>(1, header + 4);
    qToBigEndian<quint32>(quint32((qint64(seconds) * 44100 + 1151) / 1152), header + 8);
    bytes.replace(tagSize + 4 + 32, 12, QByteArray(header, 12));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

void Tag(const QString& file, const std::string& artist, const std::string& title, const std::string& track) {
    velmar::TCollectingSink sink;
    velmar::TMP3Object object(sink);
    QVERIFY(object.LoadFile(ToPath(file), true));
    velmar::TTagEdit edit(object);
    edit.Set(velmar::TTagField::Artist, artist);
    edit.Set(velmar::TTagField::Title, title);
    edit.Set(velmar::TTagField::Track, track);
    QVERIFY(object.SaveFile(ToPath(file), true, false, true));
}

// A modal window as the program shows it: shown, worked by `work`, its result.
template <typename TForm, typename TWork>
std::function<int(QDialog&)> Shown(TWork work) {
    return [work](QDialog& dialog) {
        dialog.show();
        work(dynamic_cast<TForm&>(dialog));
        dialog.hide();
        return dialog.result();
    };
}

void Choose(QListWidget* list, const QString& name) {
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list->setCurrentItem(found.first());
}

QStringList Texts(const QTreeWidget* tree, int column) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) out << tree->topLevelItem(i)->text(column);
    return out;
}

}  // namespace

class BatchTest : public QObject {
    Q_OBJECT

private slots:
    void formatEditorWritesItsFileAndAsksBeforeEditsAreLost() {
        TWorkspace ws;
        TApp app(ws);
        TOutputForm& out = app.Main.OutputForm();
        const QString folder = ws.Data() + "Outputs/Rename/";
        QVERIFY(out.SelectMode("Rename"));
        QVERIFY(QDir(folder).exists());
        QCOMPARE(out.windowTitle(), QString("Output Editor - Rename"));
        QCOMPARE(out.lblUser->text(), QString("Rename format"));
        QVERIFY(!out.edtUser->isEnabled() && !out.btnSave->isEnabled() && !out.btnDelete->isEnabled());

        // Names that are not plain file names are refused; an empty format is written at once.
        app.Dialogs.Input(QString("../evil"));
        QVERIFY(!out.NewFormat(nullptr));
        QVERIFY(app.Dialogs.Messages(TKind::Error).last().contains("cannot name an output format"));
        app.Dialogs.Input(QString("Years"));
        QVERIFY(out.NewFormat(nullptr));
        QCOMPARE(ReadAll(folder + "Years"),
                 QByteArray("; do not edit this file!\r\n\r\n[Misc]\r\nuser=\r\n\r\n[Prefix]\r\n\r\n[Suffix]\r\n"));
        app.Dialogs.Input(QString("Years"));  // taken: nothing happens
        QVERIFY(!out.NewFormat(nullptr));

        app.Dialogs.Run(Shown<TOutputForm>([&](TOutputForm& form) {
            QCOMPARE(form.lstOutputs->currentItem()->text(), QString("Years"));
            QTest::keyClicks(form.edtUser, "%10 %01");
            form.lstTags->setCurrentRow(11);
            QTest::keyClicks(form.edtPrefix, "(");
            QTest::keyClicks(form.edtSuffix, ")");
            form.btnAdd->click();
            QCOMPARE(form.edtUser->text(), QString("%10 %01%11"));
            QCOMPARE(form.lblPreview->text(), QString("09 No Good(1994)"));
            form.btnSave->click();
            QTest::keyClicks(form.edtUser, "x");  // an edit that is then thrown away
            app.Dialogs.No();
            form.btnExit->click();
        }));
        out.Edit(nullptr);
        QCOMPARE(app.Dialogs.Messages(TKind::YesNo).last(), QString("Save config before exiting?"));
        QCOMPARE(ReadAll(folder + "Years"),
                 QByteArray("; do not edit this file!\r\n\r\n[Misc]\r\nuser=%10 %01%11\r\n\r\n"
                            "[Prefix]\r\n11=(\r\n\r\n[Suffix]\r\n11=)\r\n"));

        // A mask of more than 255 characters is refused and the file kept.
        out.Format.User = std::string(256, 'x');
        QVERIFY(!out.SaveFormat("Years"));
        QVERIFY(app.Dialogs.Messages(TKind::Error).last().contains("at most 255"));
        QVERIFY(ReadAll(folder + "Years").contains("user=%10 %01%11"));

        // Renaming never replaces another format; deleting asks first.
        QFile::copy(folder + "Years", folder + "Other");
        app.Dialogs.Input(QString("Other"));
        QCOMPARE(out.RenameFormat("Years", nullptr), QString("Years"));
        QCOMPARE(app.Dialogs.Messages(TKind::Error).last(), QString("Error renaming Output Format!"));
        QVERIFY(ReadAll(folder + "Years").contains("user=%10"));
        app.Dialogs.Input(QString("Dated"));
        QCOMPARE(out.RenameFormat("Years", nullptr), QString("Dated"));
        QVERIFY(QFileInfo::exists(folder + "Dated") && !QFileInfo::exists(folder + "Years"));
        app.Dialogs.No();
        QVERIFY(!out.DeleteFormat("Other", nullptr));
        app.Dialogs.Yes();
        QVERIFY(out.DeleteFormat("Other", nullptr));
        QCOMPARE(app.Dialogs.Messages(TKind::YesNo).last(), QString("Delete the Output \"Other\"?"));
        QVERIFY(!QFileInfo::exists(folder + "Other"));
        QVERIFY(!out.LoadFormat("Gone"));
        QCOMPARE(app.Dialogs.Messages(TKind::Error).last(), "File: " + folder + "Gone not found!");
        QVERIFY(app.Dialogs.AllAnswered());
        QVERIFY2(app.Dialogs.Problems.isEmpty(), qPrintable(app.Dialogs.Problems.join('\n')));
    }

    void switchingFormatsWithEditsAsksAndTagHelpStandsBesideItsCaller() {
        TWorkspace ws;
        ShipFormats(ws);
        TApp app(ws);
        TOutputForm& out = app.Main.OutputForm();
        QVERIFY(out.SelectMode("Filename To Tag"));
        QCOMPARE(out.FormatNames(), QStringList({"Artist - Album - Track - Title", "Artist - Title",
                                                 "Track - Artist - Title", "Track. Title"}));
        QVERIFY(!out.edtPrefix->isEnabled());
        QCOMPARE(out.lblUser->text(), QString("Filename format"));
        app.Main.MainReg.WriteInteger("Preferences", "Filename To Tag Output", 3);
        app.Dialogs.Run(Shown<TOutputForm>([&](TOutputForm& form) {
            QCOMPARE(form.edtUser->text(), QString("%10. %01"));
            QTest::keyClicks(form.edtUser, "!");
            app.Dialogs.Yes();
            form.lstOutputs->setCurrentRow(1);
            QCOMPARE(form.edtUser->text(), QString("%00 - %01"));
            form.btnTagHelp->click();
            TTagHelpForm& help = form.TagHelp();
            QVERIFY(help.isVisible());
            QCOMPARE(help.windowTitle(), QString("Tag Help"));
            QCOMPARE(help.pos(), QPoint(form.frameGeometry().right() + 1, form.frameGeometry().top()));
            QCOMPARE(help.lvTags->topLevelItemCount(), 13);
            QCOMPARE(help.lvTags->headerItem()->text(0), QString("TAG"));
            QCOMPARE(help.lvTags->topLevelItem(12)->text(1), QString("%12"));
            form.btnExit->click();
        }));
        out.Edit(nullptr);
        QCOMPARE(app.Dialogs.Messages(TKind::YesNo), QStringList({"Save config Track. Title?"}));
        QVERIFY(ReadAll(ws.Data() + "Outputs/Filename To Tag/Track. Title").contains("user=%10. %01!\r\n"));
        QCOMPARE(app.Main.MainReg.ReadInteger("Preferences", "Filename To Tag Output", -1), 1);
    }

    // A chain and a swap of names go through; the names that cannot be used are listed
    // once, with their reasons, before anything moves.
    void renameListsTheProblemsOnceThenCarriesOutThePlan() {
        TWorkspace ws;
        ShipFormats(ws);
        const QString d = ws.Files(), longTitle(250, 'L');
        const struct {
            const char* Name;
            std::string Artist, Title, Track;
        } given[] = {
            {"a.mp3", "A", "B", "1"},
            {"01 - A - B.mp3", "A", "C", "2"},  // a chain
            {"03 - S - X.mp3", "S", "Y", "3"},
            {"03 - S - Y.mp3", "S", "X", "3"},                // a swap
            {"long.mp3", "L", longTitle.toStdString(), "5"},  // too long
            {"six.mp3", "AC/DC", "..", "6"},
            {"seven.mp3", "AC/DC", "..", "6"},  // one name
            {"eight.mp3", "Taken", "Name", "8"},
        };
        QStringList files;
        for (const auto& g : given) {
            files << ws.Copy(int(files.size()) % 7, g.Name);
            Tag(files.last(), g.Artist, g.Title, g.Track);
        }
        const QString taken = ws.Copy(4, "08 - Taken - Name.mp3");
        QMap<QString, QByteArray> bytes;
        for (const QString& f : files + QStringList{taken}) bytes[QFileInfo(f).fileName()] = ReadAll(f);
        const QStringList problems = {d + "long.mp3: the new name is too long: 263 bytes, at most 255",
                                      d + "seven.mp3: another file gets the same name",
                                      d + "eight.mp3: a file of that name exists"};
        const QString question = "3 file(s) cannot be renamed and stay as they are. Rename the other 5 file(s)?";

        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        b->actSelectAllExecute();
        app.Dialogs.Run(Shown<TRenameForm>([&](TRenameForm& form) {
            QCOMPARE(form.windowTitle(), QString("Rename files"));
            QCOMPARE(form.StatusPanels[0]->text(), QString("8 file(s)"));
            Choose(form.lstFormats, "Track - Artist - Title");
            QCOMPARE(Texts(form.lvNames, 1).mid(5),
                     QStringList({"06 - AC-DC - -.mp3", "06 - AC-DC - -.mp3", "08 - Taken - Name.mp3"}));
            QCOMPARE(form.StatusPanels[1]->text(), QString("01 - A - B.mp3"));
            // Cancelled: nothing moves and the window stays; then the others are renamed.
            app.Dialogs.AcceptList(false);
            form.btnRename->click();
            QVERIFY(form.isVisible());
            for (const QString& f : files) QVERIFY(QFile::exists(f));
            app.Dialogs.AcceptList(true);
            form.btnRename->click();
        }));
        b->actRenameFilesExecute();
        QCOMPARE(app.Dialogs.Messages(TKind::List), QStringList(2, question));
        QCOMPARE(app.Dialogs.Asked.last().Lines, problems);
        QVERIFY(app.Dialogs.Messages(TKind::Input).isEmpty());
        QVERIFY(app.Dialogs.Messages(TKind::Error).isEmpty());
        const QStringList now = {d + "01 - A - B.mp3",
                                 d + "02 - A - C.mp3",
                                 d + "03 - S - Y.mp3",
                                 d + "03 - S - X.mp3",
                                 files[4],
                                 d + "06 - AC-DC - -.mp3",
                                 files[6],
                                 files[7]};
        QCOMPARE(FileNames(b), now);
        const QStringList from = {"a.mp3",    "01 - A - B.mp3", "03 - S - X.mp3", "03 - S - Y.mp3",
                                  "long.mp3", "six.mp3",        "seven.mp3",      "eight.mp3"};
        for (int i = 0; i < 8; ++i) QVERIFY2(ReadAll(now[i]) == bytes[from[i]], qPrintable(now[i]));
        QCOMPARE(ReadAll(taken), bytes["08 - Taken - Name.mp3"]);
        QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden).size(), 9);
        QCOMPARE(app.Main.MainReg.ReadInteger("Preferences", "Rename Output", -1), 2);
        QVERIFY(app.Dialogs.AllAnswered());
    }

    void wizardFillsTagsFromNamesWithEachFilesOwnMask() {
        TWorkspace ws;
        ShipFormats(ws);
        const QStringList files = {ws.Copy(0, "album/01 - the band - first song.mp3"),
                                   ws.Copy(1, "album/02 - the band - second song.mp3"),
                                   ws.Copy(2, "album/03 - other band - third.MP3")};
        const QString elsewhere = ws.Copy(3, "other/04 - x - y.mp3");
        const QByteArray firstBefore = ReadAll(files[0]), thirdBefore = ReadAll(files[2]);
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files + QStringList{elsewhere});
        b->actSelectAllExecute();
        b->mnuFilenameToTagExecute();
        QCOMPARE(app.Dialogs.Messages(TKind::Error), QStringList({"All files must resist in the same directory!"}));
        QVERIFY(app.Dialogs.Messages(TKind::Exec).isEmpty());

        b->MP3ListView->SelectRows(Flags({1, 1, 1, 0}));
        app.Dialogs.Run(Shown<TFilename2TagWizardForm>([&](TFilename2TagWizardForm& w) {
            QCOMPARE(w.lblPage->text(), QString("Page 1 Of 4"));
            QVERIFY(!w.btnPrevious->isEnabled());
            w.btnNext->click();
            w.btnNext->click();
            w.dbTALB->SetText("Shared Album");
            w.chkIncludeYear->setChecked(true);
            w.spnYear->setValue(2001);
            w.btnNext->click();
            QCOMPARE(w.btnNext->text(), QString("&Finish"));
            Choose(w.lstFormats, "Track - Artist - Title");
            QCOMPARE(w.edtMask->text(), QString("%10 - %00 - %01"));
            QCOMPARE(w.Preview[w.pfArtist]->text(), QString("The Band"));
            QCOMPARE(w.Preview[w.pfTitle]->text(), QString("First Song"));
            QCOMPARE(w.Preview[w.pfTrack]->text(), QString("01"));
            QCOMPARE(w.Preview[w.pfAlbum]->text(), QString("Shared Album"));
            QCOMPARE(w.Preview[w.pfYear]->text(), QString("2001"));
            QVERIFY(w.edtMask->palette().color(QPalette::Base).green() > 200);
            w.btnAssignAll->click();
            w.btnForward->click();
            QCOMPARE(w.lblPreviewing->text(), QString("Previewing file 2 of 3"));
            w.edtMask->setText("%00 (%01)");  // does not fit this name: red
            QVERIFY(w.edtMask->palette().color(QPalette::Base).green() < 200);
            w.edtMask->setText("%10 - %01");  // this file's own mask
            QCOMPARE(w.Preview[w.pfTitle]->text(), QString("The Band - Second Song"));
            w.btnForward->click();
            w.edtMask->setText("%00 (%01)");  // the third file does not fit: it is left as it is
            QCOMPARE(w.lstPlan->topLevelItem(1)->text(1), QString("%10 - %01"));
            QCOMPARE(w.lstPlan->topLevelItem(2)->text(2), QString("no: left as it is"));
            QCOMPARE(w.lstPlan->topLevelItem(0)->text(2), QString("yes"));
            QVERIFY(w.lstFormats->selectedItems().isEmpty());  // no format has this file's mask
            w.btnBack->click();
            w.btnBack->click();
            QCOMPARE(w.edtMask->text(), QString("%10 - %00 - %01"));
            QCOMPARE(w.lstFormats->currentItem()->text(), QString("Track - Artist - Title"));
            // Asked first: answered No, nothing is written and the wizard stays.
            app.Dialogs.No();
            w.btnNext->click();
            QCOMPARE(ReadAll(files[0]), firstBefore);
            // A file that cannot be written is reported once at the end; the others are written.
            QFile::remove(files[1]);
            app.Dialogs.Yes();
            w.btnNext->click();
        }));
        b->mnuFilenameToTagExecute();
        QCOMPARE(app.Dialogs.Messages(TKind::YesNo),
                 QStringList(2, "2 file(s) will be written, 1 left as they are (name does not fit its mask)."));
        QCOMPARE(app.Main.actUndo->text().remove('&'), QString("Undo Fill tags from names of 1 file(s)"));
        const QStringList errors = app.Dialogs.Messages(TKind::Error);
        // One box for the wizard's batch, one for the refresh of the rows after it.
        QVERIFY2(errors.size() == 3, qPrintable(errors.join("\n---\n")));
        QVERIFY(errors[1].contains("02 - the band - second song.mp3"));
        QVERIFY(errors[1].contains("03 - other band - third.MP3"));

        velmar::TCollectingSink sink;
        velmar::TMP3Object object(sink);
        QVERIFY(object.LoadFile(ToPath(files[0]), false));
        const velmar::TID3v2Object& v2 = object.ID3v2();
        QCOMPARE(v2.TPE1.Text, std::string("The Band"));
        QCOMPARE(v2.TIT2.Text, std::string("First Song"));
        QCOMPARE(v2.TRCK.Text, std::string("1/9"));  // the file's own total stays
        QCOMPARE(v2.TALB.Text, std::string("Shared Album"));
        QCOMPARE(v2.TYER.Text, std::string("2001"));
        QCOMPARE(velmar::TID3v1Object::FieldText(object.ID3v1().Title), std::string("First Song"));
        QCOMPARE(ReadAll(files[2]), thirdBefore);
        QCOMPARE(app.Main.MainReg.ReadInteger("Preferences", "Filename To Tag Output", -1), 2);
        QVERIFY(QFileInfo::exists(ws.Data() + "DB/dbTPE1.db"));
        QCOMPARE(Column(b, "Title").first(), QString("First Song"));
        QVERIFY(app.Dialogs.AllAnswered());
    }

    void makeListWritesTheReportOfTheSelectedFilesAndKeepsTheLists() {
        TWorkspace ws;
        ShipFormats(ws);
        ShipLists(ws);
        const QStringList files = {ws.Copy(0, "a.mp3"), ws.Copy(1, "b.mp3")};
        Tag(files[0], "Rock & Roll <Live>", "Say \"hi\"", "1");
        Tag(files[1], "Björk", "Jóga", "2");
        const QString report = ws.Root() + "out.html";
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        b->actSelectAllExecute();
        app.Dialogs.Run(Shown<TMakeListForm>([&](TMakeListForm& form) {
            QCOMPARE(form.windowTitle(), QString("Make List"));
            QCOMPARE(form.StatusPanels[0]->text(), QString("2 file(s)"));
            QCOMPARE(form.lstLists->count(), 3);
            QCOMPARE(form.lstLists->item(0)->text(), QString("CSV"));
            Choose(form.lstLists, "HTML Table");
            QVERIFY(form.memMain->toPlainText().startsWith("<tr><td>%10</td>"));
            form.edtFileName->setText(report);
            form.btnMakeList->click();
            QCOMPARE(form.StatusPanels[1]->text(), "List written to " + report);

            // Edits are offered for saving before another list is shown; lists are added,
            // refused when taken or not a plain name, renamed and deleted.
            form.memEnd->setPlainText("</table>\n<p>The end</p>\n</body>\n</html>");
            app.Dialogs.Yes();
            Choose(form.lstLists, "CSV");
            for (const char* name : {"Mine", "Mine", "../up"}) app.Dialogs.Input(QString(name));
            for (int k = 0; k < 3; ++k) form.btnAddList->click();
            QCOMPARE(form.SelectedList(), QString("Mine"));
            QVERIFY(form.memMain->toPlainText().isEmpty());
            app.Dialogs.Input(QString("Yours"));
            form.btnRenameList->click();
            QCOMPARE(form.SelectedList(), QString("Yours"));
            app.Dialogs.Yes();
            form.btnDeleteList->click();
            QCOMPARE(form.lstLists->count(), 3);
            form.btnExit->click();
        }));
        b->actMakeListExecute();
        QCOMPARE(app.Dialogs.Messages(TKind::YesNo),
                 QStringList({"Save changes made to HTML Table?", "Delete Yours?"}));
        QCOMPARE(app.Dialogs.Messages(TKind::Error),
                 QStringList({"Listname already exists!",
                              "\"../up\" cannot name a list: it holds a path separator or begins with \".\"."}));
        const QString html = QString::fromUtf8(ReadAll(report));
        QVERIFY(html.contains("<tr><td>01</td><td>Rock &amp; Roll &lt;Live&gt;</td><td>Say &quot;hi&quot;</td>"));
        QVERIFY(html.contains("<td>Björk</td><td>Jóga</td>"));
        QCOMPARE(html.count("<tr><td>"), 2);
        QVERIFY(ReadAll(ws.Data() + "Lists/HTML Table/end.txt").contains("<p>The end</p>\r\n"));
        QVERIFY(!QFileInfo::exists(ws.Data() + "Lists/Yours"));
    }

    void matchToTimeSelectsInListOrderWhatFitsBelowTheTarget() {
        TWorkspace ws;
        const QStringList files = {Lasting(ws, "a.mp3", 1800), Lasting(ws, "b.mp3", 1800), Lasting(ws, "c.mp3", 600),
                                   Lasting(ws, "d.mp3", 60)};
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        QFile::remove(files[3]);
        b->MP3ListView->SelectRows(Flags({0, 1, 0, 0}));
        app.Main.UpdateCommandStates(app.Main.ChildCount());
        QVERIFY(app.Main.actMatchToTime->isEnabled());
        app.Dialogs.Run(Shown<TmatchtoTimeForm>([](TmatchtoTimeForm& form) {
            QVERIFY(!form.spnMinutes->isEnabled());
            form.chkUserDefined->setChecked(true);
            QVERIFY(form.spnMinutes->isEnabled() && !form.rb60->isEnabled());
            form.chkUserDefined->setChecked(false);
            QCOMPARE(form.TargetSeconds(), 3600);
            form.btnOk->click();
        }));
        app.Main.actMatchToTime->trigger();
        QCOMPARE(b->MP3ListView->SelectedRows(), Flags({1, 0, 1, 0}));
        QCOMPARE(app.Dialogs.Messages(TKind::Information), QStringList({"A total time of 40:00 was selected."}));
        const QStringList errors = app.Dialogs.Messages(TKind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].startsWith("MatchToTime::Error.  Message: "));
        QVERIFY(errors[0].contains("d.mp3"));
    }

    void wipeTagsRemovesTheChosenTagsAndLeavesOtherFilesAlone() {
        TWorkspace ws;
        const QStringList tagged = {ws.Copy(0, "a.mp3"), ws.Copy(5, "b.mp3")};  // both with ID3v2 and ID3v1
        velmar::TCollectingSink sink;
        QList<QByteArray> audio;  // the bytes between the tags
        for (const QString& f : tagged) {
            velmar::TMP3Object object(sink);
            QVERIFY(object.LoadFile(ToPath(f), false));
            QVERIFY(object.ID3v2().Present && object.ID3v1().Present);
            audio << ReadAll(f).mid(object.DataStart, object.AudioEnd - object.DataStart);
        }
        const QString plain = ws.Files() + "plain.mp3";
        {
            QFile out(plain);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(audio[0]);
        }
        struct stat before {};
        ::stat(plain.toLocal8Bit().constData(), &before);
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(tagged + QStringList{plain});
        app.Main.UpdateCommandStates(app.Main.ChildCount());
        QVERIFY(!app.Main.actWipeTags->isEnabled());
        b->actSelectAllExecute();
        QVERIFY(app.Main.actWipeTags->isEnabled() && b->mnuWipeTags->isEnabled());
        app.Dialogs.Run(Shown<TWipeTagsForm>([](TWipeTagsForm& form) {
            QVERIFY(!form.btnOk->isEnabled());
            form.chkID3v2->setChecked(true);
            form.chkID3v1->setChecked(true);
            form.btnOk->click();
        }));
        app.Dialogs.Yes();
        app.Main.actWipeTags->trigger();
        QCOMPARE(app.Dialogs.Messages(TKind::YesNo), QStringList({"Remove the chosen tag(s) from 3 file(s)?"}));
        for (int i = 0; i < 2; ++i) QCOMPARE(ReadAll(tagged[i]), audio[i]);
        struct stat after {};
        ::stat(plain.toLocal8Bit().constData(), &after);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        QCOMPARE(after.st_ino, before.st_ino);
        for (const QString& tags : Column(b, "Tags")) QCOMPARE(tags.trimmed(), QString());
        QVERIFY(app.Dialogs.Messages(TKind::Error).isEmpty());
    }

    void commandsOnTheSelectionAskFirstAndShowInTheMenus() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->actRenameFilesExecute();
        b->mnuFilenameToTagExecute();
        QCOMPARE(app.Dialogs.Messages(TKind::Information), QStringList(2, "No Files Loaded."));
        b->AddFileNames({ws.Copy(0, "a.mp3")});
        app.Dialogs.No();
        b->actRenameFilesExecute();
        QVERIFY(app.Dialogs.Messages(TKind::Exec).isEmpty());
        QStringList tools;
        for (const QAction* a : b->Menus.at(2)->actions()) tools << a->text();
        QVERIFY(tools.contains("&Rename File(s)"));
        QVERIFY(tools.contains("&Wizards"));
        QCOMPARE(b->WizardMenu->actions().first()->text(), QString("Filename To Tag"));
    }
};

QTEST_MAIN(BatchTest)
#include "batch_test.moc"
