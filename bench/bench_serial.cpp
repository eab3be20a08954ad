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
//   bench_serial [throughput|framing|idle|latency|reconnect]...   default: all five//
// What is sent and received is in serial_stream.cpp; the sections are in
// serial_throughput.cpp (throughput, framing) and serial_waiting.cpp (idle, latency,
// reconnect).

#include "serial_stream.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace Ordavex::SerialBench;

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
