// The tag editor driven as a user would, on real files: every page shows what the
// file holds, edits reach the file and nothing else changes, moving between files,
// locks, the close question.
#include <unistd.h>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include "app/comboboxdb.h"
#include "edit/editorfields.h"
#include "guitest.h"
#include "main/preferences.h"
#include "tageditor/bpmform.h"
#include "tageditor/framedialogs.h"
#include "tageditor/tageditorform.h"

using namespace velmar::gui;
using namespace velmar::gui::test;
using TKind = TScriptedDialogs::TKind;

namespace {

velmar::TBytes Png(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return velmar::TBytes(bytes.begin(), bytes.end());
}

velmar::TEditorFields FieldsOf(const QString& file) {
    velmar::TCollectingSink sink;
    velmar::TMP3Object object(sink);
    if (!object.LoadFile(ToPath(file), false)) qFatal("cannot read %s", qPrintable(file));
    return velmar::ReadEditorFields(object);
}

// Writes `change` into the file's fields, as another program would have.
void Prepare(const QString& file, const std::function<void(velmar::TEditorFields&)>& change) {
    velmar::TCollectingSink sink;
    velmar::TMP3Object object(sink);
    QVERIFY(object.LoadFile(ToPath(file), true));
    const velmar::TEditorFields read = velmar::ReadEditorFields(object);
    velmar::TEditorFields edited = read;
    change(edited);
    velmar::ApplyEditorFields(read, edited, object);
    QVERIFY(object.SaveFile(ToPath(file), true, false, true));
}

QByteArray Audio(const QString& file) {
    velmar::TCollectingSink sink;
    velmar::TMP3Object object(sink);
    if (!object.LoadFile(ToPath(file), false)) return {};
    return ReadAll(file).mid(object.DataStart, object.AudioEnd - object.DataStart);
}

TTagEditorForm* Open(TApp& app, TBrowserForm* b, std::initializer_list<int> rows) {
    std::vector<char> flags(size_t(b->MP3ListView->Count()), 0);
    for (int r : rows) flags[size_t(r)] = 1;
    b->MP3ListView->SelectRows(flags);
    b->actEditTagsExecute();
    (void)app;
    return b->TagEditor;
}

// Gives the file the ID3v1 and Lyrics3 fields of `change` and, unless `keepV2`, no ID3v2 tag.
void PrepareOlder(const QString& file, bool keepV2, const std::function<void(velmar::TEditorFields&)>& change) {
    velmar::TCollectingSink sink;
    velmar::TMP3Object object(sink);
    QVERIFY(object.LoadFile(ToPath(file), true));
    const velmar::TEditorFields read = velmar::ReadEditorFields(object);
    velmar::TEditorFields edited = read;
    change(edited);
    velmar::ApplyEditorFields(read, edited, object);
    QVERIFY(object.SaveFile(ToPath(file), keepV2, !edited.Lyrics3.Title.empty(), true));
}

// What the Main page shows: title, artist, album, year, track, genre, comment.
QStringList MainPage(const TTagEditorForm* editor) {
    return {editor->TextBoxes["TIT2"]->Text(),        editor->TextBoxes["TPE1"]->Text(),
            editor->TextBoxes["TALB"]->Text(),        QString::number(editor->spnTYER->value()),
            QString::number(editor->spnTRCK->value()), editor->cmbTCON->currentText(),
            editor->edtComment->text()};
}

}  // namespace

class TagEditorTest : public QObject {
    Q_OBJECT

private slots:
    void everyPageShowsTheFileAndOnlyEditsChangeIt() {
        TWorkspace ws;
        const QString file = ws.Copy(0, "song.mp3");
        Prepare(file, [](velmar::TEditorFields& f) {
            f.SetFrame("TCOM", "Комponist");
            f.SetFrame("WOAR", "http://artist.example/");
            f.Comments.push_back({"deu", "Stimmung", "Ruhig"});
            f.UserTexts.push_back({"Catalog", "X-1"});
            f.Lyrics.push_back({"eng", "", "line one\nline two"});
            f.Pictures.push_back({3, "image/png", "Front", Png(2, 3)});
            f.Pictures.push_back({4, "image/jpeg", "Broken", velmar::TBytes{1, 2, 3}});
            f.Ratings.push_back({"me@example.org", 200, 7});
            f.People.push_back({"producer", "Ann"});
        });
        const velmar::TEditorFields before = FieldsOf(file);
        const QByteArray audio = Audio(file);
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({file});
        TTagEditorForm* editor = Open(app, b, {0});
        QVERIFY(editor && b->MP3ListView->EditMode);
        QVERIFY(!app.Main.actRefresh->isEnabled());
        QCOMPARE(editor->lblCounter->text(), QString("Editing File 1 of 1 File(s)"));
        QCOMPARE(editor->TextBoxes["TIT2"]->Text(), QString("Lanterns in the Rain"));
        QCOMPARE(editor->TextBoxes["TCOM"]->Text(), QString("Комponist"));
        QCOMPARE(editor->spnTRCK->value(), 1);
        QCOMPARE(editor->spnTRCKTotal->value(), 9);
        QCOMPARE(editor->lvComments->topLevelItemCount(), 2);
        QCOMPARE(editor->lvUserTexts->topLevelItem(0)->text(1), QString("X-1"));
        QCOMPARE(editor->lvPeople->topLevelItem(0)->text(1), QString("Ann"));
        QCOMPARE(editor->StatusPanels[0]->text(), QString("Unchanged"));
        // The picture is shown with its size; one that cannot be decoded is listed and kept.
        editor->lvPictures->setCurrentItem(editor->lvPictures->topLevelItem(0));
        QCOMPARE(editor->lblPictureSize->text(), QString("2 x 3 pixels"));
        editor->lvPictures->setCurrentItem(editor->lvPictures->topLevelItem(1));
        QVERIFY(editor->imgPicture->text().contains("cannot be decoded"));

        // Saving without a change keeps every frame and the audio.
        QVERIFY(editor->actSaveMP3Execute());
        QCOMPARE(FieldsOf(file), before);
        QCOMPARE(Audio(file), audio);

        // Edits: a text typed, a comment added through its dialog, a picture deleted.
        editor->TextBoxes["TIT2"]->SetText("New Title");
        QCOMPARE(editor->StatusPanels[0]->text(), QString("Changed"));
        app.Dialogs.Run([](QDialog& d) {
            auto& dialog = dynamic_cast<TFrameItemDialog&>(d);
            qobject_cast<TComboBoxDB*>(dialog.Editors[1])->SetText("Added");
            qobject_cast<QPlainTextEdit*>(dialog.Editors[2])->setPlainText("Nouveau");
            return int(QDialog::Accepted);
        });
        editor->findChild<QPushButton*>("btnAddCOMM")->click();
        editor->lvPictures->setCurrentItem(editor->lvPictures->topLevelItem(0));
        editor->findChild<QPushButton*>("btnDeletePicture")->click();
        // A picture added from a file (its type and description asked), then extracted byte for byte.
        const QString png = ws.Root() + "back.PNG";
        {
            const velmar::TBytes data = Png(5, 4);
            QFile out(png);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(reinterpret_cast<const char*>(data.data()), qint64(data.size()));
        }
        app.Dialogs.Files({png});
        app.Dialogs.Run([](QDialog& d) {
            auto& dialog = dynamic_cast<TFrameItemDialog&>(d);
            qobject_cast<QComboBox*>(dialog.Editors[0])->setCurrentIndex(4);
            qobject_cast<TComboBoxDB*>(dialog.Editors[1])->SetText("Back");
            return int(QDialog::Accepted);
        });
        editor->findChild<QPushButton*>("btnAddPicture")->click();
        QCOMPARE(editor->lblPictureSize->text(), QString("5 x 4 pixels"));
        const QString extracted = ws.Root() + "extracted.png";
        app.Dialogs.SaveAs(extracted);
        editor->findChild<QPushButton*>("btnExtractPicture")->click();
        QCOMPARE(ReadAll(extracted), ReadAll(png));
        editor->chkCaseConvert->setChecked(false);
        QVERIFY(editor->actSaveMP3Execute());
        const velmar::TEditorFields after = FieldsOf(file);
        QCOMPARE(after.Frame("TIT2"), std::string("New Title"));
        QCOMPARE(after.V1.Title, std::string("New Title"));
        QCOMPARE(after.Comments.size(), size_t(3));
        QCOMPARE(after.Comments.back().Text, std::string("Nouveau"));
        QCOMPARE(after.Pictures.size(), size_t(2));
        QCOMPARE(after.Pictures[0].Data, (velmar::TBytes{1, 2, 3}));  // kept though it cannot be decoded
        QCOMPARE(after.Pictures[1].Type, uint8_t(4));
        QCOMPARE(after.Pictures[1].Description, std::string("Back"));
        QCOMPARE(after.Pictures[1].Mime, std::string("image/png"));
        QCOMPARE(after.UserTexts, before.UserTexts);
        QCOMPARE(after.Frame("TCOM"), before.Frame("TCOM"));
        QCOMPARE(Audio(file), audio);
        QCOMPARE(Column(b, "Title").first(), QString("New Title"));  // the row follows
        editor->close();
        QVERIFY(!b->MP3ListView->EditMode);
        QVERIFY(QFileInfo::exists(ws.Data() + "DB/dbTIT2.db"));
        QVERIFY(ReadAll(ws.Data() + "DB/dbTIT2.db").contains("New Title\n"));
    }

    void autoIncTrackFillsOnlyFilesWithoutATrackAndLoadingChangesNothing() {
        struct TCase {
            QStringList Tracks;  // as the files hold them before
            QString Steps;       // N: Next, P: Previous
            QStringList Status;  // after each step
            QStringList Expected;
        };
        const TCase cases[] = {
            {{"1/9", "7", ""}, "NN", {"Unchanged", "Changed"}, {"1/9", "7", "8"}},
            {{"", "5", ""}, "NNPP", {"Unchanged", "Changed", "Unchanged", "Changed"}, {"4", "5", "6"}},
        };
        for (const TCase& c : cases) {
            TWorkspace ws;
            QStringList files;
            for (int i = 0; i < 3; ++i) {
                files << ws.Copy(0, QString("%1.mp3").arg(i));
                Prepare(files.last(), [&](velmar::TEditorFields& f) { f.SetFrame("TRCK", c.Tracks[i].toStdString()); });
            }
            QList<QByteArray> before;
            for (const QString& f : files) before << ReadAll(f);
            TApp app(ws);
            TBrowserForm* b = app.Browser();
            b->AddFileNames(files);
            TTagEditorForm* editor = Open(app, b, {0, 1, 2});
            editor->chkAutoIncTrack->setChecked(true);
            editor->chkSaveEnabled->setChecked(true);
            QCOMPARE(editor->StatusPanels[0]->text(), QString("Unchanged"));
            QStringList status;
            for (const QChar step : c.Steps) {
                step == 'N' ? editor->btnNextFileClick() : editor->btnPreviousFileClick();
                status << editor->StatusPanels[0]->text();
            }
            QCOMPARE(status, c.Status);
            app.Dialogs.Answer(TAnswer::Yes);
            editor->close();
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(FromUtf8(FieldsOf(files[i]).Frame("TRCK")), c.Expected[i]);
                if (c.Tracks[i] == c.Expected[i]) QVERIFY2(ReadAll(files[i]) == before[i], qPrintable(files[i]));
            }
        }
    }

    void nextAndAllStepAndLocksCarryValues() {
        TWorkspace ws;
        const QStringList files = {ws.Copy(0, "a.mp3"), ws.Copy(1, "b.mp3"), ws.Copy(2, "c.mp3")};
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        TTagEditorForm* editor = Open(app, b, {0, 1, 2});
        editor->btnNextFileClick();
        editor->btnNextFileClick();
        QCOMPARE(editor->btnNext->text(), QString("Do&ne"));
        QVERIFY(!editor->btnAll->isEnabled());
        editor->btnNextFileClick();  // closes
        QVERIFY(!b->MP3ListView->EditMode);

        // A locked artist reaches every file through "All".
        editor = Open(app, b, {0, 1, 2});
        editor->chkAutoIncTrack->setChecked(false);
        editor->chkCaseConvert->setChecked(false);
        editor->TextBoxes["TPE1"]->SetText("Shared Artist");
        editor->Locks["TPE1"]->setChecked(true);
        editor->btnAllFilesClick();
        for (const QString& f : files) QCOMPARE(FieldsOf(f).Frame("TPE1"), std::string("Shared Artist"));
        QCOMPARE(FieldsOf(files[2]).V1.Title, std::string("Salt Road"));  // not locked: its own
        editor->close();
        QVERIFY(app.Dialogs.Messages(TKind::Error).isEmpty());
    }

    void closingAsksAndCancelKeepsTheWindowAndTheFile() {
        TWorkspace ws;
        const QString file = ws.Copy(0, "a.mp3");
        const QByteArray bytes = ReadAll(file);
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({file});
        TTagEditorForm* editor = Open(app, b, {0});
        editor->chkSaveEnabled->setChecked(true);
        editor->TextBoxes["TALB"]->SetText(QString(31, 'a'));
        app.Dialogs.Answer(TAnswer::Cancel);
        editor->close();
        QCOMPARE(app.Dialogs.Messages(TKind::YesNoCancel),
                 QStringList({"File: a.mp3 has been changed. Save Changes??"}));
        QVERIFY(b->MP3ListView->EditMode);
        QCOMPARE(ReadAll(file), bytes);
        app.Dialogs.Answer(TAnswer::Yes);
        editor->close();
        QVERIFY(!b->MP3ListView->EditMode);
        const velmar::TEditorFields saved = FieldsOf(file);
        QCOMPARE(FromUtf8(saved.Frame("TALB")), "A" + QString(30, 'a'));  // case converted
        QCOMPARE(FromUtf8(saved.V1.Album), "A" + QString(28, 'a'));       // the first 29 of 31 characters
    }

    void aReadOnlyFileCannotBeSaved() {
        if (::geteuid() == 0) QSKIP("root may write any file");
        TWorkspace ws;
        const QString file = ws.Copy(0, "a.mp3");
        QFile::setPermissions(file, QFile::ReadOwner);
        TApp app(ws);
        TPreferences(app.Main.Paths, app.Main.MainReg, app.Dialogs).OkClick();  // changes nothing
        TBrowserForm* b = app.Browser();
        b->AddFileNames({file});
        TTagEditorForm* editor = Open(app, b, {0});
        QVERIFY(editor->windowTitle().endsWith(" (Read Only)"));
        QVERIFY(!editor->btnSave->isEnabled() && !editor->chkSaveEnabled->isChecked());
        editor->close();
    }

    void aSavedFileShowsWhatItNowHoldsAndOnlyValuesAreCarried() {
        TWorkspace ws;
        // A file with only an ID3v1 tag gets its first ID3v2 tag by this save.
        const QStringList files = {ws.Copy(2, "v1only.mp3"), ws.Copy(1, "next.mp3")};
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        TTagEditorForm* editor = Open(app, b, {0, 1});
        editor->chkCaseConvert->setChecked(false);
        editor->TextBoxes["TALB"]->SetText("Harbour Songs");
        editor->Locks["TALB"]->setChecked(true);
        editor->TextBoxes["TPE1"]->SetText(QString());  // the ID3v1 artist shown, emptied
        editor->Locks["TPE1"]->setChecked(true);
        QVERIFY(editor->actSaveMP3Execute());
        QCOMPARE(editor->TextBoxes["TALB"]->Text(), QString("Harbour Songs"));
        QCOMPARE(editor->edtV1[0]->text(), QString("Salt Road"));
        editor->btnNextFileClick();
        QCOMPARE(editor->TextBoxes["TALB"]->Text(), QString("Harbour Songs"));
        QCOMPARE(editor->TextBoxes["TPE1"]->Text(), QString("Juniper Static"));  // its own, not an empty one
        editor->SetChanged(false);
        editor->close();
    }

    void theID3v1BoxFollowsTheFileAndAnUnchangedFileIsNotWritten() {
        TWorkspace ws;
        // ID3v2 and ID3v1; ID3v2 only; Lyrics3 and ID3v1.
        const QStringList files = {ws.Copy(0, "both.mp3"), ws.Copy(1, "v2.mp3"), ws.Copy(6, "lyrics3.mp3")};
        QList<QByteArray> before;
        for (const QString& f : files) before << ReadAll(f);
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        TTagEditorForm* editor = Open(app, b, {0, 1, 2});
        QStringList boxes;  // Save ID3 v1.1, Save Lyrics 3 of each file as loaded
        for (int i = 0; i < 3; ++i) {
            boxes << QString("%1%2").arg(editor->chkSaveV1->isChecked()).arg(editor->chkSaveLyrics3->isChecked());
            QVERIFY(editor->actSaveMP3Execute());  // nothing changed
            if (i < 2) editor->btnNextFileClick();
        }
        QCOMPARE(boxes, QStringList({"10", "00", "11"}));
        // A change on the Lyrics3 file: its Lyrics3 block goes back byte for byte.
        editor->chkCaseConvert->setChecked(false);
        editor->TextBoxes["TIT2"]->SetText("Paper Boats");
        QVERIFY(editor->actSaveMP3Execute());
        editor->close();
        for (int i = 0; i < 2; ++i) QVERIFY2(ReadAll(files[i]) == before[i], qPrintable(files[i]));
        auto lyrics3 = [](const QByteArray& bytes) {
            return bytes.mid(bytes.indexOf("LYRICSBEGIN")).chopped(128);
        };
        QCOMPARE(lyrics3(ReadAll(files[2])), lyrics3(before[2]));
        QVERIFY(!app.Main.MainReg.ValueExists("Preferences", "ID3_SaveID3v11"));

        // The user's own choice is kept, and a new ID3v1 tag takes the ID3v2 values.
        editor = Open(app, b, {1});
        QVERIFY(!editor->chkSaveV1->isChecked());
        editor->chkSaveV1->setChecked(true);
        app.Dialogs.Answer(TAnswer::Yes);
        editor->close();
        QVERIFY(app.Main.MainReg.ReadBool("Preferences", "ID3_SaveID3v11", false));
        const velmar::TV1Fields v1 = FieldsOf(files[1]).V1;
        QCOMPARE(v1.Title, std::string("Slow Orbit"));
        QCOMPARE(v1.Track, 5);
    }

    void onlyTheCountersOkHandsOverItsTempo() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(1, "a.mp3")});
        TTagEditorForm* editor = Open(app, b, {0});
        const std::pair<const char*, int> cases[] = {{"escape", 0}, {"close", 0}, {"ok", 120}};
        for (const auto& [finish, expected] : cases) {
            app.Dialogs.Run([finish](QDialog& d) {
                auto& counter = dynamic_cast<TBPMForm&>(d);
                counter.show();
                auto now = std::make_shared<qint64>(0);
                counter.Clock = [now] { return *now; };
                counter.beatClick();
                for (*now = 500; *now <= 1500; *now += 500) {
                    counter.timerTick();
                    counter.beatClick();
                }
                if (QString(finish) == "escape") QTest::keyClick(&counter, Qt::Key_Escape);
                if (QString(finish) == "close") counter.close();
                if (QString(finish) == "ok") counter.OkBtn->click();
                return counter.result();
            });
            editor->btnLaunchBPM->click();
            QCOMPARE(editor->spnTBPM->value(), expected);
            QCOMPARE(editor->StatusPanels[0]->text(), QString(expected ? "Changed" : "Unchanged"));
        }
        editor->SetChanged(false);
        editor->close();
    }
    void theMainPageShowsOlderTagsWhereTheID3v2TagHasNoFrame() {
        struct TCase {
            const char* Name;
            bool KeepV2;
            std::function<void(velmar::TEditorFields&)> Change;
            QStringList Shown;
            QStringList Saved;  // the frames after a save: what was shown
        };
        auto older = [](velmar::TEditorFields& f) {
            f.V1 = {"Old Title", "Old Artist", "Old Album", "1987", "Old note", "Jazz", 7};
        };
        const TCase cases[] = {
            {"ID3v1 only", false, older,
             {"Old Title", "Old Artist", "Old Album", "1987", "7", "Jazz", "Old note"},
             {"Old Title", "Old Artist", "Old Album", "1987", "7", "Jazz", "Old note"}},
            {"ID3v2 frames win, the rest from ID3v1", true,
             [&](velmar::TEditorFields& f) {
                 older(f);
                 f.SetFrame("TALB", "");
                 f.SetFrame("TYER", "");
             },
             {"Lanterns in the Rain", "Cinder & Vale", "Old Album", "1987", "1", "Indie", "first single"},
             {"Lanterns in the Rain", "Cinder & Vale", "Old Album", "1987", "1/9", "Indie", "first single"}},
            {"Lyrics3 where ID3v1 has nothing", false,
             [](velmar::TEditorFields& f) {
                 f.V1 = {"", "V1 Artist", "", "", "", "", 0};
                 f.Lyrics3.Title = "Extended Title";
                 f.Lyrics3.Artist = "L3 Artist";
                 f.Lyrics3.Album = "L3 Album";
             },
             {"Extended Title", "V1 Artist", "L3 Album", "0", "0", "", ""},
             {"Extended Title", "V1 Artist", "L3 Album", "", "", "", ""}},
        };
        for (const TCase& c : cases) {
            TWorkspace ws;
            const QString file = ws.Copy(0, "a.mp3");
            PrepareOlder(file, c.KeepV2, c.Change);
            const QByteArray bytes = ReadAll(file);
            TApp app(ws);
            TBrowserForm* b = app.Browser();
            b->AddFileNames({file});
            TTagEditorForm* editor = Open(app, b, {0});
            editor->chkSaveEnabled->setChecked(true);
            editor->chkCaseConvert->setChecked(false);
            QCOMPARE(MainPage(editor), c.Shown);
            QCOMPARE(editor->StatusPanels[0]->text(), QString("Unchanged"));
            // Seen but not changed: closing writes nothing and asks nothing.
            editor->close();
            QVERIFY2(ReadAll(file) == bytes, c.Name);
            QVERIFY(app.Dialogs.Asked.isEmpty());

            // Saved, the file holds what the page showed, as ID3v2 frames.
            editor = Open(app, b, {0});
            editor->chkSaveEnabled->setChecked(true);
            editor->chkCaseConvert->setChecked(false);
            editor->TextBoxes["TCOM"]->SetText("Someone");
            QVERIFY(editor->actSaveMP3Execute());
            editor->chkSaveV1->setChecked(false);
            editor->TextBoxes["TCOM"]->SetText("Someone Else");
            QVERIFY(editor->actSaveMP3Execute());  // now without ID3v1: the values stay all the same
            editor->close();
            const velmar::TEditorFields saved = FieldsOf(file);
            const QStringList frames = {FromUtf8(saved.Frame("TIT2")), FromUtf8(saved.Frame("TPE1")),
                                        FromUtf8(saved.Frame("TALB")), FromUtf8(saved.Frame("TYER")),
                                        FromUtf8(saved.Frame("TRCK")), FromUtf8(saved.Frame("TCON")),
                                        saved.Comments.empty() ? QString() : FromUtf8(saved.Comments.front().Text)};
            QVERIFY2(frames == c.Saved, qPrintable(frames.join('|')));
        }
    }

    void escapeClosesTheEditorAskingFirstWhenSomethingChanged() {
        struct TCase {
            const char* Name;
            bool Change;
            std::optional<TAnswer> Answer;
            bool Closed;
        };
        const TCase cases[] = {
            {"unchanged", false, std::nullopt, true},
            {"changed, Cancel", true, TAnswer::Cancel, false},
            {"changed, No", true, TAnswer::No, true},
        };
        for (const TCase& c : cases) {
            TWorkspace ws;
            const QString file = ws.Copy(0, "a.mp3");
            const QByteArray bytes = ReadAll(file);
            TApp app(ws);
            TBrowserForm* b = app.Browser();
            b->AddFileNames({file});
            QPointer<TTagEditorForm> editor = Open(app, b, {0});
            editor->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(editor));
            editor->chkSaveEnabled->setChecked(true);
            if (c.Change) editor->TextBoxes["TALB"]->SetText("Changed");
            if (c.Answer) app.Dialogs.Answer(*c.Answer);
            editor->TextBoxes["TALB"]->setFocus();
            QTest::keyClick(editor->TextBoxes["TALB"]->lineEdit(), Qt::Key_Escape);
            QTRY_VERIFY2(editor.isNull() == c.Closed, c.Name);
            QCOMPARE(app.Dialogs.Messages(TKind::YesNoCancel).size(), c.Answer ? 1 : 0);
            QCOMPARE(ReadAll(file), bytes);
            if (editor) {
                editor->SetChanged(false);
                editor->close();
            }
        }
    }

    void enterOpensTheTagEditorOnTheSelectedFiles() {
        TWorkspace ws;
        const QStringList files = {ws.Copy(0, "a.mp3"), ws.Copy(1, "b.mp3"), ws.Copy(2, "c.mp3")};
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames(files);
        const struct {
            Qt::Key Key;
            Qt::KeyboardModifiers Modifiers;
            std::vector<char> Selected;
            QStringList Edited;  // empty: no tag editor
        } presses[] = {
            {Qt::Key_Return, Qt::NoModifier, {0, 1, 1}, {files[1], files[2]}},
            {Qt::Key_Enter, Qt::KeypadModifier, {1, 0, 0}, {files[0]}},
            {Qt::Key_Return, Qt::NoModifier, {0, 0, 0}, {}},
            {Qt::Key_Return, Qt::ControlModifier, {1, 0, 0}, {}},
        };
        for (const auto& press : presses) {
            b->MP3ListView->SelectRows(press.Selected);
            QTest::keyClick(b->MP3ListView, press.Key, press.Modifiers);
            QCOMPARE(b->TagEditor ? b->TagEditor->Files : QStringList(), press.Edited);
            if (b->TagEditor) b->TagEditor->close();
            QVERIFY(!b->TagEditor);
        }
        QVERIFY(app.Dialogs.Asked.isEmpty());  // no "No Files Selected" question from a key
    }
};

QTEST_MAIN(TagEditorTest)
#include "tageditor_test.moc"
