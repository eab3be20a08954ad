#pragma once

#include "boardlimits.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace Ordavex {

// The board's listening socket, which keeps the bounds that the HTTP library has no
// setting for: the number of connections, the size and line count of a request head,
// and the time a client may take to send a whole request. Every socket is watched from
// before the library reads from it: its readyRead reaches us first.
class BoardConnections final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardConnections)

public:
    BoardConnections(const BoardLimits &limits, QObject *parent);

    // A whole request arrived on the socket: its head and idle time start again.
    void requestDone(QTcpSocket *socket);
    // The connection from peer now carries a WebSocket: it may stay quiet for as long
    // as it reads what is pushed.
    void markWebSocket(const QHostAddress &peer, quint16 peerPort);
    int count();

signals:
    void countChanged();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        qint64 requestStartMs = 0;
        qint64 headBytes = 0;
        qint64 headLines = 0;
        bool webSocket = false;
        bool cut = false;
    };

    void received(QTcpSocket *socket);
    void cut(Connection &connection);
    void refuse(qintptr descriptor);
    void prune();
    void sweep();

    BoardLimits m_limits;
    QHash<QTcpSocket *, Connection> m_connections;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    int m_lastCount = 0;
};

} // namespace Ordavex
