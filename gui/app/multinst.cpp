#include "multinst.h"

#include <QLocalServer>
#include <QLocalSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace velmar::gui {

namespace {

// The copy listening at the other end of `descriptor` runs as this user. The socket's
// folder is this user's alone already; this also holds when root put a socket there.
// Windows: the pipe's access list admits only its user.
bool PeerIsThisUser(qintptr descriptor) {
#if defined(Q_OS_LINUX)
    ucred peer{};
    socklen_t size = sizeof(peer);
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
#elif defined(Q_OS_UNIX)
    uid_t uid = 0;
    gid_t gid = 0;
    return ::getpeereid(int(descriptor), &uid, &gid) == 0 && uid == ::geteuid();
#else
    Q_UNUSED(descriptor);
    return true;
#endif
}

}  // namespace

TInstanceGuard::TInstanceGuard(const QString& name, QObject* parent) : QObject(parent), Name(name) {}

bool TInstanceGuard::HandOver(const QStringList& paths) {
    if (Name.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(Name);
    if (!socket.waitForConnected(1000)) return false;
    if (!PeerIsThisUser(socket.socketDescriptor())) {
        socket.abort();  // another user's listener gets no file names
        return false;
    }
    // One path per line, an empty line ends the message.
    QByteArray message;
    for (const QString& p : paths) message += p.toUtf8() + '\n';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(3000)) return false;
    socket.waitForReadyRead(3000);  // the first copy answers "ok" once it has the paths
    socket.disconnectFromServer();
    return true;
}

bool TInstanceGuard::Listen() {
    if (Name.isEmpty()) return false;
    Server = new QLocalServer(this);
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!Server->listen(Name)) {
        // Nobody answered on the name: it was left behind; take it over.
        QLocalServer::removeServer(Name);
        if (!Server->listen(Name)) return false;
    }
    connect(Server, &QLocalServer::newConnection, this, &TInstanceGuard::Accept);
    return true;
}

void TInstanceGuard::Accept() {
    while (QLocalSocket* socket = Server->nextPendingConnection()) {
        auto* buffer = new QByteArray;
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (!buffer->endsWith("\n\n") && *buffer != "\n") return;
            QStringList paths;
            for (const QByteArray& line : buffer->split('\n'))
                if (!line.isEmpty()) paths << QString::fromUtf8(line);
            buffer->clear();
            socket->write("ok");
            socket->flush();
            emit Woken(paths);
        });
        connect(socket, &QLocalSocket::disconnected, socket, [socket, buffer] {
            delete buffer;
            socket->deleteLater();
        });
    }
}

}  // namespace velmar::gui
