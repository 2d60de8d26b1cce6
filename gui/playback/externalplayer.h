#pragma once
// Remote control of an external media player: any player that offers the MPRIS
// interface (org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player) on the
// session bus. Every call waits at most kTimeoutMs, so a hung player costs a
// moment, never the program; failures give the "none" values (false, 0, empty).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

namespace velmar::gui {

class TExternalPlayer : public QObject {
    Q_OBJECT
public:
    // The values of State(), as the program's own engine reports them.
    enum { kStopped = 0, kPlaying = 1, kPaused = 3 };
    static constexpr int kTimeoutMs = 1000;

    // `bus` is the session bus in the program; the tests give a private one.
    explicit TExternalPlayer(const QDBusConnection& bus, QObject* parent = nullptr);

    // The player in use: the first bus name "org.mpris.MediaPlayer2.*" in sorted order.
    // It is kept until it leaves the bus (the player quit); then the next one is looked
    // for. Empty when there is none.
    QString PlayerName();
    bool Available() { return !PlayerName().isEmpty(); }

    // Opens the file (as the file:// URL of its absolute path) and starts playing it.
    bool PlayFile(const QString& file);
    void Play();
    void Pause();
    void Stop();
    void Next();
    void Previous();
    // Moves the position by `milliseconds` (negative: back); the player clamps at the ends.
    void SeekBy(qint64 milliseconds);
    // Jumps to `ms` in the current track; false when there is no track or the player refuses.
    bool SetPositionMs(qint64 ms);
    // kStopped (also when there is no player), kPlaying or kPaused.
    int State();
    // The position and the length of the current track; 0 when unknown.
    qint64 PositionMs();
    qint64 LengthMs();
    // `volume255` from 0 (silent) to 255 (full).
    void SetVolume(int volume255);

    // Starts the player program detached: `command` is the program, maybe followed by
    // arguments separated by blanks (quotes keep blanks inside one); `file`, when given,
    // is appended as one more argument. False when the program cannot be started.
    static bool Launch(const QString& command, const QString& file = QString());
    // The desktop's program for MP3 files (audio/mpeg) as a command for Launch(), read
    // from the Exec= line of its .desktop file without the field codes (%U, %f, ...).
    // Empty when the desktop names none.
    static QString DefaultCommand();

private:
    QDBusMessage Call(const QString& service, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {});
    QDBusMessage PlayerCall(const QString& method, const QVariantList& args = {});
    QVariant BusDaemon(const QString& method, const QVariantList& args = {});
    QVariant Property(const QString& name);
    QVariantMap Metadata();

    QDBusConnection Bus;
    QString Name;  // the player in use, checked before each use
};

}  // namespace velmar::gui
