#pragma once

// What bench_serial sends and how it receives it, shared by its measured sections.

#include "serial/seriallink.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace Ordavex::SerialBench {

using Clock = std::chrono::steady_clock;

qint64 nowNs();
double processCpuMs();
double threadCpuNs();

QByteArray record(int i);

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

Stream makeStream(qint64 size);
void writeAll(int fd, const QByteArray &bytes);

double median(std::vector<double> v);
// The value below which the given share of the rounds lies (nearest rank).
double percentile(std::vector<double> v, double share);
// The machine's load over the last minute, printed beside the figures it disturbs.
double loadAverage();

struct Latencies
{
    double median = 0;
    double worst = 0;
};

Latencies summarize(std::vector<double> v);

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

// The measured sections: serial_throughput.cpp
void throughput();
void framing();
// serial_waiting.cpp
void idle();
void latency();
void reconnect();

} // namespace Ordavex::SerialBench
