// The windows with the timing-machine simulator as a separate program on a
// pseudo-terminal: a heat imported in normal mode, heats logged unattended in COM-only
// mode by the monitor's own timer.

#include "simstream.h"
#include "linkwindows.h"
#include "core/records.h"
#include "core/settings.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"
#include "serial/seriallink.h"
#include "ui/sankaspin.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

class TestSimulatedMachine final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void normalModeImportsHeat();
    void comOnlyLogsEveryHeatOnce();
    void captureReplaysAsReceived();

private:
    // Starts the simulator on a pseudo-terminal of its own; the port COM1 names it.
    void startMachine(const QStringList &arguments)
    {
        m_tool.start(QStringLiteral(ORDAVEX_SIM_BINARY), QStringList{u"--pty"_s} + arguments);
        QVERIFY(m_tool.waitForStarted());
        QVERIFY2(m_tool.waitForReadyRead(5000), m_tool.readAllStandardError().constData());
        const QString path = QString::fromLocal8Bit(m_tool.readLine().trimmed());
        QVERIFY2(path.startsWith(u"/dev/"_s), qPrintable(path));
        m_main->settings().ports[0] = path;
    }

    std::unique_ptr<LinkWindows> m_windows;
    ScriptedDialogs *m_dialogs = nullptr;
    TForm1 *m_main = nullptr;
    TForm3 *m_monitor = nullptr;
    QProcess m_tool;
};

void TestSimulatedMachine::init()
{
    m_windows = std::make_unique<LinkWindows>();
    m_dialogs = &m_windows->dialogs;
    m_main = m_windows->main.get();
    m_monitor = m_windows->monitor.get();
}

void TestSimulatedMachine::cleanup()
{
    m_monitor->close();
    m_tool.closeWriteChannel();
    if (!m_tool.waitForFinished(5000))
        m_tool.kill();
    m_windows.reset();
}

void TestSimulatedMachine::normalModeImportsHeat()
{
    m_main->settings().cCheckAutoLog = false;
    startMachine({u"--heats"_s, u"1"_s, u"--records"_s, u"8"_s, u"--wind"_s, u"-0.7"_s, u"--chunk"_s, u"5"_s,
                  u"--interval"_s, u"1"_s, u"--start-delay"_s, u"500"_s, u"--seed"_s, u"4"_s});
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());

    Sim::HeatOptions options;
    options.records = 8;
    options.wind = u"-0.7"_s;
    options.seed = 4;
    const QList<QByteArray> sent = Sim::HeatLines(options, 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->receivedLines(), sent, 10000);

    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_main->EditKaze->text(), u"-0.7"_s);
    QCOMPARE(m_main->SankaSpinNum->value(), 8);
    for (int r = 1; r <= 8; ++r) {
        const GridRow row = SplitRecordToRow(sent[r], RecordColumns{});
        QCOMPARE(m_main->cellText(0, r), QString::number(r));
        for (int col = 0; col < 3; ++col)
            QCOMPARE(m_main->cellText(col, r), row[col]);
    }
}

void TestSimulatedMachine::comOnlyLogsEveryHeatOnce()
{
    Settings &settings = m_main->settings();
    settings.cCheckAutoLog = true;
    settings.cWaitTime = 0;
    const int heats = 3;
    startMachine({u"--heats"_s, QString::number(heats), u"--records"_s, u"6"_s, u"--wind"_s, u"+2.1"_s,
                  u"--heat-interval"_s, u"2500"_s, u"--start-delay"_s, u"300"_s, u"--seed"_s, u"7"_s});
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());
    QVERIFY(!m_main->isVisible());
    QVERIFY(m_monitor->Timer1->isActive());

    Sim::HeatOptions options;
    options.records = 6;
    options.wind = u"+2.1"_s;
    options.seed = 7;
    QList<QByteArray> expectedRows;
    for (int heat = 1; heat <= heats; ++heat) {
        const QList<QByteArray> lines = Sim::HeatLines(options, heat);
        for (qsizetype i = 1; i < lines.size(); ++i)
            expectedRows.append(FormatLogRow(lines[i], RecordColumns{}));
    }

    // Every record in exactly one file, each file a heading and whole rows.
    auto writtenRows = [this] {
        QList<QByteArray> rows;
        const QDir folder(m_windows->logs.path());
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return QList<QByteArray>{"unreadable"_ba};
            QList<QByteArray> lines = file.readAll().split('\n');
            lines.removeFirst();
            for (QByteArray &line : lines) {
                if (!line.isEmpty())
                    rows.append(line.chopped(1));
            }
        }
        return rows;
    };
    QTRY_COMPARE_WITH_TIMEOUT(writtenRows(), expectedRows, 20000);
    const QStringList names = QDir(m_windows->logs.path()).entryList(QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names)
        QVERIFY2(name.contains(u"w_121"_s) && name.endsWith(u".CSV"_s), qPrintable(name));
    QTRY_VERIFY(m_monitor->receivedLines().isEmpty());
    QCOMPARE(m_monitor->LabelBigLog->text(), QStringLiteral("%1").arg(names.size(), 4, 10, QLatin1Char('0')));
}

void TestSimulatedMachine::captureReplaysAsReceived()
{
    // A first run receives two heats from the machine; every byte goes to its capture.
    m_main->settings().cCheckAutoLog = false;
    startMachine({u"--heats"_s, u"2"_s, u"--records"_s, u"5"_s, u"--wind"_s, u"+0.8"_s, u"--chunk"_s, u"9"_s,
                  u"--interval"_s, u"2"_s, u"--heat-interval"_s, u"300"_s, u"--start-delay"_s, u"300"_s,
                  u"--seed"_s, u"3"_s});
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());
    m_monitor->CheckTimerON->setChecked(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->receivedLines().size(), 12, 10000);
    const QList<QByteArray> received = m_monitor->receivedLines();
    QTest::mouseClick(m_monitor->bLogWrite, Qt::LeftButton);
    const QStringList logs = QDir(m_windows->logs.path()).entryList(QDir::Files);
    QCOMPARE(logs.size(), 1);
    QFile firstLog(QDir(m_windows->logs.path()).filePath(logs.first()));
    QVERIFY(firstLog.open(QIODevice::ReadOnly));
    const QByteArray logBytes = firstLog.readAll();
    m_monitor->close();
    // The reader writes out what it holds of the capture as it ends.
    QVERIFY(m_main->link().waitForReader(5000));
    const QDir captures(Paths::join(m_windows->folder.path(), u"log"_s));
    const QStringList captured = captures.entryList({u"*.cap"_s}, QDir::Files);
    QCOMPARE(captured.size(), 1);
    // The first program's folder goes with it: the capture and its index are kept.
    QTemporaryDir kept;
    const QString capture = QDir(kept.path()).filePath(captured.first());
    QVERIFY(QFile::copy(captures.filePath(captured.first()), capture));
    const QString index = QFileInfo(captured.first()).completeBaseName() + u".idx"_s;
    QVERIFY(QFile::copy(captures.filePath(index), QDir(kept.path()).filePath(index)));
    m_tool.closeWriteChannel();
    QVERIFY(m_tool.waitForFinished(5000));

    // A second run of the program receives the capture replayed at its recorded pace.
    m_windows.reset();
    init();
    m_main->settings().cCheckAutoLog = false;
    startMachine({u"--replay"_s, capture, u"--pace"_s, u"recorded"_s, u"--start-delay"_s, u"300"_s});
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());
    m_monitor->CheckTimerON->setChecked(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->receivedLines(), received, 10000);
    QTest::mouseClick(m_monitor->bLogWrite, Qt::LeftButton);
    const QStringList replayedLogs = QDir(m_windows->logs.path()).entryList(QDir::Files);
    QCOMPARE(replayedLogs.size(), 1);
    QFile secondLog(QDir(m_windows->logs.path()).filePath(replayedLogs.first()));
    QVERIFY(secondLog.open(QIODevice::ReadOnly));
    QCOMPARE(secondLog.readAll(), logBytes);
}

QTEST_MAIN(TestSimulatedMachine)
#include "tst_ui_simulator.moc"
