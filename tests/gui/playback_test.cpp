// The player engine on real files with the real decoder: what it writes to a WAV
// output is what mpg123 decodes, its notifications follow the music, the transport
// changes state and position, the equalizer cuts what it should and nothing else.
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cmath>
#include <memory>

#include "guitest.h"
#include "playback/volposbar.h"
#include "playback/xaudioplayer.h"

using namespace velmar::gui;
using namespace velmar::gui::test;

namespace {

// A 16-bit mono WAV file of a sine tone.
void WriteTone(const QString& path, int frequency, double seconds) {
    const int rate = 44100;
    const int samples = int(rate * seconds);
    QByteArray pcm(samples * 2, 0);
    for (int i = 0; i < samples; ++i)
        qToLittleEndian<qint16>(qint16(12000 * std::sin(2 * M_PI * frequency * i / rate)), pcm.data() + 2 * i);
    QByteArray head("RIFF----WAVEfmt ");
    head.append(
        QByteArray::fromHex("10000000010001004"
                            "4ac0000885801000200100064617461"));
    QByteArray size(4, 0), total(4, 0);
    qToLittleEndian<quint32>(quint32(pcm.size()), size.data());
    qToLittleEndian<quint32>(quint32(pcm.size() + 36), total.data());
    head.replace(4, 4, total);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    out.write(head + size + pcm);
}

bool Run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The samples of a WAV file's "data" chunk.
QByteArray Pcm(const QString& wav) {
    const QByteArray bytes = ReadAll(wav);
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (bytes.mid(at, 4) == "data") return bytes.mid(at + 8, qsizetype(size));
        at += 8 + qsizetype(size) + (size & 1);
    }
    return {};
}

double Rms(const QByteArray& pcm) {
    double sum = 0;
    const qsizetype n = pcm.size() / 2;
    for (qsizetype i = 0; i < n; ++i) {
        const double v = qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
        sum += v * v;
    }
    return n ? std::sqrt(sum / double(n)) : 0;
}

// Decodes a file through the engine into a WAV file; the engine is gone afterwards,
// so the file is complete.
QByteArray Decoded(const QString& mp3, const QString& wav, const std::array<double, 32>* equalizer = nullptr) {
    auto player = std::make_unique<TXaudioPlayer>();
    QSignalSpy states(player.get(), &TXaudioPlayer::NotifyPlayerState);
    player->SetOutputName("wav", wav);
    player->SetCodecEqualizer(equalizer);
    player->InputOpen(mp3);
    player->Play();
    if (!QTest::qWaitFor([&] { return states.size() >= 2 && states.last().at(0).toInt() == TXaudioPlayer::Stopped; },
                         30000))
        qWarning("the engine did not finish %s", qPrintable(mp3));
    player.reset();
    return Pcm(wav);
}

}  // namespace

class PlaybackTest : public QObject {
    Q_OBJECT

private slots:
    void decodingIsExactlyWhatMpg123Decodes() {
        if (QStandardPaths::findExecutable("mpg123").isEmpty()) QSKIP("mpg123 is not installed");
        QTemporaryDir dir;
        const QString mp3 = SampleFiles().at(0);
        QVERIFY(Run("mpg123", {"-q", "-w", dir.filePath("reference.wav"), mp3}));
        const QByteArray reference = Pcm(dir.filePath("reference.wav"));
        QVERIFY(reference.size() > 100000);
        QCOMPARE(Decoded(mp3, dir.filePath("engine.wav")), reference);
    }

    void notificationsFollowTheMusicInOrder() {
        QTemporaryDir dir;
        TXaudioPlayer player;
        QVERIFY(player.Started());
        QSignalSpy duration(&player, &TXaudioPlayer::NotifyInputDuration);
        QSignalSpy times(&player, &TXaudioPlayer::NotifyInputTimecode);
        QSignalSpy positions(&player, &TXaudioPlayer::NotifyInputPosition);
        QSignalSpy states(&player, &TXaudioPlayer::NotifyPlayerState);
        player.SetOutputName("wav", dir.filePath("out.wav"));
        player.SetInputPositionRange(216);
        player.InputOpen(SampleFiles().at(1));  // 5 seconds
        player.Play();
        QTRY_VERIFY_WITH_TIMEOUT(states.size() >= 3 && states.last().at(0).toInt() == TXaudioPlayer::Stopped, 20000);
        QCOMPARE(duration.size(), 1);
        QCOMPARE(duration.first().at(0).toInt(), 5);
        int last = -1;
        for (const QList<QVariant>& t : times) {
            const int second = t.at(0).toInt() * 3600 + t.at(1).toInt() * 60 + t.at(2).toInt();
            if (t != times.last()) QVERIFY2(second >= last, "time codes go forward while playing");
            last = second;
        }
        QVERIFY(times.size() >= 6);
        int maximum = 0;
        for (const QList<QVariant>& p : positions) {
            QCOMPARE(p.at(1).toInt(), 216);
            maximum = std::max(maximum, p.at(0).toInt());
        }
        QCOMPARE(maximum, 216);  // it came to the end
        QCOMPARE(states.at(1).at(0).toInt(), int(TXaudioPlayer::Playing));
    }

    void transportChangesStateAndPosition() {
        TXaudioPlayer player;
        QSignalSpy states(&player, &TXaudioPlayer::NotifyPlayerState);
        QSignalSpy times(&player, &TXaudioPlayer::NotifyInputTimecode);
        QSignalSpy positions(&player, &TXaudioPlayer::NotifyInputPosition);
        QSignalSpy outputs(&player, &TXaudioPlayer::NotifyOutputName);
        player.SetOutputName("dummy");  // silent, at the pace of the music
        player.InputOpen(SampleFiles().at(1));
        player.Play();
        QTRY_COMPARE_WITH_TIMEOUT(player.State(), int(TXaudioPlayer::Playing), 5000);
        QCOMPARE(outputs.first().at(0).toString(), QString("dummy"));
        QTRY_VERIFY_WITH_TIMEOUT(times.last().at(2).toInt() >= 1, 5000);
        player.Pause();
        QTRY_COMPARE_WITH_TIMEOUT(player.State(), int(TXaudioPlayer::Paused), 5000);
        const qsizetype seen = positions.size();
        QTest::qWait(400);
        QVERIFY(positions.size() - seen <= 1);  // nothing moves while paused
        player.InputSeek(162, 216);
        QTRY_VERIFY_WITH_TIMEOUT(positions.last().at(0).toInt() == 162, 5000);
        QCOMPARE(times.last().at(2).toInt(), 3);  // three quarters of five seconds
        player.Pause();  // again: plays on from where it is
        QTRY_COMPARE_WITH_TIMEOUT(player.State(), int(TXaudioPlayer::Playing), 5000);
        QVERIFY(positions.last().at(0).toInt() >= 162);
        player.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(player.State(), int(TXaudioPlayer::Stopped), 5000);
        QCOMPARE(positions.last().at(0).toInt(), 0);
        QCOMPARE(times.last().at(2).toInt(), 0);
        QCOMPARE(player.OutputModuleRegister("x"), int(TXaudioPlayer::NotSupported));
    }

    void equalizerCutsItsBandAndLeavesOthers() {
        if (QStandardPaths::findExecutable("lame").isEmpty()) QSKIP("lame is not installed");
        QTemporaryDir dir;
        for (const int frequency : {150, 9000}) {
            const QString wav = dir.filePath(QString("tone%1.wav").arg(frequency));
            const QString mp3 = dir.filePath(QString("tone%1.mp3").arg(frequency));
            WriteTone(wav, frequency, 2.0);
            QVERIFY(Run("lame", {"--quiet", "-b", "192", wav, mp3}));
            std::array<double, 32> cut;
            cut.fill(1.0);
            cut[0] = 0.05;  // the lowest 690 Hz
            const double flat = Rms(Decoded(mp3, dir.filePath("flat.wav")));
            const double shaped = Rms(Decoded(mp3, dir.filePath("cut.wav"), &cut));
            QVERIFY(flat > 1000);
            if (frequency == 150)
                QVERIFY2(shaped < flat * 0.2, qPrintable(QString("%1 -> %2").arg(flat).arg(shaped)));
            else
                QVERIFY2(std::abs(shaped - flat) < flat * 0.05, qPrintable(QString("%1 -> %2").arg(flat).arg(shaped)));
        }
    }

    void theMainWindowPlaysTheSelectedRowAndShowsItsTime() {
        TWorkspace ws;
        TApp app(ws);
        TBrowserForm* b = app.Browser();
        b->AddFileNames({ws.Copy(1, "five.mp3"), ws.Copy(0, "three.mp3")});
        app.Main.XPlayer->SetOutputName("dummy");  // silent, in real time, on any machine
        b->MP3ListView->SelectRows(Flags({0, 0}));
        app.Main.actPlayTrackExecute();
        QCOMPARE(app.Dialogs.Messages(TScriptedDialogs::TKind::Information), QStringList({"No file selected."}));
        b->MP3ListView->SelectRows(Flags({1, 0}));
        b->MP3ListView->setCurrentIndex(b->MP3ListView->Model()->index(0, 0));
        b->UpdateStatus();
        QVERIFY(app.Main.actPlayTrack->isEnabled() && !app.Main.actPreviousTrack->isEnabled());
        QVERIFY(app.Main.actNextTrack->isEnabled() && !app.Main.actPauseTrack->isEnabled());
        app.Main.actPlayTrack->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(app.Main.PlayerState, 1, 5000);
        QVERIFY(app.Main.actPauseTrack->isEnabled() && app.Main.actStopTrack->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(app.Main.TimePanel->text(), QString("00:01/00:05"), 5000);
        QVERIFY(app.Main.VolPos->PositionMarker() > 0);

        // Dragging the position marker moves it, and the music only when the button is released.
        TVolPosBar* bar = app.Main.VolPos;
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(20, 15));
        QTest::mouseMove(bar, QPoint(170, 15));
        QCOMPARE(bar->PositionMarker(), 170);
        QTest::qWait(300);
        QVERIFY(app.Main.ElapsedSeconds < 3);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(170, 15));
        QTRY_VERIFY_WITH_TIMEOUT(app.Main.ElapsedSeconds >= 3, 3000);

        // Paused, Play and Pause both play on from the same place, never from 00:00.
        for (QAction* resume : {app.Main.actPlayTrack, app.Main.actPauseTrack}) {
            app.Main.actPauseTrack->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(app.Main.PlayerState, 3, 5000);
            resume->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(app.Main.PlayerState, 1, 5000);
            QVERIFY(app.Main.ElapsedSeconds >= 3);
        }
        app.Main.actPauseTrack->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(app.Main.PlayerState, 3, 5000);
        app.Main.actStopTrack->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(app.Main.PlayerState, 0, 5000);
        QVERIFY(!app.Main.actStopTrack->isEnabled());

        // Next selects the next row and plays it.
        app.Main.actNextTrack->trigger();
        QCOMPARE(b->MP3ListView->SelectedRows(), Flags({0, 1}));
        QTRY_COMPARE_WITH_TIMEOUT(app.Main.TotalTime, QString("00:03"), 5000);
        app.Main.actStopTrack->trigger();

        // Remaining time: the length less one second, less what was played.
        app.Main.TotalSeconds = 184;
        app.Main.TotalTime = "03:05";
        app.Main.TimeMode = 1;
        app.Main.ShowTime(60);
        QCOMPARE(app.Main.TimePanel->text(), QString("-02:04/03:05"));
    }

    void aClickOnTheVolumeSetsItAtOnce() {
        struct TCase {
            const char* Name;
            bool Playing;
            QPoint At;
            int Volume;  // the marker afterwards
            int Signals;
        };
        const TCase cases[] = {
            {"on the volume row", true, {120, 5}, 120, 1},
            {"left of the range", true, {0, 5}, 1, 1},
            {"on the position row", true, {120, 15}, 40, 0},
            {"nothing playing", false, {120, 5}, 40, 0},
        };
        for (const TCase& c : cases) {
            TVolPosBar bar;
            bar.resize(224, 22);
            bar.SetVolumeMarker(40);
            bar.Playing = c.Playing;
            QSignalSpy volume(&bar, &TVolPosBar::VolumeDragged);
            QTest::mousePress(&bar, Qt::LeftButton, {}, c.At);
            QVERIFY2(bar.VolumeMarker() == c.Volume, c.Name);
            QCOMPARE(volume.size(), c.Signals);
            if (c.Signals) QCOMPARE(volume.first().at(0).toInt(), c.Volume);
            QTest::mouseRelease(&bar, Qt::LeftButton, {}, c.At);
            QCOMPARE(bar.VolumeMarker(), c.Volume);
        }
    }

    void aDamagedFileIsNamedAndTheProblemSaidInWords() {
        TWorkspace ws;
        const QString file = ws.Copy(1, "damaged.mp3");
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 third = f.size() / 3;
        QVERIFY(f.seek(third));
        QByteArray noise(20000, 0);
        quint32 x = 1;
        for (char& c : noise) c = char((x = x * 1103515245u + 12345u) >> 24);
        f.write(noise);
        f.close();
        TXaudioPlayer player;
        QSignalSpy errors(&player, &TXaudioPlayer::NotifyError);
        QSignalSpy duration(&player, &TXaudioPlayer::NotifyInputDuration);
        player.SetOutputName("dummy");
        player.InputOpen(file);
        // The length of the frames the file holds (91 frames, 2.4 s), as its row shows
        // it, not where the decoder's scan stopped at the damage (1 s).
        QTRY_COMPARE_WITH_TIMEOUT(duration.size(), 1, 5000);
        QCOMPARE(duration.first().at(0).toInt(), 2);
        player.Play();
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 15000);
        const QString message = errors.first().at(0).toString();
        QVERIFY2(message.startsWith("\"" + file + "\" is damaged at 00:0"), qPrintable(message));
        QVERIFY2(!message.contains("code"), qPrintable(message));
        QTRY_COMPARE_WITH_TIMEOUT(player.State(), int(TXaudioPlayer::Stopped), 5000);
    }

    void aFileThatIsNotMpegAudioIsAnErrorNotAHang() {
        QTemporaryDir dir;
        const QString text = dir.filePath("notes.mp3");
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("not music at all\n").repeated(2000));
        f.close();
        TXaudioPlayer player;
        QSignalSpy errors(&player, &TXaudioPlayer::NotifyError);
        player.SetOutputName("dummy");
        player.InputOpen(text);
        player.Play();
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 10000);
        QVERIFY(errors.first().at(0).toString().contains("notes.mp3"));
        QTest::qWait(100);
        QCOMPARE(player.State(), int(TXaudioPlayer::Stopped));
        player.InputOpen(dir.filePath("missing.mp3"));
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 2, 5000);
    }
};

QTEST_MAIN(PlaybackTest)
#include "playback_test.moc"
