#pragma once
// TXaudioPlayer: the program's own player. It decodes with libmpg123 and plays
// through libout123 on a thread of its own; the control operations are queued to
// that thread and its notifications reach the user-interface thread as queued
// signals. Operations that mean nothing for this engine answer NotSupported.
#include <QObject>
#include <QString>
#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace velmar::gui {

class TXaudioPlayer : public QObject {
    Q_OBJECT
public:
    enum TState { Stopped = 0, Playing = 1, Paused = 3 };
    enum TResult { Ok = 0, Failure = -1, NotSupported = -2 };
    // Where the sound goes: the desktop's sound server before the devices, the devices
    // only, or a file (out123's "wav", "raw"...). Without any sound output the engine
    // plays silently, in real time.
    enum class TOutput { SoundServer, Device };

    explicit TXaudioPlayer(QObject* parent = nullptr);
    ~TXaudioPlayer() override;

    // False when the decoder library could not be started ("Cannot Start Xaudio Player").
    bool Started() const { return Ready; }

    int InputOpen(const QString& file);
    int InputClose();
    // Play starts the opened input, or resumes it where it was paused; Pause pauses
    // the music, or, while paused, resumes it.
    int Play();
    int Pause();
    int Stop();
    // Seeks to `offset` of `range` (offset = range is the end).
    int InputSeek(int offset, int range);
    // Channel volumes 0..255 and the master level in percent.
    int SetOutputVolume(int left, int right, int master);
    int SetOutput(TOutput output);
    // A named out123 driver and device, e.g. "wav" and a file name; takes effect at the next InputOpen.
    int SetOutputName(const QString& driver, const QString& device = QString());
    int SetInputPositionRange(int range);
    int SetPriority(int priority);  // 0 (lowest) to 7; 4 is normal
    // The 32 band factors of the decoder's equalizer (1.0: unchanged); none: off.
    int SetCodecEqualizer(const std::array<double, 32>* factors);
    int OutputModuleRegister(const QString&) { return NotSupported; }
    int SetPlayerEnvironmentInteger(const QString&, int) { return NotSupported; }
    QString ErrorString(int code) const;

    int State() const { return CurrentState; }  // as last notified

signals:
    void NotifyReady();
    void NotifyPlayerState(int state);
    void NotifyInputDuration(int seconds);
    void NotifyInputTimecode(int hours, int minutes, int seconds);
    void NotifyInputPosition(int offset, int range);
    void NotifyOutputName(const QString& driver);  // the output in use after an input was opened
    void NotifyError(const QString& message);

private:
    struct TEngine;
    // Runs `command` on the decoding thread, in order.
    void Queue(std::function<void(TEngine&)> command);
    void Run();
    // Hands a notification to the user-interface thread.
    void Post(std::function<void()> notify);

    std::unique_ptr<TEngine> Engine;  // touched by the decoding thread only
    std::mutex Lock;
    std::condition_variable Wake;
    std::deque<std::function<void(TEngine&)>> Commands;
    bool Quit = false;
    bool Ready = false;
    int CurrentState = Stopped;
    std::thread Thread;
};

}  // namespace velmar::gui
