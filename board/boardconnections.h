#pragma once

#include "boardframing.h"
#include "boardlimits.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;
class QWebSocket;

namespace Ordavex {

// The board's listening socket, which keeps the bounds that the HTTP library has no
// setting for: connections in all and per address, the framing and size of requests,
// the time a client may take to send a whole request, the bytes a client leaves
// unread, and what a push client sends. Every socket is watched from before the
// library reads from it: its readyRead reaches us first.
class BoardConnections final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardConnections)

public:
    BoardConnections(const BoardLimits &limits, QObject *parent);

    // A whole request arrived on the socket and is to be answered: false when nothing
    // is to be written any more (the client was cut), else how the answer ends.
    bool requestDone(QTcpSocket *socket, BoardFraming::Ending *ending);
    // Writes the answer; then the unsent bytes are checked, and the connection closed
    // when the request asked for that.
    void answer(QTcpSocket *socket, const QByteArray &bytes, BoardFraming::Ending ending);
    // The connection from the WebSocket's peer now carries it: it may stay quiet for as
    // long as it reads what is pushed and answers pings.
    void markWebSocket(QWebSocket *webSocket);
    // To be called once the library is bound to this server.
    void followLibrary();
    int count();

signals:
    void countChanged();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QHostAddress peer;
        BoardFraming framing{BoardFraming::Bounds{}};
        qint64 sinceMs = 0;         // since when a whole request has been awaited
        qint64 seenUnread = 0;      // bytes the framing saw that the library left for later
        bool followed = false;
        int answers = 0;
        bool cut = false;
        bool closing = false;
        qint64 closingMs = 0;
        // A push client.
        bool push = false;
        QPointer<QWebSocket> webSocket;
        qint64 lastPingMs = 0;
        qint64 pingOutMs = -1;      // a ping not yet answered, sent then
        qint64 drainedMs = 0;       // the last time some of what waits was taken
        QByteArray frameHead;       // of the frame it is sending
        qint64 payloadLeft = 0;     // of that frame, not yet seen
        double frameCredit = 0;
        double byteCredit = 0;
        qint64 creditMs = 0;
    };

    void received(QTcpSocket *socket);
    void receivedOnPush(QTcpSocket *socket);
    void inspectFrames(Connection &connection, QByteArrayView bytes);
    Connection *find(QTcpSocket *socket);
    void refuse(QTcpSocket *socket);
    void answerAndClose(Connection &connection, const char *answer, qint64 size);
    void cut(Connection &connection);
    bool overUnsent(Connection &connection);
    void charge(Connection &connection, qint64 frames, qint64 bytes);
    // Of the peer's when given, else of all.
    bool evictOne(const QHostAddress *peer);
    int active(const QHostAddress *peer) const;
    void prune();
    void sweep();

    BoardLimits m_limits;
    BoardFraming::Bounds m_bounds;
    QHash<QTcpSocket *, Connection> m_connections;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    int m_lastCount = 0;
};

} // namespace Ordavex
