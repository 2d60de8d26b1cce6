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

    // DATA: `dataOption`, else $VELMAR_DATA, else "DATA" beside the program, else the
    // source tree's data/ folder. Written into when writable, else into the user's
    // application data folder. Settings: `configOption`, else $VELMAR_CONFIG, else the
    // user's configuration folder ("Orvane Design/Velmar.ini" inside it).
    static TAppPaths Resolve(const QString& dataOption, const QString& configOption);
    // The same for tests: everything under the two given folders.
    static TAppPaths ForFolders(const QString& dataFolder, const QString& configFolder);

    QString RecentFilesFolder() const { return WritableDataFolder + "Recent Files/"; }
    QString GfxFolder() const { return WritableDataFolder + "GFX/"; }
    QString ColourTableFolder() const;  // "GFX/COLTAB/" of the DATA folder (or of the writable one)
    // A skin of the user's own DATA folder, else of the shipped one.
    QString SkinFolder(const QString& skin) const;
    // The single-instance name: "Velmar MP3 Organizer", made unique for a settings file
    // that was given explicitly, so that a test run never talks to the user's copy.
    QString InstanceName() const;
    bool SettingsGiven = false;
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
