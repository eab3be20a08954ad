// Start-up to first paint of the main window, against two floor programs built apart
// that link Qt Widgets alone: bench_startup_floor_empty, a bare QMainWindow holding an
// empty 500-row QTableWidget, and bench_startup_floor_filled, the same table filled
// with a heat's texts under Japanese headings in the window's font (so that the floor
// loads and draws the same glyphs).
//
// The program's start runs in a child process of this binary (re-run in a child mode,
// linked as the program is); the floors run as their own programs. The three are
// started in turn, the order rotated every round, so that they see the same machine
// state. The parent reads CLOCK_MONOTONIC just before spawning and passes it on the
// command line; each child reports the time from there to the end of its first painted
// frame, then leaves at once. Peak memory is each child's ru_maxrss from wait4. Ratios
// are taken within each round; their median and 10th/90th percentiles are printed. The
// children's processor time (user and system, from wait4) is printed beside the wall
// time: it varies less with the load of the machine.
//
// The program's child builds its windows as app/main.cpp does, with two differences a
// benchmark needs: the program folder is a temporary one (so no settings file: the
// defaults, as on a first start) and message boxes are answered silently. The program
// starts twice a round: as on a first start, and with a start list of 500 starters for
// the race it starts on, read and shown before the first paint.
//
//   bench_startup [runs]        default 20 runs of each, after 2 warm-up runs each
//
// Run with QT_QPA_PLATFORM=offscreen when there is no display, and under
// tests/with-xvfb for an X server.

#include "startupprobe.h"

#include <QFileInfo>

#include "core/paths.h"
#include "core/textcodec.h"
#include "ui/actionicons.h"
#include "ui/dialogs.h"
#include "ui/guard.h"
#include "ui/mainform.h"
#include "ui/programwindows.h"
#include "ui/toolkittext.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using namespace Ordavex;
using StartupProbe::mark;

const char *const OrdavexMode = "--ordavex-child";
const int StartListLines = 500;

// ---- child side ----

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
    ProgramWindows windows(paths);
    mark("forms");
    // A start list that was not read would measure nothing of it.
    if (QFileInfo::exists(Paths::join(programFolder, QStringLiteral("startlists/Untitled.csv")))
        && (!windows.main().startList() || windows.main().startList()->numbers.size() != StartListLines)) {
        std::fprintf(stderr, "the start list was not read\n");
        return 1;
    }
    StartupProbe::FirstPaint firstPaint(&windows.main());
    windows.main().show();
    mark("show");
    return Application::exec();
}

// ---- parent side ----

struct Run
{
    bool ok = false;
    double paintMs = 0;
    double cpuMs = 0;   // user and system time of the child, the X server's not included
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

// One child: the program (this binary in its child mode, with the program folder) or a
// floor program.
struct Child
{
    const char *name;
    std::string binary;
    const char *mode;   // null for a floor
    std::string folder; // the program's folder
};

Run spawnChild(const Child &child)
{
    const std::string &folder = child.folder;
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
    std::vector<char *> argv{const_cast<char *>(child.binary.c_str())};
    if (child.mode)
        argv.push_back(const_cast<char *>(child.mode));
    argv.push_back(stamp);
    if (child.mode)
        argv.push_back(const_cast<char *>(folder.c_str()));
    argv.push_back(nullptr);
    std::snprintf(stamp, sizeof stamp, "%lld", StartupProbe::monotonicNs());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, child.binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        std::fprintf(stderr, "posix_spawn %s: %s\n", child.binary.c_str(), std::strerror(spawned));
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
        std::fprintf(stderr, "%s child failed (status %d): %s\n", child.name, status, output.c_str());
        return run;
    }
    run.rssMiB = double(usage.ru_maxrss) / 1024.0;   // KiB on Linux
    auto ms = [](const timeval &tv) { return double(tv.tv_sec) * 1e3 + double(tv.tv_usec) / 1e3; };
    run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);

    // One line "main=ms:KiB name=ms:KiB ... paint=ms:KiB" among any warnings.
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
        std::fprintf(stderr, "%s child printed no first paint: %s\n", child.name, output.c_str());
        return run;
    }
    run.paintMs = run.phases.back().ms;
    run.ok = true;
    return run;
}

// The q-quantile of the values, interpolated between the nearest two.
double quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    const double at = q * double(values.size() - 1);
    const size_t below = size_t(at);
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (at - double(below));
}

double median(const std::vector<double> &values)
{
    return quantile(values, 0.5);
}

std::vector<double> field(const std::vector<Run> &runs, double Run::*member)
{
    std::vector<double> values;
    for (const Run &run : runs)
        values.push_back(run.*member);
    return values;
}

// Round by round, the program's figure over the floor's.
std::vector<double> ratios(const std::vector<Run> &program, const std::vector<Run> &floor, double Run::*member)
{
    std::vector<double> values;
    for (size_t i = 0; i < program.size(); ++i)
        values.push_back(program[i].*member / floor[i].*member);
    return values;
}

void printPhases(const char *name, const std::vector<Run> &runs)
{
    const size_t count = runs.front().phases.size();
    auto medianAt = [&](size_t i, double Run::Phase::*member) {
        std::vector<double> values;
        for (const Run &run : runs)
            values.push_back(run.phases.at(i).*member);
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

std::string loadAverage()
{
    double load[3] = {};
    char buffer[64];
    if (getloadavg(load, 3) != 3)
        return "unknown";
    std::snprintf(buffer, sizeof buffer, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return buffer;
}

const double Target = 1.05;

void printAgainst(const char *floorName, const std::vector<Run> &program, const std::vector<Run> &floor)
{
    const std::vector<double> time = ratios(program, floor, &Run::paintMs);
    const std::vector<double> rss = ratios(program, floor, &Run::rssMiB);
    const std::vector<double> cpu = ratios(program, floor, &Run::cpuMs);
    std::printf("  against the %s: time %.1f / %.1f ms = %.2fx (p10 %.2fx, p90 %.2fx); "
                "peak rss %.1f / %.1f MiB = %.2fx (p10 %.2fx, p90 %.2fx)\n",
                floorName, median(field(program, &Run::paintMs)), median(field(floor, &Run::paintMs)),
                median(time), quantile(time, 0.1), quantile(time, 0.9), median(field(program, &Run::rssMiB)),
                median(field(floor, &Run::rssMiB)), median(rss), quantile(rss, 0.1), quantile(rss, 0.9));
    std::printf("  %*s cpu time %.1f / %.1f ms = %.2fx (p10 %.2fx, p90 %.2fx)\n", int(std::strlen(floorName)) + 19, "",
                median(field(program, &Run::cpuMs)), median(field(floor, &Run::cpuMs)), median(cpu),
                quantile(cpu, 0.1), quantile(cpu, 0.9));
}

int runParent(int runs)
{
    char folderTemplate[] = "/tmp/bench_startup.XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderTemplate;
    // The second program folder holds the start list of the race the program starts on.
    const std::string listed = folder + "/listed";
    const std::string listFolder = listed + "/startlists";
    if (mkdir(listed.c_str(), 0700) != 0 || mkdir(listFolder.c_str(), 0700) != 0) {
        std::perror("mkdir");
        return 1;
    }
    QString list = QStringLiteral("ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属\r\n");
    for (int i = 1; i <= StartListLines; ++i)
        list += QStringLiteral("%1,%2,山田 太郎%2,東京陸協\r\n").arg(i <= 8 ? QString::number(i) : QString()).arg(i);
    {
        const QByteArray bytes = Cp932::encode(list);
        std::ofstream out(listFolder + "/Untitled.csv", std::ios::binary);
        out.write(bytes.constData(), bytes.size());
    }
    const std::string loadBefore = loadAverage();

    const Child children[] = {{"ordavex", selfPath(), OrdavexMode, folder},
                              {"empty", ORDAVEX_FLOOR_EMPTY_BINARY, nullptr, folder},
                              {"filled", ORDAVEX_FLOOR_FILLED_BINARY, nullptr, folder},
                              {"listed", selfPath(), OrdavexMode, listed}};
    constexpr int Count = int(std::size(children));
    // Warm-up: page cache, font cache, and the log folder the first start creates.
    for (int i = 0; i < 2; ++i) {
        for (const Child &child : children) {
            if (!spawnChild(child).ok)
                return 1;
        }
    }

    std::vector<Run> results[Count];
    for (int i = 0; i < runs; ++i) {
        // Rotate which goes first, so none always follows another.
        for (int k = 0; k < Count; ++k) {
            const int which = (i + k) % Count;
            Run run = spawnChild(children[which]);
            if (!run.ok)
                return 1;
            results[which].push_back(std::move(run));
        }
    }
    const std::vector<Run> &ordavex = results[0];
    const std::vector<Run> &empty = results[1];
    const std::vector<Run> &filled = results[2];
    const std::vector<Run> &withList = results[3];

    const char *platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("startup on %s (%d runs each; load average %s before, %s after)\n",
                platform && *platform ? platform : "the default platform", runs, loadBefore.c_str(),
                loadAverage().c_str());
    printAgainst("filled floor", ordavex, filled);
    printAgainst("empty floor", ordavex, empty);
    std::printf("  with a start list of %d starters:\n", StartListLines);
    printAgainst("filled floor", withList, filled);
    printAgainst("program without one", withList, ordavex);
    printPhases("ordavex", ordavex);
    printPhases("listed", withList);
    printPhases("empty", empty);
    printPhases("filled", filled);
    const double timeRatio = median(ratios(ordavex, filled, &Run::paintMs));
    const double rssRatio = median(ratios(ordavex, filled, &Run::rssMiB));
    std::printf("  target <= %.2fx of the filled floor: time %s, memory %s\n", Target,
                timeRatio <= Target ? "met" : "NOT met", rssRatio <= Target ? "met" : "NOT met");

    // The temporary program folders: their log folders and files, then themselves.
    for (const std::string &name : {listFolder + "/Untitled.csv", listFolder, listed + "/log", listed,
                                    folder + "/log", folder})
        remove(name.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], OrdavexMode) == 0) {
        StartupProbe::setSpawnedAt(argv[2]);
        // Qt sees only the program name.
        int qtArgc = 1;
        return runOrdavex(qtArgc, argv, QString::fromLocal8Bit(argv[3]));
    }
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 20;
    return runParent(runs);
}
