// velmar [FILE | FOLDER | PLAYLIST]...: the desktop program. What the command line
// names opens in one browser window; a second start hands it to the first copy.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "app/appcontext.h"
#include "app/dialogs.h"
#include "app/multinst.h"
#include "app/splash.h"
#include "base/version.h"
#include "main/mainform.h"

using namespace velmar::gui;

namespace {

const char* const kUsage =
    "usage: velmar [--data DIR] [--config DIR] [FILE | FOLDER | PLAYLIST]...\n"
    "       velmar --help | --version\n";

const char* const kHelp =
    "  Opens one browser window with the files, folders and playlists named (with\n"
    "  none, an empty one unless the last session's windows come back); when\n"
    "  Velmar already runs for this user with the same settings file, hands them to\n"
    "  that copy instead and says so on standard output.\n"
    "  --data DIR     the DATA folder (formats, lists, palettes); else $VELMAR_DATA,\n"
    "                 DATA beside the program, ../share/velmar beside it, the\n"
    "                 source tree's data/\n"
    "  --config DIR   the folder of \"Orvane Design/Velmar.ini\"; else $VELMAR_CONFIG,\n"
    "                 else ~/.config\n"
    "  --             every argument after it is a path\n"
    "  --help         prints this text\n"
    "  --version      prints the version\n";

// --help and --version are answered before a window (or a display) is needed.
// Returns the exit status when one of them was given, else -1.
int AnswerWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0) break;
        if (std::strcmp(a, "--data") == 0 || std::strcmp(a, "--config") == 0) {
            ++i;  // the folder that follows is no option
        } else if (std::strcmp(a, "--version") == 0) {
            std::printf("velmar %s\n", velmar::VersionText().c_str());
            return 0;
        } else if (std::strcmp(a, "--help") == 0) {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        }
    }
    return -1;
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The Wayland plugin connects to $WAYLAND_DISPLAY, else to the socket wayland-0 in
// $XDG_RUNTIME_DIR.
bool WaylandReachable() {
    if (IsSet("WAYLAND_DISPLAY")) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime != '/') return false;
    struct stat info {};
    return ::stat((std::string(runtime) + "/wayland-0").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// Qt aborts the program when its platform plugin finds no display to connect to. The
// plugins that need one are checked here first, the way Qt picks them: the option
// -platform (or --platform) NAME, else QT_QPA_PLATFORM, names one or a list tried in
// turn ("wayland;xcb", each perhaps with ":options"); with neither, X11 or Wayland is
// used, whichever the session offers. Returns why no window can be shown, or an empty
// string when the platform may start.
std::string MissingDisplay(int argc, char** argv) {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) chosen = argv[++i];
    }
    if (chosen == nullptr || *chosen == '\0') {
        if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) return {};
        return "no display to show the windows on: neither DISPLAY nor WAYLAND_DISPLAY is set";
    }
    std::string_view list = chosen;
    while (!list.empty()) {
        const std::size_t end = list.find(';');
        std::string_view name = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
        name = name.substr(0, name.find(':'));
        if (name.empty()) continue;
        if (name == "xcb") {
            if (IsSet("DISPLAY")) return {};
        } else if (name.starts_with("wayland")) {
            if (WaylandReachable()) return {};
        } else {
            return {};  // offscreen, minimal, vnc, eglfs...: no display server needed
        }
    }
    return std::string("no display to show the windows on: the platform ") + chosen +
           " needs DISPLAY (xcb) or WAYLAND_DISPLAY (wayland), and neither is usable";
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerWithoutWindow(argc, argv); status >= 0) return status;
    if (const std::string missing = MissingDisplay(argc, argv); !missing.empty()) {
        std::fprintf(stderr,
                     "velmar: %s\n"
                     "velmar: QT_QPA_PLATFORM=offscreen runs it without a screen; velmar-cli works in a terminal\n",
                     missing.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velmar");
    QApplication::setOrganizationName("Orvane Design");
    QApplication::setApplicationVersion(QString::fromStdString(velmar::VersionText()));
    // Ties the windows to the installed desktop file (the Wayland app id, the dock's icon).
    QGuiApplication::setDesktopFileName("com.orvanedesign.velmar");

    const TCommandLine line = TCommandLine::Parse(QApplication::arguments());
    if (!line.Error.isEmpty()) {
        std::fprintf(stderr, "velmar: %s\n%s", qPrintable(line.Error), kUsage);
        return 2;
    }
    const TAppPaths paths = TAppPaths::Resolve(line.DataFolder, line.ConfigFolder);
    QStringList given;
    for (const QString& p : line.Paths) given << QFileInfo(p).absoluteFilePath();

    TInstanceGuard guard(paths.InstanceName());
    if (guard.HandOver(given)) {
        std::printf("velmar: handed %lld %s to the copy already running\n", static_cast<long long>(given.size()),
                    given.size() == 1 ? "file" : "files");
        return 0;
    }
    guard.Listen();  // when this fails the program runs as a first copy all the same

    QApplication::setOverrideCursor(Qt::WaitCursor);
    TSplashForm splash;
    splash.show();
    splash.SetStatus("Status: Initializing...");
    const QIcon icon(":/gfx/ID_APPICON");
    if (!icon.pixmap(32, 32).isNull()) QApplication::setWindowIcon(icon);

    TQtDialogs dialogs;
    TMainForm main(paths, dialogs, [&splash](const QString& text) {
        if (splash.isVisible()) splash.SetStatus(text);
    });
    if (!main.Ok()) return 1;
    QObject::connect(&guard, &TInstanceGuard::Woken, &main, [&main](const QStringList& files) {
        if (main.isMinimized()) main.showNormal();
        main.raise();
        main.activateWindow();
        main.OpenPaths(files);
    });
    // Without a window manager "maximised" means nothing: fill the screen's free area first.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) main.setGeometry(screen->availableGeometry());
    main.showMaximized();
    QTimer::singleShot(0, &main, [&] {
        main.FirstActivation();
        splash.close();
        QApplication::restoreOverrideCursor();
        main.OpenStartPaths(given);
    });
    return QApplication::exec();
}
