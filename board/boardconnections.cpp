#include "boardconnections.h"

#include <QTcpSocket>
#include <QWebSocket>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace Ordavex {

namespace {

// Sent to a client beyond the bounds, which is then closed.
constexpr char ServiceUnavailable[] = "HTTP/1.1 503 Service Unavailable\r\n"
                                      "Content-Type: text/plain; charset=utf-8\r\n"
                                      "Content-Length: 4\r\n"
                                      "Cache-Control: no-store\r\n"
                                      "Connection: close\r\n\r\n"
                                      "503\n";
constexpr char BadRequest[] = "HTTP/1.1 400 Bad Request\r\n"
                              "Content-Type: text/plain; charset=utf-8\r\n"
                              "Content-Length: 4\r\n"
                              "Cache-Control: no-store\r\n"
                              "Connection: close\r\n\r\n"
                              "400\n";
constexpr char NotFound[] = "HTTP/1.1 404 Not Found\r\n"
                            "Content-Type: text/plain; charset=utf-8\r\n"
                            "Content-Length: 4\r\n"
                            "Cache-Control: no-store\r\n"
                            "Connection: close\r\n\r\n"
                            "404\n";

// A client's last answer is given this long to be taken before it is cut.
constexpr int ClosingMs = 1000;
} // namespace

BoardConnections::BoardConnections(const BoardLimits &limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
    , m_bounds{limits.maxRequestHeadBytes, limits.maxHeaderLines, limits.maxRequestBodyBytes}
{
    m_clock.start();
    setListenBacklogSize(limits.maxConnections);
    // A quarter of the shortest time: a slow client is cut between 1 and 1.25 times it.
    const int shortest = std::min({limits.idleMs, limits.keepAliveMs, limits.pingIntervalMs, limits.pongTimeoutMs});
    m_sweep.setInterval(std::max(shortest / 4, 10));
    connect(&m_sweep, &QTimer::timeout, this, &BoardConnections::sweep);
    m_sweep.start();
}

void BoardConnections::incomingConnection(qintptr descriptor)
{
    prune();
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    // One address may not take more than its share, and no more than all places are
    // taken: at either bound the connection that has waited longest without asking
    // anything gives way (within the share, only one that never asked), so that a new
    // visitor is served; when none can, the new one is refused.
    if ((active(&peer) >= m_limits.maxPerPeer && !evictOne(&peer))
        || (active(nullptr) >= m_limits.maxConnections && !evictOne(nullptr))) {
        refuse(socket);
        return;
    }
    // The library keeps a request's bytes until it is whole; the head is bounded below
    // that, so this bound is never what stops a well-formed request.
    socket->setReadBufferSize(2 * m_limits.maxRequestHeadBytes + 1024);
    // Each answer and each push is written whole: waiting to fill a segment only delays it.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Connection connection;
    connection.socket = socket;
    connection.peer = peer;
    connection.framing = BoardFraming(m_bounds);
    connection.sinceMs = m_clock.elapsed();
    m_connections.insert(socket, connection);
    // Connected before the library connects its own: the framing sees each byte first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
    // Queued: a socket can go while the table is being walked.
    connect(socket, &QTcpSocket::disconnected, this, &BoardConnections::prune, Qt::QueuedConnection);
    addPendingConnection(socket);
    if (m_connections.size() != m_lastCount) {
        m_lastCount = int(m_connections.size());
        emit countChanged();
    }
}

void BoardConnections::refuse(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->setReadBufferSize(1);
    socket->write(ServiceUnavailable, qint64(sizeof ServiceUnavailable - 1));
    socket->disconnectFromHost();
    // A peer that never takes the answer is not waited for.
    QTimer::singleShot(ClosingMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

BoardConnections::Connection *BoardConnections::find(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    return it == m_connections.end() || !it->socket ? nullptr : &*it;
}

void BoardConnections::received(QTcpSocket *socket)
{
    Connection *connection = find(socket);
    if (!connection || connection->cut || connection->closing || !socket->isOpen())
        return;
    if (overUnsent(*connection))
        return;
    // The library reads one request at a time and leaves the rest for the next round:
    // of what is available, only what came after the last round is new.
    const qint64 available = socket->bytesAvailable();
    const qint64 seen = std::clamp<qint64>(connection->seenUnread, 0, available);
    connection->seenUnread = available;
    if (seen == available)
        return;
    const QByteArray bytes = socket->peek(available);
    switch (connection->framing.feed(QByteArrayView(bytes).sliced(qsizetype(std::min<qint64>(seen, bytes.size()))))) {
    case BoardFraming::Verdict::More:
    case BoardFraming::Verdict::Upgrade:
        break;
    case BoardFraming::Verdict::TooLarge:
        cut(*connection);
        break;
    case BoardFraming::Verdict::Bad:
        answerAndClose(*connection, BadRequest, qint64(sizeof BadRequest - 1));
        break;
    case BoardFraming::Verdict::Decline:
        answerAndClose(*connection, NotFound, qint64(sizeof NotFound - 1));
        break;
    }
}

void BoardConnections::followLibrary()
{
    // Connected after bind(): this runs once the library has taken the new sockets and
    // connected to their readyRead, so what is connected here runs after the library.
    connect(this, &QTcpServer::pendingConnectionAvailable, this, [this] {
        for (Connection &connection : m_connections) {
            if (connection.followed || !connection.socket)
                continue;
            connection.followed = true;
            QTcpSocket *socket = connection.socket;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (Connection *followed = find(socket))
                    followed->seenUnread = socket->bytesAvailable();
            });
        }
    });
}

void BoardConnections::answerAndClose(Connection &connection, const char *answer, qint64 size)
{
    QTcpSocket *socket = connection.socket;
    // The library is to see none of these bytes, nor any after them: it would answer
    // what came before the fault, or even what hides behind it.
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->setReadBufferSize(1);
    socket->write(answer, size);
    connection.closing = true;
    connection.closingMs = m_clock.elapsed();
    QMetaObject::invokeMethod(socket, &QAbstractSocket::disconnectFromHost, Qt::QueuedConnection);
}

void BoardConnections::cut(Connection &connection)
{
    connection.cut = true;
    if (!connection.socket)
        return;
    // Nothing more is read: the library would read a socket closed under it, and log it.
    QObject::disconnect(connection.socket.data(), &QTcpSocket::readyRead, nullptr, nullptr);
    // Queued: the library may be inside its handler for this socket now.
    QMetaObject::invokeMethod(connection.socket.data(), &QAbstractSocket::abort, Qt::QueuedConnection);
}

bool BoardConnections::overUnsent(Connection &connection)
{
    if (connection.socket->bytesToWrite() <= m_limits.maxUnsentBytes)
        return false;
    // Never waited for: what a client does not take would grow without end.
    cut(connection);
    return true;
}

bool BoardConnections::requestDone(QTcpSocket *socket, BoardFraming::Ending *ending)
{
    *ending = BoardFraming::Ending::KeepAlive;
    Connection *connection = find(socket);
    if (!connection)
        return true;
    if (connection->cut || connection->closing)
        return false;
    *ending = connection->framing.takeEnding();
    connection->sinceMs = m_clock.elapsed();
    ++connection->answers;
    return true;
}

void BoardConnections::answer(QTcpSocket *socket, const QByteArray &bytes, BoardFraming::Ending ending)
{
    // Handed to the system at once when nothing of the connection waits: through the
    // socket's buffer it would go a round of the event loop later, and wake it twice.
    // On Windows the socket's buffer takes it all.
    qint64 sent = 0;
#ifdef Q_OS_UNIX
    if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState) {
        const ssize_t written = ::send(int(socket->socketDescriptor()), bytes.constData(), size_t(bytes.size()),
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = std::max<qint64>(written, 0);
    }
#endif
    // What the system did not take now is left to the socket.
    if (sent < bytes.size())
        socket->write(bytes.sliced(sent));
    Connection *connection = find(socket);
    if (!connection || overUnsent(*connection))
        return;
    if (ending == BoardFraming::Ending::Close) {
        connection->closing = true;
        connection->closingMs = m_clock.elapsed();
        // Whatever came after it is not for anyone to read.
        QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        socket->disconnectFromHost();
    }
}

void BoardConnections::markWebSocket(QWebSocket *webSocket)
{
    const QHostAddress peer = webSocket->peerAddress();
    const quint16 peerPort = webSocket->peerPort();
    auto it = std::find_if(m_connections.begin(), m_connections.end(), [&](const Connection &c) {
        return c.socket && c.socket->peerPort() == peerPort && c.peer == peer;
    });
    if (it == m_connections.end())
        return;
    QTcpSocket *socket = it->socket;
    const qint64 now = m_clock.elapsed();
    it->push = true;
    it->webSocket = webSocket;
    it->lastPingMs = now;
    it->drainedMs = now;
    it->creditMs = now;
    it->frameCredit = 2.0 * m_limits.maxIncomingFramesPerSecond;
    it->byteCredit = 2.0 * double(m_limits.maxIncomingBytesPerSecond);
    // Bounded, so that a client that stops reading shows in bytesToWrite() soon, not
    // only once the system has taken megabytes for it.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, m_limits.pushSendBuffer);
    // What a client sends is never used: only a little of it is even read.
    webSocket->setMaxAllowedIncomingFrameSize(quint64(m_limits.maxIncomingFrameBytes));
    webSocket->setMaxAllowedIncomingMessageSize(quint64(m_limits.maxIncomingFrameBytes));
    // The library reads the frames first and says nothing of pings or masks: what it
    // reads is kept until receivedOnPush(), connected after it, has seen it too.
    socket->startTransaction();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { receivedOnPush(socket); });
    // The library took every connection of the socket with it.
    connect(socket, &QTcpSocket::disconnected, this, &BoardConnections::prune, Qt::QueuedConnection);
    connect(webSocket, &QWebSocket::pong, this, [this, socket] {
        if (Connection *connection = find(socket))
            connection->pingOutMs = -1;
    });
    connect(webSocket, &QWebSocket::bytesWritten, this, [this, socket] {
        if (Connection *connection = find(socket))
            connection->drainedMs = m_clock.elapsed();
    });
}

void BoardConnections::receivedOnPush(QTcpSocket *socket)
{
    Connection *connection = find(socket);
    if (!connection || connection->cut || !socket->isTransactionStarted())
        return;
    const qint64 left = socket->bytesAvailable();
    socket->rollbackTransaction();
    const QByteArray taken = socket->read(socket->bytesAvailable() - left);
    socket->startTransaction();
    inspectFrames(*connection, taken);
    if (!connection->cut)
        overUnsent(*connection);
}

// Follows the frame headers of what a push client sent: each frame is counted, and one
// without a mask closes the connection, as a client's frame must be masked.
void BoardConnections::inspectFrames(Connection &connection, QByteArrayView bytes)
{
    qint64 frames = 0;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (connection.payloadLeft > 0) {
            const qsizetype skipped = qsizetype(std::min<qint64>(connection.payloadLeft, bytes.size() - at));
            connection.payloadLeft -= skipped;
            at += skipped;
            continue;
        }
        connection.frameHead.append(bytes[at++]);
        if (connection.frameHead.size() < 2)
            continue;
        const quint8 second = quint8(connection.frameHead[1]);
        if (!(second & 0x80)) {
            cut(connection);
            return;
        }
        const quint8 length = second & 0x7F;
        const int extended = length == 126 ? 2 : length == 127 ? 8 : 0;
        if (connection.frameHead.size() < 2 + extended + 4)
            continue;
        quint64 payload = length;
        if (extended > 0) {
            payload = 0;
            for (int i = 0; i < extended; ++i)
                payload = (payload << 8) | quint8(connection.frameHead[2 + i]);
        }
        connection.payloadLeft = qint64(std::min<quint64>(payload, quint64(std::numeric_limits<qint64>::max())));
        connection.frameHead.clear();
        ++frames;
    }
    charge(connection, frames, bytes.size());
}

// Credit refills at the sustained rate, up to twice that for what comes at once.
void BoardConnections::charge(Connection &connection, qint64 frames, qint64 bytes)
{
    if (connection.cut)
        return;
    const qint64 now = m_clock.elapsed();
    const double seconds = double(now - connection.creditMs) / 1000.0;
    connection.creditMs = now;
    const double frameRate = m_limits.maxIncomingFramesPerSecond;
    const double byteRate = double(m_limits.maxIncomingBytesPerSecond);
    connection.frameCredit = std::min(2 * frameRate, connection.frameCredit + seconds * frameRate) - double(frames);
    connection.byteCredit = std::min(2 * byteRate, connection.byteCredit + seconds * byteRate) - double(bytes);
    if (connection.frameCredit < 0 || connection.byteCredit < 0)
        cut(connection);
}

bool BoardConnections::evictOne(const QHostAddress *peer)
{
    // Rather one that never asked anything, then the one waiting longest.
    Connection *oldest = nullptr;
    for (Connection &connection : m_connections) {
        if (!connection.socket || connection.cut || connection.closing || connection.push)
            continue;
        if (peer && (connection.peer != *peer || connection.answers > 0))
            continue;
        const auto rank = [](const Connection &c) { return std::pair(c.answers > 0, c.sinceMs); };
        if (!oldest || rank(connection) < rank(*oldest))
            oldest = &connection;
    }
    if (!oldest)
        return false;
    cut(*oldest);
    return true;
}

int BoardConnections::active(const QHostAddress *peer) const
{
    int count = 0;
    for (const Connection &connection : m_connections)
        if (connection.socket && !connection.cut && (!peer || connection.peer == *peer))
            ++count;
    return count;
}

int BoardConnections::count()
{
    prune();
    return int(m_connections.size());
}

void BoardConnections::prune()
{
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (!it->socket || it->socket->state() == QAbstractSocket::UnconnectedState) {
            // One the library gave up on has no one else to delete it; a push client's
            // goes with its WebSocket.
            if (it->socket && it->cut && !it->push)
                it->socket->deleteLater();
            it = m_connections.erase(it);
        }
        else
            ++it;
    }
    if (m_connections.size() != m_lastCount) {
        m_lastCount = int(m_connections.size());
        emit countChanged();
    }
}

void BoardConnections::sweep()
{
    const qint64 now = m_clock.elapsed();
    for (Connection &connection : m_connections) {
        if (!connection.socket || connection.cut || overUnsent(connection))
            continue;
        if (connection.closing) {
            if (now - connection.closingMs > ClosingMs)
                cut(connection);
            continue;
        }
        if (connection.push) {
            // Quiet is fine, as long as it answers pings and takes what is pushed.
            if (connection.socket->bytesToWrite() == 0)
                connection.drainedMs = now;
            if ((connection.pingOutMs >= 0 && now - connection.pingOutMs > m_limits.pongTimeoutMs)
                || now - connection.drainedMs > m_limits.pongTimeoutMs) {
                cut(connection);
            } else if (connection.pingOutMs < 0 && now - connection.lastPingMs >= m_limits.pingIntervalMs
                       && connection.webSocket) {
                connection.webSocket->ping();
                connection.pingOutMs = now;
                connection.lastPingMs = now;
            }
            continue;
        }
        const bool waiting = connection.answers == 0 || connection.framing.midRequest();
        if (now - connection.sinceMs > (waiting ? m_limits.idleMs : m_limits.keepAliveMs))
            cut(connection);
    }
    prune();
}

} // namespace Ordavex
