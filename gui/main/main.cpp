// velmar [FILE | FOLDER | PLAYLIST]...: the desktop program. What the command line
// names opens in one browser window; a second start hands it to the first copy.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/appcontext.h"
#include "app/dialogs.h"
#include "app/multinst.h"
#include "app/splash.h"
#include "base/version.h"
#include "main/mainform.h"

using namespace velmar::gui;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velmar");
    QApplication::setOrganizationName("Orvane Design");
    QApplication::setApplicationVersion(QString::fromStdString(velmar::VersionText()));

    const TCommandLine line = TCommandLine::Parse(QApplication::arguments());
    if (!line.Error.isEmpty()) {
        std::fprintf(stderr, "velmar: %s\nusage: velmar [--data DIR] [--config DIR] [FILE | FOLDER | PLAYLIST]...\n",
                     qPrintable(line.Error));
        return 2;
    }
    const TAppPaths paths = TAppPaths::Resolve(line.DataFolder, line.ConfigFolder);
    QStringList given;
    for (const QString& p : line.Paths) given << QFileInfo(p).absoluteFilePath();

    TInstanceGuard guard(paths.InstanceName());
    if (guard.HandOver(given)) return 0;
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
        main.OpenPaths(given);
    });
    return QApplication::exec();
}
