#include "core/lineframer.h"
#include "core/settings.h"
#include "serial/pseudoterminal.h"
#include "serial/seriallink.h"
#include "serial/serialtexts.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <thread>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

// What the monitor would get, on the window thread, through queued connections.
class Receiver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Receiver)

public:
    explicit Receiver(std::shared_ptr<ReceiveCounters> counters)
        : m_counters(std::move(counters))
    {
    }

    QList<QByteArray> lines;
    int batches = 0;
    QStringList statuses;
    QStringList lost;
    QStringList back;
    bool offThread = false;         // a signal arrived on another thread
    bool clearEachBatch = false;    // the monitor's clear after every batch

    void attach(TMyThread *reader)
    {
        connect(reader, &TMyThread::linesReceived, this, &Receiver::onLines, Qt::QueuedConnection);
        connect(reader, &TMyThread::statusChanged, this, &Receiver::onStatus, Qt::QueuedConnection);
        connect(reader, &TMyThread::portLost, this, &Receiver::onLost, Qt::QueuedConnection);
        connect(reader, &TMyThread::portBack, this, &Receiver::onBack, Qt::QueuedConnection);
    }

private:
    void onLines(const QList<QByteArray> &received)
    {
        offThread = offThread || QThread::currentThread() != thread();
        lines += received;
        ++batches;
        if (clearEachBatch) {
            m_counters->line.store(0);
            m_counters->waiting.store(0);
        }
    }
    void onStatus(const QString &text)
    {
        offThread = offThread || QThread::currentThread() != thread();
        statuses.append(text);
    }
    void onLost(const QString &text)
    {
        offThread = offThread || QThread::currentThread() != thread();
        lost.append(text);
    }
    void onBack(const QString &text)
    {
        offThread = offThread || QThread::currentThread() != thread();
        back.append(text);
    }

    std::shared_ptr<ReceiveCounters> m_counters;
};

QByteArray record(int i)
{
    return "\x02R," + QByteArray::number(i % 1000) + ",3," + QByteArray::number(i) + ",12.34\x03\r\n";
}

QByteArray recordText(int i)
{
    return "R," + QByteArray::number(i % 1000) + ",3," + QByteArray::number(i) + ",12.34";
}

// CPU time of the whole process, in milliseconds.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

class TestSerialReader final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void heatFramedAndCounted();
    void busyWindowThreadGetsLinesTogether();
    void edgeCasesByteByByte_data();
    void edgeCasesByteByByte();
    void startDoesNotWait();
    void stopWithinOneWait();
    void lineLimitHoldsWithoutSpinningUntilClear();
    void longLine();
    void partialLineAndWaitingBytesGoToNextReader();
    void stopWhileBytesArrive();
    void nextOpenStopsTheReader();
    void lostDeviceTriedAgainWithoutSpinning();
    void deviceLostBetweenReaders();
    void linkGoesWhileReading();

private:
    TMyThread *start();

    std::unique_ptr<PseudoTerminal> m_pty;
    std::shared_ptr<ReceiveCounters> m_counters;
    std::unique_ptr<Receiver> m_receiver;
    std::unique_ptr<SerialLink> m_link;
};

void TestSerialReader::init()
{
    m_pty = std::make_unique<PseudoTerminal>();
    QVERIFY(m_pty->isValid());
    m_counters = std::make_shared<ReceiveCounters>();
    m_receiver = std::make_unique<Receiver>(m_counters);
    m_link = std::make_unique<SerialLink>();
    QVERIFY(m_link->open(m_pty->slavePath(), Settings()).opened);
}

void TestSerialReader::cleanup()
{
    m_link.reset();
    QVERIFY(!m_receiver || !m_receiver->offThread);
    m_receiver.reset();
    m_pty.reset();
}

TMyThread *TestSerialReader::start()
{
    TMyThread *reader = m_link->startReader(m_counters);
    if (reader)
        m_receiver->attach(reader);
    return reader;
}

void TestSerialReader::heatFramedAndCounted()
{
    QVERIFY(start());
    const QByteArray heat = "\x02+1.2\x03\r\n" + record(1) + record(2) + record(3);
    QVERIFY(m_pty->write(heat));
    const QList<QByteArray> expected{"+1.2", recordText(1), recordText(2), recordText(3)};
    QTRY_COMPARE(m_receiver->lines, expected);
    QCOMPARE(m_counters->line.load(), 4);
    QCOMPARE(m_counters->receivedBytes.load(), heat.size());
    QCOMPARE(m_counters->keptBytes.load(), heat.size() - 4 * 4);
    QTRY_COMPARE(m_receiver->statuses.last(), ReceiveStatusText(4, heat.size() - 16, heat.size()));
    QVERIFY(m_receiver->lost.isEmpty());
}

// Records that come one by one while the window thread is busy reach it together once it
// is free, all of them, in order, before the status that counts them.
void TestSerialReader::busyWindowThreadGetsLinesTogether()
{
    QVERIFY(start());
    const int count = 60;
    QList<QByteArray> expected;
    QByteArray sent;
    for (int i = 0; i < count; ++i) {
        expected.append(recordText(i));
        sent += record(i);
    }
    // The first record goes at once and keeps the window thread's delivery in flight.
    QVERIFY(m_pty->write(record(0)));
    QTRY_COMPARE(m_receiver->lines.size(), 1);
    QVERIFY(m_pty->write(record(1)));
    QThread::msleep(50);
    for (int i = 2; i < count; ++i) {
        QVERIFY(m_pty->write(record(i)));
        QThread::msleep(3);
    }
    QThread::msleep(50);
    QTRY_COMPARE(m_receiver->lines, expected);
    QVERIFY2(m_receiver->batches <= 3, QByteArray::number(m_receiver->batches).constData());
    QTRY_COMPARE(m_receiver->statuses.last(), ReceiveStatusText(count, sent.size() - 4 * count, sent.size()));
    QCOMPARE(m_counters->waiting.load(), count);
}

void TestSerialReader::edgeCasesByteByByte_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("batches");

    using L = QList<QByteArray>;
    QTest::newRow("STX 1,3,1234 ETX CR LF") << QByteArray("\x02" "1,3,1234\x03\r\n") << L{"1,3,1234"} << 1 << 8 << 1;
    QTest::newRow("end bytes alone") << QByteArray("\r\n\r\n") << L{} << 0 << 0 << 0;
    QTest::newRow("only NULs: counted, not appended") << QByteArray("\0\0\0\r\n", 5) << L{} << 1 << 3 << 1;
    QTest::newRow("leading NUL left out") << QByteArray("\0" "12\r\n", 5) << L{"12"} << 1 << 3 << 1;
    QTest::newRow("no end byte") << QByteArray("1,3,12") << L{} << 0 << 6 << 0;
}

// Each byte its own write, with a pause that lets the reader see it alone.
void TestSerialReader::edgeCasesByteByByte()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, line);
    QFETCH(int, kept);
    QFETCH(int, batches);

    QVERIFY(start());
    for (char c : std::as_const(stream)) {
        QVERIFY(m_pty->write(QByteArrayView(&c, 1)));
        QTest::qWait(2);
    }
    QTRY_COMPARE(m_counters->receivedBytes.load(), stream.size());
    QCOMPARE(m_counters->keptBytes.load(), kept);
    QCOMPARE(m_counters->line.load(), line);
    QTRY_COMPARE(m_receiver->batches, batches);
    QCOMPARE(m_receiver->lines, lines);
    QTRY_COMPARE(m_receiver->statuses.last(), ReceiveStatusText(line, kept, int(stream.size())));
}

// The window thread never waits for the reader to run.
void TestSerialReader::startDoesNotWait()
{
    QElapsedTimer clock;
    clock.start();
    QVERIFY(start());
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(m_pty->write(record(1)));
    QTRY_COMPARE(m_receiver->lines.size(), 1);
}

void TestSerialReader::stopWithinOneWait()
{
    QVERIFY(start());
    QVERIFY(m_pty->write(record(1)));
    QTRY_COMPARE(m_receiver->lines.size(), 1);
    QVERIFY(!m_link->waitForReader(0));

    QElapsedTimer clock;
    clock.start();
    m_link->requestStop();
    QVERIFY(m_link->waitForReader(TMyThread::WaitMs + 500));
    QVERIFY(clock.elapsed() <= TMyThread::WaitMs + 500);
    QVERIFY(m_link->isOpen());

    // A reader stopped before its thread ever ran hands the port back as well.
    QVERIFY(start());
    m_link->requestStop();
    QVERIFY(m_link->waitForReader(TMyThread::WaitMs + 500));
    QVERIFY(start());
    QVERIFY(m_pty->write(record(2)));
    QTRY_COMPARE(m_receiver->lines.size(), 2);
}

// The 1001st line is read, then the reader holds what comes without counting, without
// spinning and without leaving it to the driver; the monitor's clear lets it through.
void TestSerialReader::lineLimitHoldsWithoutSpinningUntilClear()
{
    QVERIFY(start());
    QByteArray stream;
    for (int i = 1; i <= 1003; ++i)
        stream += record(i);
    // More than a terminal's input queue takes while nobody reads it.
    const QByteArray tail = QByteArray(64 * 1024, 'x') + "\r\n";
    std::thread writer([&] { m_pty->write(stream + tail); });
    QTRY_COMPARE(m_receiver->lines.size(), 1001);
    QTRY_COMPARE(m_receiver->statuses.last(), MsgLineLimit);
    writer.join();   // everything was taken off the port

    const double cpuBefore = processCpuMs();
    QTest::qWait(5 * TMyThread::WaitMs);
    const double cpu = processCpuMs() - cpuBefore;
    QCOMPARE(m_counters->line.load(), 1001);
    QCOMPARE(m_receiver->lines.size(), 1001);
    QVERIFY2(cpu < 0.2 * 5 * TMyThread::WaitMs, qPrintable(QString::number(cpu)));

    m_counters->line.store(0);
    m_counters->waiting.store(0);
    QTRY_COMPARE(m_receiver->lines.size(), 1003 + 128);
    QCOMPARE(m_receiver->lines[1000], recordText(1001));
    QCOMPARE(m_receiver->lines[1001], recordText(1002));
    QCOMPARE(m_receiver->lines[1002], recordText(1003));
    QCOMPARE(m_receiver->lines.last(), QByteArray(64 * 1024 - 127 * 515, 'x'));
    QCOMPARE(m_counters->line.load(), 2 + 128);
    QTRY_COMPARE(m_receiver->statuses.last().left(5), u"line="_s);
}

void TestSerialReader::longLine()
{
    QVERIFY(start());
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += char('A' + i % 26);
    QVERIFY(m_pty->write("\x02" + text + "\x03\r\n"));
    QTRY_COMPARE(m_receiver->lines.size(), 4);
    QCOMPARE(m_receiver->lines.join(), text);
    QCOMPARE(m_receiver->lines[0].size(), MaxLineBytes);
    QCOMPARE(m_receiver->lines[3].size(), 2000 - 3 * MaxLineBytes);
}

void TestSerialReader::partialLineAndWaitingBytesGoToNextReader()
{
    QVERIFY(start());
    QVERIFY(m_pty->write("\x02R,1,"));
    QTRY_COMPARE(m_counters->receivedBytes.load(), 5);
    m_link->requestStop();
    QVERIFY(m_link->waitForReader(2000));

    // No reader: the bytes wait, on the window thread's port or in the driver.
    QVERIFY(m_pty->write("3,7,12.34\x03\r\n" + record(2)));
    QTest::qWait(50);
    QVERIFY(m_receiver->lines.isEmpty());

    QVERIFY(start());
    QTRY_COMPARE(m_receiver->lines, (QList<QByteArray>{"R,1,3,7,12.34", recordText(2)}));
    QTest::qWait(2 * TMyThread::WaitMs);
    QCOMPARE(m_receiver->lines.size(), 2);
}

// Readers stopped and started at random moments while a heat streams in: every line
// arrives once, in order.
void TestSerialReader::stopWhileBytesArrive()
{
    const int total = 3000;
    m_receiver->clearEachBatch = true;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= total; i += 10) {
            QByteArray chunk;
            for (int j = i; j < i + 10; ++j)
                chunk += record(j);
            // Cut at a random byte, so that stops fall inside lines too.
            const qsizetype cut = QRandomGenerator::global()->bounded(chunk.size());
            m_pty->write(QByteArrayView(chunk).first(cut));
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            m_pty->write(QByteArrayView(chunk).sliced(cut));
        }
        done = true;
    });
    int readers = 0;
    while (!done) {
        QVERIFY(start());
        ++readers;
        QTest::qWait(QRandomGenerator::global()->bounded(1, 30));
        m_link->requestStop();
        QVERIFY(m_link->waitForReader(2000));
    }
    writer.join();
    QVERIFY(start());
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->lines.size(), total, 20000);
    for (int i = 0; i < total; ++i)
        QCOMPARE(m_receiver->lines[i], recordText(i + 1));
    QVERIFY(readers > 3);
}

void TestSerialReader::nextOpenStopsTheReader()
{
    QVERIFY(start());
    QVERIFY(m_pty->write(record(1)));
    QTRY_COMPARE(m_receiver->lines.size(), 1);

    PseudoTerminal other;
    QVERIFY(other.isValid());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_link->open(other.slavePath(), Settings()).opened);
    QVERIFY(clock.elapsed() < SerialLink::StopWaitMs);
    QVERIFY(m_link->waitForReader(0));

    // The old port is closed: what its machine sends reaches nobody.
    QVERIFY(m_pty->write(record(2)));
    QVERIFY(start());
    QVERIFY(other.write(record(3)));
    QTRY_COMPARE(m_receiver->lines, (QList<QByteArray>{recordText(1), recordText(3)}));
}

// The adapter pulled out and not put back: the reader says so at once, tries again
// without spinning, stops within one wait, and the port can be opened anew.
void TestSerialReader::lostDeviceTriedAgainWithoutSpinning()
{
    QVERIFY(start());
    QVERIFY(m_pty->write(record(1)));
    QTRY_COMPARE(m_receiver->lines.size(), 1);
    m_pty->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->lost, QStringList{MsgPortLost}, 1000);
    const double cpuBefore = processCpuMs();
    QTest::qWait(2 * TMyThread::ReopenIntervalMs + 200);
    const double cpu = processCpuMs() - cpuBefore;
    QVERIFY2(cpu < 150, qPrintable(QString::number(cpu)));
    QCOMPARE(m_receiver->lost, QStringList{MsgPortLost});
    QVERIFY(m_receiver->back.isEmpty());
    QVERIFY(!m_link->waitForReader(0));

    QElapsedTimer clock;
    clock.start();
    m_link->requestStop();
    QVERIFY(m_link->waitForReader(TMyThread::WaitMs + 500));
    QVERIFY2(clock.elapsed() <= TMyThread::WaitMs + 500, qPrintable(QString::number(clock.elapsed())));

    PseudoTerminal fresh;
    QVERIFY(fresh.isValid());
    QVERIFY(m_link->open(fresh.slavePath(), Settings()).opened);
    QVERIFY(start());
    QVERIFY(fresh.write(record(2)));
    QTRY_COMPARE(m_receiver->lines.size(), 2);
}

// No reader runs when the device goes: the window thread does not spin on the dead
// port, and the next reader reports the loss at once.
void TestSerialReader::deviceLostBetweenReaders()
{
    QVERIFY(start());
    m_link->requestStop();
    QVERIFY(m_link->waitForReader(1000));
    m_pty->closeMaster();
    QTest::qWait(50);
    const double cpuBefore = processCpuMs();
    QTest::qWait(300);
    const double cpu = processCpuMs() - cpuBefore;
    QVERIFY2(cpu < 100, qPrintable(QString::number(cpu)));
    QVERIFY(m_link->isOpen());
    QVERIFY(start());
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->lost, QStringList{MsgPortLost}, 1000);
    m_link->requestStop();
    QVERIFY(m_link->waitForReader(TMyThread::WaitMs + 500));
}

void TestSerialReader::linkGoesWhileReading()
{
    QVERIFY(start());
    // Non-blocking, so that the writer never hangs on a terminal nobody reads any more.
    const int fd = m_pty->masterFd();
    QVERIFY(::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            const QByteArray bytes = record(i);
            if (::write(fd, bytes.constData(), size_t(bytes.size())) < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QTRY_VERIFY(m_receiver->lines.size() > 10);
    m_link.reset();
    stop = true;
    writer.join();
}

QTEST_GUILESS_MAIN(TestSerialReader)
#include "tst_serial_reader.moc"
