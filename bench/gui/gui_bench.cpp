// Adds a folder of MP3 files to a browser window of the real program (offscreen
// platform) and reports how long each add took, the rows, and the peak memory.
//
// usage: velmar-bench-gui FOLDER [--times N]
//   --times N   add the folder N times to the same window (default 1)
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "app/appcontext.h"
#include "browser/MP3ListView.h"
#include "browser/browser.h"
#include "main/mainform.h"
#include "scripteddialogs.h"

using namespace velmar::gui;

namespace {

double PeakRssMb() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double CurrentRssMb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: velmar-bench-gui FOLDER [--times N]\n");
        return 2;
    }
    const QString folder = QFileInfo(args[1]).absoluteFilePath();
    int times = 1;
    const qsizetype t = args.indexOf("--times");
    if (t > 0 && t + 1 < args.size()) times = std::max(1, args[t + 1].toInt());

    QTemporaryDir home;
    const QString palettes = QStringLiteral(VELMAR_SOURCE_DATA) + "/GFX/COLTAB/";
    QDir().mkpath(home.path() + "/DATA/GFX/COLTAB");
    for (const QString& name : QDir(palettes).entryList(QDir::Files))
        QFile::copy(palettes + name, home.path() + "/DATA/GFX/COLTAB/" + name);

    TScriptedDialogs dialogs;
    double addSeconds = 0;
    int rows = 0;
    {
        TMainForm main(TAppPaths::ForFolders(home.path() + "/DATA", home.path() + "/config"), dialogs);
        main.show();
        main.FirstActivation();
        TBrowserForm* browser = main.NewBrowser();
        browser->UpdateStatus();
        QApplication::processEvents();
        std::printf("rss_before_mb=%.1f\n", CurrentRssMb());
        for (int i = 0; i < times; ++i) {
            QElapsedTimer clock;
            clock.start();
            browser->AddPaths({folder});
            browser->UpdateStatus();
            QApplication::processEvents();
            const double seconds = clock.nsecsElapsed() / 1e9;
            addSeconds += seconds;
            std::printf("add %d: %.3f s, %d rows\n", i + 1, seconds, browser->MP3ListView->Count());
        }
        rows = browser->MP3ListView->Count();
        std::printf("rows=%d\nadd_s=%.3f (first add %s)\nrss_after_mb=%.1f\npeak_rss_mb=%.1f\n", rows, addSeconds,
                    times == 1 ? "only" : "and the others", CurrentRssMb(), PeakRssMb());
        for (auto* b : main.Browsers()) b->ClosingWithoutPrompt = true;
        main.close();
    }
    const QStringList errors = dialogs.Messages(TScriptedDialogs::TKind::Error);
    if (!errors.isEmpty())
        std::printf("messages shown: %lld (first: %s)\n", qlonglong(errors.size()),
                    qPrintable(errors.first().left(200)));
    std::fflush(stdout);
    return rows > 0 ? 0 : 1;
}
