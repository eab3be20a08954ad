// The board's server through real sockets: routes and methods, push to WebSocket
// clients, the bounds on hostile clients, a port that is taken and the publish folder.

#include "board/boardserver.h"
#include "board/boardtexts.h"
#include "smallfilesystem.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebSocket>

#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Ordavex;

namespace {

struct HttpReply
{
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// Sends the bytes and reads until the reply is whole or the server closes.
HttpReply exchange(quint16 port, const QByteArray &request, int timeoutMs = 5000, const char *from = nullptr)
{
    QTcpSocket socket;
    if (from)
        socket.bind(QHostAddress(QString::fromLatin1(from)));
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    HttpReply reply;
    if (!socket.waitForConnected(timeoutMs))
        return reply;
    socket.write(request);
    QByteArray all;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        socket.waitForReadyRead(50);
        all += socket.readAll();
        const qsizetype end = all.indexOf("\r\n\r\n");
        if (end >= 0) {
            reply.head = all.first(end + 2);
            qsizetype length = 0;
            for (const QByteArray &line : reply.head.split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            // A HEAD reply names the length of a body it does not carry.
            const qsizetype expected = request.startsWith("HEAD ") ? 0 : length;
            if (all.size() >= end + 4 + expected) {
                reply.body = all.mid(end + 4);
                break;
            }
        }
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
    }
    if (!reply.head.isEmpty())
        reply.status = reply.head.mid(9, 3).toInt();
    // Anything more that arrives would be a body where none belongs.
    socket.waitForReadyRead(100);
    reply.body += socket.readAll();
    return reply;
}

BoardHeat heatWithRace(const QString &race, quint64 version, int rows = 3)
{
    BoardHeat heat;
    heat.race = race;
    heat.version = version;
    heat.updatedAt = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < rows; ++i)
        heat.rows.append(BoardRow{QString::number(i + 1), QString::number(i + 1), QStringLiteral("10.%1").arg(i),
                                  QStringLiteral("10%1").arg(i)});
    return heat;
}

// A raw client socket from the given loopback address, connected and nonblocking;
// -1 when it cannot be had.
int openRaw(quint16 port, const char *from = "127.0.0.1", int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// Writes what the socket takes now; false once the server has dropped the connection.
bool sendSome(int fd, const QByteArray &bytes, qsizetype *at)
{
    while (*at < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.constData() + *at, size_t(bytes.size() - *at), MSG_NOSIGNAL);
        if (sent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        *at += sent;
    }
    return true;
}

// Whether the server drops the connection within the time, the client sending the
// bytes (again and again when repeat) a burst at a time and reading nothing. In bursts
// the server reads whole requests each time: the HTTP library drops a connection whose
// pipelined request comes apart between two reads.
bool droppedWhileSending(int fd, const QByteArray &bytes, qsizetype burst, bool repeat, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    qsizetype at = 0;
    while (!deadline.hasExpired()) {
        if (repeat && at == bytes.size())
            at = 0;
        if (at < bytes.size()) {
            qsizetype sent = 0;
            if (!sendSome(fd, bytes.sliced(at, std::min(burst, bytes.size() - at)), &sent))
                return true;
            at += sent;
        }
        pollfd watch{fd, 0, 0};
        ::poll(&watch, 1, 5);
        if (watch.revents & (POLLERR | POLLHUP))
            return true;
    }
    return false;
}

const QByteArray Handshake = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

// A client on a plain socket that asks for the push and then never reads.
int openStalledWebSocket(quint16 port)
{
    const int fd = openRaw(port, "127.0.0.1", 2048);
    qsizetype at = 0;
    if (fd >= 0 && (!sendSome(fd, Handshake, &at) || at != Handshake.size())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A client's WebSocket frame, masked as a client's must be unless told otherwise.
QByteArray clientFrame(quint8 opcode, const QByteArray &payload, bool masked = true)
{
    QByteArray frame;
    frame += char(0x80 | opcode);
    const char mask = masked ? char(0x80) : char(0);
    if (payload.size() < 126) {
        frame += char(mask | char(payload.size()));
    } else {
        frame += char(mask | 126);
        frame += char((payload.size() >> 8) & 0xFF);
        frame += char(payload.size() & 0xFF);
    }
    if (!masked)
        return frame + payload;
    const char key[4] = {0x11, 0x22, 0x33, 0x44};
    frame.append(key, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        frame += char(payload[i] ^ key[i % 4]);
    return frame;
}

// A push client on a plain socket: the handshake is done and its answer read.
bool openRawWebSocket(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000))
        return false;
    socket.write(Handshake);
    QByteArray head;
    QDeadlineTimer deadline(3000);
    while (!head.contains("\r\n\r\n") && !deadline.hasExpired()) {
        socket.waitForReadyRead(50);
        head += socket.read(1);
        while (socket.bytesAvailable() > 0 && !head.contains("\r\n\r\n"))
            head += socket.read(1);
    }
    return head.startsWith("HTTP/1.1 101");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Empty when the file cannot be read.
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray GetPage = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";

ino_t inodeOf(const QString &path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestBoardServer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void routes_data();
    void routes();
    void savedHeatsReadAgain();
    void pushReachesClients();
    void stalledClientIsDropped();
    void requestBounds_data();
    void requestBounds();
    void framing_data();
    void framing();
    void connectionEnding_data();
    void connectionEnding();
    void apacheBench_data();
    void apacheBench();
    void unreadAnswersDropped_data();
    void unreadAnswersDropped();
    void pushClientSends_data();
    void pushClientSends();
    void pushClientLiveness_data();
    void pushClientLiveness();
    void unchangedHeatNotPushed_data();
    void unchangedHeatNotPushed();
    void answersFollowChanges();
    void connectionsPerAddress_data();
    void connectionsPerAddress();
    void slowClientsLeaveRoom_data();
    void slowClientsLeaveRoom();
    void cannotListen_data();
    void cannotListen();
    void publishFolder();
    void publishFailure_data();
    void publishFailure();

private:
    bool startServer(const BoardLimits &limits = {}, const QString &publishFolder = {});

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<BoardServer> m_server;
    quint16 m_port = 0;
};

void TestBoardServer::init()
{
    // Nothing a visitor sends may write to the log.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    // Beside the work folder: what a path from an address must never reach.
    QVERIFY(writeFile(m_root->filePath(QStringLiteral("secret.txt")), "SECRET-OUTSIDE"));
    QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("work")));
    QVERIFY(writeFile(m_root->filePath(QStringLiteral("work/R1w_112.csv")), "1,3,1023\r\n"));
}

void TestBoardServer::cleanup()
{
    m_server.reset();
    m_root.reset();
}

bool TestBoardServer::startServer(const BoardLimits &limits, const QString &publishFolder)
{
    m_server = std::make_unique<BoardServer>();
    m_server->setLimits(limits);
    m_server->setWorkFolder(m_root->filePath(QStringLiteral("work")));
    m_server->setHeat(heatWithRace(QStringLiteral("男子100m <script>"), 1));
    QString error;
    BoardService::Options options;
    options.address = QStringLiteral("127.0.0.1");
    options.port = 0;
    options.publishFolder = publishFolder;
    if (!m_server->start(options, &error)) {
        qWarning() << error;
        return false;
    }
    m_port = quint16(QUrl(m_server->url()).port());
    return m_port != 0;
}

void TestBoardServer::routes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    const auto row = [](const char *name, const QByteArray &line, int status) {
        QTest::newRow(name) << line + "\r\nHost: x\r\n\r\n" << status;
    };
    // The routing is the board's own, with its table in tst_board; here what the HTTP
    // library makes of the methods, of HEAD and of a path on its way there, and that
    // nothing beside the work folder is read.
    row("page", "GET / HTTP/1.1", 200);
    row("page HEAD", "HEAD / HTTP/1.1", 200);
    row("json", "GET /api/current.json HTTP/1.1", 200);
    row("json HEAD", "HEAD /api/current.json HTTP/1.1", 200);
    row("POST", "POST / HTTP/1.1\r\nContent-Length: 0", 405);
    row("PUT", "PUT /api/current.json HTTP/1.1\r\nContent-Length: 0", 405);
    row("DELETE", "DELETE /heats/R1w_112 HTTP/1.1", 405);
    row("OPTIONS", "OPTIONS / HTTP/1.1", 405);
    row("ws without upgrade", "GET /ws HTTP/1.1", 404);
    row("dot dot", "GET /heats/../secret.txt HTTP/1.1", 404);
    row("dot dot encoded", "GET /heats/%2E%2E/%2E%2E/secret.txt HTTP/1.1", 404);
}

void TestBoardServer::routes()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);

    QVERIFY(startServer());
    const HttpReply reply = exchange(m_port, request);
    QCOMPARE(reply.status, status);
    const QByteArray head = reply.head.toLower();
    QVERIFY(head.contains("\r\ncache-control: no-store\r\n"));
    QVERIFY(head.contains("\r\nx-content-type-options: nosniff\r\n"));
    QVERIFY(head.contains("\r\ncontent-type: "));
    if (status == 405)
        QVERIFY(head.contains("\r\nallow: get, head\r\n"));
    // Every answer but HEAD's carries a body.
    const bool isHead = request.startsWith("HEAD ");
    QCOMPARE(reply.body.isEmpty(), isHead);
    QVERIFY(!reply.body.contains("SECRET-OUTSIDE"));
    // The race's name, "男子100m <script>", only ever as text on a page.
    if (head.contains("content-type: text/html"))
        QVERIFY(!reply.body.contains("100m <script>"));
    if (isHead) {
        // The length a GET would carry.
        const HttpReply get = exchange(m_port, "GET" + request.mid(4));
        QVERIFY(head.contains("\r\ncontent-length: " + QByteArray::number(get.body.size()) + "\r\n"));
    }
}

void TestBoardServer::savedHeatsReadAgain()
{
    QVERIFY(startServer());
    const QByteArray get = "GET /api/heats.json HTTP/1.1\r\nHost: x\r\n\r\n";
    QVERIFY(exchange(m_port, get).body.contains("R1w_112"));
    QVERIFY(!exchange(m_port, get).body.contains("R2w_113"));
    QVERIFY(writeFile(m_root->filePath(QStringLiteral("work/R2w_113.csv")), "1,3,1023\r\n"));
    m_server->savedHeatsChanged();
    QTRY_VERIFY_WITH_TIMEOUT(exchange(m_port, get).body.contains("R2w_113"), 2000);
    // Another work folder: its own listing.
    m_server->setWorkFolder(m_root->path());
    QTRY_VERIFY_WITH_TIMEOUT(!exchange(m_port, get).body.contains("R1w_112"), 2000);
}

void TestBoardServer::pushReachesClients()
{
    QVERIFY(startServer());
    QWebSocket client;
    QStringList received;
    connect(&client, &QWebSocket::textMessageReceived, this, [&received](const QString &m) { received.append(m); });
    client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
    // The heat as it is now, at once.
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 2000);
    QVERIFY(received.constLast().contains(QStringLiteral("男子100m")));
    m_server->setHeat(heatWithRace(QStringLiteral("女子200m"), 2));
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty() && received.constLast().contains(QStringLiteral("女子200m")), 1000);
    // Many changes at once: coalesced, and the newest is the last one sent.
    received.clear();
    for (int i = 3; i < 200; ++i)
        m_server->setHeat(heatWithRace(QStringLiteral("組%1").arg(i), quint64(i)));
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty() && received.constLast().contains(QStringLiteral("組199")), 1000);
    QVERIFY2(received.size() < 50, qPrintable(QString::number(received.size())));
    // What a client sends changes nothing, however much it is.
    client.sendTextMessage(QString(100'000, u'x'));
    client.sendBinaryMessage(QByteArray(100'000, '\0'));
    const HttpReply page = exchange(m_port, "GET /api/current.json HTTP/1.1\r\nHost: x\r\n\r\n");
    QCOMPARE(page.status, 200);
    QVERIFY(QString::fromUtf8(page.body).contains(QStringLiteral("組199")));

    // Pushed only at "/ws": elsewhere the connection is closed unanswered.
    QWebSocket elsewhere;
    QSignalSpy elsewhereReceived(&elsewhere, &QWebSocket::textMessageReceived);
    QSignalSpy closed(&elsewhere, &QWebSocket::disconnected);
    elsewhere.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/other").arg(m_port)));
    QVERIFY(closed.wait(3000));
    QCOMPARE(elsewhereReceived.size(), 0);
}

void TestBoardServer::stalledClientIsDropped()
{
    BoardLimits limits;
    // Room for about a hundred messages: a reader slowed by a loaded machine is not the
    // stalled client, and was dropped with room for only three.
    limits.maxUnsentBytes = 512 * 1024;
    limits.pushIntervalMs = 5;
    QVERIFY(startServer(limits));
    const int stalled = openStalledWebSocket(m_port);
    QVERIFY(stalled >= 0);
    QWebSocket reader;
    QString last;
    connect(&reader, &QWebSocket::textMessageReceived, this, [&last](const QString &m) { last = m; });
    reader.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
    QTRY_VERIFY_WITH_TIMEOUT(!last.isEmpty(), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), 2, 2000);

    // Large heats, one after the other: far more than the stalled client's buffers take.
    const QString longRace(400, u'走');
    int version = 10;
    for (; version < 400; ++version) {
        m_server->setHeat(heatWithRace(longRace + QString::number(version), quint64(version), 60));
        QTest::qWait(10);
    }
    // The reader still follows (how soon is the benchmark's to measure, not this test's).
    QTRY_VERIFY2_WITH_TIMEOUT(last.contains(longRace + QString::number(version - 1)),
                              reader.state() == QAbstractSocket::ConnectedState ? "behind" : "dropped", 5000);
    // The stalled client was cut; the reader is the one client left.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), 1, 3000);
    ::close(stalled);
}

// Requests near the bounds are answered, two on one connection (the count starts again
// for each); beyond them, or too slow, the client is cut and the board answers the next.
void TestBoardServer::requestBounds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("piece");     // bytes sent at a time; 0: all at once
    QTest::addColumn<int>("pauseMs");   // after each piece
    QTest::addColumn<int>("idleMs");
    QTest::addColumn<bool>("answered");

    const QByteArray get = "GET / HTTP/1.1\r\nHost: x\r\n";
    const auto withLines = [&get](int count) {
        QByteArray request = get;
        for (int i = 0; i < count; ++i)
            request += "A" + QByteArray::number(i) + ": b\r\n";
        return request;
    };
    const auto withFiller = [&get](qsizetype size, int width) {
        QByteArray request = get;
        while (request.size() < size)
            request += "X-Filler: " + QByteArray(width, 'a') + "\r\n";
        return request;
    };
    const QByteArray large = withFiller(7 * 1024, 200) + "\r\n";
    const QByteArray hundred = withLines(99) + "\r\n";
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919 + 13) % 256);
    const int idle = BoardLimits().idleMs;

    QTest::newRow("7 KiB of headers at once") << large << 0 << 0 << idle << true;
    QTest::newRow("7 KiB of headers in pieces") << large << 500 << 5 << idle << true;
    QTest::newRow("7 KiB of headers a line at a time") << large << 212 << 5 << idle << true;
    QTest::newRow("100 header lines") << hundred << 0 << 0 << idle << true;
    QTest::newRow("100 header lines in pieces") << hundred << 37 << 5 << idle << true;
    // The long idle time shows that the size bounds, not the clock, cut these.
    QTest::newRow("1 MB of headers") << withFiller(1024 * 1024, 100) << 0 << 0 << 60'000 << false;
    QTest::newRow("150 header lines, unfinished") << withLines(150) << 0 << 0 << 60'000 << false;
    QTest::newRow("150 header lines, finished") << withLines(150) + "\r\n" << 0 << 0 << 60'000 << false;
    // One byte at a time, each well inside the idle time: the whole request is late.
    QTest::newRow("slow header") << get + "X-Slow: " + QByteArray(40, 'a') << 1 << 20 << 300 << false;
    QTest::newRow("request line only") << QByteArray("GET / HTTP/1.1\r\n") << 0 << 0 << 300 << false;
    QTest::newRow("garbage") << garbage << 0 << 0 << 300 << false;
    QTest::newRow("nothing") << QByteArray() << 0 << 0 << 300 << false;
}

void TestBoardServer::requestBounds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, piece);
    QFETCH(int, pauseMs);
    QFETCH(int, idleMs);
    QFETCH(bool, answered);

    BoardLimits limits;
    limits.idleMs = idleMs;
    QVERIFY(startServer(limits));
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    QVERIFY(client.waitForConnected(2000));
    QByteArray answer;
    connect(&client, &QTcpSocket::readyRead, this, [&] { answer += client.readAll(); });
    const qsizetype step = piece > 0 ? piece : bytes.size();
    for (int round = 1; round <= (answered ? 2 : 1); ++round) {
        for (qsizetype at = 0; at < bytes.size() && client.state() == QAbstractSocket::ConnectedState; at += step) {
            client.write(bytes.mid(at, step));
            client.flush();
            if (pauseMs > 0)
                QTest::qWait(pauseMs);
        }
        if (answered)
            QTRY_COMPARE_WITH_TIMEOUT(int(answer.count("HTTP/1.1 200 OK")), round, 3000);
    }
    if (answered) {
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 4000);
    QVERIFY2(!answer.startsWith("HTTP/1.1 200"), answer.constData());
    QCOMPARE(exchange(m_port, GetPage).status, 200);
}

// What two readers could frame differently is refused before the library reads it, and
// nothing hidden in a body is ever answered; well-framed requests go on as before.
void TestBoardServer::framing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("later");      // sent once the first answer is in
    QTest::addColumn<QByteArray>("statuses");   // the answers in order, e.g. "200 200"
    QTest::addColumn<bool>("closed");

    const QByteArray hidden = "GET /api/heats.json HTTP/1.1\r\nHost: x\r\n\r\n";
    const QByteArray hiddenLength = QByteArray::number(hidden.size());
    const auto row = [](const char *name, const QByteArray &bytes, const QByteArray &statuses, bool closed) {
        QTest::newRow(name) << bytes << QByteArray() << statuses << closed;
    };
    row("two lengths, equal", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nabc", "400", true);
    row("two lengths, 0 then the hidden request's", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nContent-Length: "
        + hiddenLength + "\r\n\r\n" + hidden, "400", true);
    row("length and transfer coding", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: " + hiddenLength
        + "\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + hidden, "400", true);
    row("transfer coding", "POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "400", true);
    row("blank before a length's colon", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length : " + hiddenLength + "\r\n\r\n"
        + hidden, "400", true);
    row("blank before a coding's colon", "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding : chunked\r\n\r\n0\r\n\r\n",
        "400", true);
    row("tab before a colon", "GET / HTTP/1.1\r\nHost\t: x\r\n\r\n", "400", true);
    row("folded line", "GET / HTTP/1.1\r\nHost: x\r\nX-A: b\r\n c\r\n\r\n", "400", true);
    row("HTTP/1.1 without host", "GET / HTTP/1.1\r\nX-A: b\r\n\r\n", "400", true);
    row("two hosts", "GET / HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", "400", true);
    row("length not a number", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: +5\r\n\r\nabcde", "400", true);
    // After a good request: the good one is answered only if it came apart.
    row("fault after a pipelined request", GetPage + "GET / HTTP/1.1\r\nContent-Length: 1\r\n\r\nx", "400", true);
    // A WebSocket asked for elsewhere than the push: declined unlogged.
    row("upgrade elsewhere", "GET /other HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n", "404", true);
    row("upgrade by POST", "POST /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\nContent-Length: 0\r\n\r\n", "404", true);
    row("push handshake without a key", "GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Version: 13\r\n\r\n", "400", true);
    // Well framed: the body is skipped, whatever it looks like.
    row("request in a GET body", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: " + hiddenLength + "\r\n\r\n" + hidden,
        "200", false);
    row("request in a body, then another", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: " + hiddenLength + "\r\n\r\n"
        + hidden + "GET /nowhere HTTP/1.1\r\nHost: x\r\n\r\n", "405 404", false);
    row("form body, then a request", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\na=1" + GetPage, "405 200",
        false);
    row("pipelined", GetPage + "HEAD /api/current.json HTTP/1.1\r\nHost: x\r\n\r\n" + GetPage, "200 200 200", false);
    row("HTTP/1.0 without host", "GET / HTTP/1.0\r\n\r\n", "200", true);
    // The library takes one request a round and leaves the rest: what it left is not new.
    QTest::newRow("pipelined, the second in two pieces")
        << GetPage + "GET /api/current.json HT" << QByteArray("TP/1.1\r\nHost: x\r\n\r\n") << QByteArray("200 200")
        << false;
    QTest::newRow("pipelined, a body in two pieces")
        << GetPage + "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: " + hiddenLength + "\r\n\r\n" + hidden.first(10)
        << hidden.sliced(10) << QByteArray("200 200") << false;
    QTest::newRow("pipelined, a fault in the second piece")
        << GetPage + "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n"
        << "Content-Length: " + hiddenLength + "\r\n\r\n" + hidden << QByteArray("200 400") << true;
    row("blank lines before", "\r\n\r\n" + GetPage, "200", false);
    row("bare line feeds", "GET / HTTP/1.1\nHost: x\n\n", "200", false);
}

void TestBoardServer::framing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, later);
    QFETCH(QByteArray, statuses);
    QFETCH(bool, closed);

    BoardLimits limits;
    limits.idleMs = 60'000;
    QVERIFY(startServer(limits));
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    QVERIFY(client.waitForConnected(2000));
    QByteArray answer;
    connect(&client, &QTcpSocket::readyRead, this, [&] { answer += client.readAll(); });
    client.write(bytes);
    const QList<QByteArray> expected = statuses.split(' ');
    const auto seen = [&answer] {
        QList<QByteArray> found;
        for (qsizetype at = answer.indexOf("HTTP/1.1 "); at >= 0; at = answer.indexOf("HTTP/1.1 ", at + 1))
            found.append(answer.mid(at + 9, 3));
        return found;
    };
    if (!later.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(!seen().isEmpty(), 3000);
        client.write(later);
    }
    QTRY_COMPARE_WITH_TIMEOUT(seen().size(), expected.size(), 3000);
    if (closed)
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 3000);
    else
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
    // Nothing more: a hidden request would be a further answer, its listing in the body.
    QVERIFY(!QTest::qWaitFor([&] { return seen().size() > expected.size(); }, 300));
    QCOMPARE(seen(), expected);
    QVERIFY(!answer.contains("\"heats\":["));
}

// Closed right after the answer when the request asks for it; else kept for the next.
void TestBoardServer::connectionEnding_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QByteArray>("connectionHeader");   // in the answer; empty: none

    QTest::newRow("HTTP/1.0") << QByteArray("GET / HTTP/1.0\r\n\r\n") << true << QByteArray("close");
    QTest::newRow("HTTP/1.0, HEAD") << QByteArray("HEAD / HTTP/1.0\r\nHost: x\r\n\r\n") << true << QByteArray("close");
    QTest::newRow("HTTP/1.0 keep-alive") << QByteArray("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n") << false
                                         << QByteArray("keep-alive");
    QTest::newRow("close") << QByteArray("GET /api/current.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                           << true << QByteArray("close");
    QTest::newRow("close among others") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nConnection: foo, Close\r\n\r\n")
                                        << true << QByteArray("close");
    QTest::newRow("404, close") << QByteArray("GET /nowhere HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n") << true
                                << QByteArray("close");
    QTest::newRow("HTTP/1.1") << GetPage << false << QByteArray();
}

void TestBoardServer::connectionEnding()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, closed);
    QFETCH(QByteArray, connectionHeader);

    // Far beyond the test: only the request's own wish closes the connection.
    BoardLimits limits;
    limits.idleMs = 60'000;
    limits.keepAliveMs = 60'000;
    QVERIFY(startServer(limits));
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    QVERIFY(client.waitForConnected(2000));
    QByteArray answer;
    connect(&client, &QTcpSocket::readyRead, this, [&] { answer += client.readAll(); });
    client.write(request);
    QTRY_VERIFY_WITH_TIMEOUT(answer.contains("\r\n\r\n"), 3000);
    const QByteArray head = answer.first(answer.indexOf("\r\n\r\n") + 2).toLower();
    QVERIFY2(head.startsWith("http/1.1 200") || head.startsWith("http/1.1 404"), head.constData());
    QCOMPARE(head.contains("\r\nconnection: " + connectionHeader + "\r\n"), !connectionHeader.isEmpty());
    if (closed) {
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 3000);
        return;
    }
    // Kept: a second request on it is answered.
    answer.clear();
    client.write(request);
    QTRY_VERIFY_WITH_TIMEOUT(answer.contains("\r\n\r\n"), 3000);
    QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
}

// ApacheBench completes every request, with and without keep-alive: it waits for each
// connection to be closed unless it asked to keep it.
void TestBoardServer::apacheBench_data()
{
    QTest::addColumn<bool>("keepAlive");
    QTest::newRow("HTTP/1.0") << false;
    QTest::newRow("HTTP/1.0 keep-alive") << true;
}

void TestBoardServer::apacheBench()
{
    QFETCH(bool, keepAlive);

    const QString ab = QStandardPaths::findExecutable(QStringLiteral("ab"));
    if (ab.isEmpty())
        QSKIP("ApacheBench (apache2-utils) is not installed");
    BoardLimits limits;
    limits.idleMs = 60'000;
    limits.keepAliveMs = 60'000;
    QVERIFY(startServer(limits));
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("400"), QStringLiteral("-c"), QStringLiteral("4"),
                          QStringLiteral("-s"), QStringLiteral("10")};
    if (keepAlive)
        arguments << QStringLiteral("-k");
    arguments << QStringLiteral("http://127.0.0.1:%1/api/current.json").arg(m_port);
    QProcess run;
    run.start(ab, arguments);
    QVERIFY(run.waitForFinished(120'000));
    const QByteArray out = run.readAllStandardOutput();
    QCOMPARE(run.exitCode(), 0);
    QVERIFY2(out.contains("Complete requests:      400"), out.constData());
    QVERIFY2(out.contains("Failed requests:        0"), out.constData());
    QCOMPARE(out.contains("Keep-Alive requests:    400"), keepAlive);
}

// A client that asks and never reads is dropped once what waits for it passes the bound,
// answers and pongs alike; the idle limits are far off, so only the bound can drop it.
void TestBoardServer::unreadAnswersDropped_data()
{
    QTest::addColumn<bool>("webSocket");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("burst");

    QByteArray gets;
    for (int i = 0; i < 20'000; ++i)
        gets += GetPage;
    QByteArray pings;
    for (int i = 0; i < 2'000; ++i)
        pings += clientFrame(0x9, QByteArray(125, 'p'));
    QTest::newRow("pipelined GETs") << false << gets << int(100 * GetPage.size());
    QTest::newRow("pings") << true << pings << int(pings.size());
}

void TestBoardServer::unreadAnswersDropped()
{
    QFETCH(bool, webSocket);
    QFETCH(QByteArray, bytes);
    QFETCH(int, burst);

    BoardLimits limits;
    limits.idleMs = 60'000;
    limits.keepAliveMs = 60'000;
    limits.pingIntervalMs = 60'000;
    limits.pongTimeoutMs = 60'000;
    // However fast: here the unsent bytes are what counts.
    limits.maxIncomingFramesPerSecond = 1'000'000;
    limits.maxIncomingBytesPerSecond = 1'000'000'000;
    QVERIFY(startServer(limits));
    const int fd = openRaw(m_port, "127.0.0.1", 4096);
    QVERIFY(fd >= 0);
    if (webSocket) {
        qsizetype at = 0;
        QVERIFY(sendSome(fd, Handshake, &at));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), 1, 3000);
    }
    const bool dropped = droppedWhileSending(fd, bytes, burst, webSocket, 10'000);
    ::close(fd);
    QVERIFY(dropped);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), 0, 3000);
    QCOMPARE(exchange(m_port, GetPage).status, 200);
}

// A push client has nothing to say but pongs: a little more is let be, a flood of frames
// or bytes, a frame beyond the bound or one without a mask closes it.
void TestBoardServer::pushClientSends_data()
{
    QTest::addColumn<int>("opcode");        // 1 text, 2 binary, 9 ping
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("perSecond");
    QTest::addColumn<bool>("masked");
    QTest::addColumn<bool>("dropped");

    QTest::newRow("a few messages") << 1 << 20 << 4 << true << false;
    QTest::newRow("a few pings") << 9 << 4 << 4 << true << false;
    QTest::newRow("many messages") << 1 << 10 << 100 << true << true;
    QTest::newRow("many pings") << 9 << 0 << 100 << true << true;
    QTest::newRow("many bytes in few frames") << 2 << 1000 << 15 << true << true;
    QTest::newRow("a frame beyond the bound") << 2 << 4000 << 1 << true << true;
    QTest::newRow("unmasked") << 1 << 5 << 1 << false << true;
}

void TestBoardServer::pushClientSends()
{
    QFETCH(int, opcode);
    QFETCH(int, size);
    QFETCH(int, perSecond);
    QFETCH(bool, masked);
    QFETCH(bool, dropped);

    BoardLimits limits;
    limits.pingIntervalMs = 60'000;
    limits.pongTimeoutMs = 60'000;
    QVERIFY(startServer(limits));
    QTcpSocket client;
    QVERIFY(openRawWebSocket(client, m_port));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), 1, 3000);
    // Read all along: what is pushed never piles up here.
    connect(&client, &QTcpSocket::readyRead, this, [&client] { client.readAll(); });
    const QByteArray frame = clientFrame(quint8(opcode), QByteArray(size, 'a'), masked);
    // Two seconds at the rate; a flood is dropped within the first.
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    for (int i = 0; i < 400 && clock.elapsed() < 2000 && client.state() == QAbstractSocket::ConnectedState; ++i) {
        while (sent < perSecond * (clock.elapsed() + 50) / 1000) {
            client.write(frame);
            ++sent;
        }
        QTest::qWait(10);
    }
    if (dropped) {
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), 0, 3000);
    } else {
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(m_server->clientCount(), 1);
    }
}

// A quiet push client that reads and answers pings stays past every idle limit and
// still gets the heat; one that never answers a ping is dropped.
void TestBoardServer::pushClientLiveness_data()
{
    QTest::addColumn<bool>("answersPings");
    QTest::newRow("answers pings") << true;
    QTest::newRow("never answers") << false;
}

void TestBoardServer::pushClientLiveness()
{
    QFETCH(bool, answersPings);

    BoardLimits limits;
    limits.idleMs = 200;
    limits.keepAliveMs = 200;
    limits.pingIntervalMs = 200;
    // Room for a loaded machine: the client answers from the test's own event loop.
    limits.pongTimeoutMs = 1500;
    QVERIFY(startServer(limits));
    QWebSocket client;
    QTcpSocket raw;
    QString last;
    QSignalSpy closed(&client, &QWebSocket::disconnected);
    if (answersPings) {
        connect(&client, &QWebSocket::textMessageReceived, this, [&last](const QString &m) { last = m; });
        client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
        QTRY_VERIFY_WITH_TIMEOUT(!last.isEmpty(), 3000);
    } else {
        QVERIFY(openRawWebSocket(raw, m_port));
        connect(&raw, &QTcpSocket::readyRead, this, [&raw] { raw.readAll(); });
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), 1, 3000);
    if (!answersPings) {
        QTRY_COMPARE_WITH_TIMEOUT(raw.state(), QAbstractSocket::UnconnectedState, 5000);
        return;
    }
    // Ten times the idle limit and pinged all along, quiet otherwise.
    QVERIFY(!closed.wait(2000));
    m_server->setHeat(heatWithRace(QStringLiteral("静かな組"), 2));
    QTRY_VERIFY_WITH_TIMEOUT(last.contains(QStringLiteral("静かな組")), 3000);
    QCOMPARE(closed.size(), 0);
}

// What the clients show did not change: nothing is pushed. The next change shows it: had
// anything come before it, the client would hold two messages. A heat saved is news: it
// is listed below the heat.
void TestBoardServer::unchangedHeatNotPushed_data()
{
    QTest::addColumn<bool>("sameHeat");
    QTest::addColumn<bool>("saved");
    QTest::newRow("listing read again") << false << false;
    QTest::newRow("same heat again") << true << false;
    QTest::newRow("a heat saved") << false << true;
}

void TestBoardServer::unchangedHeatNotPushed()
{
    QFETCH(bool, sameHeat);
    QFETCH(bool, saved);

    BoardLimits limits;
    limits.pushIntervalMs = 1;
    QVERIFY(startServer(limits));
    const BoardHeat heat = heatWithRace(QStringLiteral("同じ組"), 5);
    m_server->setHeat(heat);
    QWebSocket client;
    QStringList received;
    connect(&client, &QWebSocket::textMessageReceived, this, [&received](const QString &m) { received.append(m); });
    client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty() && received.constLast().contains(QStringLiteral("同じ組")), 3000);
    // A client that comes in before the board's first push of the heat gets it from that
    // push as well: let it arrive before counting what follows.
    QTest::qWait(100);
    received.clear();
    const QByteArray heats = "GET /api/heats.json HTTP/1.1\r\nHost: x\r\n\r\n";
    if (sameHeat) {
        m_server->setHeat(heat);
    } else {
        if (saved)
            QVERIFY(writeFile(m_root->filePath(QStringLiteral("work/R2w_113.csv")), "1,3,1023\r\n"));
        m_server->savedHeatsChanged();
    }
    // Handed on once the board answers from it: a listing read, or a heat it holds.
    QTRY_VERIFY_WITH_TIMEOUT(!saved || exchange(m_port, heats).body.contains("R2w_113"), 3000);
    QTest::qWait(saved ? 0 : 200);
    m_server->setHeat(heatWithRace(QStringLiteral("次の組"), 6));
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty() && received.constLast().contains(QStringLiteral("次の組")), 3000);
    QCOMPARE(received.size(), saved ? 2 : 1);
    if (saved)
        QVERIFY(received.constFirst().contains(QStringLiteral("\"name\":\"R2w_113\"")));
}

// Answers kept between changes follow each change, and a query still goes the routing's way.
void TestBoardServer::answersFollowChanges()
{
    QVERIFY(startServer());
    const QByteArray page = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    const QByteArray json = "GET /api/current.json HTTP/1.1\r\nHost: x\r\n\r\n";
    const QByteArray list = "GET /heats HTTP/1.1\r\nHost: x\r\n\r\n";
    QVERIFY(QString::fromUtf8(exchange(m_port, json).body).contains(QStringLiteral("男子100m")));
    QVERIFY(!exchange(m_port, list).body.contains("R3w_114"));
    m_server->setHeat(heatWithRace(QStringLiteral("女子400m"), 9));
    QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(exchange(m_port, json).body).contains(QStringLiteral("女子400m")), 3000);
    QVERIFY(QString::fromUtf8(exchange(m_port, page).body).contains(QStringLiteral("女子400m")));
    QVERIFY(writeFile(m_root->filePath(QStringLiteral("work/R3w_114.csv")), "1,3,1023\r\n"));
    m_server->savedHeatsChanged();
    QTRY_VERIFY_WITH_TIMEOUT(exchange(m_port, list).body.contains("R3w_114"), 3000);
    // The same bytes with a query, and for a HEAD the same length.
    const HttpReply plain = exchange(m_port, page);
    QCOMPARE(exchange(m_port, "GET /?x=1 HTTP/1.1\r\nHost: x\r\n\r\n").body, plain.body);
    QVERIFY(exchange(m_port, "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n")
                .head.contains("Content-Length: " + QByteArray::number(plain.body.size()) + "\r\n"));
}

// One address gets no more than its share; the others are still served. Within the
// share, one that never asked anything gives way to a newcomer; clients that asked keep
// their places, and the newcomer is refused.
void TestBoardServer::connectionsPerAddress_data()
{
    QTest::addColumn<bool>("asked");
    QTest::newRow("quiet clients") << false;
    QTest::newRow("clients that asked") << true;
}

void TestBoardServer::connectionsPerAddress()
{
    QFETCH(bool, asked);

    BoardLimits limits;
    limits.idleMs = 60'000;
    limits.keepAliveMs = 60'000;
    QVERIFY(startServer(limits));
    const int perPeer = limits.maxPerPeer;
    std::vector<std::unique_ptr<QTcpSocket>> held;
    QByteArray answers;
    const auto open = [&] {
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket *s = socket.get();
        connect(s, &QTcpSocket::readyRead, this, [s, &answers] { answers += s->readAll(); });
        if (!s->bind(QHostAddress(QStringLiteral("127.0.0.2"))))
            return false;
        s->connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (!s->waitForConnected(3000))
            return false;
        if (asked)
            s->write(GetPage);
        held.push_back(std::move(socket));
        return true;
    };
    for (int i = 0; i < perPeer; ++i)
        QVERIFY(open());
    if (asked)
        QTRY_COMPARE_WITH_TIMEOUT(int(answers.count("HTTP/1.1 200")), perPeer, 10'000);
    for (int i = 0; i < 8; ++i)
        QVERIFY(open());
    QTRY_COMPARE_WITH_TIMEOUT(int(answers.count("HTTP/1.1 503")), asked ? 8 : 0, 10'000);
    const auto connected = [&held] {
        return int(std::count_if(held.begin(), held.end(),
                                 [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; }));
    };
    QTRY_COMPARE_WITH_TIMEOUT(connected(), perPeer, 5000);
    // The newest are the ones kept when none had asked.
    if (!asked)
        QCOMPARE(held.back()->state(), QAbstractSocket::ConnectedState);
    QTcpSocket other;
    QVERIFY(other.bind(QHostAddress(QStringLiteral("127.0.0.3"))));
    other.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    QVERIFY(other.waitForConnected(2000));
    QByteArray answer;
    connect(&other, &QTcpSocket::readyRead, this, [&] { answer += other.readAll(); });
    other.write(GetPage);
    QTRY_VERIFY_WITH_TIMEOUT(answer.contains("\r\n\r\n"), 3000);
    QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
}

// Slow clients from many addresses fill every place: a new visitor still gets the page
// at once, the slowest giving way to it, whether it shares an address with them or not.
void TestBoardServer::slowClientsLeaveRoom_data()
{
    QTest::addColumn<QByteArray>("visitor");
    QTest::newRow("from another address") << QByteArray("127.0.0.1");
    QTest::newRow("from a slow client's address") << QByteArray("127.0.0.2");
}

void TestBoardServer::slowClientsLeaveRoom()
{
    QFETCH(QByteArray, visitor);

    // As if each went on sending a byte now and then: no idle limit helps.
    BoardLimits limits;
    limits.idleMs = 60'000;
    QVERIFY(startServer(limits));
    const int addresses = 8;
    const int clients = 1000;
    std::vector<int> slow;
    slow.reserve(clients);
    const QByteArray partial = "GET / HTTP/1.1\r\nHost: x\r\nX-Slow: ";
    for (int i = 0; i < clients; ++i) {
        const QByteArray from = "127.0.0." + QByteArray::number(2 + i % addresses);
        const int fd = openRaw(m_port, from.constData());
        if (fd < 0)
            continue;
        qsizetype at = 0;
        sendSome(fd, partial, &at);
        slow.push_back(fd);
    }
    QVERIFY(slow.size() > size_t(clients / 2));
    // Every place taken.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->clientCount(), addresses * BoardLimits().maxPerPeer, 10'000);
    QElapsedTimer clock;
    clock.start();
    const HttpReply reply = exchange(m_port, GetPage, 5000, visitor.constData());
    const qint64 ms = clock.elapsed();
    for (int fd : slow)
        ::close(fd);
    QCOMPARE(reply.status, 200);
    qInfo("the page during %d slow clients: %lld ms", int(slow.size()), ms);
}

void TestBoardServer::cannotListen_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("portTaken");

    QTest::newRow("port taken") << QStringLiteral("127.0.0.1") << true;
    QTest::newRow("port taken, any address") << QStringLiteral("0.0.0.0") << true;
    QTest::newRow("address not here") << QStringLiteral("192.0.2.1") << false;
    QTest::newRow("not an address") << QStringLiteral("localhost:80") << false;
}

void TestBoardServer::cannotListen()
{
    QFETCH(QString, address);
    QFETCH(bool, portTaken);

    QTcpServer other;
    QVERIFY(other.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const quint16 port = other.serverPort();
    if (!portTaken)
        other.close();
    BoardServer server;
    QSignalSpy state(&server, &BoardService::stateChanged);
    BoardService::Options options;
    options.address = address;
    options.port = port;
    QString error;
    QVERIFY(!server.start(options, &error));
    QCOMPARE(error, portTaken ? MsgBoardPortTaken.arg(port) : MsgBoardAddressUnavailable.arg(address));
    QVERIFY(!server.isRunning());
    QVERIFY(server.url().isEmpty());
    QCOMPARE(state.size(), 0);
    // Nothing of the board listens: once the other program goes, the port is free.
    other.close();
    QTcpServer after;
    QVERIFY(after.listen(QHostAddress(QStringLiteral("127.0.0.1")), port));
}

void TestBoardServer::publishFolder()
{
    const QString folder = m_root->filePath(QStringLiteral("publish"));
    QVERIFY(startServer({}, folder));
    const QString current = folder + QStringLiteral("/api/current.json");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(current) && QFile::exists(folder + QStringLiteral("/index.html")), 2000);
    QTest::qWait(300);

    // Every file as it is now, each held by a second name, so that a file written again
    // cannot come back under the same number.
    struct Kept
    {
        QString path, kept;
        QByteArray bytes;
    };
    std::vector<Kept> before;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        Kept file{it.next(), m_root->filePath(QStringLiteral("kept%1").arg(before.size())), {}};
        // Nothing but the site's files, and no temporary file left behind.
        QVERIFY2(file.path.endsWith(QStringLiteral(".html")) || file.path.endsWith(QStringLiteral(".json")),
                 qPrintable(file.path));
        file.bytes = fileBytes(file.path);
        QVERIFY(!file.bytes.isEmpty());
        QCOMPARE(::link(QFile::encodeName(file.path).constData(), QFile::encodeName(file.kept).constData()), 0);
        before.push_back(file);
    }

    const ino_t currentInode = inodeOf(current);
    m_server->setHeat(heatWithRace(QStringLiteral("公開の組"), 7));
    QTRY_VERIFY_WITH_TIMEOUT(inodeOf(current) != currentInode, 1000);
    QTest::qWait(300);
    QVERIFY(QString::fromUtf8(fileBytes(current)).contains(QStringLiteral("公開の組")));
    // A file whose bytes are the same was not written again.
    int unchanged = 0;
    for (const Kept &file : before) {
        if (fileBytes(file.path) == file.bytes) {
            ++unchanged;
            QCOMPARE(inodeOf(file.path), inodeOf(file.kept));
        }
    }
    QVERIFY(unchanged > 0);
}

void TestBoardServer::publishFailure_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::newRow("folder is a file") << false;
    QTest::newRow("full disk") << true;
}

void TestBoardServer::publishFailure()
{
    QFETCH(bool, fullDisk);

    const QString folder = m_root->filePath(QStringLiteral("publish"));
    std::unique_ptr<Testing::SmallFileSystem> disk;
    if (fullDisk) {
        disk = std::make_unique<Testing::SmallFileSystem>(folder);
        if (!disk->isMounted())
            QSKIP("a small file system cannot be mounted here");
        QVERIFY(disk->fill());
    } else {
        QVERIFY(writeFile(folder, {}));
    }
    QVERIFY(startServer({}, folder));
    QSignalSpy failed(m_server.get(), &BoardService::publishFailed);
    QVERIFY(failed.wait(2000));
    QVERIFY(failed.constFirst().constFirst().toString().startsWith(QStringLiteral("公開ﾌｫﾙﾀﾞ")));
    // Said once, not at every change, while the board goes on serving.
    for (int i = 0; i < 5; ++i) {
        m_server->setHeat(heatWithRace(QStringLiteral("組"), quint64(10 + i)));
        QTest::qWait(150);
    }
    QCOMPARE(failed.size(), 1);
    QCOMPARE(exchange(m_port, GetPage).status, 200);
    if (fullDisk) {
        // Room again: the next change is published whole.
        QVERIFY(disk->free());
        m_server->setHeat(heatWithRace(QStringLiteral("空きが戻った組"), 20));
        QTRY_VERIFY_WITH_TIMEOUT(
            QString::fromUtf8(fileBytes(folder + QStringLiteral("/api/current.json"))).contains(QStringLiteral("空きが戻った組")),
            2000);
    }
}

QTEST_GUILESS_MAIN(TestBoardServer)
#include "tst_board_server.moc"
