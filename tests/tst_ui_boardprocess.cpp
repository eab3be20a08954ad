// The board as a program of its own, as the window drives it: started, fed the heat,
// killed and started again, stopped while it hangs, and never waited for.

#include "hangingfilesystem.h"
#include "httpget.h"
#include "board/boardtexts.h"
#include "core/boardmessage.h"
#include "ui/boardprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

const QString BoardBinary = QStringLiteral(ORDAVEX_BOARD_BINARY);

BoardHeat heatOf(const QString &race, int rows = 3)
{
    BoardHeat heat;
    heat.race = race;
    heat.version = 1;
    heat.updatedAt = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < rows; ++i)
        heat.rows.append(BoardRow{QString::number(i + 1), QString::number(i + 1), u"10.%1"_s.arg(i % 100, 2, 10, QChar(u'0')),
                                  u"10%1"_s.arg(i % 100, 2, 10, QChar(u'0'))});
    return heat;
}

QByteArray get(quint16 port, const QByteArray &path, int timeoutMs = 2000)
{
    return Testing::HttpGet(port, path, timeoutMs);
}

bool processExists(qint64 pid)
{
    // A zombie is gone for every purpose but its entry; /proc says which.
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    return !status.readAll().contains("State:\tZ");
}

quint16 portOf(const BoardProcess &board)
{
    return quint16(QUrl(board.url()).port());
}

} // namespace

class TestBoardProcess final : public QObject
{
    Q_OBJECT

private slots:
    void servesWhatItIsHanded();
    void portTakenIsAStartFailure();
    void killedBoardComesBack();
    void hungBoardHoldsNothing_data();
    void hungBoardHoldsNothing();
    void boardEndsWithTheProgram();
    void hungPublishFolderHoldsNothing();

private:
    bool startBoard(BoardProcess &board);
};

bool TestBoardProcess::startBoard(BoardProcess &board)
{
    QSignalSpy failed(&board, &BoardService::startFailed);
    BoardService::Options options;
    options.address = u"127.0.0.1"_s;
    options.port = 0;
    QString error;
    if (!board.start(options, &error)) {
        qWarning() << error;
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!(board.isRunning() && !board.isStarting()) && failed.isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    return board.isRunning() && portOf(board) != 0;
}

// The heat goes over, the address space is capped, and stop() neither waits nor leaves
// the process behind.
void TestBoardProcess::servesWhatItIsHanded()
{
    BoardProcess board(BoardBinary);
    board.setMemoryLimitMiB(700);
    board.setHeat(heatOf(u"男子100m 決勝"_s));
    QVERIFY(startBoard(board));
    const qint64 pid = board.processId();
    QTRY_VERIFY(get(portOf(board), "/api/current.json").contains("男子100m 決勝"));
    board.setHeat(heatOf(u"女子200m"_s));
    QTRY_VERIFY_WITH_TIMEOUT(get(portOf(board), "/api/current.json").contains("女子200m"), 1000);

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    QFile limits(u"/proc/%1/limits"_s.arg(pid));
    QVERIFY(limits.open(QIODevice::ReadOnly));
    const QByteArray text = limits.readAll();
    QVERIFY2(text.contains(QByteArray::number(700LL * 1024 * 1024)), text.constData());
#endif
    // Below the window's priority: the nineteenth field of its stat, after the name.
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    QVERIFY(stat.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    QCOMPARE(fields.value(16).toInt(), std::min(19, ::getpriority(PRIO_PROCESS, 0) + 10));

    QElapsedTimer stopping;
    stopping.start();
    board.stop();
    QVERIFY(stopping.elapsed() < 100);
    QVERIFY(!board.isRunning() && board.url().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!processExists(pid), 1000);
}

void TestBoardProcess::portTakenIsAStartFailure()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    BoardProcess board(BoardBinary);
    QSignalSpy failed(&board, &BoardService::startFailed);
    QSignalSpy lost(&board, &BoardService::boardLost);
    BoardService::Options options;
    options.address = u"127.0.0.1"_s;
    options.port = holder.serverPort();
    QString error;
    QVERIFY(board.start(options, &error));
    QVERIFY(board.isStarting());
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.first().first().toString(), MsgBoardPortTaken.arg(holder.serverPort()));
    QVERIFY(!board.isRunning() && !board.isStarting());
    QTest::qWait(200);
    QCOMPARE(lost.size(), 0);
}

// Killed while it serves: told once, started again after the delay, and the newest heat
// handed while it was down is what it serves.
void TestBoardProcess::killedBoardComesBack()
{
    BoardProcess board(BoardBinary);
    board.setRestartDelays(300, 1000);
    QSignalSpy lost(&board, &BoardService::boardLost);
    board.setHeat(heatOf(u"予選1組"_s));
    QVERIFY(startBoard(board));
    const quint16 port = portOf(board);
    const qint64 first = board.processId();
    QVERIFY(::kill(pid_t(first), SIGKILL) == 0);
    QVERIFY(lost.wait(2000));
    QCOMPARE(lost.first().first().toString(), MsgBoardLost);
    QVERIFY(board.isRunning() && board.isStarting());
    board.setHeat(heatOf(u"予選2組"_s));
    QTRY_VERIFY_WITH_TIMEOUT(!board.isStarting(), 5000);
    QVERIFY(board.processId() != first);
    QCOMPARE(portOf(board), port);
    QTRY_VERIFY_WITH_TIMEOUT(get(port, "/api/current.json").contains("予選2組"), 2000);
    QCOMPARE(lost.size(), 1);
    board.stop();
}

// A board that takes nothing (stopped by a signal, as a hung disk would hold it): the
// heats handed meanwhile never pile up in this process, every call returns at once, and
// it is either fed the newest heat when it goes on, or ended within a second.
void TestBoardProcess::hungBoardHoldsNothing_data()
{
    QTest::addColumn<bool>("resume");
    QTest::newRow("goes on") << true;
    QTest::newRow("stopped") << false;
}

void TestBoardProcess::hungBoardHoldsNothing()
{
    QFETCH(bool, resume);
    BoardProcess board(BoardBinary);
    QVERIFY(startBoard(board));
    const qint64 pid = board.processId();
    const quint16 port = portOf(board);
    QVERIFY(::kill(pid_t(pid), SIGSTOP) == 0);
    const qint64 heatBytes = FrameBoardMessage(QJsonObject{{u"heat"_s, BoardHeatSnapshot(heatOf(u"x"_s, 500))}}).size();
    QElapsedTimer handing;
    handing.start();
    qint64 most = 0;
    for (int i = 0; i < 200; ++i) {
        board.setHeat(heatOf(u"第%1組"_s.arg(i), 500));
        QCoreApplication::processEvents();
        most = std::max(most, board.unsentBytes());
    }
    QVERIFY2(handing.elapsed() < 5000, qPrintable(QString::number(handing.elapsed())));
    // The pipe's own buffer plus at most one heat waiting here.
    QVERIFY2(most <= 2 * heatBytes, qPrintable(QString::number(most)));
    if (resume) {
        QVERIFY(::kill(pid_t(pid), SIGCONT) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(get(port, "/api/current.json").contains("第199組"), 3000);
        board.stop();
    } else {
        QElapsedTimer stopping;
        stopping.start();
        board.stop();
        QVERIFY(stopping.elapsed() < 100);
        QTRY_VERIFY_WITH_TIMEOUT(!processExists(pid), 1000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!processExists(pid), 1000);
}

// The board never outlives the program that feeds it: the end of its input ends it.
void TestBoardProcess::boardEndsWithTheProgram()
{
    QProcess process;
    process.start(BoardBinary, {});
    QVERIFY(process.waitForStarted(5000));
    QJsonObject start = MakeBoardMessage(BoardMessages::Start);
    start.insert(u"address"_s, u"127.0.0.1"_s);
    start.insert(u"port"_s, 0);
    process.write(FrameBoardMessage(start));
    QVERIFY(process.waitForReadyRead(5000));
    BoardMessageReader reader;
    reader.append(process.readAllStandardOutput());
    const std::optional<QJsonObject> listening = reader.next();
    QVERIFY(listening);
    QCOMPARE(listening->value(u"type"_s).toString(), BoardMessages::Listening);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(2000));
    QCOMPARE(process.exitCode(), 0);

    // The program killed while its input stays open elsewhere (here a FIFO this test
    // keeps a writer on): the system ends the board with it.
    QTemporaryDir place;
    const QByteArray fifo = QFile::encodeName(place.filePath(u"input"_s));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    const int writer = ::open(fifo.constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(writer >= 0);
    const auto closing = qScopeGuard([writer] { ::close(writer); });
    QProcess parent;
    parent.start(u"/bin/sh"_s, {u"-c"_s, u"\"$0\" < \"$1\" & echo $!; sleep 60"_s, BoardBinary,
                                QString::fromLocal8Bit(fifo)});
    QVERIFY(parent.waitForReadyRead(5000));
    const qint64 board = parent.readLine().trimmed().toLongLong();
    QVERIFY(board > 0);
    QTest::qWait(200);
    QVERIFY(processExists(board));
    QVERIFY(::kill(pid_t(parent.processId()), SIGKILL) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!processExists(board), 1000);
}

// A publish folder on a disk that never answers (a network share whose server has gone):
// the board still serves, and turning it off neither freezes this program nor leaves the
// board's program behind.
void TestBoardProcess::hungPublishFolderHoldsNothing()
{
    QTemporaryDir root;
    Testing::HangingFileSystem disk(root.filePath(u"publish"_s));
    if (!disk.isMounted())
        QSKIP("a FUSE file system cannot be mounted here");
    BoardProcess board(BoardBinary);
    QSignalSpy failed(&board, &BoardService::startFailed);
    BoardService::Options options;
    options.address = u"127.0.0.1"_s;
    options.port = 0;
    options.publishFolder = root.filePath(u"publish"_s);
    board.setHeat(heatOf(u"男子100m"_s));
    QString error;
    QVERIFY(board.start(options, &error));
    QTRY_VERIFY_WITH_TIMEOUT(board.isRunning() && !board.isStarting(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(disk.requestsHeld() > 0, 5000);
    board.setHeat(heatOf(u"女子100m"_s));
    QTRY_VERIFY_WITH_TIMEOUT(get(portOf(board), "/api/current.json").contains("女子100m"), 2000);
    const qint64 pid = board.processId();
    QElapsedTimer stopping;
    stopping.start();
    board.stop();
    QVERIFY(stopping.elapsed() < 100);
    QTRY_VERIFY_WITH_TIMEOUT(!processExists(pid), 1500);
    QCOMPARE(failed.size(), 0);
}

QTEST_MAIN(TestBoardProcess)
#include "tst_ui_boardprocess.moc"
