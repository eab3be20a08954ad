#include "simstream.h"

#include "core/lineframer.h"
#include "core/settings.h"
#include "serial/seriallink.h"

#include <QProcess>
#include <QTest>

using namespace Ordavex;
using namespace Ordavex::Sim;
using namespace Qt::StringLiterals;

namespace {

FramedLines frameAll(const QByteArray &stream)
{
    LineFramer framer;
    return framer.feed(stream, 0);
}

} // namespace

class TestSerialSimulator final : public QObject
{
    Q_OBJECT

private slots:
    void times_data();
    void times();
    void heatLines();
    void fieldOrderAndSeparator();
    void framings_data();
    void framings();
    void badStreams();
    void realToolThroughPseudoTerminal();
    void helpSaysItAll();
};

void TestSerialSimulator::times_data()
{
    QTest::addColumn<int>("hundredths");
    QTest::addColumn<QString>("text");
    QTest::newRow("under a second") << 7 << u"0.07"_s;
    QTest::newRow("seconds") << 1234 << u"12.34"_s;
    QTest::newRow("just under a minute") << 5999 << u"59.99"_s;
    QTest::newRow("a minute") << 6000 << u"1:00.00"_s;
    QTest::newRow("minutes") << 6234 << u"1:02.34"_s;
    QTest::newRow("long race") << 2 * 360000 + 5 * 6000 + 907 << u"125:09.07"_s;
}

void TestSerialSimulator::times()
{
    QFETCH(int, hundredths);
    QFETCH(QString, text);
    QCOMPARE(FormatTime(hundredths), text);
    QCOMPARE(ParseTime(text), hundredths);
    QCOMPARE(ParseTime(u"1:60.00"_s), -1);
    QCOMPARE(ParseTime(u"12.3"_s), -1);
}

void TestSerialSimulator::heatLines()
{
    HeatOptions options;
    options.records = 8;
    options.wind = u"+1.2"_s;
    const QList<QByteArray> lines = HeatLines(options, 1);
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[0], "+1.2");
    QList<int> lanes;
    int lastTime = 0;
    for (int place = 1; place <= 8; ++place) {
        const QList<QByteArray> fields = lines[place].split(',');
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields[0], "R");
        QCOMPARE(fields[1], QByteArray::number(place));
        lanes.append(fields[2].toInt());
        QCOMPARE(fields[3], QByteArray::number(110 + lanes.last()));
        const int time = ParseTime(QString::fromLatin1(fields[4]));
        QVERIFY(time >= lastTime);
        lastTime = time;
    }
    QCOMPARE(ParseTime(QString::fromLatin1(lines[1].split(',')[4])), 1034);
    std::sort(lanes.begin(), lanes.end());
    QCOMPARE(lanes, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    // The same seed and heat give the same heat; another heat differs.
    QCOMPARE(HeatLines(options, 1), lines);
    QVERIFY(HeatLines(options, 2) != lines);

    options.wind.clear();
    options.records = 0;
    QCOMPARE(HeatLines(options, 1), QList<QByteArray>());
}

void TestSerialSimulator::fieldOrderAndSeparator()
{
    HeatOptions options;
    options.records = 2;
    options.separator = '\t';
    options.placeField = 6;
    options.laneField = 0;
    options.bibField = 2;
    options.timeField = 3;
    options.firstTime = 6234;
    const QList<QByteArray> lines = HeatLines(options, 1);
    QCOMPARE(lines.size(), 2);
    const QList<QByteArray> fields = lines[0].split('\t');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(fields[6], "1");
    QCOMPARE(fields[3], "1:02.34");
    QCOMPARE(fields[1], "R");
    QCOMPARE(fields[4], "R");
    QVERIFY(!lines[0].contains(','));
}

void TestSerialSimulator::framings_data()
{
    QTest::addColumn<int>("framing");
    QTest::addColumn<QByteArray>("framed");
    QTest::newRow("STX ETX CR LF") << int(Framing::StxEtxCrLf) << QByteArray("\x02" "R,1\x03\r\n");
    QTest::newRow("CR LF") << int(Framing::CrLf) << QByteArray("R,1\r\n");
    QTest::newRow("CR") << int(Framing::Cr) << QByteArray("R,1\r");
}

// Each framing frames back into the heat's lines.
void TestSerialSimulator::framings()
{
    QFETCH(int, framing);
    QFETCH(QByteArray, framed);
    QCOMPARE(FrameLine("R,1", Framing(framing)), framed);
    HeatOptions options;
    options.wind = u"-0.3"_s;
    options.framing = Framing(framing);
    QCOMPARE(frameAll(HeatStream(options, 3)).lines, HeatLines(options, 3));
}

void TestSerialSimulator::badStreams()
{
    const QByteArray longLines = MakeBadStream(BadStream::LongLines, 20000, 1);
    QCOMPARE(longLines.size(), 20000);
    const QList<QByteArray> parts = longLines.split('\x03');
    QVERIFY(parts.size() > 5);
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        QVERIFY(parts[i].size() - 3 > MaxLineBytes || (i == 0 && parts[i].size() - 1 > MaxLineBytes));

    const QByteArray nul = MakeBadStream(BadStream::NulBytes, 200, 1);
    QVERIFY(nul.count('\0') >= 10);
    const FramedLines nulFramed = frameAll(nul);
    QVERIFY(nulFramed.completed > nulFramed.lines.size());

    const QByteArray framingOnly = MakeBadStream(BadStream::FramingOnly, 1000, 1);
    QCOMPARE(framingOnly.size(), 1000);
    for (char c : framingOnly)
        QVERIFY(c == '\x02' || c == '\x03' || c == '\r' || c == '\n');
    QCOMPARE(frameAll(framingOnly).completed, 0);

    const QByteArray random = MakeBadStream(BadStream::RandomBytes, 4096, 5);
    QCOMPARE(random.size(), 4096);
    QVERIFY(random != MakeBadStream(BadStream::RandomBytes, 4096, 6));
    QVERIFY(random.count('\0') > 0);
}

// The real tool on its own pseudo-terminal, read by the real reader.
void TestSerialSimulator::realToolThroughPseudoTerminal()
{
    QProcess tool;
    tool.start(QStringLiteral(ORDAVEX_SIM_BINARY),
               {u"--pty"_s, u"--heats"_s, u"2"_s, u"--records"_s, u"6"_s, u"--wind"_s, u"+1.5"_s,
                u"--chunk"_s, u"7"_s, u"--interval"_s, u"1"_s, u"--heat-interval"_s, u"50"_s,
                u"--start-delay"_s, u"300"_s, u"--seed"_s, u"9"_s});
    QVERIFY(tool.waitForStarted());
    QVERIFY(tool.waitForReadyRead(5000));
    const QString path = QString::fromLocal8Bit(tool.readLine().trimmed());
    QVERIFY2(path.startsWith(u"/dev/"_s), qPrintable(path));

    SerialLink link;
    QVERIFY(link.open(path, Settings()).opened);
    auto counters = std::make_shared<ReceiveCounters>();
    QList<QByteArray> lines;
    TMyThread *reader = link.startReader(counters);
    QVERIFY(reader);
    connect(reader, &TMyThread::linesReceived, this,
            [&lines](const QList<QByteArray> &received) { lines += received; }, Qt::QueuedConnection);

    HeatOptions options;
    options.records = 6;
    options.wind = u"+1.5"_s;
    options.seed = 9;
    const QList<QByteArray> expected = HeatLines(options, 1) + HeatLines(options, 2);
    QTRY_COMPARE_WITH_TIMEOUT(lines, expected, 10000);
    QCOMPARE(counters->line.load(), 14);

    tool.closeWriteChannel();
    QVERIFY(tool.waitForFinished(5000));
    QCOMPARE(tool.exitCode(), 0);
    link.close();
}

void TestSerialSimulator::helpSaysItAll()
{
    QProcess tool;
    tool.start(QStringLiteral(ORDAVEX_SIM_BINARY), {u"--help"_s});
    QVERIFY(tool.waitForFinished(5000));
    const QString help = QString::fromLocal8Bit(tool.readAllStandardOutput());
    for (const char *word : {"--device", "--pty", "--wind", "--separator", "--fields", "--framing", "--chunk",
                             "--interval", "--bad", "long-lines", "framing-only", "random", "STX", "1:02.34"})
        QVERIFY2(help.contains(QLatin1String(word)), word);
}

QTEST_GUILESS_MAIN(TestSerialSimulator)
#include "tst_serial_simulator.moc"
