#pragma once
// Where the program finds its DATA folder and its settings, and the options of
// its command line.
#include <QString>
#include <QStringList>
#include <filesystem>

class QMimeData;

namespace velmar::gui {

struct TAppPaths {
    QString ProgramFolder;       // folder of the running program, with a trailing "/"
    QString DataFolder;          // the DATA folder read from (palettes, skins), trailing "/"
    QString WritableDataFolder;  // where generated pictures and "Recent Files" go, trailing "/"
    QString SettingsFile;        // the settings store's INI file; empty: the platform's native store
    QString HistoryFolder;       // the history of changes (the user's state folder, shared with velmar-cli)

    // DATA: `dataOption`, else $VELMAR_DATA, else "DATA" beside the program, else the
    // source tree's data/ folder. Written into when writable, else into the user's
    // application data folder. Settings: `configOption`, else $VELMAR_CONFIG, else the
    // user's configuration folder ("Orvane Design/Velmar.ini" inside it).
    static TAppPaths Resolve(const QString& dataOption, const QString& configOption);
    // The same for tests: everything under the two given folders (the history in the configuration one).
    static TAppPaths ForFolders(const QString& dataFolder, const QString& configFolder);

    QString RecentFilesFolder() const { return WritableDataFolder + "Recent Files/"; }
    QString GfxFolder() const { return WritableDataFolder + "GFX/"; }
    QString ColourTableFolder() const;  // "GFX/COLTAB/" of the DATA folder (or of the writable one)
    // A skin of the user's own DATA folder, else of the shipped one.
    QString SkinFolder(const QString& skin) const;
    // The folder of this user's single-instance socket: $XDG_RUNTIME_DIR when it is an
    // absolute path to a folder of this user that nobody else may write into, else
    // "velmar" in the user's cache folder (made with mode 0700). Empty when neither
    // passes that check; the program then starts without looking for another copy.
    static QString PrivateRuntimeFolder();
    // The single-instance socket: "Velmar MP3 Organizer-<hash of SettingsFile>" inside
    // PrivateRuntimeFolder(), so two copies meet exactly when they run as one user with
    // one settings file. Empty when there is no private folder. (Windows: a pipe name,
    // made per user by the home folder.)
    QString InstanceName() const;
    bool SettingsGiven = false;  // --config or $VELMAR_CONFIG chose the settings folder
};

struct TCommandLine {
    QString DataFolder, ConfigFolder;
    QStringList Paths;  // files, folders and playlists to open in one browser window
    QString Error;      // a usage error, empty when the line was understood
    static TCommandLine Parse(const QStringList& arguments);
};

// File names between Qt and the core.
std::filesystem::path ToPath(const QString& name);
QString FromPath(const std::filesystem::path& path);
QString FromUtf8(const std::string& text);
// The local files and folders dropped on a window, in their order.
QStringList DroppedPaths(const QMimeData& data);

}  // namespace velmar::gui
