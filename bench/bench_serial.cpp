// The serial link's reader on a pseudo-terminal, each figure against an anchor measured
// in the same run:
//   throughput  20 MB of framed records as fast as the terminal takes them: the reader
//               (framing, and every line handed to a receiver on the main thread's
//               event loop that resets the line count as the monitor's clear does)
//               against a plain read(2) loop on the same terminal; no byte may be lost.
//               CPU per MiB (the process's, the writer included in both): the reader
//               against the raw read waiting and reading as the reader does.
//   framing     the framer alone on the stream in memory, against memchr over it.
//   idle        CPU of the process over 10 s with a reader open and nothing arriving,
//               against the same 10 s without a reader.
//               The same reader with its capture on, against it with the capture off.
//   latency     from the last byte of a line written to the line on the main thread,
//               against a read(2) blocked on the same terminal.
//   reconnect   a terminal behind a link taken away and put back: from the link being
//               back to the first line on the main thread, over a few runs.
//
//   bench_serial [throughput|framing|idle|latency|reconnect]...   default: all five

#include "core/lineframer.h"
#include "core/settings.h"
#include "serial/pseudoterminal.h"
#include "serial/seriallink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

using namespace Ordavex;

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

QByteArray record(int i)
{
    return "\x02R," + QByteArray::number(i % 100) + ",3," + QByteArray::number(i) + ",12.34\x03\r\n";
}

struct Stream
{
    QByteArray bytes;
    qint64 lines = 0;
    qint64 textBytes = 0;
};

// Receives as the monitor does: on the main thread, queued; clears the line count.
// With the stream that was sent, each line is checked against it, byte for byte and in
// order, where it arrives (a compare of the line's bytes: the check costs little beside
// what it checks).
class Sink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sink)

public:
    explicit Sink(std::shared_ptr<ReceiveCounters> counters, const Stream *sent = nullptr)
        : m_counters(std::move(counters))
        , m_sent(sent)
    {
    }

    qint64 lines = 0;
    qint64 bytes = 0;
    qint64 deliveries = 0;
    qint64 expectedLines = -1;
    bool inOrder = true;
    std::vector<qint64> arrivals;   // by line number, for the latency run

    void attach(TMyThread *reader)
    {
        connect(reader, &TMyThread::linesReceived, this, &Sink::onLines, Qt::QueuedConnection);
    }

private:
    void onLines(const QList<QByteArray> &received)
    {
        const qint64 now = nowNs();
        ++deliveries;
        // Lets the lines go as the monitor's clear does: the line limit counts those waiting.
        m_counters->line.store(0);
        m_counters->waiting.fetch_sub(qint32(received.size()));
        for (const QByteArray &line : received) {
            if (m_sent)
                inOrder = inOrder && matchesNext(line);
            if (lines < qint64(arrivals.size()))
                arrivals[size_t(lines)] = now;
            ++lines;
            bytes += line.size();
        }
        if (lines == expectedLines)
            QCoreApplication::quit();
    }

    // Every record is sent as STX, its text, ETX, CR, LF.
    bool matchesNext(const QByteArray &line)
    {
        const qsizetype framed = line.size() + 4;
        const bool same = m_at + framed <= m_sent->bytes.size() && m_sent->bytes[m_at] == '\x02'
                          && std::memcmp(m_sent->bytes.constData() + m_at + 1, line.constData(), size_t(line.size())) == 0
                          && std::memcmp(m_sent->bytes.constData() + m_at + 1 + line.size(), "\x03\r\n", 3) == 0;
        m_at += framed;
        return same;
    }

    std::shared_ptr<ReceiveCounters> m_counters;
    const Stream *const m_sent;
    qsizetype m_at = 0;     // where the next line starts in what was sent
};

Stream makeStream(qint64 size)
{
    Stream s;
    s.bytes.reserve(size + 64);
    while (s.bytes.size() < size) {
        const QByteArray r = record(int(s.lines));
        s.bytes += r;
        s.textBytes += r.size() - 4;
        ++s.lines;
    }
    return s;
}

void writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(std::min<qsizetype>(left, 64 * 1024)));
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

// Seconds for a plain read loop on the slave to take the whole stream, waiting for input
// as the reader does (poll with its wait, then read what is there into one reused
// buffer). cpuMs: the process's CPU time over the run, the writer included as in the
// reader's run.
double rawThroughput(PseudoTerminal &pty, const Stream &stream, double *cpuMs)
{
    const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = processCpuMs();
    std::thread writer([&] { writeAll(pty.masterFd(), stream.bytes); });
    std::vector<char> buffer(32 * 1024);
    qint64 got = 0;
    while (got < stream.bytes.size()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, TMyThread::WaitMs) < 0)
            break;
        if (!(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        got += n;
    }
    writer.join();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    *cpuMs = processCpuMs() - cpuBefore;
    ::close(fd);
    return got == stream.bytes.size() ? seconds : -1;
}

// Seconds for the reader to hand every line to the main thread; -1 when anything is lost.
// With a capture folder, the capture is checked to hold the whole stream.
// cpuMs: the process's CPU time over the run, which the other users of the machine disturb
// less than the wall time.
double readerThroughput(PseudoTerminal &pty, const Stream &stream, double *cpuMs, const QString &captureFolder = {},
                        qint64 *deliveries = nullptr)
{
    SerialLink link;
    if (!link.open(pty.slavePath(), Settings()).opened)
        return -1;
    auto counters = std::make_shared<ReceiveCounters>();
    Sink sink(counters, &stream);
    sink.expectedLines = stream.lines;
    TMyThread *reader = link.startReader(counters, {captureFolder, QDateTime::currentDateTime()});
    sink.attach(reader);
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = processCpuMs();
    std::thread writer([&] { writeAll(pty.masterFd(), stream.bytes); });
    QTimer::singleShot(120000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    writer.join();
    *cpuMs = processCpuMs() - cpuBefore;
    link.close();
    bool whole = sink.lines == stream.lines && sink.bytes == stream.textBytes && sink.inOrder
                 && counters->receivedBytes.load() == stream.bytes.size();
    if (!captureFolder.isEmpty()) {
        const QStringList captures = QDir(captureFolder).entryList({QStringLiteral("*.cap")}, QDir::Files);
        qint64 captured = 0;
        for (const QString &name : captures) {
            QFile file(QDir(captureFolder).filePath(name));
            captured += file.size();
            file.remove();
            QFile::remove(CaptureIndexPath(file.fileName()));
        }
        if (captured != stream.bytes.size()) {
            std::printf("  CAPTURE: %lld of %lld bytes\n", captured, qint64(stream.bytes.size()));
            whole = false;
        }
    }
    if (!whole)
        std::printf("  LOST: %lld of %lld lines, %lld of %lld text bytes, gb=%d\n", sink.lines, stream.lines,
                    sink.bytes, stream.textBytes, counters->receivedBytes.load());
    if (deliveries)
        *deliveries = sink.deliveries;
    return whole ? seconds : -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The value below which the given share of the rounds lies (nearest rank).
double percentile(std::vector<double> v, double share)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return 0;
    const size_t rank = size_t(std::ceil(share * double(v.size())));
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

// The machine's load over the last minute, printed beside the figures it disturbs.
double loadAverage()
{
    double load = -1;
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    return load;
}

void throughput()
{
    const Stream stream = makeStream(20 * 1024 * 1024);
    const int rounds = 9;
    std::printf("throughput: %.1f MB, %lld lines, %d rounds each, alternating; load %.2f\n",
                double(stream.bytes.size()) / 1048576.0, stream.lines, rounds, loadAverage());
    QTemporaryDir captureDir;
    std::vector<double> raw, reader, captured, rawCpu, readerCpu, capturedCpu, linesPerDelivery;
    for (int round = 0; round < rounds; ++round) {
        PseudoTerminal pty;
        double cpu = 0;
        raw.push_back(rawThroughput(pty, stream, &cpu));
        rawCpu.push_back(cpu);
        qint64 deliveries = 0;
        reader.push_back(readerThroughput(pty, stream, &cpu, {}, &deliveries));
        readerCpu.push_back(cpu);
        linesPerDelivery.push_back(double(stream.lines) / double(std::max<qint64>(deliveries, 1)));
        captured.push_back(readerThroughput(pty, stream, &cpu, captureDir.path()));
        capturedCpu.push_back(cpu);
        std::printf("  round %d: raw read %.3f s, reader %.3f s, reader with capture %.3f s; reader/raw %.2fx, "
                    "capture on/off %.2fx\n",
                    round + 1, raw.back(), reader.back(), captured.back(), raw.back() / reader.back(),
                    reader.back() / captured.back());
    }
    // A round that lost bytes (the receiver fell behind and the held bytes went past their
    // bound) is reported and left out of the figures.
    int kept = 0;
    for (size_t k = 0; k < raw.size(); ++k) {
        if (raw[k] < 0 || reader[k] < 0 || captured[k] < 0)
            continue;
        raw[size_t(kept)] = raw[k];
        reader[size_t(kept)] = reader[k];
        captured[size_t(kept)] = captured[k];
        rawCpu[size_t(kept)] = rawCpu[k];
        readerCpu[size_t(kept)] = readerCpu[k];
        capturedCpu[size_t(kept)] = capturedCpu[k];
        ++kept;
    }
    for (std::vector<double> *v : {&raw, &reader, &captured, &rawCpu, &readerCpu, &capturedCpu})
        v->resize(size_t(kept));
    if (kept == 0) {
        std::printf("  FAILED: bytes lost in every round\n");
        return;
    }
    if (kept < rounds)
        std::printf("  FAILED: bytes lost in %d of %d rounds, left out below\n", rounds - kept, rounds);
    const double mb = double(stream.bytes.size()) / 1048576.0;
    const double r = median(raw), s = median(reader), c = median(captured);
    std::printf("  median: raw read %.1f MB/s, reader %.1f MB/s; reader/raw = %.2fx (target >= 0.9x)\n",
                mb / r, mb / s, r / s);
    std::printf("  median: reader with capture %.1f MB/s; capture on/off = %.2fx (target >= 0.95x), "
                "capture complete\n", mb / c, s / c);
    // CPU per MiB: the line is slow, so what the reader costs the machine is what counts.
    std::vector<double> readerRatio, captureRatio;
    for (size_t k = 0; k < raw.size(); ++k) {
        readerRatio.push_back(readerCpu[k] / rawCpu[k]);
        captureRatio.push_back(capturedCpu[k] / readerCpu[k]);
    }
    std::printf("  median lines per delivery to the main thread: %.0f\n", median(linesPerDelivery));
    std::printf("  median process CPU per MiB: raw read %.2f ms, reader %.2f ms, reader with capture %.2f ms\n",
                median(rawCpu) / mb, median(readerCpu) / mb, median(capturedCpu) / mb);
    std::printf("  CPU reader/raw = %.2fx (p10 %.2f, p90 %.2f; target <= 1.5x); capture on/off = %.2fx "
                "(p10 %.2f, p90 %.2f; target <= 1.15x); load %.2f\n",
                median(readerRatio), percentile(readerRatio, 0.1), percentile(readerRatio, 0.9),
                median(captureRatio), percentile(captureRatio, 0.1), percentile(captureRatio, 0.9), loadAverage());
}

double threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// The framer alone, on the stream in memory in pieces of a read's size, against memchr
// finding every line end of the same bytes.
void framing()
{
    const Stream stream = makeStream(20 * 1024 * 1024);
    const qsizetype piece = 4096;
    const int rounds = 7;
    std::vector<double> framed, scanned;
    qint64 lines = 0, ends = 0;
    for (int round = 0; round < rounds; ++round) {
        double before = threadCpuNs();
        LineFramer framer;
        lines = 0;
        for (qsizetype at = 0; at < stream.bytes.size(); at += piece) {
            const FramedLines f = framer.feed(QByteArrayView(stream.bytes).sliced(at, std::min(piece, stream.bytes.size() - at)), 0);
            lines += f.lines.size();
        }
        framed.push_back(threadCpuNs() - before);
        before = threadCpuNs();
        ends = 0;
        const char *p = stream.bytes.constData();
        const char *const end = p + stream.bytes.size();
        while (const void *hit = std::memchr(p, '\n', size_t(end - p))) {
            ++ends;
            p = static_cast<const char *>(hit) + 1;
        }
        scanned.push_back(threadCpuNs() - before);
    }
    const double mb = double(stream.bytes.size()) / 1048576.0;
    std::vector<double> ratio;
    for (size_t k = 0; k < framed.size(); ++k)
        ratio.push_back(framed[k] / scanned[k]);
    std::printf("framing: %.1f MB in memory, pieces of %lld bytes, %d rounds; %lld lines (%lld line ends)\n", mb,
                qint64(piece), rounds, lines, ends);
    std::printf("  median thread CPU per MiB: framer %.3f ms, memchr %.3f ms; framer/memchr = %.1fx (p10 %.1f, p90 %.1f)"
                "; load %.2f\n",
                median(framed) / 1e6 / mb, median(scanned) / 1e6 / mb, median(ratio), percentile(ratio, 0.1),
                percentile(ratio, 0.9), loadAverage());
}

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

struct Latencies
{
    double median = 0;
    double worst = 0;
};

Latencies summarize(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? Latencies{} : Latencies{v[v.size() / 2], v.back()};
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

// Waits on the main thread's events until done() or the time-out; false on the time-out.
template<typename Done>
bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList parts = QCoreApplication::arguments().mid(1);
    if (parts.isEmpty())
        parts = {QStringLiteral("throughput"), QStringLiteral("framing"), QStringLiteral("idle"), QStringLiteral("latency"),
                 QStringLiteral("reconnect")};
    for (const QString &part : std::as_const(parts)) {
        if (part == QLatin1String("throughput"))
            throughput();
        else if (part == QLatin1String("framing"))
            framing();
        else if (part == QLatin1String("idle"))
            idle();
        else if (part == QLatin1String("latency"))
            latency();
        else if (part == QLatin1String("reconnect"))
            reconnect();
        else {
            std::fprintf(stderr, "usage: bench_serial [throughput|framing|idle|latency|reconnect]...\n");
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}

#include "bench_serial.moc"
