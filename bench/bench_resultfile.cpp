// Saving and opening a heat of 500 lines, against doing the same work in plain POSIX
// calls, measured in one run so that the ratios hold on any machine. The save is an
// atomic, durable replace, so its baseline is one too: write a temporary file in the
// same folder, fdatasync, close, rename over the target. The plain write without
// fdatasync and the bare read are shown for scale.
#include "core/gridmodel.h"
#include "core/resultfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace Ordavex;

namespace {

constexpr int Iterations = 400;

struct Figures
{
    double ours = 0;    // medians, microseconds
    double plain = 0;
    std::vector<double> ratios;   // run by run, ours over plain
};

double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[size_t(q * double(values.size() - 1) + 0.5)];
}

// Runs the two alternately, so that a slow spell of the machine falls on both.
Figures Compare(const std::function<bool()> &ours, const std::function<bool()> &plain)
{
    std::vector<double> oursTimes, plainTimes;
    Figures figures;
    QElapsedTimer timer;
    for (int i = 0; i < Iterations + 20; ++i) {
        timer.start();
        const bool oursOk = ours();
        const qint64 oursTime = timer.nsecsElapsed();
        timer.start();
        const bool plainOk = plain();
        const qint64 plainTime = timer.nsecsElapsed();
        if (!oursOk || !plainOk) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        if (i >= 20) {   // warm-up
            oursTimes.push_back(double(oursTime) / 1000.0);
            plainTimes.push_back(double(plainTime) / 1000.0);
            figures.ratios.push_back(double(oursTime) / double(plainTime));
        }
    }
    figures.ours = Quantile(oursTimes, 0.5);
    figures.plain = Quantile(plainTimes, 0.5);
    return figures;
}

void Report(const char *what, const Figures &figures)
{
    double load = 0;
    getloadavg(&load, 1);
    std::printf("%-34s %9.1f us   plain %9.1f us   ratio %5.2f (run by run p10 %.2f, median %.2f, p90 %.2f; load %.2f)\n",
                what, figures.ours, figures.plain, figures.ours / figures.plain, Quantile(figures.ratios, 0.1),
                Quantile(figures.ratios, 0.5), Quantile(figures.ratios, 0.9), load);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    ResultGrid grid;
    grid.setGridRowCount(MaxResultLines);
    grid.setCell(0, 0, QStringLiteral("順位"));
    grid.setCell(1, 0, QStringLiteral("ﾚｰﾝ"));
    grid.setCell(2, 0, QStringLiteral("ﾀｲﾑ"));
    for (int row = 1; row < MaxResultLines; ++row) {
        grid.setCell(0, row, QString::number(row));
        grid.setCell(1, row, QString::number(row + 100));
        grid.setCell(2, row, QString::number(1000 + row * 37));
    }
    const QByteArray bytes = ResultFileBytes(grid, true, true);

    const QString ourPath = dir.filePath(QStringLiteral("R1w_112.csv"));
    const QString plainPath = dir.filePath(QStringLiteral("plain.csv"));

    const auto plainWrite = [&] {
        QFile file(plainPath);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    };
    const auto plainWriteSynced = [&] {
        QFile file(plainPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
            || !file.flush())
            return false;
        return fdatasync(file.handle()) == 0;
    };
    const QByteArray durablePath = dir.filePath(QStringLiteral("durable.csv")).toLocal8Bit();
    const QByteArray durableTemp = dir.filePath(QStringLiteral("durable.tmp")).toLocal8Bit();
    const auto writeSyncRename = [&] {
        const int fd = ::open(durableTemp.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size()
            && fdatasync(fd) == 0;
        return ::close(fd) == 0 && written && ::rename(durableTemp.constData(), durablePath.constData()) == 0;
    };
    const auto save = [&] { return WriteResultFile(ourPath, grid, true, true); };
    const auto saveBytes = [&] { return WriteResultBytes(ourPath, bytes); };
    const auto format = [&] { return ResultFileBytes(grid, true, true).size() == bytes.size(); };

    ResultGrid opened;
    const auto open = [&] { return ReadResultFile(ourPath, opened).ok && opened.gridRowCount() == MaxResultLines; };
    const auto plainRead = [&] {
        QFile file(plainPath);
        return file.open(QIODevice::ReadOnly) && file.readAll().size() == bytes.size();
    };

    std::printf("heat of 500 lines, %lld bytes, median of %d runs\n", qlonglong(bytes.size()), Iterations);
    std::printf("save against write temporary + fdatasync + close + rename (target <= 1.1):\n");
    Report("save (WriteResultFile)", Compare(save, writeSyncRename));
    Report("  file part (WriteResultBytes)", Compare(saveBytes, writeSyncRename));
    std::printf("for scale, against a plain write (no fdatasync, no rename):\n");
    Report("  formatting (ResultFileBytes)", Compare(format, plainWrite));
    Report("  file part vs write + fdatasync", Compare(saveBytes, plainWriteSynced));
    Report("open (ReadResultFile)", Compare(open, plainRead));
    return 0;
}
