// The communication monitor with the main window: COM-only logging by the timer, the
// import into the heat, the monitor text file and what the monitor hands back when it
// closes. Lines are handed to the monitor as its reader hands them over.

#include "filesizelimit.h"
#include "linkwindows.h"
#include "core/gridmodel.h"
#include "core/settings.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"
#include "ui/sankaspin.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTextBlock>
#include <QTimer>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

namespace {

const QByteArray Record1 = "R,1,3,123,12.34"_ba;
const QByteArray Record2 = "R,2,5,124,12.50"_ba;
const QByteArray Heading = "\"\x8f\x87\x88\xca\",\"\xda\xb0\xdd\",\"\xc0\xb2\xd1\",\"\xbe\xde\xaf\xb9\xdd\"\r\n"_ba;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestMonitor final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void comOnlyWritesAtSecondReadyTick();
    void comOnlyWaitsForReadyLines();
    void missingLogFolderKeepsLinesUntilItIsBack();
    void failedLogWriteKeepsLines();
    void clearedLogFolderMeansDefault();
    void sameSecondLogsAreBothKept();
    void normalModeWriteKeepsLinesAndTellsPath();
    void importFillsHeatAndKeepsPlaces();
    void importAsksBeforeOverwriting();
    void tooManyRecordsAreKept();
    void editedLinesKeepUntouchedBytes();
    void monitorTextFiles();
    void closeHandsBackPerMachineState();
    void comOnlyHidesMainWindowWithoutQuitting();
    void minBuffLenTakesNoTypedKeys();

private:
    void showMonitor(bool comOnly, bool timerOn, int machine = 0)
    {
        m_main->settings().cCheckAutoLog = comOnly;
        m_monitor->prepareShowing({machine, timerOn, {}});
        m_monitor->show();
    }
    QStringList logFiles() const { return QDir(m_windows->logs.path()).entryList(QDir::Files, QDir::Name); }

    std::unique_ptr<LinkWindows> m_windows;
    ScriptedDialogs *m_dialogs = nullptr;
    TForm1 *m_main = nullptr;
    TForm3 *m_monitor = nullptr;
    QDateTime m_now;
};

void TestMonitor::init()
{
    m_windows = std::make_unique<LinkWindows>();
    m_dialogs = &m_windows->dialogs;
    m_main = m_windows->main.get();
    m_monitor = m_windows->monitor.get();
    m_now = QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));
    m_monitor->setClock([this] { return m_now; });
}

void TestMonitor::cleanup()
{
    m_windows.reset();
}

void TestMonitor::comOnlyWritesAtSecondReadyTick()
{
    m_main->settings().cWaitTime = 1;
    showMonitor(true, true);
    QVERIFY(m_monitor->Timer1->isActive());
    QCOMPARE(m_monitor->LabelBigLog->text(), u"0000"_s);

    // The first batch: ticks count from 0.
    m_monitor->appendReceivedLines({"+1.2"_ba, Record1});
    int ticks = 0;
    while (logFiles().isEmpty() && ticks < 10) {
        m_monitor->Timer1Timer();
        ++ticks;
    }
    QCOMPARE(logFiles(), QStringList{u"140509w_112.CSV"_s});
    QCOMPARE(readFile(m_windows->logs.filePath(u"140509w_112.CSV"_s)), Heading + "\"1\",\"3\",\"12.34\",\"123\"\r\n"_ba);
    QVERIFY(m_monitor->receivedLines().isEmpty());
    QVERIFY(m_monitor->Memo1->toPlainText().isEmpty());
    QCOMPARE(m_monitor->LabelBigLog->text(), u"0001"_s);
    QCOMPARE(m_monitor->tickCount(), 1);

    // Lines that come while the count is 1 go at the second tick that finds them.
    m_now = m_now.addSecs(10);
    m_monitor->appendReceivedLines({Record2});
    m_monitor->Timer1Timer();
    QCOMPARE(logFiles().size(), 1);
    m_monitor->Timer1Timer();
    QCOMPARE(logFiles(), QStringList({u"140509w_112.CSV"_s, u"140519.CSV"_s}));
    QCOMPARE(m_monitor->LabelBigLog->text(), u"0002"_s);
}

void TestMonitor::comOnlyWaitsForReadyLines()
{
    m_main->settings().cWaitTime = 0;
    m_main->settings().MinBuffLen = 5;
    showMonitor(true, true);
    QCOMPARE(m_monitor->MinBuffLen->value(), 5);

    // No comma: never written while a comma is required.
    m_monitor->appendReceivedLines({"  12345  "_ba});
    for (int i = 0; i < 5; ++i)
        m_monitor->Timer1Timer();
    QVERIFY(logFiles().isEmpty());
    QCOMPARE(m_monitor->receivedLines().size(), 1);

    // A comma, but no line longer than five characters after trimming.
    m_monitor->appendReceivedLines({" 1,2,3 "_ba.left(6)});
    for (int i = 0; i < 5; ++i)
        m_monitor->Timer1Timer();
    QVERIFY(logFiles().isEmpty());

    m_monitor->appendReceivedLines({Record1});
    m_monitor->Timer1Timer();
    m_monitor->Timer1Timer();
    QCOMPARE(logFiles().size(), 1);
    QVERIFY(m_monitor->receivedLines().isEmpty());
}

void TestMonitor::missingLogFolderKeepsLinesUntilItIsBack()
{
    const QString missing = m_windows->logs.filePath(u"share"_s);
    m_main->setLogFolder(missing);
    m_main->settings().cWaitTime = 0;
    showMonitor(true, true);
    m_monitor->appendReceivedLines({Record1});
    for (int i = 0; i < 4; ++i)
        m_monitor->Timer1Timer();
    // Told once; the heat's lines stay to be written later.
    QCOMPARE(m_dialogs->shown, QStringList{MsgLogFolderMissing.arg(missing)});
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>{Record1});

    m_monitor->appendReceivedLines({Record2});
    QVERIFY(QDir().mkdir(missing));
    m_monitor->Timer1Timer();
    const QStringList written = QDir(missing).entryList(QDir::Files);
    QCOMPARE(written, QStringList{u"140509.CSV"_s});
    QCOMPARE(readFile(QDir(missing).filePath(written.first())),
             Heading + "\"1\",\"3\",\"12.34\",\"123\"\r\n\"2\",\"5\",\"12.50\",\"124\"\r\n"_ba);
    QVERIFY(m_monitor->receivedLines().isEmpty());
    QCOMPARE(m_dialogs->shown.size(), 1);
}

void TestMonitor::failedLogWriteKeepsLines()
{
    m_main->settings().cWaitTime = 0;
    showMonitor(true, true);
    m_monitor->appendReceivedLines({Record1, Record2});
    {
        FileSizeLimit limit(16);
        QVERIFY(limit.isSet());
        for (int i = 0; i < 3; ++i)
            m_monitor->Timer1Timer();
    }
    QCOMPARE(m_dialogs->shown, QStringList{MsgLogFileFailed});
    QCOMPARE(m_monitor->Label1->text(), MsgLogFileFailed);
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>({Record1, Record2}));
    // No half file, no temporary file.
    QCOMPARE(QDir(m_windows->logs.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(m_monitor->LabelBigLog->text(), u"0000"_s);

    m_monitor->Timer1Timer();
    QCOMPARE(logFiles(), QStringList{u"140509.CSV"_s});
    QVERIFY(m_monitor->receivedLines().isEmpty());
}

void TestMonitor::clearedLogFolderMeansDefault()
{
    // Cleared in the parameter dialog: the default folder, as the next start would take,
    // never a file at the root of the drive.
    m_main->setLogFolder(QString());
    m_main->settings().cWaitTime = 0;
    const QString folder = Paths::join(m_windows->folder.path(), u"log"_s);
    QVERIFY(QDir().mkpath(folder));
    showMonitor(true, true);
    m_monitor->appendReceivedLines({Record1});
    m_monitor->Timer1Timer();
    m_monitor->Timer1Timer();
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{u"140509.CSV"_s});
    QCOMPARE(m_dialogs->shown, QStringList());
}

void TestMonitor::sameSecondLogsAreBothKept()
{
    m_main->settings().cWaitTime = 0;
    m_main->settings().cLogExtOpt = 1;
    showMonitor(true, true);
    // One wait tick: the first batch at the second tick, the next at the first.
    m_monitor->appendReceivedLines({"+1.2"_ba, Record1});
    m_monitor->Timer1Timer();
    m_monitor->Timer1Timer();
    QCOMPARE(logFiles().size(), 1);
    m_monitor->appendReceivedLines({"+1.2"_ba, Record2});
    m_monitor->Timer1Timer();
    QCOMPARE(logFiles(), QStringList({u"140509w_112.TXT"_s, u"140509w_112_2.TXT"_s}));
    QVERIFY(readFile(m_windows->logs.filePath(u"140509w_112.TXT"_s)).endsWith("\"12.34\",\"123\"\r\n"));
    QVERIFY(readFile(m_windows->logs.filePath(u"140509w_112_2.TXT"_s)).endsWith("\"12.50\",\"124\"\r\n"));
}

void TestMonitor::normalModeWriteKeepsLinesAndTellsPath()
{
    showMonitor(false, false);
    QVERIFY(!m_monitor->Timer1->isActive());
    QVERIFY(m_main->isVisible());
    QVERIFY(m_monitor->bLogWrite->isVisible());
    QVERIFY(!m_monitor->Memo1->isReadOnly());
    QVERIFY(!m_monitor->bLogWrite->isEnabled());
    m_monitor->appendReceivedLines({"+1.2"_ba});
    QVERIFY(m_monitor->bLogWrite->isEnabled());
    QVERIFY(m_monitor->bStopThread->isEnabled());

    QTest::mouseClick(m_monitor->bLogWrite, Qt::LeftButton);
    const QString path = m_windows->logs.filePath(u"140509w_112.CSV"_s);
    QCOMPARE(readFile(path), Heading);
    QCOMPARE(m_dialogs->shown, QStringList{QDir::toNativeSeparators(path) + u"\nを作成しました。"_s});
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>{"+1.2"_ba});
}

void TestMonitor::importFillsHeatAndKeepsPlaces()
{
    showMonitor(false, true);
    QCOMPARE(m_main->SankaSpinNum->value(), 8);
    // A dead heat for second place, a blank line between records.
    m_monitor->appendReceivedLines({"+1.2"_ba, Record1, "   "_ba, Record2, "R,2,6,125,12.50"_ba});
    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_dialogs->confirmations, QStringList());

    QCOMPARE(m_main->EditKaze->text(), u"+1.2"_s);
    QCOMPARE(m_main->SankaSpinNum->value(), 3);
    QCOMPARE(m_main->rowCount(), 3);
    const QStringList expected[] = {{u"1"_s, u"3"_s, u"1234"_s}, {u"2"_s, u"5"_s, u"1250"_s}, {u"2"_s, u"6"_s, u"1250"_s}};
    for (int r = 1; r <= 3; ++r) {
        for (int col = 0; col < 3; ++col)
            QCOMPARE(m_main->cellText(col, r), expected[r - 1][col]);
    }
    QVERIFY(m_monitor->receivedLines().isEmpty());
    QVERIFY(!m_monitor->bStopThread->isEnabled());

    // Only a wind: one empty row.
    m_dialogs->answers = {true};
    m_monitor->appendReceivedLines({"-0.3"_ba});
    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_main->EditKaze->text(), u"-0.3"_s);
    QCOMPARE(m_main->SankaSpinNum->value(), 1);
    QCOMPARE(m_main->cellText(1, 1), QString());
    QCOMPARE(m_main->cellText(2, 1), QString());
    // Rows of the heat before do not come back when the rows grow again.
    m_main->SankaSpinNum->setValue(3);
    QCOMPARE(m_main->cellText(2, 2), QString());
    QCOMPARE(m_main->cellText(2, 3), QString());
}

void TestMonitor::importAsksBeforeOverwriting()
{
    showMonitor(false, true);
    m_main->grid()->setCell(2, 1, u"1111"_s);
    m_monitor->appendReceivedLines({Record1});
    m_dialogs->answers = {false};
    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_dialogs->confirmations, QStringList{MsgImportOverwrite});
    QCOMPARE(m_main->cellText(2, 1), u"1111"_s);
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>{Record1});

    m_dialogs->answers = {true};
    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_main->cellText(2, 1), u"1234"_s);
    QVERIFY(m_monitor->receivedLines().isEmpty());
}

void TestMonitor::tooManyRecordsAreKept()
{
    showMonitor(false, true);
    QList<QByteArray> lines;
    for (int i = 1; i <= ResultGrid::MaxDataRows + 1; ++i)
        lines.append("R," + QByteArray::number(i) + ",1,1,10.00");
    m_monitor->appendReceivedLines(lines);
    m_main->grid()->setCell(2, 1, u"1111"_s);
    m_dialogs->answers = {true};
    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_dialogs->shown, QStringList{MsgTooManyRecords.arg(ResultGrid::MaxDataRows)});
    QCOMPARE(m_monitor->receivedLines(), lines);
    QCOMPARE(m_main->cellText(2, 1), u"1111"_s);

    // One fewer fits.
    m_monitor->ClearMonitor();
    lines.removeLast();
    m_monitor->appendReceivedLines(lines);
    m_dialogs->answers = {true};
    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_main->rowCount(), ResultGrid::MaxDataRows);
    QCOMPARE(m_main->cellText(0, ResultGrid::MaxDataRows), u"500"_s);
    QVERIFY(m_monitor->receivedLines().isEmpty());
}

void TestMonitor::editedLinesKeepUntouchedBytes()
{
    showMonitor(false, false);
    // A byte that is no character of code page 932 shows as a replacement character.
    const QByteArray odd = "1,2,\x80\xff,3"_ba;
    m_monitor->appendReceivedLines({odd, Record1});
    QTextCursor cursor(m_monitor->Memo1->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(u"9"_s);
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>({odd, Record1 + "9"}));

    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    QVERIFY(m_monitor->receivedLines().isEmpty());
    QVERIFY(!m_monitor->bLogWrite->isEnabled());
}

void TestMonitor::monitorTextFiles()
{
    showMonitor(false, true);
    const QByteArray odd = "R,1,\x82\xa0\x80"_ba;
    m_monitor->appendReceivedLines({odd, Record1});
    QTest::mouseClick(m_monitor->bLog, Qt::LeftButton);
    QTest::mouseDClick(m_monitor->Memo1->viewport(), Qt::LeftButton);
    const QString folder = Paths::join(m_windows->folder.path(), u"log"_s);
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(names, QStringList({u"261206140509.TXT"_s, u"261206140509_2.TXT"_s}));
    QCOMPARE(readFile(QDir(folder).filePath(names[0])), odd + "\r\n" + Record1 + "\r\n");
    QCOMPARE(m_dialogs->shown.size(), 2);
    QCOMPARE(m_dialogs->shown[0], QDir::toNativeSeparators(QDir(folder).filePath(names[0])) + u"\nを作成しました。"_s);
    QCOMPARE(m_monitor->receivedLines().size(), 2);

    // A file where the folder should be: nothing is saved, the lines stay.
    QVERIFY(QDir(folder).removeRecursively());
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::mouseClick(m_monitor->bLog, Qt::LeftButton);
    QCOMPARE(m_dialogs->errors, QStringList{u"Cannot create "_s + QDir::toNativeSeparators(folder)});
    QCOMPARE(m_monitor->receivedLines().size(), 2);
}

void TestMonitor::closeHandsBackPerMachineState()
{
    Settings &settings = m_main->settings();
    settings.cCheckTimerON = true;
    settings.cCheckTimerON2 = false;
    showMonitor(false, false, 1);
    QCOMPARE(m_monitor->windowTitle(), u"RS232C通信(2号機)"_s);
    QVERIFY(!m_main->RS232COpen->isEnabled());
    QVERIFY(!m_main->RS232CParamOpen->isEnabled());
    QVERIFY(!m_monitor->CheckTimerON->isChecked());

    m_monitor->CheckTimerON->setChecked(true);
    m_monitor->CheckMustComma->setChecked(false);
    m_monitor->MinBuffLen->setValue(3);
    m_monitor->CheckAutoLog->setChecked(true);
    QVERIFY(!m_main->isVisible());
    m_monitor->appendReceivedLines({Record1});
    QVERIFY(m_monitor->close());

    QVERIFY(m_main->isVisible());
    QVERIFY(m_main->RS232COpen->isEnabled());
    QVERIFY(m_main->RS232CParamOpen->isEnabled());
    QVERIFY(!m_monitor->Timer1->isActive());
    QVERIFY(m_monitor->receivedLines().isEmpty());
    QCOMPARE(settings.cCheckTimerON2, true);
    QCOMPARE(settings.cCheckTimerON, true);
    QCOMPARE(settings.cCheckAutoLog, true);
    QCOMPARE(settings.MustComma, false);
    QCOMPARE(settings.MinBuffLen, 3);
    QCOMPARE(m_main->activeTimer(), true);

    showMonitor(false, false, 0);
    QCOMPARE(m_monitor->windowTitle(), u"RS232C通信(1号機)"_s);
}

void TestMonitor::comOnlyHidesMainWindowWithoutQuitting()
{
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    showMonitor(true, true);
    QVERIFY(!m_main->isVisible());
    QVERIFY(m_monitor->LabelBigLog->isVisible());
    QVERIFY(!m_monitor->bStopThread->isVisible());
    QVERIFY(m_monitor->close());
    QVERIFY(m_main->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(lastClosed.count(), 0);
}

void TestMonitor::minBuffLenTakesNoTypedKeys()
{
    showMonitor(true, true);
    QVERIFY(m_monitor->MinBuffLen->isVisible());
    m_monitor->MinBuffLen->setValue(2);
    m_monitor->MinBuffLen->setFocus();
    QTest::keyClick(m_monitor->MinBuffLen, Qt::Key_7);
    QTest::keyClick(m_monitor->MinBuffLen, Qt::Key_Up);
    QTest::keyClick(m_monitor->MinBuffLen, Qt::Key_Backspace);
    QCOMPARE(m_monitor->MinBuffLen->value(), 2);
    QCOMPARE(m_monitor->MinBuffLen->text(), u"2"_s);
}

QTEST_MAIN(TestMonitor)
#include "tst_ui_monitor.moc"
