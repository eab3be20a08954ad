#pragma once

// A GET to the board on loopback, read to the length its answer names.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTcpSocket>

namespace Ordavex::Testing {

// The body, empty when there is no whole answer within the time.
inline QByteArray HttpGet(quint16 port, const QByteArray &path, int timeoutMs = 2000)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray all;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        socket.waitForReadyRead(50);
        all += socket.readAll();
        const qsizetype body = all.indexOf("\r\n\r\n");
        if (body >= 0) {
            const qsizetype length = all.toLower().indexOf("content-length:");
            if (length >= 0 && length < body
                && all.size() >= body + 4 + all.mid(length + 15, body - length - 15).split('\r').value(0).trimmed().toLongLong())
                return all.mid(body + 4);
        }
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
    }
    return {};
}

} // namespace Ordavex::Testing
