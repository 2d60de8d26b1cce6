// The preferences: the values and column sections they write, the skins they list,
// and what the main window applies to open browsers afterwards.
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>

#include "app/graphics.h"
#include "guitest.h"
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
