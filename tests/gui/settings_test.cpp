// The settings store on its own: defaults, names in any case, texts that are no numbers.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "app/multinst.h"

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/dialogs.h"

using namespace velmar::gui;

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void openSeedsOnlyMissingColumnSections() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/Velmar.ini";
        {
            QSettings ini(file, QSettings::IniFormat);
            ini.setValue("Column Width/Title", "77");
            ini.setValue("Preferences/Grid", "1");
        }
        TRegisterComp store(file);
        store.Open();
        // "Column Width" existed: left alone; the other two are written.
        QCOMPARE(store.ReadSection("Column Width").size(), 1);
        QCOMPARE(store.ReadInteger("Column Width", "Title", 0), 77);
        QCOMPARE(store.ReadSection("Column All").size(), 18);
        const TNameValueList positions = store.ReadSection("Column Pos");
        QCOMPARE(positions.size(), 9);
        QStringList shown;
        for (int n = 0; n < 9; ++n) shown << TRegisterComp::CaptionAtPosition(n, positions);
        QCOMPARE(shown, QStringList({"Path", "Filename", "Tags", "Artist / Group", "Title", "Album", "Remix", "Track",
                                     "Length"}));
        QCOMPARE(TRegisterComp::CaptionAtPosition(9, positions), QString());
        QCOMPARE(store.ReadInteger("Column All", "Artist / Group", -1), 3);

        // A second open with every section there changes nothing.
        store.WriteInteger("Column Pos", "Path", 5);
        store.Open();
        QCOMPARE(store.ReadInteger("Column Pos", "Path", -1), 5);
    }

    void valuesAreFoundWithoutRegardToCase() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/Velmar.ini";
        {
            TRegisterComp store(file);
            store.WriteInteger("Preferences", "MainToolBar Left", 42);
            store.WriteString("preferences", "Last Directory", "/music/a, b/");
            store.WriteString("Preferences", "XPlayer Priority", "high");
            store.Close();
        }
        TRegisterComp store(file);
        QCOMPARE(store.ReadInteger("Preferences", "MainToolbar Left", 11), 42);
        QCOMPARE(store.ReadInteger("PREFERENCES", "maintoolbar left", 11), 42);
        store.WriteInteger("Preferences", "MAINTOOLBAR LEFT", 7);  // the stored name is reused
        QCOMPARE(store.ReadSection("Preferences").size(), 3);
        QCOMPARE(store.ReadInteger("Preferences", "MainToolBar Left", 11), 7);
        QCOMPARE(store.ReadString("Preferences", "Last Directory", "C:\\"), QString("/music/a, b/"));
        QCOMPARE(store.ReadInteger("Preferences", "XPlayer Priority", 4), 4);  // not a number: the default
        QCOMPARE(store.ReadBool("Preferences", "Missing", true), true);
        QCOMPARE(store.ReadString("Preferences", "Missing", "C:\\"), QString("C:\\"));
        QVERIFY(store.SectionExists("PREFERENCES"));
        QVERIFY(!store.SectionExists("Column Pos"));
    }

    void playCommandIsCutToTheProgram() {
        QCOMPARE(TRegisterComp::CleanPlayCommand("\"C:\\Program Files\\Winamp\\winamp.exe\" /ADD \"%1\""),
                 QString("C:\\Program Files\\Winamp\\winamp.exe\" /ADD"));
        QCOMPARE(TRegisterComp::CleanPlayCommand("\"C:\\W\\winamp.exe\" \"%1\""), QString("C:\\W\\winamp.exe"));
        QCOMPARE(TRegisterComp::CleanPlayCommand("vlc --started-from-file %U"), QString("vlc --started-from-file"));
        QCOMPARE(TRegisterComp::CleanPlayCommand(""), QString());
    }

    void commandLineAndFilters() {
        const TCommandLine line = TCommandLine::Parse({"velmar", "--data", "/d", "--config=/c", "a.mp3", "--", "--x"});
        QCOMPARE(line.DataFolder, QString("/d"));
        QCOMPARE(line.ConfigFolder, QString("/c"));
        QCOMPARE(line.Paths, QStringList({"a.mp3", "--x"}));
        QVERIFY(TCommandLine::Parse({"velmar", "--bogus"}).Error.contains("--bogus"));
        QCOMPARE(QtFileFilter("M3U Playlists (*.m3u)|*.m3u|All Playlist Files (*.m3u; *.pls)|*.pls;*.m3u"),
                 QString("M3U Playlists (*.m3u);;All Playlist Files (*.pls *.m3u)"));
        QCOMPARE(DisplayText("a\rb"), QString("a\nb"));
    }

    void secondStartHandsItsFilesToTheFirst() {
        const QString name = QString("velmar-test-%1").arg(QCoreApplication::applicationPid());
        // A socket left behind by a copy that crashed: nobody listens on it.
        const QByteArray stale = QFile::encodeName(QDir::tempPath() + "/" + name);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, stale.constData(), sizeof(address.sun_path) - 1);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0);
        ::close(fd);
        QVERIFY(QFile::exists(QString::fromLocal8Bit(stale)));

        TInstanceGuard lone(name);
        QVERIFY(!lone.HandOver({"/a.mp3"}));  // nobody there to take them
        TInstanceGuard first(name);
        QVERIFY(first.Listen());
        QSignalSpy woken(&first, &TInstanceGuard::Woken);
        TInstanceGuard second(name);
        QVERIFY(second.HandOver({"/music/a.mp3", "/music/b c"}));
        QTRY_COMPARE(woken.count(), 1);
        QCOMPARE(woken.first().first().toStringList(), QStringList({"/music/a.mp3", "/music/b c"}));
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
