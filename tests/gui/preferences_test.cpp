// The preferences: the values and column sections they write, the skins they list,
// and what the main window applies to open browsers afterwards.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QToolBar>
#include <QTreeWidget>

#include "app/graphics.h"
#include "guitest.h"
#include "main/mainform.h"
#include "main/preferences.h"

using namespace velmar::gui;
using namespace velmar::gui::test;
using TKind = TScriptedDialogs::TKind;

namespace {

void WriteColumns(TRegisterComp& store, const QStringList& captions, const QList<int>& visible) {
    for (const char* section : {"Column All", "Column Width", "Column Pos"}) store.EraseSection(section);
    int position = 0;
    for (int i = 0; i < captions.size(); ++i) {
        store.WriteInteger("Column All", captions[i], i);
        store.WriteInteger("Column Width", captions[i], 60 + i);
        if (visible.contains(i)) store.WriteInteger("Column Pos", captions[i], position++);
    }
}

QTreeWidgetItem* Row(TPreferences& form, const QString& caption) {
    return form.lvColumns->findItems(caption, Qt::MatchExactly).value(0);
}

// A skin folder holding the pictures named, each a plain 8 x 8 picture.
void MakeSkin(const TWorkspace& ws, const QString& name, const QStringList& pictures) {
    QDir().mkpath(ws.Data() + "SKINS/" + name);
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    for (const QString& file : pictures) QVERIFY(picture.save(ws.Data() + "SKINS/" + name + "/" + file, "BMP"));
}

}  // namespace

class PreferencesTest : public QObject {
    Q_OBJECT

private slots:
    void columnSectionsAreWrittenWholeInRowOrder() {
        TWorkspace ws;
        TApp app(ws);
        TRegisterComp& store = app.Main.MainReg;
        WriteColumns(store, {"Path", "Tags", "Filename", "Album", "Title"}, {0, 1, 2, 3, 4});
        {
            TPreferences form(app.Main.Paths, store, app.Dialogs);
            Row(form, "Tags")->setCheckState(0, Qt::Unchecked);
            Row(form, "Album")->setCheckState(0, Qt::Unchecked);
            Row(form, "Path")->setCheckState(0, Qt::Unchecked);  // undone at once
            QCOMPARE(Row(form, "Path")->checkState(0), Qt::Checked);
            // A width asked for by a double click.
            app.Dialogs.Input(QString("123"));
            form.SetColumnWidth(Row(form, "Title"));
            QCOMPARE(app.Dialogs.Messages(TKind::Input), QStringList({"Enter the new width of the \"Title\" column"}));
            form.OkClick();
        }
        const TNameValueList pos = store.ReadSection("Column Pos");
        QCOMPARE(store.ReadInteger("Column Pos", "Path", -1), 0);
        QCOMPARE(store.ReadInteger("Column Pos", "Filename", -1), 1);
        QCOMPARE(store.ReadInteger("Column Pos", "Title", -1), 2);
        QCOMPARE(pos.size(), 3);
        QCOMPARE(store.ReadInteger("Column All", "Album", -1), 3);
        QCOMPARE(store.ReadInteger("Column Width", "Title", -1), 123);

        // Moving a row alone rewrites all three sections.
        store.WriteInteger("Column Pos", "Stray", 9);
        {
            TPreferences form(app.Main.Paths, store, app.Dialogs);
            form.lvColumns->setCurrentItem(Row(form, "Title"));
            form.MoveColumn(-1000);  // to the top
            form.OkClick();
        }
        QVERIFY(!store.ValueExists("Column Pos", "Stray"));
        QCOMPARE(store.ReadInteger("Column All", "Title", -1), 0);
        QCOMPARE(store.ReadInteger("Column Pos", "Title", -1), 0);
        QCOMPARE(store.ReadInteger("Column All", "Path", -1), 1);
    }

    void skinsAreListedAndAppliedPictureByPicture() {
        TWorkspace ws;
        {
            TApp app(ws);
            TPreferences form(app.Main.Paths, app.Main.MainReg, app.Dialogs);
            QCOMPARE(form.lstSkins->count(), 1);  // no skins folder: only the default
            QCOMPARE(form.lstSkins->item(0)->text(), QString("<DEFAULT>"));
        }
        // A skin with its own background but no tool-bar picture.
        QDir().mkpath(ws.Data() + "SKINS/Plain");
        QImage back(64, 48, QImage::Format_RGB32);
        back.fill(QColor(10, 200, 30));
        QVERIFY(back.save(ws.Data() + "SKINS/Plain/BACK.BMP"));
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3")});
        app.Dialogs.Run([](QDialog& d) {
            auto& form = dynamic_cast<TPreferences&>(d);
            form.lstSkins->setCurrentItem(form.lstSkins->findItems("Plain", Qt::MatchExactly).first());
            form.chkGrid->setChecked(true);
            form.OkClick();
            return form.result();
        });
        app.Main.actPreferencesExecute();
        QCOMPARE(app.Main.MainReg.ReadString("Preferences", "Skin", ""), QString("Plain"));
        QCOMPARE(app.Main.Graphics.MainBackground.toImage().pixelColor(5, 5), QColor(10, 200, 30));
        QCOMPARE(app.Main.Graphics.ToolbarStrip.toImage(),
                 QPixmap::fromImage(TGraphics::BuiltIn("ID_TOOLBAR")).toImage());
        QVERIFY(b->MP3ListView->Grid());  // applied to the open browser
    }

    void changedColumnsRebuildOpenBrowsersWithTheirFiles() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3"), ws.Copy(1, "b.mp3")});
        QVERIFY(b->MP3ListView->StrList().contains("Album"));
        app.Dialogs.Run([](QDialog& d) {
            auto& form = dynamic_cast<TPreferences&>(d);
            Row(form, "Album")->setCheckState(0, Qt::Unchecked);
            form.OkClick();
            return form.result();
        });
        app.Main.actPreferencesExecute();
        QVERIFY(!b->MP3ListView->StrList().contains("Album"));
        QCOMPARE(b->MP3ListView->Count(), 2);
        QCOMPARE(Column(b, "Title").first(), QString("Lanterns in the Rain"));
        // Cancel writes nothing.
        app.Dialogs.Run([](QDialog& d) {
            auto& form = dynamic_cast<TPreferences&>(d);
            form.chkGrid->setChecked(true);
            return int(QDialog::Rejected);
        });
        app.Main.actPreferencesExecute();
        QVERIFY(!app.Main.MainReg.ReadBool("Preferences", "Grid", false));
    }

    void applyIsEnabledWhileAValueDiffersFromTheOneWritten() {
        TWorkspace ws;
        MakeSkin(ws, "Plain", {"TOOLBAR.BMP"});
        TApp app(ws);
        const std::pair<const char*, std::function<void(TPreferences&)>> cases[] = {
            {"check box", [](TPreferences& f) { f.chkGrid->toggle(); }},
            {"slider", [](TPreferences& f) { f.sldPriority->setValue(f.sldPriority->value() - 1); }},
            {"colour scheme", [](TPreferences& f) { f.cmbBrowserScheme->setCurrentIndex(3); }},
            {"picture mode", [](TPreferences& f) { f.grpPictureMode->button(2)->setChecked(true); }},
            {"skin", [](TPreferences& f) { f.lstSkins->setCurrentRow(1); }},
            {"player command", [](TPreferences& f) { f.edtWinampPath->setText("/usr/bin/true"); }},
            {"history", [](TPreferences& f) { f.spnHistoryChanges->setValue(7); }},
            {"column hidden", [](TPreferences& f) { Row(f, "Album")->setCheckState(0, Qt::Unchecked); }},
            {"column moved",
             [](TPreferences& f) {
                 f.lvColumns->setCurrentItem(Row(f, "Album"));
                 f.MoveColumn(1);
             }},
            {"column width",
             [&app](TPreferences& f) {
                 app.Dialogs.Input(QString("321"));
                 f.SetColumnWidth(Row(f, "Album"));
             }},
            {"background colour",
             [&app](TPreferences& f) {
                 app.Dialogs.ChooseColour("#336699");
                 f.pnlColour->click();
             }},
        };
        for (const auto& [name, change] : cases) {
            const QByteArray what(name);
            TPreferences form(app.Main.Paths, app.Main.MainReg, app.Dialogs);
            QSignalSpy applied(&form, &TPreferences::Applied);
            QVERIFY2(!form.btnApply->isEnabled(), what);
            change(form);
            QVERIFY2(form.btnApply->isEnabled(), what);
            form.btnApply->click();
            QVERIFY2(applied.size() == 1, what);
            QVERIFY2(!form.btnApply->isEnabled(), what);  // what is applied is now the mark
        }
        // Changing a value back to the one written disables it again.
        TPreferences form(app.Main.Paths, app.Main.MainReg, app.Dialogs);
        form.chkSplash->toggle();
        QVERIFY(form.btnApply->isEnabled());
        form.chkSplash->toggle();
        QVERIFY(!form.btnApply->isEnabled());
    }

    void applyTakesEffectWhileTheWindowStaysOpen() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(0, "a.mp3")});
        bool gridWhileOpen = false;
        app.Dialogs.Run([&](QDialog& d) {
            auto& form = dynamic_cast<TPreferences&>(d);
            form.chkGrid->setChecked(true);
            Row(form, "Album")->setCheckState(0, Qt::Unchecked);
            form.btnApply->click();
            gridWhileOpen = b->MP3ListView->Grid();
            return int(QDialog::Rejected);  // Cancel keeps what was applied
        });
        app.Main.actPreferencesExecute();
        QVERIFY(gridWhileOpen);
        QVERIFY(app.Main.MainReg.ReadBool("Preferences", "Grid", false));
        QVERIFY(!b->MP3ListView->StrList().contains("Album"));
        QCOMPARE(b->MP3ListView->Count(), 1);
    }

    void colourSchemesAreGreyedOutWhereTheSkinBringsThePicture() {
        TWorkspace ws;
        MakeSkin(ws, "Both", {"BACK.BMP", "BROWSER.BMP"});
        MakeSkin(ws, "Back", {"BACK.BMP"});
        MakeSkin(ws, "Strip", {"BROWSER.BMP"});
        MakeSkin(ws, "Toolbar", {"TOOLBAR.BMP"});
        TApp app(ws);
        struct TCase {
            const char* Skin;
            bool Main, Browser;  // which scheme can be chosen
        };
        TPreferences form(app.Main.Paths, app.Main.MainReg, app.Dialogs);
        for (const TCase& c : {TCase{"Both", false, false}, TCase{"Back", false, true}, TCase{"Strip", true, false},
                               TCase{"Toolbar", true, true}, TCase{"<DEFAULT>", true, true}}) {
            form.lstSkins->setCurrentItem(form.lstSkins->findItems(c.Skin, Qt::MatchExactly).first());
            QVERIFY2(form.cmbMainScheme->isEnabled() == c.Main, c.Skin);
            QVERIFY2(form.cmbBrowserScheme->isEnabled() == c.Browser, c.Skin);
            // A line says why, only while something is greyed out.
            QVERIFY2(form.lblSkinColours->isHidden() == (c.Main && c.Browser), c.Skin);
            QVERIFY2((c.Main && c.Browser) || form.lblSkinColours->text().contains(c.Skin), c.Skin);
        }
        // The main scheme shows under a skin without a background of its own.
        int scheme = 0;
        app.Dialogs.Run([&](QDialog& d) {
            auto& f = dynamic_cast<TPreferences&>(d);
            f.lstSkins->setCurrentItem(f.lstSkins->findItems("Strip", Qt::MatchExactly).first());
            f.cmbMainScheme->setCurrentIndex(f.cmbMainScheme->findText("Green"));
            scheme = f.cmbMainScheme->currentData().toInt();
            f.OkClick();
            return f.result();
        });
        app.Main.actPreferencesExecute();
        const QColor green = QImage(app.Main.Graphics.MainVariant(scheme)).pixelColor(5, 5);
        QCOMPARE(app.Main.Graphics.MainBackground.toImage().pixelColor(5, 5), green);
        QVERIFY(QImage(app.Main.Graphics.MainVariant(0)).pixelColor(5, 5) != green);
    }

    void theAreaColourShowsThroughATiledPicture() {
        // A grey picture of 10 x 10 in an area of 60 x 60 on red.
        struct TCase {
            int Mode;
            QPoint At;
            bool Red, Grey;  // whether the pixel there holds the colour, the picture
        };
        QPixmap picture(10, 10);
        picture.fill(QColor(128, 128, 128));
        for (const TCase& c :
             {TCase{TBackgroundArea::Tile, {2, 2}, true, true}, TCase{TBackgroundArea::Centre, {2, 2}, true, false},
              TCase{TBackgroundArea::Centre, {30, 30}, false, true},
              TCase{TBackgroundArea::Stretch, {2, 2}, false, true}}) {
            TBackgroundArea area;
            area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            area.resize(60, 60);
            area.SetPicture(picture);
            area.SetMode(c.Mode);
            area.SetAreaColour(Qt::red);
            const QColor pixel = area.viewport()->grab().toImage().pixelColor(c.At);
            const QByteArray what = QByteArray::number(c.Mode) + " " + QByteArray::number(c.At.x());
            QVERIFY2((pixel.red() > pixel.green() + 20) == c.Red, what);  // red in it
            QVERIFY2((pixel.green() > 60) == c.Grey, what);               // grey in it
        }
    }

    void writeProtectionIsOnUntilTheUserTurnsItOff() {
        TWorkspace ws;
        TApp app(ws);
        TRegisterComp& store = app.Main.MainReg;
        for (const bool stored : {false, true}) {
            if (stored) store.WriteBool("Preferences", "Override ReadOnly", true);
            TPreferences form(app.Main.Paths, store, app.Dialogs);
            QCOMPARE(form.chkOverrideReadOnly->isChecked(), stored);
            form.OkClick();
            QCOMPARE(OverrideReadOnly(store), stored);  // what the tag editor goes by
        }
    }
};

QTEST_MAIN(PreferencesTest)
#include "preferences_test.moc"
