#include "serialadapter.h"

#include "core/settings.h"
#include "serial/seriallink.h"
#include "serial/serialtexts.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

namespace {

QByteArray record(int i)
{
    return "\x02R," + QByteArray::number(i) + ",3," + QByteArray::number(100 + i) + ",12.34\x03\r\n";
}

QByteArray recordText(int i)
{
    return "R," + QByteArray::number(i) + ",3," + QByteArray::number(100 + i) + ",12.34";
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

class TestSerialReconnect final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pulledAndPutBack();
    void reopenedPortHandedBack();

private:
    QTemporaryDir m_dir;
};

void TestSerialReconnect::initTestCase()
{
    if (QStandardPaths::findExecutable(u"socat"_s).isEmpty())
        QFAIL("socat is missing: tools/install-deps installs it");
    QVERIFY(m_dir.isValid());
}

// Lines before and after all arrive, a line cut by the pull included; the status says
// so both times; nothing spins while the device is away.
void TestSerialReconnect::pulledAndPutBack()
{
    const QString link = m_dir.filePath(u"ttyTM"_s);
    Adapter adapter(link);
    QVERIFY(adapter.plugIn());

    SerialLink serial;
    QVERIFY(serial.open(link, Settings()).opened);
    auto counters = std::make_shared<ReceiveCounters>();
    TMyThread *reader = serial.startReader(counters);
    QVERIFY(reader);
    QList<QByteArray> lines;
    QStringList statuses;
    int lost = 0, back = 0;
    connect(reader, &TMyThread::linesReceived, this, [&](const QList<QByteArray> &l) { lines += l; },
            Qt::QueuedConnection);
    connect(reader, &TMyThread::statusChanged, this, [&](const QString &t) { statuses.append(t); },
            Qt::QueuedConnection);
    connect(reader, &TMyThread::portLost, this, [&](const QString &t) { statuses.append(t); ++lost; },
            Qt::QueuedConnection);
    connect(reader, &TMyThread::portBack, this, [&](const QString &t) { statuses.append(t); ++back; },
            Qt::QueuedConnection);

    // Two whole lines and the start of a third.
    const QByteArray third = record(3);
    const QByteArray before = record(1) + record(2) + third.first(7);
    QVERIFY(adapter.send(before));
    QTRY_COMPARE_WITH_TIMEOUT(counters->receivedBytes.load(), before.size(), 5000);
    // The lines follow the count: the reader hands them on together, a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(lines, (QList<QByteArray>{recordText(1), recordText(2)}), 2000);

    for (int round = 0; round < 2; ++round) {
        adapter.pull();
        QTRY_COMPARE_WITH_TIMEOUT(lost, round + 1, 2000);
        QCOMPARE(statuses.last(), MsgPortLost);
        QVERIFY(!QFileInfo::exists(link));
        const double cpuBefore = processCpuMs();
        QTest::qWait(TMyThread::ReopenIntervalMs + 300);
        const double cpu = processCpuMs() - cpuBefore;
        QVERIFY2(cpu < 100, qPrintable(QString::number(cpu)));
        QCOMPARE(back, round);

        QVERIFY(adapter.plugIn());
        QTRY_COMPARE_WITH_TIMEOUT(back, round + 1, 3 * TMyThread::ReopenIntervalMs);
        QCOMPARE(statuses.last(), MsgPortBack);
    }

    // The rest of the cut line, then more.
    QVERIFY(adapter.send(third.sliced(7) + record(4) + record(5)));
    const QList<QByteArray> expected{recordText(1), recordText(2), recordText(3), recordText(4), recordText(5)};
    QTRY_COMPARE_WITH_TIMEOUT(lines, expected, 5000);
    QCOMPARE(counters->line.load(), 5);
    QCOMPARE(counters->receivedBytes.load(), 5 * third.size());
    QTRY_COMPARE(statuses.last(), ReceiveStatusText(5, 5 * (third.size() - 4), 5 * third.size()));

    // Stopped while the device is away: within one wait, and the port is handed back.
    adapter.pull();
    QTRY_COMPARE_WITH_TIMEOUT(lost, 3, 2000);
    QElapsedTimer clock;
    clock.start();
    serial.requestStop();
    QVERIFY(serial.waitForReader(TMyThread::WaitMs + 500));
    QVERIFY(clock.elapsed() <= TMyThread::WaitMs + 500);
    serial.close();
}

// A port opened again on the reader's thread goes back to the window thread when the
// reader stops, like the one it was given: the next reader reads it, and a loss while no
// reader runs neither spins there nor goes unnoticed by the reader after.
void TestSerialReconnect::reopenedPortHandedBack()
{
    const QString link = m_dir.filePath(u"ttyHB"_s);
    Adapter adapter(link);
    QVERIFY(adapter.plugIn());
    SerialLink serial;
    QVERIFY(serial.open(link, Settings()).opened);
    auto counters = std::make_shared<ReceiveCounters>();
    QList<QByteArray> lines;
    int lost = 0, back = 0;
    const auto start = [&] {
        TMyThread *reader = serial.startReader(counters);
        if (!reader)
            return false;
        connect(reader, &TMyThread::linesReceived, this, [&](const QList<QByteArray> &l) { lines += l; },
                Qt::QueuedConnection);
        connect(reader, &TMyThread::portLost, this, [&] { ++lost; }, Qt::QueuedConnection);
        connect(reader, &TMyThread::portBack, this, [&] { ++back; }, Qt::QueuedConnection);
        return true;
    };

    QVERIFY(start());
    adapter.pull();
    QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 2000);
    QVERIFY(adapter.plugIn());
    QTRY_COMPARE_WITH_TIMEOUT(back, 1, 3 * TMyThread::ReopenIntervalMs);
    serial.requestStop();
    QVERIFY(serial.waitForReader(TMyThread::WaitMs + 500));

    QVERIFY(start());
    QVERIFY(adapter.send(record(1)));
    QTRY_COMPARE_WITH_TIMEOUT(lines, QList<QByteArray>{recordText(1)}, 5000);
    serial.requestStop();
    QVERIFY(serial.waitForReader(TMyThread::WaitMs + 500));

    adapter.pull();
    QTest::qWait(50);
    const double cpuBefore = processCpuMs();
    QTest::qWait(300);
    const double cpu = processCpuMs() - cpuBefore;
    QVERIFY2(cpu < 100, qPrintable(QString::number(cpu)));
    QVERIFY(adapter.plugIn());
    QVERIFY(start());
    QTRY_COMPARE_WITH_TIMEOUT(lost, 2, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(back, 2, 3 * TMyThread::ReopenIntervalMs);
    QVERIFY(adapter.send(record(2)));
    QTRY_COMPARE_WITH_TIMEOUT(lines, (QList<QByteArray>{recordText(1), recordText(2)}), 5000);
    serial.close();
}

QTEST_GUILESS_MAIN(TestSerialReconnect)
#include "tst_serial_reconnect.moc"
