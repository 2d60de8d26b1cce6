// Plays a file through the program's player to the silent output, in real time,
// and prints the process's CPU time against the wall time it played for.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "playback/xaudioplayer.h"

using velmar::gui::TXaudioPlayer;

namespace {

double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmar-bench-player FILE.mp3\n");
        return 2;
    }
    TXaudioPlayer player;
    player.SetOutputName("dummy");
    QElapsedTimer wall;
    double cpuAtStart = 0;
    QObject::connect(&player, &TXaudioPlayer::NotifyPlayerState, &app, [&](int state) {
        if (state == TXaudioPlayer::Playing) {
            wall.start();
            cpuAtStart = CpuSeconds();
        } else if (state == TXaudioPlayer::Stopped && wall.isValid()) {
            const double seconds = double(wall.elapsed()) / 1000.0, cpu = CpuSeconds() - cpuAtStart;
            std::printf("played_s=%.2f cpu_s=%.3f cpu_percent=%.2f\n", seconds, cpu, 100.0 * cpu / seconds);
            app.quit();
        }
    });
    QObject::connect(&player, &TXaudioPlayer::NotifyError, &app, [&](const QString& message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        app.exit(1);
    });
    player.InputOpen(QString::fromLocal8Bit(argv[1]));
    player.Play();
    return app.exec();
}
