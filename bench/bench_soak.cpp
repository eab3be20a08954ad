// The program as an unattended logger: the main window and the communication monitor in
// COM-only mode, on a pseudo-terminal that plays the timing machine, with the monitor's
// own one-second timer writing the slit log files. A heat goes out every 1 to 3 seconds:
// random sizes, random wind lines or none, some batches without commas (TAB separated),
// sent in random bursts. Between heats comes hostile traffic that can never be a record:
// lines without a comma, lines of nothing but NULs, lines longer than the line buffer,
// wind lines alone, stray framing bytes, and now and then a flood of lines past the line
// limit. At the end every record sent with commas must be in exactly one slit log file,
// and the memory of the last minutes no larger than that of the first.
//
// Two phases of a sixth of the run each (at most 30 seconds): from a third of the run an
// endless line at about 1 MB/s, as a USB device can send it, in place of the heats (past
// the line limit the held bytes go past their bound and the rest of the line is let go;
// after it a quiet while for the logger to let the held lines go, then the heats again);
// from two thirds, heats whose records come with NULs before their STX. The window
// thread is pinged every 50 ms from another thread throughout: the worst wait of each
// phase is reported.
//
// The live results board is on throughout, its own program serving 50 WebSocket clients
// held by a process of their own at the lowest priority, as the phones they stand for.
//
// The same windows with the port open and nothing arriving, for the same time, are the
// baseline of CPU use and memory.
//
//   bench_soak [seconds] [seed]      default 300 seconds; runs the soak, then the idle,
//                                    each in a process of its own
//
// Run with QT_QPA_PLATFORM=offscreen when there is no display.

#include "core/settings.h"
#include "serial/pseudoterminal.h"
#include "ui/boardprocess.h"
#include "ui/dialogs.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"
#include "windowprobe.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <thread>

namespace {

using namespace Ordavex;

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "bench_soak: FAILED: %s\n", qPrintable(what));
    std::fflush(stderr);
    std::exit(1);
}

// An unattended logger shows no box; one would stop the run, so it is counted instead.
class CountingDialogs final : public Dialogs
{
public:
    void message(QWidget *, const QString &text) override { boxes << text; }
    bool confirm(QWidget *, const QString &text) override
    {
        boxes << text;
        return true;
    }
    void error(QWidget *, const QString &text) override { boxes << text; }
    QString saveFileName(QWidget *, const FileRequest &) override { return {}; }
    QString openFileName(QWidget *, OpenDialogState &) override { return {}; }
    QStringList boxes;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// Lines that can never be part of a record: no comma, never a sign at the start unless
// it is a wind line alone; each ends with a line end, so that it never runs into a record.
QByteArray hostile(QRandomGenerator &random, int *lines)
{
    QByteArray bytes;
    switch (random.bounded(7)) {
    case 0:
        for (int i = random.bounded(1, 20); i > 0; --i, ++*lines)
            bytes += "NOISE " + QByteArray::number(random.bounded(100000)) + "\r\n";
        break;
    case 1:
        for (int i = random.bounded(1, 50); i > 0; --i, ++*lines)
            bytes += QByteArray(4, '\0') + "\r\n";
        break;
    case 2:
        ++*lines;
        bytes += "\x02" + QByteArray(random.bounded(516, 3000), 'L') + "\x03\r\n";
        break;
    case 3:
        for (int i = random.bounded(1, 5); i > 0; --i, ++*lines)
            bytes += "\x02+0." + QByteArray::number(random.bounded(10)) + "\x03\r\n";
        break;
    case 4:
        bytes += QByteArray("\x02\x03\r\n\r\r\n\x02\x03");
        break;
    case 5:
        for (int i = random.bounded(1, 10); i > 0; --i, ++*lines) {
            QByteArray line;
            for (int j = random.bounded(1, 40); j > 0; --j)
                line += char(random.bounded(0x80, 0x100));
            bytes += line + "\r\n";
        }
        break;
    default:
        // A flood: more lines than the line limit at once.
        for (int i = 0; i < 1500; ++i, ++*lines)
            bytes += "\x02TEST " + QByteArray::number(i) + "\x03\r\n";
        break;
    }
    return bytes;
}

enum Phase { Heats, EndlessLine, NulsBeforeStx, PhaseCount };

struct PhasePing final : QEvent
{
    static inline const Type Kind = Type(QEvent::registerEventType());
    PhasePing(qint64 at, int during)
        : QEvent(Kind)
        , postedNs(at)
        , phase(during)
    {
    }
    qint64 postedNs;
    int phase;
};

// The worst wait of the window thread for a ping, by the phase it was posted in.
class PhaseProbe final : public QObject
{
public:
    std::array<qint64, PhaseCount> worstNs{};
    std::atomic<int> phase{Heats};

    bool event(QEvent *event) override
    {
        if (event->type() != PhasePing::Kind)
            return QObject::event(event);
        const auto *probe = static_cast<PhasePing *>(event);
        qint64 &worst = worstNs[size_t(probe->phase)];
        worst = std::max(worst, Bench::nowNs() - probe->postedNs);
        return true;
    }
};

struct Figures
{
    int batches = 0;
    int records = 0;            // with commas, to be logged
    int tabRecords = 0;         // without commas
    int files = 0;
    int hostileLines = 0;
    int nulRecords = 0;         // with NULs before their STX
    qint64 endlessBytes = 0;
    std::array<double, PhaseCount> worstPingMs{};
    int lost = 0;
    int duplicated = 0;
    double cpu = 0;
    double wall = 0;
    long peak = 0;
    QList<long> minutePeaks;    // resident memory, the highest of each minute
    int boardClientsOpen = 0;   // of BoardClients, at the end
    qint64 boardUpdates = 0;    // the heats pushed to them, all clients together
};

constexpr int BoardClients = 50;

// A port of loopback that nothing listens on just now.
quint16 freePort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    quint16 port = 0;
    if (probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr *>(&address), size) == 0
        && ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (probe >= 0)
        ::close(probe);
    return port;
}

Figures run(int seconds, bool send, quint32 seed)
{
    CountingDialogs dialogs;
    Dialogs::setInstance(&dialogs);
    QTemporaryDir program;
    QTemporaryDir logs;
    PseudoTerminal machine;
    if (!program.isValid() || !logs.isValid() || !machine.isValid())
        fail(QStringLiteral("set-up"));

    auto main = std::make_unique<TForm1>(
        Paths::resolveAppPaths(QDir(program.path()).filePath(QStringLiteral("ordavex")), true, {}, {}));
    auto monitor = std::make_unique<TForm3>();
    main->setMonitor(monitor.get());
    main->setLogFolder(logs.path());
    Settings &settings = main->settings();
    settings.ports[0] = machine.slavePath();
    settings.cCheckAutoLog = true;
    settings.cCheckTimerON = true;
    settings.cWaitTime = 1;
    // The clients all come from loopback: their address may hold them all.
    qputenv("ORDAVEX_BOARD_MAX_PER_ADDRESS", "256");
    main->setBoardServiceFactory([](QString *) -> std::unique_ptr<BoardService> {
        return std::make_unique<BoardProcess>(QStringLiteral(ORDAVEX_BOARD_BINARY));
    });
    const quint16 boardPort = freePort();
    settings.boardOn = true;
    settings.boardAddress = QStringLiteral("127.0.0.1");
    settings.boardPort = boardPort;
    main->show();
    main->RS232COpen->trigger();
    if (!monitor->isVisible())
        fail(QStringLiteral("the monitor did not open: %1").arg(dialogs.boxes.join(u' ')));
    QElapsedTimer starting;
    starting.start();
    while ((!main->boardIsOn() || main->boardService()->isStarting()) && starting.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!main->boardIsOn())
        fail(QStringLiteral("the board did not start"));
    QProcess phones;
    phones.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    phones.start(QStringLiteral("nice"), {QStringLiteral("-n19"), QStringLiteral(ORDAVEX_BOARD_CLIENTS),
                                          QStringLiteral("--clients"),
                                          QStringLiteral("ws://127.0.0.1:%1/ws").arg(boardPort),
                                          QString::number(BoardClients)});
    QElapsedTimer connecting;
    connecting.start();
    while (!phones.canReadLine() && connecting.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (phones.readLine().trimmed() != "connected " + QByteArray::number(BoardClients))
        fail(QStringLiteral("the board's clients did not connect"));

    Figures figures;
    PhaseProbe probe;
    std::map<QByteArray, int> expected;     // log row -> times sent
    std::map<QByteArray, qint64> sentAt;    // log row -> ms into the run
    QRandomGenerator random(seed);
    int bib = 0;
    QElapsedTimer wall;
    QTimer sender;
    sender.setSingleShot(true);
    QObject::connect(&sender, &QTimer::timeout, [&] {
        const bool commas = random.bounded(5) != 0;
        const char separator = commas ? ',' : '\t';
        QByteArray stream;
        if (random.bounded(2) == 0)
            stream += hostile(random, &figures.hostileLines);
        if (random.bounded(3) != 0) {
            const int tenths = random.bounded(-40, 41);
            stream += "\x02" + QByteArray(tenths < 0 ? "-" : "+") + QByteArray::number(std::abs(tenths) / 10) + '.'
                      + QByteArray::number(std::abs(tenths) % 10) + "\x03\r\n";
        }
        const int count = random.bounded(1, 13);
        for (int place = 1; place <= count; ++place) {
            const QByteArray lane = QByteArray::number(random.bounded(1, 10));
            const QByteArray number = QByteArray::number(++bib);
            const int hundredths = 1000 + place * 7 + random.bounded(5);
            const QByteArray time = QByteArray::number(hundredths / 100) + '.'
                                    + QByteArray::number(hundredths % 100).rightJustified(2, '0');
            const QByteArray fields[] = {"R", QByteArray::number(place), lane, number, time};
            QByteArray record;
            for (const QByteArray &field : fields) {
                if (!record.isEmpty())
                    record += separator;
                record += field;
            }
            if (probe.phase == NulsBeforeStx) {
                stream += QByteArray(random.bounded(1, 9), '\0');
                ++figures.nulRecords;
            }
            stream += "\x02" + record + "\x03\r\n";
            if (commas) {
                const QByteArray row = "\"" + QByteArray::number(place) + "\",\"" + lane + "\",\"" + time + "\",\""
                                       + number + "\"";
                ++expected[row];
                sentAt[row] = wall.elapsed();
                ++figures.records;
            } else {
                ++figures.tabRecords;
            }
        }
        // In bursts, as a machine's driver hands them over.
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype burst = random.bounded(1, 64);
            if (!machine.write(QByteArrayView(stream).sliced(at, std::min(burst, stream.size() - at))))
                fail(QStringLiteral("write to the pseudo-terminal"));
            at += burst;
        }
        ++figures.batches;
        sender.start(random.bounded(1000, 3001));
    });

    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const qsizetype minute = qsizetype(wall.elapsed() / 60000);
        while (figures.minutePeaks.size() <= minute)
            figures.minutePeaks.append(0);
        figures.minutePeaks[minute] = std::max(figures.minutePeaks[minute], residentKiB());
    });
    sampler.start(1000);

    // The pings, from a thread of their own: one posted while the window thread is busy
    // counts from when it was posted.
    std::atomic<bool> stop{false};
    std::thread pinger([&] {
        while (!stop) {
            QCoreApplication::postEvent(&probe, new PhasePing(Bench::nowNs(), probe.phase));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    // The endless line: paced to 1 MB/s by its own clock, then a line end, so that the
    // records after it are lines of their own again.
    const int phaseSeconds = std::clamp(seconds / 6, 1, 30);
    std::thread endless;
    const auto flood = [&] {
        const int master = machine.masterFd();
        const int flags = ::fcntl(master, F_GETFL);
        ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
        const QByteArray piece(16 * 1024, 'A');
        const auto start = std::chrono::steady_clock::now();
        const auto end = start + std::chrono::seconds(phaseSeconds);
        qint64 sent = 0;
        while (!stop && std::chrono::steady_clock::now() < end) {
            const qint64 due =
                std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
            pollfd out{master, POLLOUT, 0};
            if (sent >= due || ::poll(&out, 1, 20) <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            const ssize_t n = ::write(master, piece.constData(), size_t(std::min<qint64>(piece.size(), due - sent)));
            if (n > 0)
                sent += n;
        }
        ::fcntl(master, F_SETFL, flags);
        figures.endlessBytes = sent;
        machine.write("\r\n");
    };

    const double cpuBefore = cpuSeconds();
    wall.start();
    if (send) {
        sender.start(500);
        QTimer::singleShot(seconds * 1000 / 3, [&] {
            sender.stop();
            probe.phase = EndlessLine;
            endless = std::thread(flood);
        });
        QTimer::singleShot(seconds * 1000 / 3 + phaseSeconds * 1000, [&] {
            endless.join();
            probe.phase = Heats;
            // A quiet while: the logger lets the held lines go before the heats come again.
            sender.start(5000);
        });
        QTimer::singleShot(seconds * 1000 * 2 / 3, [&] { probe.phase = NulsBeforeStx; });
        QTimer::singleShot(seconds * 1000 * 2 / 3 + phaseSeconds * 1000, [&] { probe.phase = Heats; });
    }
    QTimer::singleShot(seconds * 1000, [&] { sender.stop(); });
    // After the last batch, time for the monitor to write it.
    // A loop of its own: quitting the application would ask the windows to close.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000 + 5000, &loop, &QEventLoop::quit);
    loop.exec();
    figures.cpu = cpuSeconds() - cpuBefore;
    figures.wall = double(wall.elapsed()) / 1000;
    figures.peak = peakKiB();
    stop = true;
    pinger.join();
    if (endless.joinable())
        endless.join();
    // The last pings, still queued.
    QCoreApplication::sendPostedEvents(&probe);
    for (size_t phase = 0; phase < PhaseCount; ++phase)
        figures.worstPingMs[phase] = double(probe.worstNs[phase]) / 1e6;

    std::map<QByteArray, int> written;
    const QDir folder(logs.path());
    for (const QString &name : folder.entryList(QDir::Files)) {
        ++figures.files;
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read %1").arg(name));
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (!lines[i].isEmpty())
                ++written[lines[i].chopped(1)];
        }
    }
    for (const auto &[row, times] : expected) {
        const auto found = written.find(row);
        const int got = found == written.end() ? 0 : found->second;
        if (got < times) {
            figures.lost += times - got;
            std::fprintf(stderr, "bench_soak: lost %s, sent at %.1f s\n", row.constData(), sentAt[row] / 1000.0);
            program.setAutoRemove(false);
            logs.setAutoRemove(false);
            std::fprintf(stderr, "bench_soak: kept %s and %s\n", qPrintable(program.path()), qPrintable(logs.path()));
        }
        if (got > times)
            figures.duplicated += got - times;
    }
    for (const auto &[row, times] : written) {
        if (!expected.count(row))
            figures.duplicated += times;
    }
    if (!dialogs.boxes.isEmpty())
        fail(QStringLiteral("a box was shown: %1").arg(dialogs.boxes.join(u' ')));
    // The clients say how many updates came and how many of them are still connected.
    phones.closeWriteChannel();
    QElapsedTimer ending;
    ending.start();
    while (phones.state() != QProcess::NotRunning && ending.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    long long updates = 0;
    if (std::sscanf(phones.readAllStandardOutput().constData(), "updates %lld open %d", &updates,
                    &figures.boardClientsOpen) != 2)
        fail(QStringLiteral("the board's clients gave no figures"));
    figures.boardUpdates = updates;
    monitor->close();
    monitor.reset();
    main.reset();
    Dialogs::setInstance(nullptr);
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int seconds = args.size() > 1 ? args[1].toInt() : 300;
    const quint32 seed = args.size() > 2 ? args[2].toUInt() : 1;
    if (seconds <= 0)
        fail(QStringLiteral("seconds"));

    // One run a process, so that each peak of memory is its own.
    if (args.size() > 3) {
        const bool send = args[3] == QLatin1String("soak");
        const Figures f = run(seconds, send, seed);
        std::printf("%d %d %d %d %d %d %.3f %.3f %ld %d %d %lld %.3f %.3f %.3f %d %lld\n", f.batches, f.records,
                    f.tabRecords, f.files, f.lost, f.duplicated, f.cpu, f.wall, f.peak, f.hostileLines, f.nulRecords,
                    f.endlessBytes, f.worstPingMs[Heats], f.worstPingMs[EndlessLine], f.worstPingMs[NulsBeforeStx],
                    f.boardClientsOpen, static_cast<long long>(f.boardUpdates));
        for (long kib : f.minutePeaks)
            std::printf("%ld ", kib);
        std::printf("\n");
        return 0;
    }
    auto child = [&](const char *mode) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(),
                      {QString::number(seconds), QString::number(seed), QLatin1String(mode)});
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            fail(QStringLiteral("the %1 run").arg(QLatin1String(mode)));
        Figures f;
        const QList<QByteArray> out = process.readAllStandardOutput().split('\n');
        if (out.size() < 2
            || std::sscanf(out[0].constData(), "%d %d %d %d %d %d %lf %lf %ld %d %d %lld %lf %lf %lf %d %lld",
                           &f.batches, &f.records, &f.tabRecords, &f.files, &f.lost, &f.duplicated, &f.cpu, &f.wall,
                           &f.peak, &f.hostileLines, &f.nulRecords, &f.endlessBytes, &f.worstPingMs[Heats],
                           &f.worstPingMs[EndlessLine], &f.worstPingMs[NulsBeforeStx], &f.boardClientsOpen,
                           &f.boardUpdates)
                   != 17)
            fail(QStringLiteral("the %1 run's figures").arg(QLatin1String(mode)));
        for (const QByteArray &kib : out[1].split(' ')) {
            if (!kib.trimmed().isEmpty())
                f.minutePeaks.append(kib.toLong());
        }
        return f;
    };
    const Figures soak = child("soak");
    const Figures idle = child("idle");
    std::printf("soak %d s: %d batches, %d records with commas, %d without, %d hostile lines, %d files; "
                "lost %d, duplicated %d\n",
                seconds, soak.batches, soak.records, soak.tabRecords, soak.hostileLines, soak.files, soak.lost,
                soak.duplicated);
    std::printf("  soak: records sent with commas %d, logged %d; %d records with NULs before their STX; "
                "%lld bytes of endless line\n",
                soak.records, soak.records - soak.lost, soak.nulRecords, soak.endlessBytes);
    std::printf("  soak: worst window ping, ms: heats %.1f, endless line %.1f, NULs before STX %.1f (idle: %.1f)\n",
                soak.worstPingMs[Heats], soak.worstPingMs[EndlessLine], soak.worstPingMs[NulsBeforeStx],
                idle.worstPingMs[Heats]);
    const auto series = [](const Figures &f) {
        QStringList minutes;
        for (long kib : f.minutePeaks)
            minutes.append(QString::number(kib / 1024.0, 'f', 1));
        return minutes.join(QLatin1Char(' '));
    };
    std::printf("  board: %d of %d push clients still connected at the end, %lld updates pushed to them\n",
                soak.boardClientsOpen, BoardClients, static_cast<long long>(soak.boardUpdates));
    std::printf("  soak: resident MiB, highest of each minute: %s\n", qPrintable(series(soak)));
    std::printf("  idle: resident MiB, highest of each minute: %s\n", qPrintable(series(idle)));
    std::printf("  soak: CPU %.2f s over %.1f s (%.3f %% of a core), peak RSS %ld KiB\n", soak.cpu, soak.wall,
                100 * soak.cpu / soak.wall, soak.peak);
    std::printf("  idle: CPU %.2f s over %.1f s (%.3f %% of a core), peak RSS %ld KiB\n", idle.cpu, idle.wall,
                100 * idle.cpu / idle.wall, idle.peak);
    std::printf("  soak against idle: CPU %.2fx, peak memory %.2fx\n", soak.cpu / idle.cpu,
                double(soak.peak) / double(idle.peak));
    // Flat: the last full minute no more than a tenth above the highest minute of the
    // first half (the endless line ends at the half and fills the held bytes to their
    // bound; the first minute holds the start-up).
    bool flat = true;
    if (soak.minutePeaks.size() >= 4) {
        const long early = *std::max_element(soak.minutePeaks.cbegin() + 1,
                                             soak.minutePeaks.cbegin() + std::max<qsizetype>(2, soak.minutePeaks.size() / 2 + 1));
        const long late = soak.minutePeaks[soak.minutePeaks.size() - 2];
        std::printf("  soak memory, last full minute against the highest of the first half: %.2fx\n",
                    double(late) / double(early));
        flat = late <= early + early / 10;
    }
    return soak.lost == 0 && soak.duplicated == 0 && flat && soak.boardClientsOpen == BoardClients ? 0 : 1;
}
