#include "playback/externalplayer.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>
#include <algorithm>

namespace velmar::gui {

namespace {

const QString kNamePrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The track id MPRIS players give when nothing is loaded.
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

bool Succeeded(const QDBusMessage& reply) { return reply.type() == QDBusMessage::ReplyMessage; }

QVariant FirstArgument(const QDBusMessage& reply) {
    return Succeeded(reply) && !reply.arguments().isEmpty() ? reply.arguments().first() : QVariant();
}

// A value as it came over the bus: variants unwrapped, lists and maps still marshalled.
QVariant Unwrap(QVariant value) {
    while (value.metaType() == QMetaType::fromType<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
    return value;
}

// An Exec= value as a command: the escapes of desktop entry strings (\s, \n, \t, \r,
// \\) resolved, field codes (which stand alone as arguments) dropped, "%%" made "%".
QString CommandFromExec(const QString& exec) {
    QString command;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c != QLatin1Char('\\') || i + 1 == exec.size()) {
            command += c;
            continue;
        }
        const QChar next = exec.at(++i);
        if (next == QLatin1Char('\\'))
            command += next;
        else if (QStringLiteral("sntr").contains(next))
            command += QLatin1Char(' ');
        else
            command += QString(c) + next;  // an escape of a quoted argument, kept as it is
    }
    static const QRegularExpression fieldCode(QStringLiteral("(^|\\s)%[fFuUdDnNickvm](?=\\s|$)"));
    command.replace(fieldCode, QString());
    command.replace(QLatin1String("%%"), QLatin1String("%"));
    return command.simplified();
}

// The Exec= line of the [Desktop Entry] group of a .desktop file; empty when none.
QString ExecOfDesktopFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
        } else if (inEntry && line.startsWith(QLatin1String("Exec"))) {
            const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
            if (key == QLatin1String("Exec")) return line.section(QLatin1Char('='), 1).trimmed();
        }
    }
    return {};
}

}  // namespace

TExternalPlayer::TExternalPlayer(const QDBusConnection& bus, QObject* parent) : QObject(parent), Bus(bus) {}

QDBusMessage TExternalPlayer::Call(const QString& service, const QString& path, const QString& interface,
                                   const QString& method, const QVariantList& args) {
    if (service.isEmpty() || !Bus.isConnected()) return {};
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    // Block, not BlockWithGui: no events are handled while waiting, so nothing in the
    // program runs again in the middle of a call.
    return Bus.call(message, QDBus::Block, kTimeoutMs);
}

QDBusMessage TExternalPlayer::PlayerCall(const QString& method, const QVariantList& args) {
    return Call(PlayerName(), kObjectPath, kPlayerInterface, method, args);
}

QVariant TExternalPlayer::BusDaemon(const QString& method, const QVariantList& args) {
    return FirstArgument(Call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                              QStringLiteral("org.freedesktop.DBus"), method, args));
}

QString TExternalPlayer::PlayerName() {
    if (!Name.isEmpty() && BusDaemon(QStringLiteral("NameHasOwner"), {Name}).toBool()) return Name;
    QStringList players;
    for (const QString& name : BusDaemon(QStringLiteral("ListNames")).toStringList())
        if (name.startsWith(kNamePrefix)) players << name;
    std::sort(players.begin(), players.end());
    Name = players.isEmpty() ? QString() : players.first();
    return Name;
}

QVariant TExternalPlayer::Property(const QString& name) {
    return Unwrap(FirstArgument(
        Call(PlayerName(), kObjectPath, kPropertiesInterface, QStringLiteral("Get"), {kPlayerInterface, name})));
}

QVariantMap TExternalPlayer::Metadata() {
    const QVariant value = Property(QStringLiteral("Metadata"));
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

bool TExternalPlayer::PlayFile(const QString& file) {
    if (file.isEmpty()) return false;
    const QString url = QString::fromLatin1(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toEncoded());
    return Succeeded(PlayerCall(QStringLiteral("OpenUri"), {url})) && Succeeded(PlayerCall(QStringLiteral("Play")));
}

void TExternalPlayer::Play() { PlayerCall(QStringLiteral("Play")); }
void TExternalPlayer::Pause() { PlayerCall(QStringLiteral("Pause")); }
void TExternalPlayer::Stop() { PlayerCall(QStringLiteral("Stop")); }
void TExternalPlayer::Next() { PlayerCall(QStringLiteral("Next")); }
void TExternalPlayer::Previous() { PlayerCall(QStringLiteral("Previous")); }

void TExternalPlayer::SeekBy(qint64 milliseconds) {
    PlayerCall(QStringLiteral("Seek"), {QVariant::fromValue<qlonglong>(milliseconds * 1000)});
}

bool TExternalPlayer::SetPositionMs(qint64 ms) {
    if (ms < 0) return false;
    const QVariant id = Unwrap(Metadata().value(QStringLiteral("mpris:trackid")));
    // Older players give the track id as a string instead of an object path.
    const QString track =
        id.metaType() == QMetaType::fromType<QDBusObjectPath>() ? id.value<QDBusObjectPath>().path() : id.toString();
    if (!track.startsWith(QLatin1Char('/')) || track == kNoTrack) return false;
    return Succeeded(PlayerCall(QStringLiteral("SetPosition"), {QVariant::fromValue(QDBusObjectPath(track)),
                                                                QVariant::fromValue<qlonglong>(ms * 1000)}));
}

int TExternalPlayer::State() {
    const QString status = Property(QStringLiteral("PlaybackStatus")).toString();
    if (status == QLatin1String("Playing")) return kPlaying;
    if (status == QLatin1String("Paused")) return kPaused;
    return kStopped;
}

qint64 TExternalPlayer::PositionMs() { return Property(QStringLiteral("Position")).toLongLong() / 1000; }

qint64 TExternalPlayer::LengthMs() {
    return Unwrap(Metadata().value(QStringLiteral("mpris:length"))).toLongLong() / 1000;
}

void TExternalPlayer::SetVolume(int volume255) {
    const double volume = std::clamp(volume255, 0, 255) / 255.0;
    Call(PlayerName(), kObjectPath, kPropertiesInterface, QStringLiteral("Set"),
         {kPlayerInterface, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(volume))});
}

bool TExternalPlayer::Launch(const QString& command, const QString& file) {
    QStringList arguments = QProcess::splitCommand(command);
    if (arguments.isEmpty()) return false;
    const QString program = arguments.takeFirst();
    if (!file.isEmpty()) arguments << file;
    return QProcess::startDetached(program, arguments);
}

QString TExternalPlayer::DefaultCommand() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("audio/mpeg")});
    if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    // xdg-mime may name several programs, separated by ';'; the first is the default.
    const QString desktopId =
        QString::fromUtf8(query.readAllStandardOutput()).trimmed().section(QLatin1Char(';'), 0, 0).trimmed();
    if (!desktopId.endsWith(QLatin1String(".desktop"))) return {};
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    return path.isEmpty() ? QString() : CommandFromExec(ExecOfDesktopFile(path));
}

}  // namespace velmar::gui
