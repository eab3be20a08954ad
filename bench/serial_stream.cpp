// The stream of records, the clocks and the figures' summaries.

#include "serial_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <time.h>
#include <unistd.h>

namespace Ordavex::SerialBench {

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

double threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

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

Latencies summarize(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? Latencies{} : Latencies{v[v.size() / 2], v.back()};
}

} // namespace Ordavex::SerialBench
