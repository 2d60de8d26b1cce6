#include "multinst.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace velmar::gui {

TInstanceGuard::TInstanceGuard(const QString& name, QObject* parent) : QObject(parent), Name(name) {}

bool TInstanceGuard::HandOver(const QStringList& paths) {
    if (Name.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(Name);
    if (!socket.waitForConnected(1000)) return false;
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
