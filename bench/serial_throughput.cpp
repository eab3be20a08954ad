// The stream as fast as the terminal takes it: the reader against a plain read loop,
// with and without its capture; and the framer alone against memchr.

#include "serial_stream.h"

#include "core/lineframer.h"
#include "core/settings.h"
#include "serial/pseudoterminal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace Ordavex::SerialBench {

namespace {

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

} // namespace

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

} // namespace Ordavex::SerialBench
