#include "boardworker.h"
#include "boardconnections.h"
#include "boardpublisher.h"
#include "boardtexts.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QAbstractHttpServer>
#include <QTcpSocket>
#include <QWebSocket>

namespace Ordavex {

namespace {

// How long the board waits, going away, for a publish folder's write to end.
constexpr int PublishStopWaitMs = 200;

QByteArray methodName(QHttpServerRequest::Method method)
{
    using M = QHttpServerRequest::Method;
    switch (method) {
    case M::Get: return QByteArrayLiteral("GET");
    case M::Head: return QByteArrayLiteral("HEAD");
    case M::Post: return QByteArrayLiteral("POST");
    case M::Put: return QByteArrayLiteral("PUT");
    case M::Delete: return QByteArrayLiteral("DELETE");
    case M::Options: return QByteArrayLiteral("OPTIONS");
    case M::Patch: return QByteArrayLiteral("PATCH");
    case M::Connect: return QByteArrayLiteral("CONNECT");
    case M::Trace: return QByteArrayLiteral("TRACE");
    default: return QByteArrayLiteral("UNKNOWN");
    }
}

// The request line's target as the client sent it: path and query, still encoded.
QByteArray requestTarget(const QUrl &url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toUtf8();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    return target;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return QByteArrayLiteral("OK");
    case 400: return QByteArrayLiteral("Bad Request");
    case 404: return QByteArrayLiteral("Not Found");
    case 405: return QByteArrayLiteral("Method Not Allowed");
    case 414: return QByteArrayLiteral("URI Too Long");
    default: return QByteArrayLiteral("Status");
    }
}

// What changes only with the heat or the listing; with a query, a target goes the
// routing's way, bounds included.
const QList<QByteArray> CachedTargets = {"/", "/api/current.json", "/heats", "/api/heats.json"};

} // namespace

// Every request, whatever its method and path, is answered by the board's own routing:
// the library's router would answer unknown methods and paths by itself.
class BoardHttpServer final : public QAbstractHttpServer
{
public:
    BoardHttpServer(BoardWorker *worker, BoardConnections *connections, QObject *parent)
        : QAbstractHttpServer(parent)
        , m_worker(worker)
        , m_connections(connections)
    {
    }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        // The push's handshake, as the library tells it: taken as handled, with nothing
        // written, the library hands the connection over. The framing lets through no
        // other (declined, the library would log each one).
        if (request.value(QByteArrayLiteral("Upgrade")).compare("websocket", Qt::CaseInsensitive) == 0
            && BoardFraming::hasToken(request.value(QByteArrayLiteral("Connection")), "upgrade"))
            return request.method() == QHttpServerRequest::Method::Get && request.url().path() == QStringLiteral("/ws");
        BoardFraming::Ending ending = BoardFraming::Ending::KeepAlive;
        if (!m_connections->requestDone(socket, &ending))
            return true;
        m_connections->answer(socket, m_worker->answer(methodName(request.method()), requestTarget(request.url()), ending),
                              ending);
        return true;
    }

    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    BoardWorker *m_worker;
    BoardConnections *m_connections;
};

BoardWorker::BoardWorker(const BoardLimits &limits)
    : m_limits(limits)
    , m_pushTimer(this)
    , m_countTimer(this)
    , m_listing(this)
{
    m_pushTimer.setSingleShot(true);
    connect(&m_pushTimer, &QTimer::timeout, this, &BoardWorker::push);
    m_countTimer.setSingleShot(true);
    m_countTimer.setInterval(limits.stateIntervalMs);
    connect(&m_countTimer, &QTimer::timeout, this, [this] {
        const int count = m_connections ? m_connections->count() : 0;
        if (count != m_reportedCount) {
            m_reportedCount = count;
            emit clientCountChanged(count);
        }
    });
    connect(&m_listing, &BoardListing::mayHaveChanged, this, &BoardWorker::readListing);
}

BoardWorker::~BoardWorker()
{
    // The sockets a WebSocket took over go with it, before the server that made them.
    for (QWebSocket *webSocket : std::as_const(m_webSockets)) {
        webSocket->disconnect(this);
        delete webSocket;
    }
    m_webSockets.clear();
    delete m_http;
    stopPublishing();
}

void BoardWorker::stopPublishing()
{
    if (m_publisher)
        m_publisher->disconnect(this);
    m_publisher = nullptr;
    if (!m_publishThread)
        return;
    m_publishThread->quit();
    if (m_publishThread->wait(PublishStopWaitMs)) {
        m_publishThread.reset();
        return;
    }
    // Still writing to a disk that does not answer. Destroying a running thread would
    // abort the process: it is left to finish on its own, and goes once it has, or with
    // the process.
    QThread *thread = m_publishThread.release();
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
}

bool BoardWorker::listen(const QHostAddress &address, quint16 port, quint16 *bound, QString *error)
{
    auto connections = std::make_unique<BoardConnections>(m_limits, nullptr);
    if (!connections->listen(address, port)) {
        switch (connections->serverError()) {
        case QAbstractSocket::AddressInUseError:
            *error = MsgBoardPortTaken.arg(port);
            break;
        case QAbstractSocket::SocketAddressNotAvailableError:
            *error = MsgBoardAddressUnavailable.arg(address.toString());
            break;
        case QAbstractSocket::SocketAccessError:
            *error = MsgBoardPortNotAllowed.arg(port);
            break;
        default:
            *error = MsgBoardListenFailed.arg(connections->errorString());
            break;
        }
        return false;
    }
    *bound = connections->serverPort();
    m_http = new BoardHttpServer(this, connections.get(), nullptr);
    m_connections = connections.release();
    m_connections->setParent(m_http);
    m_http->bind(m_connections);
    m_connections->followLibrary();
    connect(m_http, &QAbstractHttpServer::newWebSocketConnection, this, &BoardWorker::acceptWebSockets);
    connect(m_connections, &BoardConnections::countChanged, this, &BoardWorker::countChanged);
    return true;
}

void BoardWorker::setPublishFolder(const QString &folder)
{
    stopPublishing();
    if (folder.isEmpty())
        return;
    m_publishThread = std::make_unique<QThread>();
    m_publishThread->setObjectName(QStringLiteral("board publish"));
    auto *publisher = new BoardPublisher(folder);
    publisher->moveToThread(m_publishThread.get());
    connect(m_publishThread.get(), &QThread::finished, publisher, &QObject::deleteLater);
    connect(publisher, &BoardPublisher::publishFailed, this, &BoardWorker::publishFailed);
    connect(publisher, &BoardPublisher::publishRecovered, this, &BoardWorker::publishRecovered);
    m_publisher = publisher;
    m_publishThread->start();
    changed();
}

void BoardWorker::setHeat(const BoardHeat &heat)
{
    m_source.heat = heat;
    changed();
}

void BoardWorker::setWorkFolder(const QString &folder)
{
    m_source.setWorkFolder(folder);
    m_listing.setFolder(folder);
    m_source.readListing();
    changed();
}

// Also on every look at the folder: most find nothing new, and those cost one listing.
void BoardWorker::readListing()
{
    if (m_source.readListing())
        changed();
}

// Coalesced: at most one push per interval, and the newest state is the one sent.
void BoardWorker::changed()
{
    m_jsonValid = false;
    m_answers.clear();
    if (m_pushTimer.isActive())
        return;
    const qint64 since = m_sincePush.isValid() ? m_sincePush.elapsed() : m_limits.pushIntervalMs;
    if (since >= m_limits.pushIntervalMs)
        push();
    else
        m_pushTimer.start(int(m_limits.pushIntervalMs - since));
}

const QString &BoardWorker::currentJson()
{
    if (!m_jsonValid) {
        m_json = QString::fromUtf8(builtAnswer(QByteArrayLiteral("/api/current.json")).body);
        m_jsonValid = true;
    }
    return m_json;
}

const BoardWorker::Answer &BoardWorker::builtAnswer(const QByteArray &target)
{
    auto it = m_answers.find(target);
    if (it != m_answers.end())
        return *it;
    return *m_answers.insert(target, makeAnswer(AnswerBoardRequest("GET", target, m_source)));
}

BoardWorker::Answer BoardWorker::makeAnswer(const BoardReply &reply)
{
    Answer built;
    built.head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status)
                 + "\r\nContent-Type: " + reply.contentType
                 + "\r\nContent-Length: " + QByteArray::number(reply.body.size())
                 + "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    if (reply.status == 405)
        built.head += "Allow: GET, HEAD\r\n";
    built.body = reply.body;
    built.headOnly = built.head + "\r\n";
    built.whole = built.headOnly + built.body;
    return built;
}

QByteArray BoardWorker::answer(QByteArrayView method, const QByteArray &target, BoardFraming::Ending ending)
{
    const bool head = method == "HEAD";
    Answer once;
    const Answer *built = &once;
    if ((head || method == "GET") && CachedTargets.contains(target)) {
        built = &builtAnswer(target);
    } else {
        // Everything else is routed afresh, with the same headers.
        once = makeAnswer(AnswerBoardRequest(method, target, m_source));
    }
    switch (ending) {
    case BoardFraming::Ending::KeepAlive:
        break;
    case BoardFraming::Ending::KeepAliveSaid:
        // An HTTP/1.0 client keeps the connection only when told so.
        return built->head + "Connection: keep-alive\r\n\r\n" + (head ? QByteArray() : built->body);
    case BoardFraming::Ending::Close:
        return built->head + "Connection: close\r\n\r\n" + (head ? QByteArray() : built->body);
    }
    return head ? built->headOnly : built->whole;
}

void BoardWorker::push()
{
    m_sincePush.start();
    const QString &json = currentJson();
    // A listing read again that finds nothing new changes nothing the clients show.
    const QList<QWebSocket *> clients = json == m_pushed ? QList<QWebSocket *>{} : m_webSockets;
    m_pushed = json;
    // Over a copy: dropping a client takes it out of the list.
    for (QWebSocket *webSocket : clients) {
        // Never waited for: a client that does not take what it was sent is dropped.
        if (webSocket->bytesToWrite() > m_limits.maxUnsentBytes)
            webSocket->abort();
        else
            webSocket->sendTextMessage(json);
    }
    // Queued to the publisher itself: a call still queued when it goes is dropped with it.
    if (BoardPublisher *publisher = m_publisher.data()) {
        QMetaObject::invokeMethod(
            publisher,
            [publisher, heat = m_source.heat, heats = m_source.heats, folder = m_source.workFolder] {
                publisher->publish(heat, heats, folder);
            },
            Qt::QueuedConnection);
    }
}

void BoardWorker::acceptWebSockets()
{
    while (m_http->hasPendingWebSocketConnections()) {
        QWebSocket *webSocket = m_http->nextPendingWebSocketConnection().release();
        webSocket->setParent(this);
        m_connections->markWebSocket(webSocket);
        connect(webSocket, &QWebSocket::disconnected, this, [this, webSocket] {
            m_webSockets.removeOne(webSocket);
            webSocket->deleteLater();
            countChanged();
        });
        m_webSockets.append(webSocket);
        webSocket->sendTextMessage(currentJson());
    }
    countChanged();
}

void BoardWorker::countChanged()
{
    if (!m_countTimer.isActive())
        m_countTimer.start();
}

} // namespace Ordavex
