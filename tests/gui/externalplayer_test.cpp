// The external player over a private session bus: the test starts its own
// dbus-daemon and puts a small MPRIS player of its own on it, on a connection and
// a thread of its own, so it answers as a separate peer, like a player in another
// process would.
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <functional>
#include <memory>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <csignal>
#endif

#include "playback/externalplayer.h"

using velmar::gui::TExternalPlayer;

namespace {

const QString kTestPlayer = QStringLiteral("org.mpris.MediaPlayer2.velmartest");
const QString kSecondPlayer = QStringLiteral("org.mpris.MediaPlayer2.velmartest.instance2");
const QString kClient = QStringLiteral("velmar-client");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
constexpr qlonglong kTrackLengthUs = 200'000'000;

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A session bus that only this test uses, listening in `dir`.
QByteArray BusConfig(const QString& dir) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:tmpdir=" +
           dir.toUtf8() +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

// What the test player knows. It lives in the player's thread and is read by the test.
struct TPlayerState {
    QString Status = QStringLiteral("Stopped");
    qlonglong PositionUs = 0;
    qlonglong LengthUs = 0;
    double Volume = 0.5;
    QString Uri;        // the last opened URI
    QString TrackId;    // empty: nothing loaded
    int Tracks = 0;     // how many were opened, for a new track id each time
    QStringList Calls;  // the player methods called, in order
};

// The object on the bus; its adaptors below answer the calls. QDBusContext gives
// them the call being answered, for error replies.
class TTestPlayer : public QObject, public QDBusContext {
    Q_OBJECT
public:
    TPlayerState Get() const {
        QMutexLocker lock(&Mutex);
        return State;
    }
    void Change(const std::function<void(TPlayerState&)>& change) {
        QMutexLocker lock(&Mutex);
        change(State);
    }

private:
    mutable QMutex Mutex;
    TPlayerState State;
};

// org.mpris.MediaPlayer2: the part every MPRIS player has; not used for control.
class TRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(bool CanQuit READ CanQuit)
public:
    explicit TRootAdaptor(TTestPlayer* player) : QDBusAbstractAdaptor(player) {}
    QString Identity() const { return QStringLiteral("Velmar test player"); }
    bool CanQuit() const { return false; }
public slots:
    void Raise() {}
    void Quit() {}
};

// org.mpris.MediaPlayer2.Player. OpenUri loads a track without starting it, so
// playing needs Play as well. SetPosition refuses with an error a track id that is
// not the current one and a position outside the track.
class TPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
public:
    explicit TPlayerAdaptor(TTestPlayer* player) : QDBusAbstractAdaptor(player), Player(*player) {}
    QString PlaybackStatus() const { return Player.Get().Status; }
    qlonglong Position() const { return Player.Get().PositionUs; }
    double Volume() const { return Player.Get().Volume; }
    void SetVolume(double v) {
        Player.Change([v](TPlayerState& s) { s.Volume = v; });
    }
    QVariantMap Metadata() const {
        const TPlayerState s = Player.Get();
        if (s.TrackId.isEmpty()) return {{"mpris:trackid", QVariant::fromValue(QDBusObjectPath(kNoTrack))}};
        return {{"mpris:trackid", QVariant::fromValue(QDBusObjectPath(s.TrackId))},
                {"mpris:length", s.LengthUs},
                {"xesam:url", s.Uri}};
    }

public slots:
    void OpenUri(const QString& uri) {
        Record("OpenUri", [&uri](TPlayerState& s) {
            s.Uri = uri;
            s.TrackId = QStringLiteral("/org/velmartest/track/%1").arg(++s.Tracks);
            s.LengthUs = kTrackLengthUs;
            s.PositionUs = 0;
            s.Status = QStringLiteral("Stopped");
        });
    }
    void Play() {
        Record("Play", [](TPlayerState& s) {
            if (!s.TrackId.isEmpty()) s.Status = QStringLiteral("Playing");
        });
    }
    void Pause() {
        Record("Pause", [](TPlayerState& s) {
            if (s.Status == QLatin1String("Playing")) s.Status = QStringLiteral("Paused");
        });
    }
    void PlayPause() { Player.Get().Status == QLatin1String("Playing") ? Pause() : Play(); }
    void Stop() {
        Record("Stop", [](TPlayerState& s) {
            s.Status = QStringLiteral("Stopped");
            s.PositionUs = 0;
        });
    }
    void Next() {
        Record("Next", [](TPlayerState&) {});
    }
    void Previous() {
        Record("Previous", [](TPlayerState&) {});
    }
    void Seek(qlonglong offsetUs) {
        Record("Seek",
               [offsetUs](TPlayerState& s) { s.PositionUs = qBound(0LL, s.PositionUs + offsetUs, s.LengthUs); });
    }
    void SetPosition(const QDBusObjectPath& track, qlonglong positionUs) {
        bool refused = false;
        Record("SetPosition", [&](TPlayerState& s) {
            refused = track.path() != s.TrackId || positionUs < 0 || positionUs > s.LengthUs;
            if (!refused) s.PositionUs = positionUs;
        });
        if (refused)
            Player.sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("not the current track or position"));
    }

private:
    void Record(const char* method, const std::function<void(TPlayerState&)>& change) {
        Player.Change([&](TPlayerState& s) {
            s.Calls << QString::fromLatin1(method);
            change(s);
        });
    }
    TTestPlayer& Player;
};

// A test player on the bus under `service`: its own connection and thread.
class TPlayerHost {
public:
    TPlayerHost(const QString& address, const QString& service) : Service(service), Player(new TTestPlayer) {
        new TRootAdaptor(Player);
        new TPlayerAdaptor(Player);
        Player->moveToThread(&Thread);
        Thread.start();
        QDBusConnection bus = QDBusConnection::connectToBus(address, Service);
        Registered =
            bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), Player) && bus.registerService(Service);
    }
    // The player quits: its connection closes, and the bus drops its name soon after.
    ~TPlayerHost() {
        QDBusConnection::disconnectFromBus(Service);
        QMetaObject::invokeMethod(
            Player, [this] { delete Player; }, Qt::BlockingQueuedConnection);
        Thread.quit();
        Thread.wait();
    }
    // The player gives up its name at once, staying connected.
    void Leave() { QDBusConnection(Service).unregisterService(Service); }

    bool Registered = false;
    TPlayerState State() const { return Player->Get(); }
    void Change(const std::function<void(TPlayerState&)>& change) { Player->Change(change); }
    TTestPlayer* Object() const { return Player; }

private:
    QString Service;
    QThread Thread;
    TTestPlayer* Player;
};

}  // namespace

class TExternalPlayerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void playFileSendsTheFileUrlAndPlays();
    void transportCommandsChangeTheState();
    void seekAndSetPosition();
    void readsLengthAndPositionAndSetsVolume();
    void withoutPlayerEverythingIsNone();
    void findsTheNextPlayerWhenOneLeaves();
    void hungPlayerCostsOnlyTheTimeout();
    void launch();
    void defaultCommandReadsTheDesktopFile();

private:
    QTemporaryDir BusDir;
    QProcess Daemon;
    QString Address;
    std::unique_ptr<TPlayerHost> Host;
    std::unique_ptr<TExternalPlayer> External;
};

void TExternalPlayerTest::initTestCase() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) QSKIP("dbus-daemon is not installed");
    QVERIFY(BusDir.isValid());
    const QString config = BusDir.filePath(QStringLiteral("bus.conf"));
    QVERIFY(WriteFile(config, BusConfig(BusDir.path())));
#ifdef Q_OS_LINUX
    // The bus ends with the test even when the test crashes.
    Daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    Daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                          QStringLiteral("--print-address")});
    QVERIFY2(Daemon.waitForStarted(5000), qPrintable(Daemon.errorString()));
    while (!Daemon.canReadLine()) QVERIFY2(Daemon.waitForReadyRead(5000), Daemon.readAllStandardError().constData());
    Address = QString::fromUtf8(Daemon.readLine()).trimmed();
    const QDBusConnection client = QDBusConnection::connectToBus(Address, kClient);
    QVERIFY2(client.isConnected(), qPrintable(client.lastError().message()));
}

void TExternalPlayerTest::init() {
    Host = std::make_unique<TPlayerHost>(Address, kTestPlayer);
    QVERIFY(Host->Registered);
    External = std::make_unique<TExternalPlayer>(QDBusConnection(kClient));
}

void TExternalPlayerTest::cleanup() {
    External.reset();
    Host.reset();
}

void TExternalPlayerTest::cleanupTestCase() {
    QDBusConnection::disconnectFromBus(kClient);
    if (Daemon.state() != QProcess::NotRunning) {
        Daemon.kill();
        Daemon.waitForFinished(5000);
    }
}

void TExternalPlayerTest::playFileSendsTheFileUrlAndPlays() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Café del Mar – Über den Wolken 01.mp3"));
    QVERIFY(External->PlayFile(file));
    QCOMPARE(External->State(), int(TExternalPlayer::kPlaying));
    const TPlayerState s = Host->State();
    QCOMPARE(s.Calls, QStringList({"OpenUri", "Play"}));
    QCOMPARE(s.Uri,
             QString::fromLatin1("file://" + QFileInfo(file).absoluteFilePath().toUtf8().toPercentEncoding("/")));
    QVERIFY2(s.Uri.endsWith("/Caf%C3%A9%20del%20Mar%20%E2%80%93%20%C3%9Cber%20den%20Wolken%2001.mp3"),
             qPrintable(s.Uri));

    // A relative name is taken from the current folder.
    const QString previous = QDir::currentPath();
    const auto restore = qScopeGuard([&previous] { QDir::setCurrent(previous); });
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(External->PlayFile(QStringLiteral("sub/ä b.mp3")));
    QCOMPARE(Host->State().Uri, QString::fromLatin1("file://" + QDir::currentPath().toUtf8().toPercentEncoding("/") +
                                                    "/sub/%C3%A4%20b.mp3"));
}

void TExternalPlayerTest::transportCommandsChangeTheState() {
    QCOMPARE(External->State(), int(TExternalPlayer::kStopped));
    QVERIFY(External->PlayFile(QStringLiteral("/music/a.mp3")));
    External->Pause();
    QCOMPARE(External->State(), int(TExternalPlayer::kPaused));
    External->Play();
    QCOMPARE(External->State(), int(TExternalPlayer::kPlaying));
    External->Stop();
    QCOMPARE(External->State(), int(TExternalPlayer::kStopped));
    External->Next();
    External->Previous();
    QCOMPARE(Host->State().Calls, QStringList({"OpenUri", "Play", "Pause", "Play", "Stop", "Next", "Previous"}));
}

void TExternalPlayerTest::seekAndSetPosition() {
    // Nothing loaded: the player reports no track, and no call is made.
    QVERIFY(!External->SetPositionMs(1000));
    QVERIFY(!Host->State().Calls.contains("SetPosition"));

    QVERIFY(External->PlayFile(QStringLiteral("/music/a.mp3")));
    QVERIFY(External->SetPositionMs(60'000));
    QCOMPARE(External->PositionMs(), 60'000);
    External->SeekBy(5000);
    QCOMPARE(External->PositionMs(), 65'000);
    External->SeekBy(-5000);
    External->SeekBy(-5000);
    QCOMPARE(External->PositionMs(), 55'000);
    QVERIFY(External->SetPositionMs(3000));
    External->SeekBy(-5000);
    QCOMPARE(External->PositionMs(), 0);

    // A new track has a new id; the position is set on the current one.
    QVERIFY(External->PlayFile(QStringLiteral("/music/b.mp3")));
    QCOMPARE(Host->State().TrackId, QStringLiteral("/org/velmartest/track/2"));
    QVERIFY(External->SetPositionMs(10'000));
    QCOMPARE(Host->State().PositionUs, 10'000'000);

    // Refused by the player (past the end), or not even asked (before the start).
    QVERIFY(!External->SetPositionMs(kTrackLengthUs / 1000 + 1000));
    QVERIFY(!External->SetPositionMs(-1));
    QCOMPARE(External->PositionMs(), 10'000);
}

void TExternalPlayerTest::readsLengthAndPositionAndSetsVolume() {
    QCOMPARE(External->LengthMs(), 0);
    QVERIFY(External->PlayFile(QStringLiteral("/music/a.mp3")));
    Host->Change([](TPlayerState& s) {
        s.LengthUs = 245'678'901;
        s.PositionUs = 12'345'678;
    });
    QCOMPARE(External->LengthMs(), 245'678);
    QCOMPARE(External->PositionMs(), 12'345);

    External->SetVolume(255);
    QCOMPARE(Host->State().Volume, 1.0);
    External->SetVolume(0);
    QCOMPARE(Host->State().Volume, 0.0);
    External->SetVolume(51);
    QCOMPARE(Host->State().Volume, 0.2);
    External->SetVolume(1000);
    QCOMPARE(Host->State().Volume, 1.0);
}

void TExternalPlayerTest::withoutPlayerEverythingIsNone() {
    Host->Leave();
    QVERIFY(!External->Available());
    QCOMPARE(External->PlayerName(), QString());
    QCOMPARE(External->State(), int(TExternalPlayer::kStopped));
    QVERIFY(!External->PlayFile(QStringLiteral("/music/a.mp3")));
    QVERIFY(!External->SetPositionMs(1000));
    QCOMPARE(External->PositionMs(), 0);
    QCOMPARE(External->LengthMs(), 0);
    External->Play();
    External->SeekBy(5000);
    External->SetVolume(100);
    QVERIFY(Host->State().Calls.isEmpty());
}

void TExternalPlayerTest::findsTheNextPlayerWhenOneLeaves() {
    QCOMPARE(External->PlayerName(), kTestPlayer);
    Host.reset();  // it quits
    QTRY_VERIFY(!External->Available());

    TPlayerHost second(Address, kSecondPlayer);
    QVERIFY(second.Registered);
    QCOMPARE(External->PlayerName(), kSecondPlayer);
    QVERIFY(External->PlayFile(QStringLiteral("/music/a.mp3")));
    QCOMPARE(second.State().Status, QStringLiteral("Playing"));

    // The player in use stays in use while it is there, even when one sorting before it comes.
    Host = std::make_unique<TPlayerHost>(Address, kTestPlayer);
    QVERIFY(Host->Registered);
    QCOMPARE(External->PlayerName(), kSecondPlayer);
    QCOMPARE(TExternalPlayer(QDBusConnection(kClient)).PlayerName(), kTestPlayer);

    second.Leave();
    QCOMPARE(External->PlayerName(), kTestPlayer);
    External->Pause();
    QCOMPARE(Host->State().Calls, QStringList({"Pause"}));
}

void TExternalPlayerTest::hungPlayerCostsOnlyTheTimeout() {
    QVERIFY(External->PlayFile(QStringLiteral("/music/a.mp3")));
    // The player's thread stops answering until the test ends. The gate is shared, as the
    // player's thread may still be waking up in it when the test has returned.
    const auto gate = std::make_shared<QSemaphore>();
    const auto release = qScopeGuard([gate] { gate->release(); });
    QMetaObject::invokeMethod(Host->Object(), [gate] { gate->acquire(); });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(External->State(), int(TExternalPlayer::kStopped));
    QVERIFY2(timer.elapsed() < 3 * TExternalPlayer::kTimeoutMs, qPrintable(QString::number(timer.elapsed())));
}

void TExternalPlayerTest::launch() {
    QVERIFY(!TExternalPlayer::Launch(QStringLiteral("velmar-no-such-player-program")));
    QVERIFY(!TExternalPlayer::Launch(QString()));
    QVERIFY(TExternalPlayer::Launch(QStringLiteral("/bin/true")));

    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("not-executable"));
    QVERIFY(WriteFile(plain, "#!/bin/sh\n"));
    QVERIFY(!TExternalPlayer::Launch(plain));

    // The arguments of the command come first, the file (blanks and all) last.
    const QString script = dir.filePath(QStringLiteral("record.sh"));
    QVERIFY(WriteFile(script, "printf '%s\\n' \"$@\" > \"$0.part\" && mv \"$0.part\" \"$0.out\"\n"));
    const QString file = dir.filePath(QStringLiteral("My Song ö.mp3"));
    QVERIFY(TExternalPlayer::Launch(QStringLiteral("/bin/sh ") + script + QStringLiteral(" --enqueue"), file));
    QTRY_VERIFY(QFile::exists(script + ".out"));
    QFile out(script + ".out");
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(out.readAll()), QStringLiteral("--enqueue\n") + file + "\n");
}

void TExternalPlayerTest::defaultCommandReadsTheDesktopFile() {
    // A stand-in xdg-mime that names the desktop file written in `answer`.
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("bin")) && QDir().mkpath(dir.filePath("share/applications")));
    const QString xdgMime = dir.filePath("bin/xdg-mime");
    const QString answer = dir.filePath("answer");
    QVERIFY(
        WriteFile(xdgMime, "#!/bin/sh\n[ \"$*\" = 'query default audio/mpeg' ] && cat '" + answer.toUtf8() + "'\n"));
    QVERIFY(QFile::setPermissions(xdgMime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH"), dataHome = qgetenv("XDG_DATA_HOME"), dataDirs = qgetenv("XDG_DATA_DIRS");
    const auto restore = qScopeGuard([&] {
        qputenv("PATH", path);
        qputenv("XDG_DATA_HOME", dataHome);
        qputenv("XDG_DATA_DIRS", dataDirs);
    });
    qputenv("PATH", QFile::encodeName(dir.filePath("bin")) + ":" + path);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("share")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath("nowhere")));
    const QString desktop = dir.filePath("share/applications/velmartest-player.desktop");

    QVERIFY(WriteFile(answer, "velmartest-player.desktop\n"));
    QVERIFY(WriteFile(desktop,
                      "[Desktop Entry]\nType=Application\nName=Test\nTryExec=velmartest-player\n"
                      "Exec=velmartest-player --enqueue %U\n"
                      "[Desktop Action New]\nExec=velmartest-player --new-window\n"));
    QCOMPARE(TExternalPlayer::DefaultCommand(), QStringLiteral("velmartest-player --enqueue"));

    // Quotes stay for Launch(), which splits the command at blanks outside them.
    QVERIFY(WriteFile(desktop, "[Desktop Entry]\nExec = \"/opt/velmar test/player\" --title=100%% %F %i\n"));
    const QString command = TExternalPlayer::DefaultCommand();
    QCOMPARE(QProcess::splitCommand(command), QStringList({"/opt/velmar test/player", "--title=100%"}));

    QVERIFY(WriteFile(answer, "velmartest-missing.desktop\n"));
    QCOMPARE(TExternalPlayer::DefaultCommand(), QString());
    QVERIFY(WriteFile(answer, ""));
    QCOMPARE(TExternalPlayer::DefaultCommand(), QString());
}

QTEST_GUILESS_MAIN(TExternalPlayerTest)
#include "externalplayer_test.moc"
