// The grid while the live results board has 200 clients connected, against the same
// window with the board on and no client, in one run, the two taken in turn:
//   key-to-paint keys posted to the grid one every 20 ms, from the key's posting to the
//                grid's next paint: median and 99th percentile;
//   stall        the longest a probe event posted every 2 ms from another thread waited
//                for the window thread (the worst stall of its event loop).
//   key-to-client from each key to the first update that reaches a client after it:
//                median and worst, the window's and the server's coalescing included.
// Every key changes the heat, so the board hands the heat on and pushes it to every
// client at the rate it does in use. The clients are WebSocket connections held by a
// second process (this program with --clients), which reads every update, so that
// their work is not on the measured window thread.
//
//   bench_boardclients [seconds per turn] [turns] [clients]     default 3, 4, 200
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
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int turns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    const int count = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;

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
    for (int turn = 0; turn < turns; ++turn) {
        typeFor(grid, seconds, none);

        QProcess held;
        held.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        held.start(QCoreApplication::applicationFilePath(),
                   {QStringLiteral("--clients"), QStringLiteral("ws://127.0.0.1:%1/ws").arg(port),
                    QString::number(count)});
        QElapsedTimer connecting;
        connecting.start();
        while (!held.canReadLine() && connecting.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const QByteArray said = held.readLine().trimmed();
        if (said != "connected " + QByteArray::number(count)) {
            std::fprintf(stderr, "the clients did not connect: %s\n", said.constData());
            return 1;
        }
        std::vector<qint64> keyTimes;
        typeFor(grid, seconds, clients, &keyTimes);
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
    std::printf("board with %d clients against none (%d turns of %d s each; load %.2f before, %.2f after)\n", count,
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
    std::printf("  target key-to-paint p99 <= 1.05x: %s\n", p99Clients <= 1.05 * p99None ? "met" : "NOT met");
    main.closeBoard();
    return 0;
}
