// Reading a settings file of 1 MiB, the largest the program reads, in each shape a
// hand-edited or damaged file can take (many sections, many keys, one long line, blank
// lines), against reading the same bytes into memory. Both alternate in one run, so the
// ratio holds on any machine. The last column is the time for 1 MiB against the time for
// a quarter of it in the same shape: 4 where reading is linear (up to about 10 for the
// shapes of the most lines, whose index no longer fits the processor's caches at 1 MiB),
// 16 where it is quadratic.
//
//   bench_settings [runs]       default 15, after 2 warm-up runs

#include "core/settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace Ordavex;

namespace {

// Lines made by line(i), repeated until the text is exactly size bytes.
QByteArray Fill(qsizetype size, const QByteArray &head, const std::function<QByteArray(int)> &line)
{
    QByteArray bytes = head;
    bytes.reserve(size + 256);
    for (int i = 0; bytes.size() < size; ++i)
        bytes += line(i);
    bytes.truncate(size);
    return bytes;
}

struct Shape
{
    const char *name;
    QByteArray bytes;
};

std::vector<Shape> Shapes(qsizetype size)
{
    const QByteArray params = "[WorkFiles]\r\nexFilePath=/meet/work\r\n[Params]\r\nMaxrunner=9\r\n";
    const auto number = [](int i) { return QByteArray::number(i); };
    return {
        {"sections, each named anew", Fill(size, {}, [&](int i) { return "[Section" + number(i) + "]\r\n"; })},
        {"sections, one name repeated", Fill(size, {}, [](int) { return QByteArray("[Params]\r\n"); })},
        {"sections, each with a key", Fill(size, {}, [&](int i) { return "[S" + number(i) + "]\r\nMaxrunner=9\r\n"; })},
        {"keys, each named anew", Fill(size, params, [&](int i) { return "Key" + number(i) + "=1\r\n"; })},
        {"keys, one key repeated", Fill(size, params, [](int) { return QByteArray("Maxrunner=12\r\n"); })},
        {"one long value", Fill(size, params + "exLogFilePath=", [](int) { return QByteArray(4096, 'x'); })},
        {"one long line of brackets", Fill(size, params, [](int) { return QByteArray("[[[[=]]]]"); })},
        {"blank lines", Fill(size, params, [](int) { return QByteArray("\r\n"); })},
        {"bare line feeds", Fill(size, params, [](int) { return QByteArray("\n"); })},
        {"comment lines", Fill(size, params, [&](int i) { return "; note " + number(i) + "\r\n"; })},
    };
}

double Median(std::vector<qint64> &nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return double(nanoseconds[nanoseconds.size() / 2]) / 1e6;
}

struct Times
{
    double ours = 0;
    double plain = 0;
};

// Reading through the settings reader and reading the bytes, alternately, so that a slow
// spell of the machine falls on both.
bool Measure(const QString &path, const QByteArray &bytes, int runs, Times *times)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    std::vector<qint64> ours, plain;
    QElapsedTimer timer;
    for (int i = 0; i < runs + 2; ++i) {
        timer.start();
        const Settings read = ReadSettings(path, QStringLiteral("/meet/work"));
        const qint64 oursTime = timer.nsecsElapsed();
        timer.start();
        QFile plainFile(path);
        const bool plainOk = plainFile.open(QIODevice::ReadOnly) && plainFile.readAll().size() == bytes.size();
        const qint64 plainTime = timer.nsecsElapsed();
        if (read.readFailed || !plainOk)
            return false;
        if (i >= 2) {   // warm-up
            ours.push_back(oursTime);
            plain.push_back(plainTime);
        }
    }
    times->ours = Median(ours);
    times->plain = Median(plain);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString path = dir.filePath(QStringLiteral("ORDAVEX.INI"));

    std::printf("settings file of %lld bytes, median of %d runs, ms\n", qlonglong(MaxSettingsFileSize), runs);
    std::printf("%-30s %10s %10s %8s %8s\n", "shape", "read", "bytes", "ratio", "1/4 size");
    const std::vector<Shape> full = Shapes(MaxSettingsFileSize);
    const std::vector<Shape> quarter = Shapes(MaxSettingsFileSize / 4);
    for (std::size_t i = 0; i < full.size(); ++i) {
        Times whole, part;
        if (!Measure(path, full[i].bytes, runs, &whole) || !Measure(path, quarter[i].bytes, runs, &part)) {
            std::fprintf(stderr, "%s: a read failed\n", full[i].name);
            return 1;
        }
        std::printf("%-30s %10.2f %10.3f %8.1f %8.1f\n", full[i].name, whole.ours, whole.plain,
                    whole.ours / whole.plain, whole.ours / part.ours);
    }
    return 0;
}
