// The settings store on its own: defaults, names in any case, texts that are no numbers;
// and the single-instance socket, which one user and one settings file own.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <map>
#include <optional>

#include "app/multinst.h"

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/dialogs.h"

using namespace velmar::gui;

namespace {

// Environment variables set for one test and put back as they were after it.
class TEnvironment {
public:
    void Set(const char* name, const QString& value) {
        Keep(name);
        qputenv(name, QFile::encodeName(value));
    }
    void Unset(const char* name) {
        Keep(name);
        qunsetenv(name);
    }
    ~TEnvironment() {
        for (const auto& [name, value] : Saved) value ? qputenv(name.c_str(), *value) : qunsetenv(name.c_str());
    }

private:
    void Keep(const char* name) {
        if (!Saved.count(name))
            Saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    std::map<std::string, std::optional<QByteArray>> Saved;
};

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// What stands at a folder's place before the program looks at it.
enum class TFolder { Missing, Private, OpenToAll, GroupWritable, OtherUsers, LinkToPrivate, PlainFile };

// Makes `path` into `kind`; false when that needs root and this is not root.
bool MakeFolder(const QString& path, TFolder kind) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = Native(path);
    switch (kind) {
        case TFolder::Missing: return true;
        case TFolder::Private: return ::mkdir(name.constData(), 0700) == 0;
        case TFolder::OpenToAll: return ::mkdir(name.constData(), 0700) == 0 && ::chmod(name.constData(), 0777) == 0;
        case TFolder::GroupWritable:
            return ::mkdir(name.constData(), 0700) == 0 && ::chmod(name.constData(), 0770) == 0;
        case TFolder::OtherUsers:
            return ::geteuid() == 0 && ::mkdir(name.constData(), 0700) == 0 &&
                   ::chown(name.constData(), 65534, 65534) == 0;
        case TFolder::LinkToPrivate: {
            const QByteArray target = name + ".real";
            return ::mkdir(target.constData(), 0700) == 0 && ::symlink(target.constData(), name.constData()) == 0;
        }
        case TFolder::PlainFile: {
            QFile file(path);
            return file.open(QIODevice::WriteOnly);
        }
    }
    return false;
}

// A socket file that nobody listens on, as a copy that crashed leaves it.
bool LeaveStaleSocket(const QString& path) {
    const QByteArray name = Native(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, name.constData(), sizeof(address.sun_path) - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(path);
}

}  // namespace

Q_DECLARE_METATYPE(TFolder)
Q_DECLARE_METATYPE(std::optional<TFolder>)

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
        QTemporaryDir root;
        TEnvironment environment;
        QVERIFY(MakeFolder(root.path() + "/run", TFolder::Private));
        environment.Set("XDG_RUNTIME_DIR", root.path() + "/run");
        const QString name = TAppPaths::ForFolders(root.path() + "/DATA", root.path() + "/config").InstanceName();
        // A socket left behind in the private folder by a copy that crashed.
        QVERIFY(LeaveStaleSocket(name));

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

    // Copies meet on one socket exactly when they use one settings file. "<default>" is
    // the settings folder found without --config, which is "xdg" here.
    void instanceNameFollowsTheSettingsFile_data() {
        QTest::addColumn<QStringList>("folders");  // the settings folders of the running copy and of the new one
        QTest::addColumn<bool>("shared");
        QTest::newRow("two settings folders") << QStringList{"a", "b"} << false;
        QTest::newRow("one settings folder") << QStringList{"a", "a"} << true;
        QTest::newRow("one folder, with and without a slash") << QStringList{"a/", "a"} << true;
        QTest::newRow("the default folder and the same given") << QStringList{"<default>", "xdg"} << true;
        QTest::newRow("the default folder and another") << QStringList{"<default>", "a"} << false;
    }
    void instanceNameFollowsTheSettingsFile() {
        QFETCH(QStringList, folders);
        QFETCH(bool, shared);
        QTemporaryDir root;
        TEnvironment environment;
        QVERIFY(MakeFolder(root.path() + "/run", TFolder::Private));
        environment.Set("XDG_RUNTIME_DIR", root.path() + "/run");
        environment.Set("XDG_CONFIG_HOME", root.path() + "/xdg");
        environment.Unset("VELMAR_CONFIG");
        const auto nameFor = [&root](const QString& config) {
            const QString option = config == "<default>" ? QString() : root.path() + "/" + config;
            return TAppPaths::Resolve(root.path() + "/DATA", option).InstanceName();
        };
        const QString firstName = nameFor(folders[0]), secondName = nameFor(folders[1]);
        for (const QString& name : {firstName, secondName}) {
            QCOMPARE(QFileInfo(name).absolutePath(), root.path() + "/run");
            const QRegularExpression pattern("^Velmar MP3 Organizer-[0-9a-f]{12}$");
            QVERIFY2(pattern.match(QFileInfo(name).fileName()).hasMatch(), qPrintable(name));
        }

        TInstanceGuard running(firstName);
        QVERIFY(running.Listen());
        QSignalSpy woken(&running, &TInstanceGuard::Woken);
        TInstanceGuard starting(secondName);
        QCOMPARE(starting.HandOver({"/music/a.mp3"}), shared);
        if (shared) {
            QTRY_COMPARE(woken.count(), 1);
        } else {
            QVERIFY(starting.Listen());  // runs beside the first, which keeps its own socket
            QVERIFY(QFileInfo::exists(firstName));
            QCOMPARE(woken.count(), 0);
        }
    }

    // The socket's folder: $XDG_RUNTIME_DIR ("run" here) only when no one else can write
    // into it, else "velmar" in the cache folder, made private; else none at all.
    void instanceFolderIsTheUsersAlone_data() {
        QTest::addColumn<std::optional<TFolder>>("runtime");  // nullopt: $XDG_RUNTIME_DIR not set
        QTest::addColumn<TFolder>("cache");
        QTest::addColumn<QString>("used");  // "run", "cache/velmar" or "" (none)
        using F = TFolder;
        const std::optional<F> unset;
        QTest::newRow("runtime folder private") << std::optional(F::Private) << F::Missing << "run";
        QTest::newRow("runtime folder open to all") << std::optional(F::OpenToAll) << F::Missing << "cache/velmar";
        QTest::newRow("runtime folder writable by its group")
            << std::optional(F::GroupWritable) << F::Missing << "cache/velmar";
        QTest::newRow("runtime folder of another user") << std::optional(F::OtherUsers) << F::Missing << "cache/velmar";
        QTest::newRow("runtime folder a link") << std::optional(F::LinkToPrivate) << F::Missing << "cache/velmar";
        QTest::newRow("runtime folder a file") << std::optional(F::PlainFile) << F::Missing << "cache/velmar";
        QTest::newRow("runtime folder missing") << std::optional(F::Missing) << F::Private << "cache/velmar";
        QTest::newRow("no runtime folder") << unset << F::Private << "cache/velmar";
        QTest::newRow("cache folder open to all") << unset << F::OpenToAll << "";
        QTest::newRow("cache folder writable by its group") << unset << F::GroupWritable << "";
        QTest::newRow("cache folder of another user") << unset << F::OtherUsers << "";
        QTest::newRow("cache folder a link") << unset << F::LinkToPrivate << "";
        QTest::newRow("cache folder a file") << unset << F::PlainFile << "";
    }
    void instanceFolderIsTheUsersAlone() {
        QFETCH(std::optional<TFolder>, runtime);
        QFETCH(TFolder, cache);
        QFETCH(QString, used);
        QTemporaryDir root;
        TEnvironment environment;
        const QString runtimeFolder = root.path() + "/run", cacheFolder = root.path() + "/cache/velmar";
        if (!MakeFolder(runtimeFolder, runtime.value_or(TFolder::Missing)) || !MakeFolder(cacheFolder, cache))
            QSKIP("making a folder of another user needs root");
        if (runtime)
            environment.Set("XDG_RUNTIME_DIR", runtimeFolder);
        else
            environment.Unset("XDG_RUNTIME_DIR");
        environment.Set("XDG_CACHE_HOME", root.path() + "/cache");

        const QString expected = used.isEmpty() ? QString() : root.path() + "/" + used;
        QCOMPARE(TAppPaths::PrivateRuntimeFolder(), expected);
        const QString name = TAppPaths::ForFolders(root.path() + "/DATA", root.path() + "/config").InstanceName();
        TInstanceGuard guard(name);
        if (used.isEmpty()) {
            QCOMPARE(name, QString());
            QVERIFY(!guard.Listen());  // the program starts without a socket
            return;
        }
        QCOMPARE(QFileInfo(name).absolutePath(), expected);
        QVERIFY(guard.Listen());
        struct stat info {};
        QCOMPARE(::lstat(Native(expected).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
    }

    // A relative $XDG_RUNTIME_DIR is ignored even when it names a private folder: a
    // relative socket name would be taken as one in the shared temporary folder.
    void relativeRuntimeFolderIsIgnored() {
        QTemporaryDir root;
        TEnvironment environment;
        QVERIFY(MakeFolder(root.path() + "/run", TFolder::Private));
        const QString here = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root.path()));
        environment.Set("XDG_RUNTIME_DIR", "run");
        environment.Set("XDG_CACHE_HOME", root.path() + "/cache");
        const QString folder = TAppPaths::PrivateRuntimeFolder();
        QDir::setCurrent(here);
        QCOMPARE(folder, root.path() + "/cache/velmar");
    }

    // A listener run by another user gets no file names, even where it could be reached.
    void filesGoOnlyToACopyOfThisUser() {
        if (::geteuid() != 0) QSKIP("listening as another user needs root");
        QTemporaryDir root;
        QVERIFY(::chmod(Native(root.path()).constData(), 0777) == 0);
        const QByteArray name = Native(root.path() + "/socket");
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Another user listens, accepts and says whether anything reached it.
            ::alarm(20);
            ::close(ready[0]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, name.constData(), sizeof(address.sun_path) - 1);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 1) != 0)
                ::_exit(4);
            if (::write(ready[1], "r", 1) != 1) ::_exit(5);
            const int peer = ::accept(fd, nullptr, nullptr);
            char buffer[256];
            ::_exit(::read(peer, buffer, sizeof(buffer)) > 0 ? 1 : 0);
        }
        ::close(ready[1]);
        char byte = 0;
        const bool listening = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        const bool handed = listening && TInstanceGuard(QFile::decodeName(name)).HandOver({"/music/a.mp3"});
        int status = -1;
        ::waitpid(child, &status, 0);
        QVERIFY(listening);
        QVERIFY(!handed);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);  // it read nothing
    }

    // The program itself: a second start hands its files over, says so, and ends.
    void secondProgramSaysItHandedItsFilesOver() {
        QTemporaryDir root;
        TEnvironment environment;
        QVERIFY(MakeFolder(root.path() + "/run", TFolder::Private));
        environment.Set("XDG_RUNTIME_DIR", root.path() + "/run");
        const QString data = root.path() + "/DATA", config = root.path() + "/config";
        TInstanceGuard running(TAppPaths::ForFolders(data, config).InstanceName());
        QVERIFY(running.Listen());
        QSignalSpy woken(&running, &TInstanceGuard::Woken);

        QProcess program;
        QSignalSpy finished(&program, &QProcess::finished);
        program.setWorkingDirectory(root.path());
        program.start(VELMAR_PROGRAM, {"--data", data, "--config", config, "music/a.mp3", "/music/b c.mp3"});
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardOutput(), QByteArray("velmar: handed 2 files to the copy already running\n"));
        QCOMPARE(woken.count(), 1);
        QCOMPARE(woken.first().first().toStringList(), QStringList({root.path() + "/music/a.mp3", "/music/b c.mp3"}));
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
