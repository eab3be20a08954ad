#include "boardconnections.h"

#include <QTcpSocket>

namespace Ordavex {

namespace {

// Sent to a client beyond the bound, which is then closed.
constexpr char ServiceUnavailable[] = "HTTP/1.1 503 Service Unavailable\r\n"
                                      "Content-Type: text/plain; charset=utf-8\r\n"
                                      "Content-Length: 4\r\n"
                                      "Cache-Control: no-store\r\n"
                                      "Connection: close\r\n\r\n"
                                      "503\n";

} // namespace

BoardConnections::BoardConnections(const BoardLimits &limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
{
    m_clock.start();
    setListenBacklogSize(limits.maxConnections);
    // A quarter of the idle time: a slow client is cut between 1 and 1.25 times it.
    m_sweep.setInterval(std::max(limits.idleMs / 4, 10));
    connect(&m_sweep, &QTimer::timeout, this, &BoardConnections::sweep);
    m_sweep.start();
}

void BoardConnections::incomingConnection(qintptr descriptor)
{
    prune();
    if (m_connections.size() >= m_limits.maxConnections) {
        refuse(descriptor);
        return;
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // The library keeps a request's bytes until it is whole; the head is bounded below
    // that, so this bound is never what stops a well-formed request.
    socket->setReadBufferSize(2 * m_limits.maxRequestHeadBytes + 1024);
    // Each answer and each push is written whole: waiting to fill a segment only delays it.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Connection connection;
    connection.socket = socket;
    connection.requestStartMs = m_clock.elapsed();
    m_connections.insert(socket, connection);
    // Connected before the library connects its own: the count sees each byte first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { prune(); });
    addPendingConnection(socket);
    if (m_connections.size() != m_lastCount) {
        m_lastCount = int(m_connections.size());
        emit countChanged();
    }
}

void BoardConnections::refuse(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->setReadBufferSize(1);
    socket->write(ServiceUnavailable, qint64(sizeof ServiceUnavailable - 1));
    socket->disconnectFromHost();
    // A peer that never takes the answer is not waited for.
    QTimer::singleShot(1000, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void BoardConnections::received(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->webSocket || it->cut)
        return;
    // The library reads everything each time and keeps it until the request is whole,
    // so what is available now is what arrived since the last readyRead.
    const qint64 fresh = socket->bytesAvailable();
    it->headBytes += fresh;
    it->headLines += socket->peek(fresh).count('\n');
    if (it->headBytes > m_limits.maxRequestHeadBytes || it->headLines > m_limits.maxHeaderLines + 2)
        cut(*it);
}

void BoardConnections::cut(Connection &connection)
{
    connection.cut = true;
    // Queued: the library is still to see this readyRead, and must not find the socket
    // gone under it.
    if (connection.socket)
        QMetaObject::invokeMethod(connection.socket.data(), &QAbstractSocket::abort, Qt::QueuedConnection);
}

void BoardConnections::requestDone(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->requestStartMs = m_clock.elapsed();
    it->headBytes = 0;
    it->headLines = 0;
}

void BoardConnections::markWebSocket(const QHostAddress &peer, quint16 peerPort)
{
    for (Connection &connection : m_connections) {
        if (connection.socket && connection.socket->peerPort() == peerPort && connection.socket->peerAddress() == peer) {
            connection.webSocket = true;
            // Bounded, so that a client that stops reading shows in bytesToWrite() soon,
            // not only once the system has taken megabytes for it.
            connection.socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, m_limits.pushSendBuffer);
            return;
        }
    }
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
            // One the library gave up on has no one else to delete it.
            if (it->socket && it->cut)
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
        if (!connection.socket || connection.webSocket || connection.cut)
            continue;
        if (now - connection.requestStartMs > m_limits.idleMs)
            cut(connection);
    }
    prune();
}

} // namespace Ordavex
