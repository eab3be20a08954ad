// The reader waiting for lines: its CPU with nothing arriving, the delay of one line,
// and how soon it reads again after its link was taken away and put back.

#include "serial_stream.h"

#include "core/settings.h"
#include "serial/pseudoterminal.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace Ordavex::SerialBench {

void idle()
{
    const int seconds = 10;
    PseudoTerminal pty;
    const auto overTenSeconds = [seconds] {
        const double before = processCpuMs();
        QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        return processCpuMs() - before;
    };
    const double anchor = overTenSeconds();
    SerialLink link;
    link.open(pty.slavePath(), Settings());
    auto counters = std::make_shared<ReceiveCounters>();
    Sink sink(counters);
    sink.attach(link.startReader(counters));
    const double withReader = overTenSeconds();
    link.close();
    const double readerShare = (withReader - anchor) / (seconds * 1000.0) * 100.0;
    std::printf("idle: %d s, process CPU without a reader %.1f ms, with an open reader %.1f ms\n", seconds, anchor,
                withReader);
    std::printf("  the reader: %.3f %% of a core (target < 0.5 %%); whole process %.3f %%\n", readerShare,
                withReader / (seconds * 1000.0) * 100.0);
}

void latency()
{
    const int count = 1000;
    const auto pause = std::chrono::milliseconds(2);
    PseudoTerminal pty;

    // Anchor: a read(2) blocked on the slave.
    std::vector<double> raw;
    {
        const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        std::atomic<qint64> sent{0};
        std::thread writer([&] {
            for (int i = 0; i < count; ++i) {
                const QByteArray r = record(i);
                writeAll(pty.masterFd(), r.first(r.size() - 1));
                std::this_thread::sleep_for(pause);
                sent = nowNs();
                writeAll(pty.masterFd(), r.last(1));
                std::this_thread::sleep_for(pause);
            }
        });
        char buffer[256];
        for (int i = 0; i < count;) {
            // Never hangs on a line the writer has given up on.
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0)
                break;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            const int ends = int(std::count(buffer, buffer + n, '\n'));
            if (ends > 0) {
                raw.push_back(double(nowNs() - sent.load()) / 1e6);
                i += ends;
            }
        }
        writer.join();
        ::close(fd);
    }

    // The reader: from the line's last byte to the line on the main thread.
    std::vector<double> reader;
    {
        SerialLink link;
        link.open(pty.slavePath(), Settings());
        auto counters = std::make_shared<ReceiveCounters>();
        Stream sentStream;
        for (int i = 0; i < count; ++i)
            sentStream.bytes += record(i);
        Sink sink(counters, &sentStream);
        sink.expectedLines = count;
        sink.arrivals.assign(count, 0);
        sink.attach(link.startReader(counters));
        std::vector<std::atomic<qint64>> sent(count);
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            for (int i = 0; i < count; ++i) {
                const QByteArray r = record(i);
                writeAll(pty.masterFd(), r.first(r.size() - 3));
                std::this_thread::sleep_for(pause);
                sent[size_t(i)] = nowNs();
                // ETX ends the line.
                writeAll(pty.masterFd(), r.last(3));
                std::this_thread::sleep_for(pause);
            }
        });
        QTimer::singleShot(60000, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        writer.join();
        link.close();
        for (int i = 0; i < count; ++i) {
            if (sink.arrivals[size_t(i)] > 0)
                reader.push_back(double(sink.arrivals[size_t(i)] - sent[size_t(i)].load()) / 1e6);
        }
        if (int(reader.size()) != count || !sink.inOrder)
            std::printf("  LOST: %zu of %d lines arrived%s\n", reader.size(), count, sink.inOrder ? "" : ", not as sent");
    }
    const Latencies a = summarize(raw), r = summarize(reader);
    std::printf("latency: %d lines, last byte written to line received\n", count);
    std::printf("  raw read: median %.3f ms, worst %.3f ms\n", a.median, a.worst);
    std::printf("  reader:   median %.3f ms, worst %.3f ms (target median < 1 ms); median reader/raw = %.1fx\n",
                r.median, r.worst, a.median > 0 ? r.median / a.median : 0.0);
}

void reconnect()
{
    const int runs = 10;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyTM"));
    const auto plugIn = [&link](PseudoTerminal &pty) {
        QFile::remove(link);
        return QFile::link(pty.slavePath(), link);
    };
    auto first = std::make_unique<PseudoTerminal>();
    plugIn(*first);
    SerialLink serial;
    if (!serial.open(link, Settings()).opened) {
        std::printf("reconnect: FAILED to open %s\n", qPrintable(link));
        return;
    }
    auto counters = std::make_shared<ReceiveCounters>();
    Sink sink(counters);
    TMyThread *reader = serial.startReader(counters);
    sink.attach(reader);
    std::atomic<int> lost{0}, back{0};
    QObject::connect(reader, &TMyThread::portLost, reader, [&lost] { ++lost; }, Qt::DirectConnection);
    QObject::connect(reader, &TMyThread::portBack, reader, [&back] { ++back; }, Qt::DirectConnection);

    std::unique_ptr<PseudoTerminal> current = std::move(first);
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        // Pulled out: the terminal and the link go.
        current.reset();
        QFile::remove(link);
        if (!waitFor([&] { return lost.load() == run + 1; }, 3000))
            break;
        // Put back at a random moment of the reader's second between tries.
        std::this_thread::sleep_for(std::chrono::milliseconds(QRandomGenerator::global()->bounded(1000)));
        current = std::make_unique<PseudoTerminal>();
        const qint64 linesBefore = sink.lines;
        const qint64 since = nowNs();
        plugIn(*current);
        std::atomic<bool> stop{false};
        PseudoTerminal *pty = current.get();
        std::thread writer([&, pty] {
            for (int i = 0; !stop; ++i) {
                pty->write(record(int(linesBefore) + i));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const bool arrived = waitFor([&] { return sink.lines > linesBefore; }, 5000);
        const double ms = double(nowNs() - since) / 1e6;
        stop = true;
        writer.join();
        if (!arrived)
            break;
        times.push_back(ms);
        waitFor([&] { return back.load() == run + 1; }, 1000);
    }
    serial.close();
    const Latencies t = summarize(times);
    std::printf("reconnect: %zu of %d runs, link back to the first line on the main thread "
                "(tries every %d ms)\n", times.size(), runs, TMyThread::ReopenIntervalMs);
    std::printf("  median %.1f ms, worst %.1f ms\n", t.median, t.worst);
}

} // namespace Ordavex::SerialBench
