#include "appcontext.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>

#include "change/history.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmar::gui {

namespace {

QString WithSlash(QString folder) {
    folder = QDir::fromNativeSeparators(folder);
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

bool FolderWritable(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

// The first 12 hexadecimal digits of the SHA-1 of `text`.
QString ShortHash(const QString& text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
}

#ifndef Q_OS_WIN
// A folder that no other user can put a socket into or take one out of: a directory
// itself (a link is not followed, since whoever owns the link's folder could turn it
// elsewhere), owned by this user, not writable by its group or by others.
bool OwnPrivateFolder(const QString& folder) {
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
#endif

}  // namespace

TAppPaths TAppPaths::Resolve(const QString& dataOption, const QString& configOption) {
    TAppPaths paths;
    paths.ProgramFolder = WithSlash(QCoreApplication::applicationDirPath());

    QString data = dataOption;
    if (data.isEmpty()) data = qEnvironmentVariable("VELMAR_DATA");
    if (data.isEmpty() && QFileInfo(paths.ProgramFolder + "DATA").isDir()) data = paths.ProgramFolder + "DATA";
    // Installed: PREFIX/bin/velmar reads PREFIX/share/velmar and never writes there,
    // even when the user may (an install into ~/.local).
    const bool installed = data.isEmpty() && QFileInfo(paths.ProgramFolder + "../share/velmar").isDir();
    if (installed) data = QDir::cleanPath(paths.ProgramFolder + "../share/velmar");
#ifdef VELMAR_SOURCE_DATA
    if (data.isEmpty()) data = QString::fromUtf8(VELMAR_SOURCE_DATA);
#endif
    if (data.isEmpty()) data = paths.ProgramFolder + "DATA";
    paths.DataFolder = WithSlash(QFileInfo(data).absoluteFilePath());
    QDir().mkpath(paths.DataFolder);
    paths.WritableDataFolder = paths.DataFolder;
    if (installed || !FolderWritable(paths.DataFolder))
        paths.WritableDataFolder =
            WithSlash(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/DATA");

    QString config = configOption;
    if (config.isEmpty()) config = qEnvironmentVariable("VELMAR_CONFIG");
    paths.SettingsGiven = !config.isEmpty();
#ifdef Q_OS_WIN
    if (paths.SettingsGiven) paths.SettingsFile = WithSlash(config) + "Orvane Design/Velmar.ini";
#else
    if (config.isEmpty()) config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    paths.SettingsFile = WithSlash(QFileInfo(config).absoluteFilePath()) + "Orvane Design/Velmar.ini";
#endif
    paths.HistoryFolder = FromPath(velmar::THistory::DefaultFolder());
    return paths;
}

TAppPaths TAppPaths::ForFolders(const QString& dataFolder, const QString& configFolder) {
    TAppPaths paths;
    paths.ProgramFolder = WithSlash(QCoreApplication::applicationDirPath());
    paths.DataFolder = paths.WritableDataFolder = WithSlash(QFileInfo(dataFolder).absoluteFilePath());
    paths.SettingsFile = WithSlash(QFileInfo(configFolder).absoluteFilePath()) + "Orvane Design/Velmar.ini";
    paths.HistoryFolder = WithSlash(QFileInfo(configFolder).absoluteFilePath()) + "history";
    paths.SettingsGiven = true;
    return paths;
}

QString TAppPaths::SkinFolder(const QString& skin) const {
    const QString own = WritableDataFolder + "SKINS/" + skin + "/";
    return QFileInfo(own).isDir() ? own : DataFolder + "SKINS/" + skin + "/";
}

QString TAppPaths::ColourTableFolder() const {
    const QString own = WritableDataFolder + "GFX/COLTAB/";
    if (QFileInfo(own).isDir()) return own;
    return DataFolder + "GFX/COLTAB/";
}

#ifdef Q_OS_WIN
QString TAppPaths::PrivateRuntimeFolder() { return {}; }

QString TAppPaths::InstanceName() const {
    // Pipe names are one namespace for the whole machine, and the native store (an empty
    // SettingsFile) is the user's own: the home folder tells the users apart.
    return QStringLiteral("Velmar MP3 Organizer-") + ShortHash(QDir::homePath() + '|' + SettingsFile);
}
#else
QString TAppPaths::PrivateRuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && OwnPrivateFolder(runtime)) return QDir::cleanPath(runtime);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) return {};
    QDir().mkpath(cache);
    const QString folder = cache + "/velmar";
    ::mkdir(QFile::encodeName(folder).constData(), 0700);  // fails when it is there already; checked below
    return OwnPrivateFolder(folder) ? folder : QString();
}

QString TAppPaths::InstanceName() const {
    const QString folder = PrivateRuntimeFolder();
    if (folder.isEmpty()) return {};
    return folder + QStringLiteral("/Velmar MP3 Organizer-") + ShortHash(SettingsFile);
}
#endif

TCommandLine TCommandLine::Parse(const QStringList& arguments) {
    TCommandLine line;
    bool onlyPaths = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (onlyPaths || !a.startsWith("--")) {
            line.Paths << a;
        } else if (a == "--") {
            onlyPaths = true;
        } else if (a == "--data" || a == "--config") {
            if (i + 1 >= arguments.size()) {
                line.Error = a + " needs a folder";
                return line;
            }
            (a == "--data" ? line.DataFolder : line.ConfigFolder) = arguments[++i];
        } else if (a.startsWith("--data=")) {
            line.DataFolder = a.mid(7);
        } else if (a.startsWith("--config=")) {
            line.ConfigFolder = a.mid(9);
        } else {
            line.Error = "unknown option " + a;
            return line;
        }
    }
    return line;
}

std::filesystem::path ToPath(const QString& name) {
#ifdef Q_OS_WIN
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

QString FromPath(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.wstring());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
#endif
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QStringList DroppedPaths(const QMimeData& data) {
    QStringList paths;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

}  // namespace velmar::gui
