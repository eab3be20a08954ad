// Opening the largest heat (the headings and 500 competitors) through the real main
// window, shown, with its grid on screen, against an anchor in plain C++ doing the
// least the open must do: read(2) the file, decode it from code page 932 with iconv,
// and split it into cell strings. Both alternate in one run, so the ratio holds on
// any machine.
//
//   bench_open [runs]       default 200, after 20 warm-up runs
//
// Run with QT_QPA_PLATFORM=offscreen when there is no display.

#include "core/gridmodel.h"
#include "core/paths.h"
#include "core/resultfile.h"
#include "ui/dialogs.h"
#include "ui/guard.h"
#include "ui/mainform.h"
#include "ui/sankaspin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

using namespace Ordavex;

namespace {

class OpenDialogs final : public Dialogs
{
public:
    QString path;
    int messages = 0;
    void message(QWidget *, const QString &) override { ++messages; }
    bool confirm(QWidget *, const QString &) override { return false; }
    void error(QWidget *, const QString &) override { ++messages; }
    QString saveFileName(QWidget *, const FileRequest &) override { return {}; }
    QString openFileName(QWidget *, OpenDialogState &) override { return path; }
};

// read + decode + split, as plain as it gets.
size_t Anchor(const char *path, iconv_t codec)
{
    std::string bytes;
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, size_t(n));
    }
    ::close(fd);

    std::u16string text(bytes.size(), u'\0');
    char *in = bytes.data();
    size_t inLeft = bytes.size();
    char *out = reinterpret_cast<char *>(text.data());
    size_t outLeft = text.size() * sizeof(char16_t);
    iconv(codec, nullptr, nullptr, nullptr, nullptr);
    if (iconv(codec, &in, &inLeft, &out, &outLeft) == size_t(-1))
        return 0;
    text.resize(text.size() - outLeft / sizeof(char16_t));

    std::vector<std::u16string> cells;
    cells.reserve(2048);
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u',' || text[i] == u'\n') {
            cells.emplace_back(text, start, i - start);
            start = i + 1;
        }
    }
    return cells.size();
}

double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[size_t(q * double(values.size() - 1) + 0.5)];
}

double Median(const std::vector<qint64> &nanoseconds)
{
    std::vector<double> values(nanoseconds.begin(), nanoseconds.end());
    return Quantile(values, 0.5) / 1000.0;
}

} // namespace

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 200;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    ResultGrid heat;
    heat.setGridRowCount(ResultGrid::MaxRows);
    heat.setCell(0, 0, QStringLiteral("順位"));
    heat.setCell(1, 0, QStringLiteral("ﾚｰﾝ"));
    heat.setCell(2, 0, QStringLiteral("ﾀｲﾑ"));
    for (int row = 1; row < ResultGrid::MaxRows; ++row) {
        heat.setCell(0, row, QString::number(row));
        heat.setCell(1, row, QString::number(row + 100));
        heat.setCell(2, row, QString::number(1000 + row * 37));
    }
    const QString path = dir.filePath(QStringLiteral("R1w_112.csv"));
    if (!WriteResultFile(path, heat, true, true)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray nativePath = path.toLocal8Bit();

    OpenDialogs dialogs;
    dialogs.path = path;
    Dialogs::setInstance(&dialogs);
    const Paths::AppPaths paths =
        Paths::resolveAppPaths(Paths::join(dir.path(), QStringLiteral("ordavex")), true, {}, {});
    TForm1 window(paths);
    window.show();
    QApplication::processEvents();

    iconv_t codec = iconv_open("UTF-16LE", "CP932");
    if (codec == iconv_t(-1)) {
        std::perror("iconv_open CP932");
        return 1;
    }

    std::vector<qint64> windowTimes;
    std::vector<qint64> paintTimes;
    std::vector<qint64> anchorTimes;
    // The same read into a grid that no view shows: what the window adds on top of it is
    // the table view taking the new rows.
    std::vector<qint64> unviewedTimes;
    ResultGrid unviewed;
    std::vector<double> ratios;   // run by run, the window's over the anchor's
    QElapsedTimer timer;
    for (int i = 0; i < runs + 20; ++i) {
        // Each open starts from a short heat on screen, as after the previous save.
        window.SankaSpinNum->setValue(8);
        QApplication::processEvents();

        timer.start();
        window.AC_OpenFileExecute();
        const qint64 windowTime = timer.nsecsElapsed();
        // Then the repaint of what is on screen, shown apart: the anchor draws nothing.
        timer.start();
        QApplication::processEvents();
        const qint64 paintTime = timer.nsecsElapsed();

        timer.start();
        const size_t cells = Anchor(nativePath.constData(), codec);
        const qint64 anchorTime = timer.nsecsElapsed();

        unviewed.setGridRowCount(9);
        timer.start();
        const bool readUnviewed = ReadResultFile(path, unviewed).ok;
        const qint64 unviewedTime = timer.nsecsElapsed();
        if (!readUnviewed || unviewed.gridRowCount() != ResultGrid::MaxRows) {
            std::fprintf(stderr, "the read into a grid without a view failed\n");
            return 1;
        }

        if (window.grid()->gridRowCount() != ResultGrid::MaxRows || cells < size_t(3 * ResultGrid::MaxRows) || dialogs.messages != 0) {
            std::fprintf(stderr, "an open failed (rows %d, cells %zu, messages %d)\n", window.grid()->gridRowCount(),
                         cells, dialogs.messages);
            return 1;
        }
        if (i >= 20) {
            windowTimes.push_back(windowTime);
            paintTimes.push_back(paintTime);
            anchorTimes.push_back(anchorTime);
            unviewedTimes.push_back(unviewedTime);
            ratios.push_back(double(windowTime) / double(anchorTime));
        }
    }
    iconv_close(codec);
    Dialogs::setInstance(nullptr);

    const double ours = Median(windowTimes);
    const double anchor = Median(anchorTimes);
    std::printf("open of a %d-line heat through the shown window (AC_OpenFileExecute): %.1f us; anchor (read + iconv "
                "CP932 + split into cells): %.1f us; ratio %.2f (median of %d runs; target <= 2)\n",
                ResultGrid::MaxRows, ours, anchor, ours / anchor, runs);
    double load = 0;
    getloadavg(&load, 1);
    std::printf("  run by run: p10 %.2f, median %.2f, p90 %.2f; load %.2f\n", Quantile(ratios, 0.1),
                Quantile(ratios, 0.5), Quantile(ratios, 0.9), load);
    std::printf("  of which the read into the grid (ReadResultFile into a grid no view shows): %.1f us, ratio %.2f; "
                "the rest is the window's controls and the table view taking the rows\n",
                Median(unviewedTimes), Median(unviewedTimes) / anchor);
    std::printf("  the repaint that follows, not counted above: %.1f us\n", Median(paintTimes));
    return 0;
}
