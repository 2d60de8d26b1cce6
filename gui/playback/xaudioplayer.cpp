#include "xaudioplayer.h"

#include <mpg123.h>
#include <out123.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "app/appcontext.h"
#include "base/messages.h"
#include "file/mp3object.h"

namespace velmar::gui {

namespace {

constexpr size_t kChunk = 16384;  // bytes decoded and played at a time

// What went wrong while a file played, in words, with the file and the place.
QString PlayingProblem(const QString& file, int code, int second) {
    const QString name = "\"" + file + "\"";
    const QString at = QString("%1:%2").arg(second / 60, 2, 10, QChar('0')).arg(second % 60, 2, 10, QChar('0'));
    switch (code) {
        case MPG123_RESYNC_FAIL:
        case MPG123_OUT_OF_SYNC:
            return name + " is damaged at " + at +
                   ": no more MPEG audio could be found after that point, so playing stopped there.";
        case MPG123_ERR_READER:
        case MPG123_BAD_FILE:
            return name + " could not be read any further at " + at +
                   " (it may have been changed, moved or cut short), so playing stopped there.";
        default: {
            // The decoder's own words, without its error number.
            QString words = QString::fromLatin1(mpg123_plain_strerror(code));
            words.remove(QRegularExpression(" *\\(code \\d+\\)$"));
            return "Playing " + name + " stopped at " + at + ": " + words;
        }
    }
}

}  // namespace

// The decoder and the output; only the decoding thread touches them.
struct TXaudioPlayer::TEngine {
    explicit TEngine(TXaudioPlayer& owner) : Owner(owner), Buffer(kChunk) {}
    ~TEngine() {
        Close();
        if (Output) out123_del(Output);
        if (Decoder) mpg123_delete(Decoder);
    }

    TXaudioPlayer& Owner;
    mpg123_handle* Decoder = nullptr;
    out123_handle* Output = nullptr;
    std::string Driver, Device;  // a named output; empty: by Mode
    TOutput Mode = TOutput::SoundServer;
    bool Open = false, OutputOpen = false, Pace = false;
    int State = Stopped;
    long Rate = 0;
    int Channels = 0, Encoding = 0;
    int64_t Length = 0;  // in samples
    int Range = 216;
    int LastSecond = -1, LastOffset = -1;
    double Volume = 1.0;
    std::optional<std::array<double, 32>> Equalizer;
    std::vector<unsigned char> Buffer;
    std::chrono::steady_clock::time_point PaceStart;
    int64_t PacedFrom = 0;
    QString File;  // the file open for playing

    void SetState(int state) {
        State = state;
        Owner.Post([owner = &Owner, state] {
            owner->CurrentState = state;
            emit owner->NotifyPlayerState(state);
        });
    }
    void Error(const QString& message) {
        Owner.Post([owner = &Owner, message] { emit owner->NotifyError(message); });
    }
    void Close() {
        if (Open) mpg123_close(Decoder);
        if (OutputOpen) {
            out123_drop(Output);
            out123_close(Output);
        }
        Open = OutputOpen = false;
    }
    bool OpenOutput();
    void OpenInput(const QString& file);
    void Notify(bool always);
    void Seek(int64_t sample);
    void ApplySound() {
        if (!Decoder) return;
        mpg123_volume(Decoder, Volume);
        if (!Equalizer) {
            mpg123_reset_eq(Decoder);
            return;
        }
        for (int band = 0; band < 32; ++band) mpg123_eq(Decoder, MPG123_LR, band, (*Equalizer)[size_t(band)]);
    }
    void Step();
    void RestartPace() {
        PaceStart = std::chrono::steady_clock::now();
        PacedFrom = mpg123_tell(Decoder);
    }
    // Plays on from where the music was paused.
    void Resume() {
        out123_continue(Output);
        RestartPace();
        SetState(Playing);
    }
};

bool TXaudioPlayer::TEngine::OpenOutput() {
    if (!Output && !(Output = out123_new())) return false;
    const std::string drivers = !Driver.empty() ? Driver : Mode == TOutput::Device ? "alsa,oss" : "pulse,alsa,oss";
    if (out123_open(Output, drivers.c_str(), Device.empty() ? nullptr : Device.c_str()) != OUT123_OK) {
        if (!Driver.empty()) return false;
        // No sound here: play on in silence.
        if (out123_open(Output, "dummy", nullptr) != OUT123_OK) return false;
    }
    OutputOpen = true;
    char* name = nullptr;
    out123_driver_info(Output, &name, nullptr);
    const QString used = QString::fromLatin1(name ? name : "");
    Pace = used == "dummy";  // the silent output takes any amount at once: keep the pace of the music
    Owner.Post([owner = &Owner, used] { emit owner->NotifyOutputName(used); });
    return true;
}

void TXaudioPlayer::TEngine::OpenInput(const QString& file) {
    Close();
    SetState(Stopped);
    File = file;
    const QByteArray path = QFile::encodeName(file);
    if (mpg123_open(Decoder, path.constData()) != MPG123_OK) {
        Error("Cannot open \"" + file + "\": " + QString::fromLatin1(mpg123_strerror(Decoder)));
        return;
    }
    Open = true;
    // The whole stream is walked once so that its length is exact, whatever its headers say.
    if (mpg123_scan(Decoder) != MPG123_OK || mpg123_getformat(Decoder, &Rate, &Channels, &Encoding) != MPG123_OK ||
        Rate <= 0) {
        Error("\"" + file + "\" holds no MPEG audio that can be played.");
        Close();
        return;
    }
    Length = std::max<int64_t>(0, mpg123_length(Decoder));
    {
        // The scan ends at damage the decoder cannot pass. Where the stream is not what
        // its first frame promises, the frames the file holds are counted, past the
        // damage too, so that the length shown is that of every frame the file holds.
        TNullSink sink;
        TMP3Object stream(sink);
        stream.CountDoubtfulFrames = true;
        if (stream.LoadFile(ToPath(file), false) && stream.FramesCounted)
            Length = std::max<int64_t>(Length, std::llround(stream.PlaySeconds * double(Rate)));
    }
    if (!OpenOutput() || out123_start(Output, Rate, Channels, Encoding) != OUT123_OK) {
        Error("Cannot open the sound output: " + QString::fromLatin1(Output ? out123_strerror(Output) : "no memory"));
        Close();
        return;
    }
    ApplySound();
    const int seconds = int(Length / Rate);
    Owner.Post([owner = &Owner, seconds] { emit owner->NotifyInputDuration(seconds); });
    Notify(true);
}

void TXaudioPlayer::TEngine::Notify(bool always) {
    const int64_t sample = std::max<int64_t>(0, mpg123_tell(Decoder));
    const int second = int(sample / std::max(1L, Rate));
    const int offset = Length > 0 ? int(std::min<int64_t>(Range, sample * Range / Length)) : 0;
    if (always || second != LastSecond)
        Owner.Post([owner = &Owner, second] {
            emit owner->NotifyInputTimecode(second / 3600, second / 60 % 60, second % 60);
        });
    if (always || offset != LastOffset)
        Owner.Post([owner = &Owner, offset, range = Range] { emit owner->NotifyInputPosition(offset, range); });
    LastSecond = second;
    LastOffset = offset;
}

void TXaudioPlayer::TEngine::Seek(int64_t sample) {
    if (!Open) return;
    if (OutputOpen) out123_drop(Output);
    mpg123_seek(Decoder, off_t(std::clamp<int64_t>(sample, 0, Length)), SEEK_SET);
    RestartPace();
    Notify(true);
}

void TXaudioPlayer::TEngine::Step() {
    size_t done = 0;
    const int result = mpg123_read(Decoder, Buffer.data(), Buffer.size(), &done);
    if (result == MPG123_NEW_FORMAT) {
        mpg123_getformat(Decoder, &Rate, &Channels, &Encoding);
        out123_drain(Output);
        out123_stop(Output);
        out123_start(Output, Rate, Channels, Encoding);
    }
    if (done > 0) out123_play(Output, Buffer.data(), done);
    if (Pace && Rate > 0) {
        // Silent output: wait until the music would have come this far.
        const auto due = PaceStart + std::chrono::microseconds((mpg123_tell(Decoder) - PacedFrom) * 1000000 / Rate);
        std::this_thread::sleep_until(due);
    }
    Notify(false);
    if (result == MPG123_DONE || (result != MPG123_OK && result != MPG123_NEW_FORMAT)) {
        if (result != MPG123_DONE)
            Error(PlayingProblem(File, mpg123_errcode(Decoder), int(mpg123_tell(Decoder) / std::max(1L, Rate))));
        out123_drain(Output);
        mpg123_seek(Decoder, 0, SEEK_SET);
        SetState(Stopped);
        Notify(true);
    }
}

TXaudioPlayer::TXaudioPlayer(QObject* parent) : QObject(parent), Engine(std::make_unique<TEngine>(*this)) {
    int error = MPG123_OK;
    Ready = mpg123_init() == MPG123_OK && (Engine->Decoder = mpg123_new(nullptr, &error)) != nullptr;
    if (Ready) {
        // Never a message on standard error from the library.
        mpg123_param(Engine->Decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
        Thread = std::thread([this] { Run(); });
        Post([this] { emit NotifyReady(); });
    }
}

TXaudioPlayer::~TXaudioPlayer() {
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Quit = true;
    }
    Wake.notify_all();
    if (Thread.joinable()) Thread.join();
}

void TXaudioPlayer::Post(std::function<void()> notify) {
    QMetaObject::invokeMethod(this, std::move(notify), Qt::QueuedConnection);
}

void TXaudioPlayer::Queue(std::function<void(TEngine&)> command) {
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Commands.push_back(std::move(command));
    }
    Wake.notify_all();
}

void TXaudioPlayer::Run() {
    for (;;) {
        std::function<void(TEngine&)> command;
        {
            std::unique_lock<std::mutex> guard(Lock);
            Wake.wait(guard, [this] { return Quit || !Commands.empty() || Engine->State == Playing; });
            if (Quit) break;
            if (!Commands.empty()) {
                command = std::move(Commands.front());
                Commands.pop_front();
            }
        }
        if (command)
            command(*Engine);
        else
            Engine->Step();
    }
    Engine.reset();
}

int TXaudioPlayer::InputOpen(const QString& file) {
    if (!Ready) return Failure;
    Queue([file](TEngine& e) { e.OpenInput(file); });
    return Ok;
}

int TXaudioPlayer::InputClose() {
    if (!Ready) return Failure;
    Queue([](TEngine& e) {
        e.Close();
        e.SetState(Stopped);
    });
    return Ok;
}

int TXaudioPlayer::Play() {
    if (!Ready) return Failure;
    Queue([](TEngine& e) {
        if (!e.Open || e.State == Playing) return;
        if (e.State == Paused) return e.Resume();
        e.RestartPace();
        e.SetState(Playing);
    });
    return Ok;
}

int TXaudioPlayer::Pause() {
    if (!Ready) return Failure;
    Queue([](TEngine& e) {
        if (e.State == Paused) return e.Resume();
        if (e.State != Playing) return;
        out123_pause(e.Output);
        e.SetState(Paused);
    });
    return Ok;
}

int TXaudioPlayer::Stop() {
    if (!Ready) return Failure;
    Queue([](TEngine& e) {
        if (!e.Open) return;
        e.Seek(0);
        e.SetState(Stopped);
    });
    return Ok;
}

int TXaudioPlayer::InputSeek(int offset, int range) {
    if (!Ready || range <= 0) return Failure;
    Queue([offset, range](TEngine& e) { e.Seek(e.Length * std::clamp(offset, 0, range) / range); });
    return Ok;
}

int TXaudioPlayer::SetOutputVolume(int left, int right, int master) {
    if (!Ready) return Failure;
    const double volume =
        (std::clamp(left, 0, 255) + std::clamp(right, 0, 255)) / 510.0 * std::clamp(master, 0, 100) / 100.0;
    Queue([volume](TEngine& e) {
        e.Volume = volume;
        e.ApplySound();
    });
    return Ok;
}

int TXaudioPlayer::SetOutput(TOutput output) {
    Queue([output](TEngine& e) {
        e.Mode = output;
        e.Driver.clear();
        e.Device.clear();
    });
    return Ready ? Ok : Failure;
}

int TXaudioPlayer::SetOutputName(const QString& driver, const QString& device) {
    Queue([d = driver.toStdString(), v = device.toStdString()](TEngine& e) {
        e.Driver = d;
        e.Device = v;
    });
    return Ready ? Ok : Failure;
}

int TXaudioPlayer::SetInputPositionRange(int range) {
    if (range <= 0) return Failure;
    Queue([range](TEngine& e) { e.Range = range; });
    return Ready ? Ok : Failure;
}

int TXaudioPlayer::SetPriority(int priority) {
    if (!Ready) return Failure;
    // 4 is the normal priority; each step away is two steps of niceness. Raising it
    // above normal needs a privilege the program usually has not, and then stays normal.
    Queue(
        [nice = (4 - std::clamp(priority, 0, 7)) * 2](TEngine&) { setpriority(PRIO_PROCESS, id_t(::gettid()), nice); });
    return Ok;
}

int TXaudioPlayer::SetCodecEqualizer(const std::array<double, 32>* factors) {
    if (!Ready) return Failure;
    std::optional<std::array<double, 32>> settings;
    if (factors) settings = *factors;
    Queue([settings](TEngine& e) {
        e.Equalizer = settings;
        e.ApplySound();
    });
    return Ok;
}

QString TXaudioPlayer::ErrorString(int code) const {
    switch (code) {
        case Ok: return "OK";
        case NotSupported: return "not supported by this player";
        default: return "failed";
    }
}

}  // namespace velmar::gui
