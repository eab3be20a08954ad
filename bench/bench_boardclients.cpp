// The grid while the live results board serves 200 clients and hostile visitors attack
// it (a slowloris of 1,000 connections, pipelined GETs never read, a ping flood: the
// attacker is bench/board_attacker.py), against the same window with the board off, in
// one run, the two taken in turn:
//   key-to-paint keys posted to the grid one every 20 ms, from the key's posting to the
//                grid's next paint: median and 99th percentile;
//   stall        the longest a probe event posted every 2 ms from another thread waited
//                for the window thread (the worst stall of its event loop).
//   key-to-client from each key to the first update that reaches a client after it:
//                median and worst, the window's and the server's coalescing included.
//   memory       this program's resident size at the end of each turn, and the board
//                program's peak resident size against the address space it is allowed.
//   new visitor  a fresh connection asks for the page every half second during the
//                attack: the slowest answer, and how many were turned away.
// Every key changes the heat, so the board hands the heat on and pushes it to every
// client at the rate it does in use. The clients are WebSocket connections held by a
// second process (this program with --clients), which reads every update, so that
// their work is not on the measured window thread.
//
//   bench_boardclients [seconds per turn] [turns] [clients] [slow connections]
//                                                           default 3, 4, 200, 1000
//
// Run with QT_QPA_PLATFORM=offscreen when there is no display.

#include "windowprobe.h"
#include "core/paths.h"
#include "core/settings.h"
#include "ui/boardprocess.h"
#include "ui/mainform.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Ordavex;
using namespace Ordavex::Bench;

namespace {

struct Figures
{
    std::vector<qint64> keyToPaint;
    qint64 worstNs = 0;
};

// Digits and Backspace in turn into the grid's cell for the time: the heat changes with
// every key and the grid repaints.
// A clock that two processes share.
qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void typeFor(QWidget *grid, int seconds, Figures &figures, std::vector<qint64> *keyTimes = nullptr)
{
    WindowProbe watcher;
    QWidget *painted = grid;
    if (auto *area = qobject_cast<QAbstractScrollArea *>(grid))
        painted = area->viewport();
    painted->installEventFilter(&watcher);
    std::atomic<bool> stop{false};
    std::thread prober([&] {
        while (!stop) {
            QCoreApplication::postEvent(&watcher, new ProbeEvent(nowNs()));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    QElapsedTimer span;
    span.start();
    qint64 nextKey = 100;
    int keys = 0;
    while (span.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (span.elapsed() >= nextKey && watcher.keyPostedNs < 0) {
            nextKey = span.elapsed() + 20;
            const int key = keys++ % 2 ? Qt::Key_Backspace : Qt::Key_1;
            watcher.keyPostedNs = nowNs();
            if (keyTimes)
                keyTimes->push_back(steadyNs());
            QCoreApplication::postEvent(grid, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier,
                                                            key == Qt::Key_1 ? QStringLiteral("1") : QString()));
            QCoreApplication::postEvent(grid, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
        }
    }
    stop = true;
    prober.join();
    QCoreApplication::processEvents();
    painted->removeEventFilter(&watcher);
    figures.keyToPaint.insert(figures.keyToPaint.end(), watcher.keyToPaint.begin(), watcher.keyToPaint.end());
    figures.worstNs = std::max(figures.worstNs, watcher.worstNs);
}

double percentile(std::vector<qint64> values, int p)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return double(values[std::min(values.size() - 1, values.size() * std::size_t(p) / 100)]) / 1e6;
}

// The clients' process: connects them all, says so, reads every update until its
// standard input ends, then says how many updates came.
int runClients(const QString &url, int count)
{
    int connected = 0;
    qint64 updates = 0;
    std::vector<qint64> arrivals;   // of the first client's updates
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    for (int i = 0; i < count; ++i) {
        auto socket = std::make_unique<QWebSocket>();
        QObject::connect(socket.get(), &QWebSocket::connected, [&] {
            if (++connected == count) {
                std::printf("connected %d\n", connected);
                std::fflush(stdout);
            }
        });
        const bool first = i == 0;
        QObject::connect(socket.get(), &QWebSocket::textMessageReceived, [&, first] {
            ++updates;
            if (first)
                arrivals.push_back(steadyNs());
        });
        socket->open(QUrl(url));
        sockets.push_back(std::move(socket));
    }
    std::thread reader([] {
        char line[64];
        while (std::fgets(line, sizeof line, stdin)) {
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    reader.join();
    int open = 0;
    for (const auto &socket : sockets)
        open += socket->state() == QAbstractSocket::ConnectedState;
    std::printf("updates %lld open %d\narrivals", static_cast<long long>(updates), open);
    for (const qint64 at : arrivals)
        std::printf(" %lld", static_cast<long long>(at));
    std::printf("\n");
    return 0;
}

qint64 statusKiB(qint64 pid, const char *field)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// A fresh visitor: the milliseconds to a whole "200" answer for the page, -1 when turned
// away or not answered within 2 s.
double visit(quint16 port)
{
    QElapsedTimer took;
    took.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0) {
        const char request[] = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
        if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) == ssize_t(sizeof request - 1)) {
            char buffer[16384];
            qsizetype whole = -1;
            while (whole < 0 || reply.size() < whole) {
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                reply.append(buffer, got);
                const qsizetype head = reply.indexOf("\r\n\r\n");
                const qsizetype length = reply.toLower().indexOf("content-length:");
                if (whole < 0 && head > 0 && length > 0 && length < head)
                    whole = head + 4 + reply.mid(length + 15, head - length - 15).split('\r').value(0).trimmed().toLongLong();
            }
        }
    }
    ::close(fd);
    return reply.startsWith("HTTP/1.1 200") && reply.contains("</html>") ? double(took.nsecsElapsed()) / 1e6 : -1;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--clients") == 0) {
        QCoreApplication app(argc, argv);
        return runClients(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    }
    // The clients all come from loopback: their address may hold them all.
    qputenv("ORDAVEX_BOARD_MAX_PER_ADDRESS", "256");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int turns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    const int count = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;
    const int slow = argc > 4 ? std::max(0, std::atoi(argv[4])) : 1000;

    QTemporaryDir folder;
    TForm1 main(Paths::resolveAppPaths(Paths::join(folder.path(), QStringLiteral("ordavex")), true, {}, {}));
    main.setBoardServiceFactory([](QString *) -> std::unique_ptr<BoardService> {
        return std::make_unique<BoardProcess>(QStringLiteral(ORDAVEX_BOARD_BINARY));
    });
    const quint16 port = freePort();
    Settings &settings = main.settings();
    settings.boardOn = true;
    settings.boardAddress = QStringLiteral("127.0.0.1");
    settings.boardPort = port;
    main.show();
    main.activateWindow();
    main.focusInputGrid();
    QElapsedTimer waited;
    waited.start();
    while (!main.boardIsOn() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QWidget *grid = QApplication::focusWidget();
    if (!main.boardIsOn() || !grid) {
        std::fprintf(stderr, "the board did not start\n");
        return 1;
    }

    const double loadBefore = LoadAverage();
    Figures none, clients;
    qint64 updates = 0;
    std::vector<qint64> keyToClient;
    std::vector<qint64> residentOff, residentOn;
    qint64 boardPeak = 0;
    std::vector<double> visits;
    int turnedAway = 0;
    BoardService::Options options;
    options.address = QStringLiteral("127.0.0.1");
    options.port = port;
    for (int turn = 0; turn < turns; ++turn) {
        // The board off: the baseline.
        main.boardService()->stop();
        typeFor(grid, seconds, none);
        residentOff.push_back(statusKiB(0, "VmRSS:"));

        QString error;
        main.boardService()->start(options, &error);
        QElapsedTimer starting;
        starting.start();
        while ((!main.boardIsOn() || main.boardService()->isStarting()) && starting.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!main.boardIsOn()) {
            std::fprintf(stderr, "the board did not start again: %s\n", qPrintable(error));
            return 1;
        }
        const qint64 boardPid = static_cast<BoardProcess *>(main.boardService())->processId();
        QProcess held;
        held.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The phones and the attacker stand for other machines: they take what is left.
        held.start(QStringLiteral("nice"),
                   {QStringLiteral("-n19"), QCoreApplication::applicationFilePath(), QStringLiteral("--clients"),
                    QStringLiteral("ws://127.0.0.1:%1/ws").arg(port), QString::number(count)});
        QElapsedTimer connecting;
        connecting.start();
        while (!held.canReadLine() && connecting.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const QByteArray said = held.readLine().trimmed();
        if (said != "connected " + QByteArray::number(count)) {
            std::fprintf(stderr, "the clients did not connect: %s\n", said.constData());
            return 1;
        }
        QProcess attacker;
        attacker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        attacker.start(QStringLiteral("nice"),
                       {QStringLiteral("-n19"), QStringLiteral("/usr/bin/python3"), QStringLiteral(ORDAVEX_BOARD_ATTACKER),
                        QString::number(port), QStringLiteral("--seconds"),
                        QString::number(seconds + 60), QStringLiteral("--slow"), QString::number(slow)});
        while (!attacker.canReadLine() && attacker.state() != QProcess::NotRunning && connecting.elapsed() < 40000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        attacker.readLine();
        // The audience is there first, then the attack comes and settles.
        QElapsedTimer settling;
        settling.start();
        while (settling.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

        std::atomic<bool> visiting{true};
        std::vector<double> turnVisits;
        std::thread visitor([&] {
            while (visiting) {
                turnVisits.push_back(visit(port));
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
        });
        std::vector<qint64> keyTimes;
        typeFor(grid, seconds, clients, &keyTimes);
        residentOn.push_back(statusKiB(0, "VmRSS:"));
        boardPeak = std::max(boardPeak, statusKiB(boardPid, "VmHWM:"));
        visiting = false;
        visitor.join();
        for (const double v : turnVisits) {
            if (v < 0)
                ++turnedAway;
            else
                visits.push_back(v);
        }
        attacker.closeWriteChannel();
        attacker.waitForFinished(5000);
        const QByteArray attacked = attacker.readAll().trimmed();
        if (turn == 0)
            std::printf("attacker: %s\n", attacked.constData());
        held.closeWriteChannel();
        while (held.state() != QProcess::NotRunning && !held.canReadLine())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        held.waitForFinished(5000);
        const QList<QByteArray> told = held.readAll().trimmed().split('\n');
        const QList<QByteArray> words = told.value(0).split(' ');
        std::vector<qint64> arrivals;
        for (const QByteArray &at : told.value(1).split(' ').mid(1))
            arrivals.push_back(at.toLongLong());
        for (const qint64 key : keyTimes) {
            const auto next = std::lower_bound(arrivals.begin(), arrivals.end(), key);
            if (next != arrivals.end())
                keyToClient.push_back(*next - key);
        }
        updates += words.value(1).toLongLong();
        if (words.value(3).toInt() != count)
            std::fprintf(stderr, "turn %d: only %s of %d clients stayed connected\n", turn + 1,
                         words.value(3).constData(), count);
    }

    const double p50None = percentile(none.keyToPaint, 50), p99None = percentile(none.keyToPaint, 99);
    const double p50Clients = percentile(clients.keyToPaint, 50), p99Clients = percentile(clients.keyToPaint, 99);
    std::printf("board on with %d clients and %d slow connections, pipelined GETs and a ping flood, against the\n"
                "board off (%d turns of %d s each; load %.2f before, %.2f after)\n", count, slow,
                turns, seconds, loadBefore, LoadAverage());
    std::printf("  key-to-paint p50 %.2f / %.2f ms = %.2fx   p99 %.2f / %.2f ms = %.2fx   (%zu / %zu keys)\n",
                p50Clients, p50None, p50Clients / std::max(p50None, 0.001), p99Clients, p99None,
                p99Clients / std::max(p99None, 0.001), clients.keyToPaint.size(), none.keyToPaint.size());
    std::printf("  worst stall %.1f / %.1f ms\n", double(clients.worstNs) / 1e6, double(none.worstNs) / 1e6);
    std::printf("  key-to-client median %.1f ms, worst %.1f ms (%zu keys; the window hands the heat on at most\n"
                "  %d ms after a change, the server pushes at most once per 100 ms)\n",
                percentile(keyToClient, 50), percentile(keyToClient, 100), keyToClient.size(), TForm1::BoardDelayMs);
    std::printf("  updates read by the clients: %lld (%.1f per client per second)\n", static_cast<long long>(updates),
                double(updates) / count / (double(turns) * seconds));
    const auto median = [](std::vector<qint64> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : double(v[v.size() / 2]);
    };
    const double rssOn = median(residentOn), rssOff = median(residentOff);
    std::printf("  this program's resident memory %.1f / %.1f MiB = %.3fx\n", rssOn / 1024, rssOff / 1024,
                rssOn / std::max(rssOff, 1.0));
    std::printf("  the board program's peak resident memory %.1f MiB, its address space limited to %d MiB\n",
                double(boardPeak) / 1024, BoardProcess::DefaultMemoryLimitMiB);
    std::vector<qint64> visitNs;
    for (const double v : visits)
        visitNs.push_back(qint64(v * 1e6));
    std::printf("  a new visitor during the attack: median %.1f ms, slowest %.1f ms, %d of %zu turned away\n",
                percentile(visitNs, 50), percentile(visitNs, 100), turnedAway, visits.size() + size_t(turnedAway));
    std::printf("  target key-to-paint p99 <= 1.05x: %s; memory <= 1.05x: %s; every visitor within 1 s: %s\n",
                p99Clients <= 1.05 * p99None ? "met" : "NOT met", rssOn <= 1.05 * rssOff ? "met" : "NOT met",
                turnedAway == 0 && percentile(visitNs, 100) < 1000 ? "met" : "NOT met");
    main.closeBoard();
    return 0;
}
