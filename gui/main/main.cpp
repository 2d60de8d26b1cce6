// velmar [FILE | FOLDER | PLAYLIST]...: the desktop program. What the command line
// names opens in one browser window; a second start hands it to the first copy.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstring>

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

}  // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerWithoutWindow(argc, argv); status >= 0) return status;
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velmar");
    QApplication::setOrganizationName("Orvane Design");
    QApplication::setApplicationVersion(QString::fromStdString(velmar::VersionText()));

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
