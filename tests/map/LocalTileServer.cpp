#include "LocalTileServer.h"

#include <QHostAddress>
#include <QTcpSocket>

LocalTileServer::LocalTileServer() {
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, this, &LocalTileServer::Take);
}

QString LocalTileServer::Base() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(serverPort());
}

void LocalTileServer::Take() {
    while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            // The socket keeps what was peeked: the request is read once its head is whole.
            const QByteArray head = socket->peek(socket->bytesAvailable());
            if (!head.contains("\r\n\r\n")) {
                return;
            }
            socket->readAll();
            const QList<QByteArray> lines = head.left(head.indexOf("\r\n\r\n")).split('\n');
            const QList<QByteArray> words = lines.value(0).trimmed().split(' ');
            const QString path = QString::fromLatin1(words.value(1));
            m_paths << path;
            for (const QByteArray& line : lines) {
                if (line.toLower().startsWith("user-agent:")) {
                    m_agents << QString::fromLatin1(line.mid(11).trimmed());
                }
            }
            if (m_mute) {
                return;
            }
            const Answer answer = m_answers.value(path, Answer{404, QByteArray("no tile")});
            QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) +
                               (answer.status == 200 ? " OK" : " Trouble") + "\r\n";
            reply += "Content-Type: image/png\r\nCache-Control: max-age=86400\r\n";
            reply += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
            reply += "Connection: close\r\n\r\n" + answer.body;
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }
}
