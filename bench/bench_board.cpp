// The results board's server, each figure against an anchor measured in the same run:
//   push      200 WebSocket clients connected; from setHeat to the new heat at a client
//             (one client, and the last of all 200), median and worst over the changes,
//             against a plain QWebSocketServer on a thread of its own that sends the same
//             bytes to the same 200 clients as soon as it is told.
//   memory    the server's resident memory grown per connected client (200 clients, one
//             push received by all), the server in a process of its own, against the
//             plain QWebSocketServer in the same place.
//   requests  requests a second for /api/current.json with keep-alive clients, each with
//             one request in flight, against nginx (one worker) serving the same bytes as
//             a static file on a loopback port.
//
//   bench_board [push|memory|requests]...     default: all three
//   bench_board --serve board|plain           (used by "memory": a server on its own)

#include "board/boardserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Ordavex;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Clients = 200;

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

BoardHeat benchHeat(int version)
{
    BoardHeat heat;
    heat.race = QStringLiteral("男子100m 予選 bench-%1-end").arg(version);
    heat.version = quint64(version);
    heat.updatedAt = QDateTime::currentDateTimeUtc();
    heat.headings = {QStringLiteral("着順"), QStringLiteral("ﾚｰﾝ"), QStringLiteral("記録")};
    for (int i = 0; i < 9; ++i)
        heat.rows.append(BoardRow{QString::number(i + 1), QString::number(i + 1), QStringLiteral("10.%1").arg(10 + i),
                                  QStringLiteral("10%1").arg(10 + i)});
    heat.wind = QStringLiteral("+1.2");
    return heat;
}

QString marker(int version)
{
    return QStringLiteral("bench-%1-end").arg(version);
}

void wait(int ms)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double worst(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// The anchor: a bare WebSocket server that sends what it is given, on its own thread.
class PlainPush final : public QObject
{
    Q_OBJECT

public:
    PlainPush()
        : m_server(QStringLiteral("plain"), QWebSocketServer::NonSecureMode, this)
    {
        connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
            while (QWebSocket *socket = m_server.nextPendingConnection()) {
                m_clients.append(socket);
                socket->sendTextMessage(m_last);
            }
        });
    }
    quint16 listen()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        return m_server.serverPort();
    }
    void send(const QString &text)
    {
        m_last = text;
        for (QWebSocket *socket : std::as_const(m_clients))
            socket->sendTextMessage(text);
    }

private:
    QWebSocketServer m_server;
    QList<QWebSocket *> m_clients;
    QString m_last = QStringLiteral("{}");
};

struct PushClients
{
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    std::vector<QString> last;
};

bool connectClients(PushClients &clients, const QUrl &url)
{
    clients.last.assign(Clients, QString());
    for (int i = 0; i < Clients; ++i) {
        auto socket = std::make_unique<QWebSocket>();
        QObject::connect(socket.get(), &QWebSocket::textMessageReceived, socket.get(),
                         [&clients, i](const QString &m) { clients.last[size_t(i)] = m; });
        socket->open(url);
        clients.sockets.push_back(std::move(socket));
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
        if (std::all_of(clients.last.begin(), clients.last.end(), [](const QString &m) { return !m.isEmpty(); })) {
            // Past the board's coalescing interval of the changes made at its start: the
            // first timed change is pushed at once, as every later one is.
            wait(200);
            return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return false;
}

// Changes one after another, each once the last has reached every client and the
// coalescing interval has passed: every change is a push of its own.
template<typename Send>
void timeChanges(PushClients &clients, int changes, Send send, std::vector<double> *first, std::vector<double> *all)
{
    for (int v = 1; v <= changes; ++v) {
        const QString want = marker(v);
        const auto start = Clock::now();
        send(v);
        double firstMs = -1;
        while (msSince(start) < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (firstMs < 0 && clients.last[0].contains(want))
                firstMs = msSince(start);
            if (std::all_of(clients.last.begin(), clients.last.end(), [&](const QString &m) { return m.contains(want); }))
                break;
        }
        first->push_back(firstMs < 0 ? msSince(start) : firstMs);
        all->push_back(msSince(start));
        wait(120);
    }
}

// Every client of the benchmark comes from 127.0.0.1, where a meet's phones come from
// as many addresses: the share of one address is the whole.
BoardLimits loopbackLimits()
{
    BoardLimits limits;
    limits.maxPerPeer = limits.maxConnections;
    return limits;
}

void benchPush()
{
    constexpr int Changes = 200;
    std::vector<double> boardFirst, boardAll, plainFirst, plainAll;
    {
        BoardServer board;
        board.setLimits(loopbackLimits());
        board.setHeat(benchHeat(0));
        QString error;
        BoardService::Options options;
        options.address = QStringLiteral("127.0.0.1");
        options.port = 0;
        if (!board.start(options, &error)) {
            std::printf("push: cannot start: %s\n", qPrintable(error));
            return;
        }
        PushClients clients;
        const QUrl url(board.url());
        if (!connectClients(clients, QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(url.port())))) {
            std::printf("push: clients did not connect\n");
            return;
        }
        timeChanges(clients, Changes, [&board](int v) { board.setHeat(benchHeat(v)); }, &boardFirst, &boardAll);
    }
    {
        QThread thread;
        auto *plain = new PlainPush;
        plain->moveToThread(&thread);
        thread.start();
        quint16 port = 0;
        QMetaObject::invokeMethod(plain, [&] { port = plain->listen(); }, Qt::BlockingQueuedConnection);
        PushClients clients;
        if (connectClients(clients, QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(port)))) {
            timeChanges(
                clients, Changes,
                [plain](int v) {
                    // The same bytes as the board sends, made on the caller's side.
                    const QString json = QString::fromUtf8(BoardHeatJson(benchHeat(v)));
                    QMetaObject::invokeMethod(plain, [plain, json] { plain->send(json); }, Qt::QueuedConnection);
                },
                &plainFirst, &plainAll);
        }
        QMetaObject::invokeMethod(plain, [plain] { delete plain; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
    std::printf("push (%d clients, %d changes)\n", Clients, Changes);
    std::printf("  one client   median %7.2f ms (plain %6.2f ms, %5.2fx)   worst %7.2f ms (plain %6.2f ms, %5.2fx)\n",
                median(boardFirst), median(plainFirst), median(boardFirst) / median(plainFirst), worst(boardFirst),
                worst(plainFirst), worst(boardFirst) / worst(plainFirst));
    std::printf("  all clients  median %7.2f ms (plain %6.2f ms, %5.2fx)   worst %7.2f ms (plain %6.2f ms, %5.2fx)\n",
                median(boardAll), median(plainAll), median(boardAll) / median(plainAll), worst(boardAll),
                worst(plainAll), worst(boardAll) / worst(plainAll));
    std::printf("  worst against the 1 s the board is allowed: %.3fx\n", worst(boardAll) / 1000.0);
}

// The server of "memory", in a process of its own: prints its port, then answers
// "rss" with its resident memory in KiB and "heat" with a change.
int serve(const QString &kind)
{
    std::unique_ptr<BoardServer> board;
    QThread thread;
    PlainPush *plain = nullptr;
    quint16 port = 0;
    if (kind == QStringLiteral("board")) {
        board = std::make_unique<BoardServer>();
        board->setLimits(loopbackLimits());
        board->setHeat(benchHeat(0));
        BoardService::Options options;
        options.address = QStringLiteral("127.0.0.1");
        options.port = 0;
        QString error;
        if (!board->start(options, &error))
            return 1;
        port = quint16(QUrl(board->url()).port());
    } else {
        plain = new PlainPush;
        plain->moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(plain, [&] { port = plain->listen(); }, Qt::BlockingQueuedConnection);
    }
    std::printf("%u\n", unsigned(port));
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    int version = 1;
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char line[64] = {};
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0 || line[0] == 'q') {
            QCoreApplication::quit();
            return;
        }
        if (line[0] == 'r') {
            std::printf("%ld\n", residentKb());
            std::fflush(stdout);
        } else if (board) {
            board->setHeat(benchHeat(version++));
        } else {
            const QString json = QString::fromUtf8(BoardHeatJson(benchHeat(version++)));
            QMetaObject::invokeMethod(plain, [plain, json] { plain->send(json); }, Qt::QueuedConnection);
        }
    });
    const int code = QCoreApplication::exec();
    if (plain) {
        QMetaObject::invokeMethod(plain, [plain] { delete plain; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
    return code;
}

QByteArray askLine(QProcess &process, const QByteArray &command)
{
    if (!command.isEmpty())
        process.write(command + '\n');
    while (!process.canReadLine() && process.waitForReadyRead(10000)) {
    }
    return process.readLine().trimmed();
}

// Resident memory of the server per client: grown from no clients to Clients that
// have all received one change.
double kbPerClient(const QString &kind)
{
    QProcess server;
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve"), kind});
    if (!server.waitForStarted())
        return -1;
    const QByteArray port = askLine(server, {});
    wait(200);
    const long before = askLine(server, "rss").toLong();
    PushClients clients;
    const QString path = kind == QStringLiteral("board") ? QStringLiteral("/ws") : QStringLiteral("/");
    if (!connectClients(clients, QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(QString::fromLatin1(port), path))))
        return -1;
    server.write("heat\n");
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000
           && !std::all_of(clients.last.begin(), clients.last.end(), [](const QString &m) { return m.contains(marker(1)); }))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    wait(200);
    const long after = askLine(server, "rss").toLong();
    server.write("quit\n");
    server.waitForFinished();
    return double(after - before) / Clients;
}

void benchMemory()
{
    const double board = kbPerClient(QStringLiteral("board"));
    const double plain = kbPerClient(QStringLiteral("plain"));
    std::printf("memory (%d clients): %.1f KiB per client (plain QWebSocketServer %.1f KiB, %.2fx)\n", Clients, board,
                plain, board / plain);
}

// Keep-alive clients, each with one GET in flight, on one thread with poll(2).
double requestsPerSecond(quint16 port, const QByteArray &path, int clients, double seconds)
{
    const QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    struct Client
    {
        int fd = -1;
        QByteArray in;
    };
    std::vector<Client> all(static_cast<size_t>(clients));
    std::vector<pollfd> fds(static_cast<size_t>(clients));
    for (int i = 0; i < clients; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
            return -1;
        all[size_t(i)].fd = fd;
        fds[size_t(i)] = pollfd{fd, POLLIN, 0};
        if (::write(fd, request.constData(), size_t(request.size())) != request.size())
            return -1;
    }
    long done = 0;
    const auto start = Clock::now();
    char buffer[65536];
    while (msSince(start) < seconds * 1000) {
        if (::poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0)
                return -1;
            Client &c = all[i];
            c.in.append(buffer, n);
            for (;;) {
                const qsizetype end = c.in.indexOf("\r\n\r\n");
                if (end < 0)
                    break;
                const qsizetype at = c.in.toLower().indexOf("content-length:");
                const qsizetype lineEnd = c.in.indexOf("\r\n", at);
                const qsizetype length = c.in.mid(at + 15, lineEnd - at - 15).trimmed().toLongLong();
                if (c.in.size() < end + 4 + length)
                    break;
                c.in.remove(0, end + 4 + length);
                ++done;
                if (::write(c.fd, request.constData(), size_t(request.size())) != request.size())
                    return -1;
            }
        }
    }
    const double elapsed = msSince(start) / 1000;
    for (const Client &c : all)
        ::close(c.fd);
    return double(done) / elapsed;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void benchRequests()
{
    constexpr double Seconds = 5;
    BoardServer board;
    board.setLimits(loopbackLimits());
    board.setHeat(benchHeat(1));
    BoardService::Options options;
    options.address = QStringLiteral("127.0.0.1");
    options.port = 0;
    QString error;
    if (!board.start(options, &error)) {
        std::printf("requests: cannot start: %s\n", qPrintable(error));
        return;
    }
    const quint16 boardPort = quint16(QUrl(board.url()).port());

    const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (nginx.isEmpty()) {
        std::printf("requests: no nginx\n");
        return;
    }
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("site/api"));
    QFile json(dir.filePath(QStringLiteral("site/api/current.json")));
    json.open(QIODevice::WriteOnly);
    json.write(BoardHeatJson(benchHeat(1)));
    json.close();
    const quint16 nginxPort = freePort();
    const QString conf = QStringLiteral(
        "worker_processes 1;\ndaemon off;\npid %1/nginx.pid;\nerror_log %1/error.log;\n"
        "events { worker_connections 1024; }\n"
        "http {\n  access_log off;\n  client_body_temp_path %1/body;\n  proxy_temp_path %1/proxy;\n"
        "  fastcgi_temp_path %1/fastcgi;\n  uwsgi_temp_path %1/uwsgi;\n  scgi_temp_path %1/scgi;\n"
        "  keepalive_requests 1000000;\n  types { application/json json; }\n"
        "  server {\n    listen 127.0.0.1:%2;\n    root %1/site;\n"
        "    add_header Cache-Control no-store;\n    add_header X-Content-Type-Options nosniff;\n  }\n}\n")
        .arg(dir.path()).arg(nginxPort);
    QFile confFile(dir.filePath(QStringLiteral("nginx.conf")));
    confFile.open(QIODevice::WriteOnly);
    confFile.write(conf.toUtf8());
    confFile.close();
    QProcess server;
    server.start(nginx, {QStringLiteral("-p"), dir.path(), QStringLiteral("-c"), confFile.fileName(),
                         QStringLiteral("-e"), dir.filePath(QStringLiteral("error.log"))});
    server.waitForStarted();
    wait(500);

    std::printf("requests a second for /api/current.json, %.0f s each\n", Seconds);
    for (const int clients : {1, 8, 64}) {
        double boardRate = 0;
        double nginxRate = 0;
        std::thread load([&] {
            boardRate = requestsPerSecond(boardPort, "/api/current.json", clients, Seconds);
            nginxRate = requestsPerSecond(nginxPort, "/api/current.json", clients, Seconds);
        });
        // The board's thread runs on its own; this one only waits.
        load.join();
        std::printf("  %2d keep-alive clients: board %8.0f/s, nginx %8.0f/s, board/nginx %.2fx\n", clients, boardRate,
                    nginxRate, boardRate / nginxRate);
    }
    server.terminate();
    server.waitForFinished();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QStringLiteral("--serve"))
        return serve(args[1]);
    const QStringList which = args.isEmpty() ? QStringList{QStringLiteral("push"), QStringLiteral("memory"),
                                                           QStringLiteral("requests")}
                                             : args;
    for (const QString &name : which) {
        if (name == QStringLiteral("push"))
            benchPush();
        else if (name == QStringLiteral("memory"))
            benchMemory();
        else if (name == QStringLiteral("requests"))
            benchRequests();
        std::fflush(stdout);
    }
    return 0;
}

#include "bench_board.moc"
