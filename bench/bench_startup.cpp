// Start-up to first paint of the main window, against two floor programs: a bare
// QMainWindow holding an empty 500-row QTableWidget, and the same table filled with a
// heat's texts under Japanese headings in the window's font (so that the floor loads and
// draws the same glyphs).
//
// Both run as child processes of this binary (the same executable re-run in a child
// mode), alternately, so they load the same libraries and see the same machine state.
// The parent reads CLOCK_MONOTONIC just before spawning and passes it on the command
// line; the child reports the time from there to the end of its first painted frame,
// then leaves at once. Peak memory is each child's ru_maxrss from wait4.
//
// The ordavex child builds its windows as app/main.cpp does, with two differences a
// benchmark needs: the program folder is a temporary one (so no settings file: the
// defaults, as on a first start) and message boxes are answered silently.
//
//   bench_startup [runs]        default 20 runs of each, after 2 warm-up runs each
//
// Run with QT_QPA_PLATFORM=offscreen when there is no display.

#include "core/paths.h"
#include "ui/dialogs.h"
#include "ui/actionicons.h"
#include "ui/guard.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"
#include "ui/unit2.h"
#include "ui/unit4.h"
#include "ui/toolkittext.h"
#include "ui/unit5.h"
#include "ui/windowfont.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using namespace Ordavex;

const char *const FloorMode = "--floor-child";
const char *const FilledFloorMode = "--filled-floor-child";
const char *const OrdavexMode = "--ordavex-child";

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// ---- child side ----

long long g_spawnedAt = 0;   // the parent's clock reading just before the spawn

double sinceSpawnMs()
{
    return double(monotonicNs() - g_spawnedAt) / 1e6;
}

// Phases of the start, printed as "name=ms:KiB" on one line: the time since the spawn
// and the peak resident size so far, to tell which step costs what.
std::string g_phases;

void mark(const char *name)
{
    const double ms = sinceSpawnMs();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%s=%.3f:%ld ", name, ms, usage.ru_maxrss);
    g_phases += buffer;
}

// Waits for the first paint event of any widget of the window. Painting a frame runs
// inside one event (expose or update request), so a call queued from the first paint
// runs once the whole frame has been painted and flushed.
class FirstPaint final : public QObject
{
public:
    explicit FirstPaint(QWidget *window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window) {
            m_seen = true;
            QMetaObject::invokeMethod(this, &FirstPaint::finish, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void finish()
    {
        mark("paint");
        std::printf("%s\n", g_phases.c_str());
        std::fflush(stdout);
        // Nothing after the first frame is measured: skip the teardown.
        std::_Exit(0);
    }

    QWidget *m_window;
    bool m_seen = false;
};

// A child that never paints (a modal box, a crash in show()) must not hang the parent.
void armWatchdog()
{
    QTimer::singleShot(15000, [] {
        std::fprintf(stderr, "no first paint within 15 s\n");
        std::_Exit(3);
    });
}

// Every box answered at once: the first start creates the log folder and says so.
class SilentDialogs final : public Dialogs
{
public:
    void message(QWidget *, const QString &) override {}
    bool confirm(QWidget *, const QString &) override { return false; }
    void error(QWidget *, const QString &) override {}
    QString saveFileName(QWidget *, const FileRequest &) override { return {}; }
    QString openFileName(QWidget *, OpenDialogState &) override { return {}; }
};

// The floor: a bare window with a 500-row table, empty or filled with a heat's texts
// under Japanese headings in the window's font.
int runFloor(int argc, char **argv, bool filled)
{
    mark("main");
    QApplication app(argc, argv);
    mark("app");
    QMainWindow window;
    auto *table = new QTableWidget(500, 3, &window);
    if (filled) {
        window.setFont(WindowFont(12));
        table->setHorizontalHeaderLabels({QStringLiteral("順位"), QStringLiteral("ﾚｰﾝ"), QStringLiteral("ﾀｲﾑ")});
        for (int row = 0; row < 500; ++row) {
            table->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
            table->setItem(row, 1, new QTableWidgetItem(QString::number(row % 9 + 1)));
            table->setItem(row, 2, new QTableWidgetItem(QString::number(1000 + row * 37)));
        }
    }
    window.setCentralWidget(table);
    window.resize(438, 541);
    mark("window");
    FirstPaint firstPaint(&window);
    armWatchdog();
    window.show();
    mark("show");
    return app.exec();
}

int runOrdavex(int argc, char **argv, const QString &programFolder)
{
    mark("main");
    Application app(argc, argv);
    Application::setStyle(new DrawnStyle);
    Application::setApplicationName(QStringLiteral("Ordavex"));
    Application::setWindowIcon(AppIcon());
    InstallToolkitTranslation(app);
    mark("app");
    SilentDialogs dialogs;
    Dialogs::setInstance(&dialogs);
    const Paths::AppPaths paths =
        Paths::resolveAppPaths(Paths::join(programFolder, QStringLiteral("ordavex")), true, {}, {});
    auto form1 = std::make_unique<TForm1>(paths);
    mark("form1");
    auto form2 = std::make_unique<TForm2>();
    auto form3 = std::make_unique<TForm3>();
    auto form4 = std::make_unique<TForm4>();
    auto form5 = std::make_unique<TForm5>();
    form1->setMonitor(form3.get());
    mark("forms");
    FirstPaint firstPaint(form1.get());
    armWatchdog();
    form1->show();
    mark("show");
    return app.exec();
}

// ---- parent side ----

struct Run
{
    bool ok = false;
    double paintMs = 0;
    double rssMiB = 0;
    struct Phase
    {
        std::string name;
        double ms = 0;
        double rssMiB = 0;
    };
    std::vector<Phase> phases;
};

std::string selfPath()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        std::perror("readlink /proc/self/exe");
        std::exit(1);
    }
    buffer[n] = 0;
    return buffer;
}

Run spawnChild(const std::string &self, const char *mode, const std::string &folder)
{
    Run run;
    int out[2];
    if (pipe(out) != 0) {
        std::perror("pipe");
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // Qt's warnings come along, shown only when the child fails.
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);

    // The clock is read last, with the argument buffer already in place.
    char stamp[32] = {};
    char *argv[] = {const_cast<char *>(self.c_str()), const_cast<char *>(mode), stamp,
                    const_cast<char *>(folder.c_str()), nullptr};
    std::snprintf(stamp, sizeof stamp, "%lld", monotonicNs());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        std::fprintf(stderr, "posix_spawn: %s\n", std::strerror(spawned));
        close(out[0]);
        return run;
    }

    std::string output;
    char chunk[512];
    for (;;) {
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n > 0)
            output.append(chunk, size_t(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(out[0]);

    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        std::perror("wait4");
        return run;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s child failed (status %d): %s\n", mode, status, output.c_str());
        return run;
    }
    run.rssMiB = double(usage.ru_maxrss) / 1024.0;   // KiB on Linux

    // One line "main=ms name=ms ... paint=ms" among any warnings.
    const size_t from = output.rfind("main=");
    if (from != std::string::npos) {
        const std::string line = output.substr(from, output.find('\n', from) - from);
        size_t pos = 0;
        while (pos < line.size()) {
            size_t end = line.find(' ', pos);
            if (end == std::string::npos)
                end = line.size();
            const std::string token = line.substr(pos, end - pos);
            const size_t eq = token.find('=');
            const size_t colon = token.find(':');
            if (eq != std::string::npos && colon != std::string::npos)
                run.phases.push_back({token.substr(0, eq), std::atof(token.c_str() + eq + 1),
                                      std::atof(token.c_str() + colon + 1) / 1024.0});
            pos = end + 1;
        }
    }
    if (run.phases.empty() || run.phases.back().name != "paint") {
        std::fprintf(stderr, "%s child printed no first paint: %s\n", mode, output.c_str());
        return run;
    }
    run.paintMs = run.phases.back().ms;
    run.ok = true;
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printPhases(const char *name, const std::vector<Run> &runs)
{
    const size_t count = runs.front().phases.size();
    auto medianAt = [&](size_t i, double Run::Phase::*field) {
        std::vector<double> values;
        for (const Run &run : runs)
            values.push_back(run.phases.at(i).*field);
        return median(values);
    };
    std::printf("  %-7s median ms since spawn:", name);
    for (size_t i = 0; i < count; ++i)
        std::printf(" %s %.1f", runs.front().phases[i].name.c_str(), medianAt(i, &Run::Phase::ms));
    std::printf("\n  %-7s median peak rss MiB:   ", name);
    for (size_t i = 0; i < count; ++i)
        std::printf(" %s %.1f", runs.front().phases[i].name.c_str(), medianAt(i, &Run::Phase::rssMiB));
    std::printf("\n");
}

int runParent(int runs)
{
    const std::string self = selfPath();
    char folderTemplate[] = "/tmp/bench_startup.XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderTemplate;

    // Warm-up: page cache, font cache, and the log folder the first start creates.
    for (int i = 0; i < 2; ++i) {
        if (!spawnChild(self, OrdavexMode, folder).ok || !spawnChild(self, FloorMode, folder).ok
            || !spawnChild(self, FilledFloorMode, folder).ok)
            return 1;
    }

    std::vector<Run> ordavex;
    std::vector<Run> floor;
    std::vector<Run> filled;
    const char *const modes[] = {OrdavexMode, FloorMode, FilledFloorMode};
    std::vector<Run> *lists[] = {&ordavex, &floor, &filled};
    for (int i = 0; i < runs; ++i) {
        // Rotate which goes first, so none always follows another.
        for (int k = 0; k < 3; ++k) {
            const int which = (i + k) % 3;
            Run run = spawnChild(self, modes[which], folder);
            if (!run.ok)
                return 1;
            lists[which]->push_back(std::move(run));
        }
    }

    auto medianOf = [](const std::vector<Run> &list, double Run::*field) {
        std::vector<double> values;
        for (const Run &run : list)
            values.push_back(run.*field);
        return median(values);
    };
    const double ordavexMs = medianOf(ordavex, &Run::paintMs);
    const double floorMs = medianOf(floor, &Run::paintMs);
    const double ordavexRss = medianOf(ordavex, &Run::rssMiB);
    const double floorRss = medianOf(floor, &Run::rssMiB);
    const double filledMs = medianOf(filled, &Run::paintMs);
    const double filledRss = medianOf(filled, &Run::rssMiB);
    const double timeRatio = ordavexMs / floorMs;
    const double rssRatio = ordavexRss / floorRss;

    std::printf("startup (medians of %d runs each)\n", runs);
    std::printf("  against the empty floor:  ordavex %.1f ms / %.1f ms = %.2fx; peak rss %.1f / %.1f MiB = %.2fx\n",
                ordavexMs, floorMs, timeRatio, ordavexRss, floorRss, rssRatio);
    std::printf("  against the filled floor: ordavex %.1f ms / %.1f ms = %.2fx; peak rss %.1f / %.1f MiB = %.2fx\n",
                ordavexMs, filledMs, ordavexMs / filledMs, ordavexRss, filledRss, ordavexRss / filledRss);
    printPhases("ordavex", ordavex);
    printPhases("floor", floor);
    printPhases("filled", filled);
    std::printf("  target <= 1.15x of the empty floor: time %s, memory %s\n", timeRatio <= 1.15 ? "met" : "NOT met",
                rssRatio <= 1.15 ? "met" : "NOT met");

    // The temporary program folder: its log folder, then itself.
    rmdir((folder + "/log").c_str());
    rmdir(folder.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4) {
        g_spawnedAt = std::atoll(argv[2]);
        const QString folder = QString::fromLocal8Bit(argv[3]);
        // Qt sees only the program name.
        int qtArgc = 1;
        if (std::strcmp(argv[1], FloorMode) == 0 || std::strcmp(argv[1], FilledFloorMode) == 0)
            return runFloor(qtArgc, argv, std::strcmp(argv[1], FilledFloorMode) == 0);
        if (std::strcmp(argv[1], OrdavexMode) == 0)
            return runOrdavex(qtArgc, argv, folder);
    }
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 20;
    return runParent(runs);
}
