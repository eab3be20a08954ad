// The main window and the communication monitor while the timing machine's port is
// flooded, against the same windows with the port idle, in one run:
//   stall        the longest a probe event posted every 2 ms from another thread waited
//                for the window thread (the worst stall of its event loop);
//   key-to-paint keys posted to the grid one every 20 ms, from the key's posting to the
//                grid's next paint: the 99th percentile.
// The port is a pseudo-terminal written as fast as it takes, with valid records, with
// random bytes and with lines of 515 bytes; the monitor is cleared every second as
// the official would, so that lines keep coming past the line limit.
//
//   bench_flood [seconds per kind]     default 4
//
// Run with QT_QPA_PLATFORM=offscreen when there is no display.

#include "windowprobe.h"
#include "core/paths.h"
#include "core/settings.h"
#include "serial/pseudoterminal.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

using namespace Ordavex;
using namespace Ordavex::Bench;

namespace {

QByteArray record(int i)
{
    return "\x02R," + QByteArray::number(i % 12 + 1) + "," + QByteArray::number(i % 9 + 1) + ","
           + QByteArray::number(1000 + i) + ",12.34\x03\r\n";
}

QByteArray floodBlock(const char *kind)
{
    QByteArray block;
    if (qstrcmp(kind, "records") == 0) {
        for (int i = 0; block.size() < 64 * 1024; ++i)
            block += record(i);
    } else if (qstrcmp(kind, "random") == 0) {
        block.resize(64 * 1024);
        QRandomGenerator gen(17);
        for (char &c : block)
            c = char(gen.bounded(256));
    } else if (qstrcmp(kind, "long") == 0) {
        while (block.size() < 64 * 1024)
            block += QByteArray(515, 'A') + "\r\n";
    }
    return block;
}

struct Figures
{
    double stallMs;
    double p99Ms;
    qint64 lines;
};

Figures run(TForm1 &main, TForm3 &monitor, PseudoTerminal &machine, const char *kind, int seconds)
{
    WindowProbe watcher;
    QWidget *grid = QApplication::focusWidget();
    QWidget *painted = grid;
    if (auto *area = qobject_cast<QAbstractScrollArea *>(grid))
        painted = area->viewport();
    painted->installEventFilter(&watcher);

    const QByteArray block = floodBlock(kind);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        if (block.isEmpty())
            return;
        while (!stop) {
            pollfd fd{machine.masterFd(), POLLOUT, 0};
            if (::poll(&fd, 1, 50) > 0)
                [[maybe_unused]] const auto n = ::write(machine.masterFd(), block.constData(), size_t(block.size()));
        }
    });
    std::thread prober([&] {
        while (!stop) {
            QCoreApplication::postEvent(&watcher, new ProbeEvent(nowNs()));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    qint64 lines = 0;
    QElapsedTimer span;
    span.start();
    qint64 nextKey = 100, nextClear = 1000;
    int keys = 0;
    while (span.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (span.elapsed() >= nextKey && watcher.keyPostedNs < 0) {
            nextKey = span.elapsed() + 20;
            // Digits and Backspace in turn: the cell's text changes, so the grid repaints.
            const int key = keys++ % 2 ? Qt::Key_Backspace : Qt::Key_1;
            watcher.keyPostedNs = nowNs();
            QCoreApplication::postEvent(grid, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier,
                                                            key == Qt::Key_1 ? QStringLiteral("1") : QString()));
            QCoreApplication::postEvent(grid, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
        }
        if (span.elapsed() >= nextClear) {
            nextClear += 1000;
            lines += monitor.receivedLines().size();
            monitor.ClearMonitor();
        }
    }
    stop = true;
    writer.join();
    prober.join();
    QCoreApplication::processEvents();
    lines += monitor.receivedLines().size();
    monitor.ClearMonitor();
    painted->removeEventFilter(&watcher);
    (void)main;

    std::vector<qint64> &times = watcher.keyToPaint;
    std::sort(times.begin(), times.end());
    const double p99 = times.empty() ? -1.0 : double(times[std::min(times.size() - 1, times.size() * 99 / 100)]) / 1e6;
    return {double(watcher.worstNs) / 1e6, p99, lines};
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;

    QTemporaryDir folder, logs;
    PseudoTerminal machine;
    if (!machine.isValid()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    TForm1 main(Paths::resolveAppPaths(Paths::join(folder.path(), QStringLiteral("ordavex")), true, {}, {}));
    TForm3 monitor;
    main.setMonitor(&monitor);
    main.setLogFolder(logs.path());
    main.show();
    main.settings().ports[0] = machine.slavePath();
    main.settings().cCheckAutoLog = false;
    main.RS232COpen->trigger();
    main.activateWindow();
    main.focusInputGrid();
    QCoreApplication::processEvents();
    if (!monitor.isVisible() || !QApplication::focusWidget()) {
        std::fprintf(stderr, "the monitor did not open\n");
        return 1;
    }

    const Figures idle = run(main, monitor, machine, "idle", seconds);
    std::printf("load %.2f; %d s each; idle: worst stall %.1f ms, key-to-paint p99 %.1f ms\n", LoadAverage(), seconds,
                idle.stallMs, idle.p99Ms);
    for (const char *kind : {"records", "random", "long"}) {
        const Figures flood = run(main, monitor, machine, kind, seconds);
        std::printf("%-8s worst stall %7.1f ms (%5.1fx idle)  key-to-paint p99 %6.1f ms (%5.1fx idle)  %lld lines\n",
                    kind, flood.stallMs, flood.stallMs / std::max(idle.stallMs, 0.1), flood.p99Ms,
                    flood.p99Ms / std::max(idle.p99Ms, 0.1), static_cast<long long>(flood.lines));
    }
    std::printf("load %.2f after\n", LoadAverage());
    monitor.close();
    return 0;
}
