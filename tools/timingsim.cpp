// The timing-machine simulator: plays a photo-finish timing machine on a serial device
// or on a pseudo-terminal of its own, for rehearsals and for the tests.

#include "simstream.h"

#include "core/atomicfile.h"
#include "serial/capturefile.h"
#include "serial/pseudoterminal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>

#include <cstdio>
#include <memory>
#include <optional>

#include <unistd.h>

using namespace Ordavex;
using namespace Ordavex::Sim;

namespace {

constexpr char Description[] =
    "Plays a photo-finish timing machine: sends heats of finish records, framed as the\n"
    "machine frames them, to a serial device, or to a pseudo-terminal that it creates and\n"
    "whose path it prints on the first line of its output (give that path to Ordavex as\n"
    "the device of a port, e.g. COM1=/dev/pts/3 in section Ports of its settings file).\n"
    "\n"
    "A heat is an optional wind line (e.g. +1.2), then one record per finisher in place\n"
    "order: fields separated by commas or TABs, by default place in field 1, lane in\n"
    "field 2, bib in field 3 and time in field 4, fields counted from 0; other fields\n"
    "hold R. Times read 12.34, or 1:02.34 from a minute on. Each line is framed as\n"
    "STX line ETX CR LF, line CR LF, or line CR. Bytes go out at the chosen pace: byte by\n"
    "byte (--chunk 1), in bursts of N bytes, or a heat at a time, with pauses between.\n"
    "\n"
    "For tests, --bad sends a broken stream instead: long-lines (lines of 516 to 2000\n"
    "bytes), nul (NUL bytes at the start of, inside and as whole lines), framing-only\n"
    "(STX, ETX, CR and LF only) or random (any bytes).\n"
    "\n"
    "--replay sends a capture that Ordavex made while reading (log/yymmddhhmmss.cap, with\n"
    "its index yymmddhhmmss.idx beside it) byte for byte: at the pace it was read\n"
    "(--pace recorded, which needs the index) or as fast as the device takes it.\n"
    "\n"
    "With a pseudo-terminal the simulator keeps it open after the last heat until its\n"
    "standard input ends (Ctrl+D) or --hold has passed.";

struct Sink
{
    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<QSerialPort> port;
    bool dump = false;

    bool write(QByteArrayView bytes)
    {
        if (dump)
            return std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
        if (pty)
            return pty->write(bytes);
        if (port->write(bytes.data(), bytes.size()) != bytes.size())
            return false;
        while (port->bytesToWrite() > 0) {
            if (!port->waitForBytesWritten(5000))
                return false;
        }
        return true;
    }
};

bool send(Sink &sink, const QByteArray &stream, int chunk, int intervalMs)
{
    const qsizetype step = chunk > 0 ? chunk : stream.size();
    for (qsizetype at = 0; at < stream.size(); at += step) {
        if (!sink.write(QByteArrayView(stream).sliced(at, std::min(step, stream.size() - at))))
            return false;
        if (intervalMs > 0)
            QThread::msleep(ulong(intervalMs));
    }
    return true;
}

constexpr qint64 MaxReplayBytes = qint64(1) << 30;

// Without marks all at once; with them each mark's bytes at its time.
bool replayCapture(Sink &sink, const QByteArray &bytes, const QList<CaptureMark> &marks)
{
    if (marks.isEmpty())
        return sink.write(bytes);
    QElapsedTimer clock;
    clock.start();
    for (qsizetype i = 0; i < marks.size(); ++i) {
        const qint64 end = i + 1 < marks.size() ? marks[i + 1].offset : bytes.size();
        const qint64 wait = marks[i].ms - clock.elapsed();
        if (wait > 0)
            QThread::msleep(ulong(wait));
        if (!sink.write(QByteArrayView(bytes).sliced(marks[i].offset, end - marks[i].offset)))
            return false;
    }
    return true;
}

int fail(const QString &text)
{
    std::fprintf(stderr, "timingsim: %s\n", qPrintable(text));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("timingsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    const auto option = [&parser](const char *name, const char *help, const char *value = nullptr,
                                  const char *fallback = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(help));
        if (value)
            o.setValueName(QString::fromLatin1(value));
        if (fallback)
            o.setDefaultValue(QString::fromLatin1(fallback));
        parser.addOption(o);
        return o;
    };
    const auto device = option("device", "Send to this serial device (8 data bits, no parity, 1 stop bit).", "path");
    const auto baud = option("baud", "Bit rate of --device.", "rate", "9600");
    const auto pty = option("pty", "Create a pseudo-terminal and print its path (the default without --device).");
    const auto dump = option("dump", "Write the stream to standard output instead (to look at it).");
    const auto heats = option("heats", "Heats to send; 0 sends until stopped.", "n", "1");
    const auto records = option("records", "Records per heat.", "n", "8");
    const auto wind = option("wind", "Wind line of each heat, e.g. +1.2; none for no wind line.", "text", "+1.2");
    const auto separator = option("separator", "Field separator: comma or tab.", "comma|tab", "comma");
    const auto fields = option("fields", "Field numbers (from 0) of place, lane, bib and time.", "p,l,b,t", "1,2,3,4");
    const auto framing = option("framing", "Line framing: stx (STX line ETX CR LF), crlf or cr.", "kind", "stx");
    const auto firstTime = option("first-time", "The winner's time, e.g. 10.34 or 1:02.34.", "time", "10.34");
    const auto chunk = option("chunk", "Bytes per write: 1 for byte by byte; 0 for a heat at once.", "n", "0");
    const auto interval = option("interval", "Pause between writes, in milliseconds.", "ms", "0");
    const auto heatInterval = option("heat-interval", "Pause between heats, in milliseconds.", "ms", "1000");
    const auto startDelay = option("start-delay", "Pause before the first heat, in milliseconds.", "ms", "0");
    const auto bad = option("bad", "Send a broken stream instead of heats: long-lines, nul, framing-only or random.", "kind");
    const auto badSize = option("bad-size", "Bytes of the broken stream.", "n", "4096");
    const auto seed = option("seed", "Seed of lanes, bibs, gaps and random bytes.", "n", "1");
    const auto replay = option("replay", "Send this capture file instead of heats.", "capture");
    const auto pace = option("pace", "Pace of --replay: recorded (as it was read) or fast.", "recorded|fast", "recorded");
    const auto hold = option("hold", "With a pseudo-terminal: keep it this long after the last heat, in milliseconds, "
                                     "instead of until standard input ends.", "ms");
    parser.process(app);

    const auto number = [&parser](const QCommandLineOption &o, int min, int *value) {
        bool ok = false;
        *value = parser.value(o).toInt(&ok);
        return ok && *value >= min;
    };
    HeatOptions heat;
    int heatCount = 0, chunkSize = 0, intervalMs = 0, heatIntervalMs = 0, startDelayMs = 0, badBytes = 0, rate = 0,
        seedValue = 0;
    if (!number(heats, 0, &heatCount) || !number(records, 0, &heat.records) || !number(chunk, 0, &chunkSize)
        || !number(interval, 0, &intervalMs) || !number(heatInterval, 0, &heatIntervalMs)
        || !number(startDelay, 0, &startDelayMs) || !number(badSize, 0, &badBytes) || !number(baud, 1, &rate)
        || !number(seed, 0, &seedValue))
        return fail(QStringLiteral("a number is out of range; see --help"));
    heat.seed = quint32(seedValue);
    heat.wind = parser.value(wind) == QLatin1String("none") ? QString() : parser.value(wind);
    if (parser.value(separator) == QLatin1String("tab"))
        heat.separator = '\t';
    else if (parser.value(separator) != QLatin1String("comma"))
        return fail(QStringLiteral("--separator is comma or tab"));
    const QStringList order = parser.value(fields).split(QLatin1Char(','));
    QList<int> positions;
    for (const QString &f : order) {
        bool ok = false;
        const int n = f.toInt(&ok);
        if (!ok || n < 0 || n > 9 || positions.contains(n))
            return fail(QStringLiteral("--fields takes four different numbers 0 to 9"));
        positions.append(n);
    }
    if (positions.size() != 4)
        return fail(QStringLiteral("--fields takes four different numbers 0 to 9"));
    heat.placeField = positions[0];
    heat.laneField = positions[1];
    heat.bibField = positions[2];
    heat.timeField = positions[3];
    const QString framingName = parser.value(framing);
    if (framingName == QLatin1String("stx"))
        heat.framing = Framing::StxEtxCrLf;
    else if (framingName == QLatin1String("crlf"))
        heat.framing = Framing::CrLf;
    else if (framingName == QLatin1String("cr"))
        heat.framing = Framing::Cr;
    else
        return fail(QStringLiteral("--framing is stx, crlf or cr"));
    heat.firstTime = ParseTime(parser.value(firstTime));
    if (heat.firstTime < 0)
        return fail(QStringLiteral("--first-time reads like 10.34 or 1:02.34"));
    std::optional<BadStream> badKind;
    if (parser.isSet(bad)) {
        const QString kind = parser.value(bad);
        if (kind == QLatin1String("long-lines"))
            badKind = BadStream::LongLines;
        else if (kind == QLatin1String("nul"))
            badKind = BadStream::NulBytes;
        else if (kind == QLatin1String("framing-only"))
            badKind = BadStream::FramingOnly;
        else if (kind == QLatin1String("random"))
            badKind = BadStream::RandomBytes;
        else
            return fail(QStringLiteral("--bad is long-lines, nul, framing-only or random"));
    }

    QByteArray replayBytes;
    QList<CaptureMark> replayMarks;
    if (parser.isSet(replay)) {
        const QString path = parser.value(replay);
        const QString paceName = parser.value(pace);
        if (paceName != QLatin1String("recorded") && paceName != QLatin1String("fast"))
            return fail(QStringLiteral("--pace is recorded or fast"));
        if (!ReadWholeFile(path, MaxReplayBytes, &replayBytes))
            return fail(QStringLiteral("cannot read the capture %1").arg(path));
        if (paceName == QLatin1String("recorded")) {
            QByteArray index;
            if (!ReadWholeFile(CaptureIndexPath(path), MaxReplayBytes, &index)
                || !ParseCaptureIndex(index, replayBytes.size(), &replayMarks))
                return fail(QStringLiteral("the index %1 is missing or broken; --pace fast needs none")
                                .arg(CaptureIndexPath(path)));
        }
    }

    Sink sink;
    sink.dump = parser.isSet(dump);
    if (!sink.dump && parser.isSet(device)) {
        sink.port = std::make_unique<QSerialPort>(parser.value(device));
        if (!sink.port->open(QIODevice::ReadWrite))
            return fail(QStringLiteral("cannot open %1: %2").arg(parser.value(device), sink.port->errorString()));
        sink.port->setBaudRate(rate);
        sink.port->setDataBits(QSerialPort::Data8);
        sink.port->setParity(QSerialPort::NoParity);
        sink.port->setStopBits(QSerialPort::OneStop);
    } else if (!sink.dump) {
        Q_UNUSED(pty);
        sink.pty = std::make_unique<PseudoTerminal>();
        if (!sink.pty->isValid())
            return fail(QStringLiteral("cannot create a pseudo-terminal"));
        std::printf("%s\n", qPrintable(sink.pty->slavePath()));
        std::fflush(stdout);
    }

    QThread::msleep(ulong(startDelayMs));
    bool ok = true;
    if (parser.isSet(replay)) {
        ok = replayCapture(sink, replayBytes, replayMarks);
    } else if (badKind) {
        ok = send(sink, MakeBadStream(*badKind, badBytes, heat.seed), chunkSize, intervalMs);
    } else {
        for (int i = 1; ok && (heatCount == 0 || i <= heatCount); ++i) {
            if (i > 1)
                QThread::msleep(ulong(heatIntervalMs));
            ok = send(sink, HeatStream(heat, i), chunkSize, intervalMs);
        }
    }
    if (!ok)
        return fail(QStringLiteral("writing failed"));

    if (sink.pty) {
        if (parser.isSet(hold)) {
            int holdMs = 0;
            if (number(hold, 0, &holdMs))
                QThread::msleep(ulong(holdMs));
        } else {
            char buffer[256];
            while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
            }
        }
    }
    return 0;
}
