#include "filesizelimit.h"
#include "simstream.h"

#include "core/lineframer.h"
#include "core/records.h"
#include "core/settings.h"
#include "core/slitlog.h"
#include "serial/capturefile.h"
#include "serial/pseudoterminal.h"
#include "serial/seriallink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Ordavex;
using namespace Ordavex::Sim;
using namespace Qt::StringLiterals;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 fileSize(const QString &path)
{
    return QFileInfo(path).size();
}

QByteArray record(int i)
{
    return "\x02R," + QByteArray::number(i) + ",3," + QByteArray::number(100 + i) + ",12.34\x03\r\n";
}

// One showing of the monitor: a reader with a capture, what it sends to the window thread.
struct Showing
{
    QList<QByteArray> lines;
    QList<qint64> arrivals;     // ms of each line on the window thread
    QStringList captureFailures;
    QElapsedTimer clock;

    TMyThread *attach(TMyThread *reader, QObject *context)
    {
        clock.start();
        if (!reader)
            return nullptr;
        QObject::connect(reader, &TMyThread::linesReceived, context, [this](const QList<QByteArray> &l) {
            lines += l;
            for (qsizetype i = 0; i < l.size(); ++i)
                arrivals.append(clock.elapsed());
        }, Qt::QueuedConnection);
        QObject::connect(reader, &TMyThread::captureFailed, context,
                         [this](const QString &t) { captureFailures.append(t); }, Qt::QueuedConnection);
        return reader;
    }
};

const QDateTime Started(QDate(2026, 5, 3), QTime(9, 8, 7));

} // namespace

class TestSerialCapture final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void names();
    void index_data();
    void index();
    void everyByteKeptEvenWhenHeld();
    void oneCapturePerShowingNeverReplaced();
    void captureThatCannotBeMadeDoesNotStopReading();
    void captureThatFailsMidwayDoesNotStopReading();
    void heatCapturedAndReplayed();
    void replayRefusesBrokenIndex();

private:
    QString captureOf(const QString &folder, const QString &name = u"260503090807.cap"_s) const
    {
        return QDir(folder).filePath(name);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSerialCapture::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSerialCapture::names()
{
    QCOMPARE(CaptureName(Started), u"260503090807.cap"_s);
    QCOMPARE(CaptureName(QDateTime(QDate(2031, 12, 31), QTime(23, 59, 59))), u"311231235959.cap"_s);
    QCOMPARE(CaptureIndexPath(u"/a/log/260503090807.cap"_s), u"/a/log/260503090807.idx"_s);
    QCOMPARE(CaptureIndexPath(u"/a/log/260503090807_2.cap"_s), u"/a/log/260503090807_2.idx"_s);
    QCOMPARE(CaptureIndexPath(u"/a.b/capture"_s), u"/a.b/capture.idx"_s);
    QCOMPARE(CaptureIndexLine({123, 4567}), QByteArray("123 4567\r\n"));
}

void TestSerialCapture::index_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<CaptureMark>>("marks");

    using M = QList<CaptureMark>;
    QTest::newRow("empty") << QByteArray() << qint64(0) << true << M{};
    QTest::newRow("marks") << QByteArray("0 0\r\n10 5\r\n25 5000\r\n") << qint64(30) << true
                           << M{{0, 0}, {10, 5}, {25, 5000}};
    QTest::newRow("last line cut by a crash") << QByteArray("0 3\r\n10 2") << qint64(30) << true << M{{0, 3}};
    QTest::newRow("first mark not at 0") << QByteArray("4 0\r\n") << qint64(30) << false << M{};
    QTest::newRow("offset back") << QByteArray("0 0\r\n10 5\r\n10 6\r\n") << qint64(30) << false << M{};
    QTest::newRow("time back") << QByteArray("0 9\r\n10 5\r\n") << qint64(30) << false << M{};
    QTest::newRow("offset past the capture") << QByteArray("0 0\r\n30 5\r\n") << qint64(30) << false << M{};
    QTest::newRow("no number") << QByteArray("0 0\r\nx 5\r\n") << qint64(30) << false << M{};
    QTest::newRow("negative") << QByteArray("0 -1\r\n") << qint64(30) << false << M{};
    QTest::newRow("LF alone") << QByteArray("0 0\n10 5\r\n") << qint64(30) << false << M{};
}

void TestSerialCapture::index()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, size);
    QFETCH(bool, ok);
    QFETCH(QList<CaptureMark>, marks);
    QList<CaptureMark> parsed;
    QCOMPARE(ParseCaptureIndex(text, size, &parsed), ok);
    if (ok)
        QCOMPARE(parsed, marks);
}

// Above the line limit nothing is framed, yet every byte is in the capture, with an
// index that covers it; the folder is made when it is missing.
void TestSerialCapture::everyByteKeptEvenWhenHeld()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialLink link;
    QVERIFY(link.open(pty.slavePath(), Settings()).opened);
    auto counters = std::make_shared<ReceiveCounters>();
    counters->line.store(LineLimit + 1);
    counters->waiting.store(LineLimit + 1);
    const QString folder = m_dir->filePath(u"log"_s);
    Showing showing;
    QVERIFY(showing.attach(link.startReader(counters, {folder, Started}), this));

    QByteArray sent = record(1) + QByteArray("\0\x02\xff" "x\r", 5);
    QVERIFY(pty.write(sent));
    const QString path = captureOf(folder);
    QTRY_COMPARE(fileSize(path), sent.size());
    QTest::qWait(30);
    const QByteArray more = record(2) + record(3);
    QVERIFY(pty.write(more));
    sent += more;
    QTRY_COMPARE(fileSize(path), sent.size());
    QCOMPARE(fileBytes(path), sent);
    QVERIFY(showing.lines.isEmpty());
    QCOMPARE(counters->receivedBytes.load(), 0);

    QList<CaptureMark> marks;
    QVERIFY(ParseCaptureIndex(fileBytes(CaptureIndexPath(path)), sent.size(), &marks));
    QVERIFY(marks.size() >= 2);
    QVERIFY(marks.last().ms >= 30);

    counters->line.store(0);
    counters->waiting.store(0);
    // The NUL before the STX is line noise: "\xffx" is a line of its own.
    QTRY_COMPARE(showing.lines.size(), 4);
    QCOMPARE(fileSize(path), sent.size());
    QVERIFY(showing.captureFailures.isEmpty());
    link.close();
}

// Each reader its own capture; a name taken gets "_2"; the first is not touched.
void TestSerialCapture::oneCapturePerShowingNeverReplaced()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialLink link;
    QVERIFY(link.open(pty.slavePath(), Settings()).opened);
    auto counters = std::make_shared<ReceiveCounters>();
    const QString folder = m_dir->path();

    Showing first;
    QVERIFY(first.attach(link.startReader(counters, {folder, Started}), this));
    QVERIFY(pty.write(record(1)));
    QTRY_COMPARE(first.lines.size(), 1);
    link.requestStop();
    QVERIFY(link.waitForReader(1000));

    Showing second;
    QVERIFY(second.attach(link.startReader(counters, {folder, Started}), this));
    QVERIFY(pty.write(record(2)));
    QTRY_COMPARE(second.lines.size(), 1);
    QTRY_COMPARE(fileBytes(captureOf(folder, u"260503090807_2.cap"_s)), record(2));
    QCOMPARE(fileBytes(captureOf(folder)), record(1));
    QVERIFY(QFileInfo::exists(captureOf(folder, u"260503090807_2.idx"_s)));

    // Without a folder, no capture.
    link.requestStop();
    QVERIFY(link.waitForReader(1000));
    Showing third;
    QVERIFY(third.attach(link.startReader(counters), this));
    QVERIFY(pty.write(record(3)));
    QTRY_COMPARE(third.lines.size(), 1);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 4);
    link.close();
}

void TestSerialCapture::captureThatCannotBeMadeDoesNotStopReading()
{
    // A file where the folder should be.
    const QString notAFolder = m_dir->filePath(u"log"_s);
    QFile blocker(notAFolder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialLink link;
    QVERIFY(link.open(pty.slavePath(), Settings()).opened);
    Showing showing;
    QVERIFY(showing.attach(link.startReader(std::make_shared<ReceiveCounters>(), {notAFolder, Started}), this));
    QVERIFY(pty.write(record(1) + record(2)));
    QTRY_COMPARE(showing.lines.size(), 2);
    QVERIFY(pty.write(record(3)));
    QTRY_COMPARE(showing.lines.size(), 3);
    QCOMPARE(showing.captureFailures, QStringList{MsgCaptureFailed});
    link.close();
}

// A full disk, as far as the capture knows: said once, reading goes on.
void TestSerialCapture::captureThatFailsMidwayDoesNotStopReading()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialLink link;
    QVERIFY(link.open(pty.slavePath(), Settings()).opened);
    Showing showing;
    const QString folder = m_dir->path();
    QVERIFY(showing.attach(link.startReader(std::make_shared<ReceiveCounters>(), {folder, Started}), this));
    QVERIFY(pty.write(record(1)));
    QTRY_COMPARE(showing.lines.size(), 1);
    QTRY_COMPARE(fileSize(captureOf(folder)), record(1).size());
    {
        Testing::FileSizeLimit limit(100);
        QVERIFY(limit.isSet());
        for (int i = 2; i <= 20; ++i) {
            QVERIFY(pty.write(record(i)));
            QTest::qWait(5);
        }
        QTRY_COMPARE(showing.lines.size(), 20);
        QTRY_COMPARE(showing.captureFailures, QStringList{MsgCaptureFailed});
    }
    QVERIFY(pty.write(record(21)));
    QTRY_COMPARE(showing.lines.size(), 21);
    QCOMPARE(showing.captureFailures.size(), 1);
    // What was written is the start of what was read, and its index still reads.
    const QByteArray captured = fileBytes(captureOf(folder));
    QVERIFY(captured.size() <= 100);
    QVERIFY(captured.size() >= record(1).size());
    QList<CaptureMark> marks;
    QVERIFY(ParseCaptureIndex(fileBytes(CaptureIndexPath(captureOf(folder))), captured.size(), &marks));
    QVERIFY(!marks.isEmpty());
    link.close();
}

// A heat from the simulator, captured; the capture replayed into a second reading gives
// the same lines, the same slit log and the same capture, at the recorded pace.
void TestSerialCapture::heatCapturedAndReplayed()
{
    const auto run = [this](const QStringList &simArguments, const QString &folder, Showing &showing,
                            int expectedLines) {
        QProcess tool;
        tool.start(QStringLiteral(ORDAVEX_SIM_BINARY), simArguments);
        QVERIFY(tool.waitForStarted());
        QVERIFY(tool.waitForReadyRead(5000));
        const QString path = QString::fromLocal8Bit(tool.readLine().trimmed());
        QVERIFY2(path.startsWith(u"/dev/"_s), qPrintable(path));
        SerialLink link;
        QVERIFY(link.open(path, Settings()).opened);
        QVERIFY(showing.attach(link.startReader(std::make_shared<ReceiveCounters>(), {folder, Started}), this));
        QTRY_COMPARE_WITH_TIMEOUT(showing.lines.size(), expectedLines, 10000);
        tool.closeWriteChannel();
        QVERIFY(tool.waitForFinished(5000));
        QCOMPARE(tool.exitCode(), 0);
        link.close();
    };

    const int gapMs = 400;
    HeatOptions options;
    options.records = 8;
    options.wind = u"-0.4"_s;
    options.seed = 3;
    const QList<QByteArray> heats = HeatLines(options, 1) + HeatLines(options, 2);

    const QString firstFolder = m_dir->filePath(u"first"_s);
    Showing first;
    run({u"--pty"_s, u"--heats"_s, u"2"_s, u"--records"_s, u"8"_s, u"--wind"_s, u"-0.4"_s, u"--seed"_s, u"3"_s,
         u"--chunk"_s, u"5"_s, u"--interval"_s, u"1"_s, u"--heat-interval"_s, QString::number(gapMs),
         u"--start-delay"_s, u"300"_s},
        firstFolder, first, int(heats.size()));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(first.lines, heats);
    const QString capture = captureOf(firstFolder);
    const QByteArray captured = fileBytes(capture);
    QCOMPARE(captured, HeatStream(options, 1) + HeatStream(options, 2));

    const QString secondFolder = m_dir->filePath(u"second"_s);
    Showing second;
    run({u"--pty"_s, u"--replay"_s, capture, u"--pace"_s, u"recorded"_s, u"--start-delay"_s, u"300"_s}, secondFolder,
        second, int(heats.size()));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(second.lines, first.lines);
    const RecordColumns columns = RecordColumnsFrom(Settings());
    const QByteArray slitLog = SlitLogBytes(BuildSlitLog(first.lines, columns));
    QVERIFY(slitLog.contains("\r\n"));
    QCOMPARE(SlitLogBytes(BuildSlitLog(second.lines, columns)), slitLog);
    QCOMPARE(fileBytes(captureOf(secondFolder)), captured);
    // The pause between the heats came back with them.
    const qsizetype firstOfHeat2 = HeatLines(options, 1).size();
    const qint64 gap = second.arrivals[firstOfHeat2] - second.arrivals[firstOfHeat2 - 1];
    QVERIFY2(gap >= gapMs * 3 / 4, qPrintable(QString::number(gap)));

    // As fast as possible: the same lines, without the pause.
    Showing fast;
    run({u"--pty"_s, u"--replay"_s, capture, u"--pace"_s, u"fast"_s, u"--start-delay"_s, u"300"_s},
        m_dir->filePath(u"fast"_s), fast, int(heats.size()));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(fast.lines, first.lines);
    QVERIFY(fast.arrivals.last() - fast.arrivals.first() < gapMs / 2);
}

void TestSerialCapture::replayRefusesBrokenIndex()
{
    const QString capture = m_dir->filePath(u"c.cap"_s);
    QFile file(capture);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(record(1));
    file.close();
    const auto replay = [&](const QString &pace) {
        QProcess tool;
        tool.start(QStringLiteral(ORDAVEX_SIM_BINARY), {u"--dump"_s, u"--replay"_s, capture, u"--pace"_s, pace});
        tool.waitForFinished(5000);
        return std::pair{tool.exitCode(), tool.readAllStandardOutput()};
    };
    // No index: only as fast as possible.
    QCOMPARE(replay(u"recorded"_s).first, 2);
    QCOMPARE(replay(u"fast"_s), (std::pair{0, record(1)}));
    QFile index(CaptureIndexPath(capture));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("0 0\r\n999 1\r\n");
    index.close();
    QCOMPARE(replay(u"recorded"_s).first, 2);
    QVERIFY(index.open(QIODevice::WriteOnly | QIODevice::Truncate));
    index.write("0 0\r\n5 20\r\n");
    index.close();
    QCOMPARE(replay(u"recorded"_s), (std::pair{0, record(1)}));
}

QTEST_GUILESS_MAIN(TestSerialCapture)
#include "tst_serial_capture.moc"
