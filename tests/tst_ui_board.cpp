// The live results board on the main window: the heat handed to it on every change,
// its dialog and settings, the indicator, and a board that cannot be loaded or started.

#include "core/boardservice.h"
#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "ui/boardform.h"
#include "ui/boardprocess.h"
#include "ui/inputgrid.h"
#include "ui/mainform.h"
#include "ui/sankaspin.h"
#include "httpget.h"
#include "uitest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTcpServer>
#include <QTimer>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

namespace {

// What the service was told, kept by the test: the service goes with the window.
struct BoardRecord
{
    int made = 0;
    QString refusal;            // start() refuses with this when set
    QList<BoardService::Options> starts;
    int stops = 0;
    QList<BoardHeat> heats;
    QStringList workFolders;
    int listings = 0;
};

class FakeBoard final : public BoardService
{
public:
    explicit FakeBoard(BoardRecord &record) : m_record(record) {}

    QStringList addresses() const override { return {u"127.0.0.1"_s, u"192.168.1.20"_s}; }
    bool start(const Options &options, QString *error) override
    {
        m_record.starts << options;
        *error = m_record.refusal;
        m_running = m_record.refusal.isEmpty();
        emit stateChanged();
        return m_running;
    }
    void stop() override
    {
        ++m_record.stops;
        m_running = false;
        emit stateChanged();
    }
    bool isRunning() const override { return m_running; }
    bool isStarting() const override { return m_restarting; }
    QString url() const override
    {
        return m_running ? u"http://%1:%2/"_s.arg(m_record.starts.last().address).arg(m_record.starts.last().port)
                         : QString();
    }
    void setHeat(const BoardHeat &heat) override { m_record.heats << heat; }
    void setWorkFolder(const QString &folder) override { m_record.workFolders << folder; }
    void savedHeatsChanged() override { ++m_record.listings; }
    int clientCount() const override { return 0; }
    void failPublishing(const QString &message) { emit publishFailed(message); }
    void recoverPublishing() { emit publishRecovered(); }
    // Stops by itself, and is back: as the board's program does after a crash.
    void lose()
    {
        m_running = true;
        m_restarting = true;
        emit boardLost(MsgBoardLost);
        emit stateChanged();
    }
    void comeBack()
    {
        m_restarting = false;
        emit stateChanged();
    }

private:
    BoardRecord &m_record;
    bool m_running = false;
    bool m_restarting = false;
};

// "number/packed" for each row the board was given.
QStringList rowTexts(const BoardHeat &heat)
{
    QStringList texts;
    for (const BoardRow &row : heat.rows)
        texts << row.number + u'/' + row.packed;
    return texts;
}

const QString Refusal = u"ﾎﾟｰﾄ 8080 は使用中です。"_s;

// The window, shown, with board as its settings' [Board] part; its service is the fake,
// or the board's program at programPath when one is given.
struct BoardWindow
{
    explicit BoardWindow(const QByteArray &board, const QString &programPath = {})
    {
        folder.writeSettings("[WorkFiles]\r\nexFilePath=" + work.path().toUtf8() + "\r\n" + board);
        form = std::make_unique<TForm1>(folder.appPaths());
        form->setBoardServiceFactory([this, programPath](QString *) -> std::unique_ptr<BoardService> {
            if (!programPath.isEmpty())
                return std::make_unique<BoardProcess>(programPath);
            ++record.made;
            return std::make_unique<FakeBoard>(record);
        });
        form->show();
        QApplication::setActiveWindow(form.get());
    }
    bool close()
    {
        dialogs.answers = {true};
        return form->close();
    }

    ScriptedDialogs dialogs;
    ProgramFolder folder;
    ProgramFolder work;
    BoardRecord record;
    std::unique_ptr<TForm1> form;   // goes first
};

} // namespace

class TestBoard final : public QObject
{
    Q_OBJECT

private slots:
    void heatReachesTheBoard_data();
    void heatReachesTheBoard();
    void dialogTurnsTheBoardOnAndOff_data();
    void dialogTurnsTheBoardOnAndOff();
    void boardAtStart_data();
    void boardAtStart();
    void publishFailureGoesToTheNoticeStrip();
    void lostBoardAndPublishingInTheStrip();
    void keysReachTheBoardWhileTyping();
    void boardProgramServesTheGridFromItsStart();
};

// Every way the heat changes reaches the board within a second, with the rows as the
// grid holds them and whether they are what the file holds.
void TestBoard::heatReachesTheBoard_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<int>("listings");      // times the saved heats were read again

    const QStringList before{u"4/1052"_s, u"5/1061"_s};
    const QStringList imported{u"3/1052"_s, u"6/1061"_s};
    QTest::newRow("typing") << u"type"_s << before + QStringList{u"7/1099"_s} << false << 0;
    QTest::newRow("import from the monitor") << u"import"_s << imported << false << 0;
    QTest::newRow("clear") << u"clear"_s << QStringList() << false << 0;
    QTest::newRow("save") << u"save"_s << before << true << 1;
    QTest::newRow("save, then a key") << u"save type"_s << before + QStringList{u"7/"_s} << false << 1;
    // The board keeps the saved results when the save clears the grid, until the next change.
    QTest::newRow("save, clearing") << u"save clear"_s << before << true << 1;
    QTest::newRow("save, clearing, then import") << u"save clear import"_s << imported << false << 1;
    QTest::newRow("open") << u"open"_s << QStringList{u"3/1099"_s} << true << 0;
    QTest::newRow("open, then import") << u"open import"_s << imported << false << 0;
}

void TestBoard::heatReachesTheBoard()
{
    QFETCH(QString, change);
    QFETCH(QStringList, rows);
    QFETCH(bool, saved);
    QFETCH(int, listings);

    BoardWindow w("[Board]\r\nEnabled=1\r\n");
    QTRY_VERIFY(w.form->boardIsOn());
    const bool clearing = change.startsWith(u"save clear"_s);
    w.form->autoClear->setChecked(clearing);
    HeatAccess &heat = *w.form;
    heat.setRows({{u"1"_s, u"4"_s, u"1052"_s}, {u"2"_s, u"5"_s, u"1061"_s}});
    w.form->flushBoard();
    QCOMPARE(rowTexts(w.record.heats.last()), QStringList({u"4/1052"_s, u"5/1061"_s}));
    const quint64 version = w.record.heats.last().version;

    const QString csv = Paths::join(w.work.path(), u"R1.csv"_s);
    if (change.startsWith(u"open"_s)) {
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"\x8f\x87\x88\xca\",\"\xda\xb0\xdd\",\"\xc0\xb2\xd1\"\r\n\"1\",\"3\",\"10.99\"\r\n");
        file.close();
        w.dialogs.files = {csv};
        w.form->AC_OpenFile->trigger();
    }
    if (change.startsWith(u"save"_s)) {
        w.dialogs.files = {csv};
        w.form->FileSaveAS->trigger();
        QVERIFY(QFileInfo::exists(csv));
    }
    if (change.endsWith(u"type"_s)) {
        w.form->SankaSpinNum->setValue(3);
        w.form->focusInputGrid();
        w.form->InputGrid->setCurrentCell(1, 3);
        typeText(change == u"type"_s ? u"7\n1099\n"_s : u"7\n"_s);
    }
    if (change.endsWith(u"import"_s))
        heat.setRows({{u"1"_s, u"3"_s, u"1052"_s}, {u"2"_s, u"6"_s, u"1061"_s}});
    if (change == u"clear"_s) {
        w.dialogs.answers = {true};
        w.form->EraseInputGrid->trigger();
    }
    QCOMPARE(w.dialogs.shown, clearing ? QStringList{MsgSavedClearing} : QStringList());

    QTRY_VERIFY_WITH_TIMEOUT(w.record.heats.last().version > version && rowTexts(w.record.heats.last()) == rows
                                 && w.record.heats.last().saved == saved, 1000);
    QCOMPARE(w.record.listings, listings);
    // The service lists the folder the heats are saved in now.
    QCOMPARE(w.record.workFolders.last(), w.form->workFolder());
}

// On and off from the dialog, kept in [Board] when the window closes; the indicator
// shows only while the board is on, and panel 0 keeps the target path.
void TestBoard::dialogTurnsTheBoardOnAndOff_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("offAgain");
    QTest::addColumn<bool>("on");

    QTest::newRow("on") << QString() << false << true;
    QTest::newRow("on, then off") << QString() << true << false;
    QTest::newRow("port taken") << Refusal << false << false;
}

void TestBoard::dialogTurnsTheBoardOnAndOff()
{
    QFETCH(QString, refusal);
    QFETCH(bool, offAgain);
    QFETCH(bool, on);

    BoardWindow w({});
    w.record.refusal = refusal;
    const QString path = w.form->StatusPanel0->text();
    QCOMPARE(w.record.made, 0);
    const QString url = u"http://192.168.1.20:8081/"_s;
    bool opened = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        // Closed however the checks below end, so that a failure does not hang the test.
        const auto closing = qScopeGuard([modal] {
            if (modal)
                modal->close();
        });
        auto *dialog = qobject_cast<TBoardForm *>(modal);
        if (!(opened = dialog != nullptr))
            return;
        dialog->BoardAddress->setCurrentText(u"192.168.1.20"_s);
        dialog->BoardPort->setValue(8081);
        dialog->PublishFolder->setText(u"/srv/board"_s);
        dialog->BoardOn->click();
        QCOMPARE(w.form->BoardIndicator->isVisible(), refusal.isEmpty());
        QCOMPARE(dialog->BoardUrl->text(), refusal.isEmpty() ? url : QString());
        QCOMPARE(dialog->BoardPort->isEnabled(), !refusal.isEmpty());
        if (offAgain)
            dialog->BoardOn->click();
        QCOMPARE(dialog->BoardOn->isChecked(), on);
    });
    w.form->BoardOpen->trigger();
    QVERIFY(opened);

    QCOMPARE(w.record.starts.size(), 1);
    QCOMPARE(w.record.starts[0].address, u"192.168.1.20"_s);
    QCOMPARE(w.record.starts[0].port, quint16(8081));
    QCOMPARE(w.record.starts[0].publishFolder, u"/srv/board"_s);
    QCOMPARE(w.dialogs.shown, refusal.isEmpty() ? QStringList() : QStringList{refusal});
    QCOMPARE(w.form->BoardIndicator->isVisible(), on);
    QCOMPARE(w.form->BoardIndicator->toolTip(), on ? url : QString());
    QCOMPARE(w.form->StatusPanel0->text(), path);
    // Only a board that is on gets the heat.
    const qsizetype handed = w.record.heats.size();
    w.form->grid()->setCell(1, 1, u"9"_s);
    w.form->flushBoard();
    QCOMPARE(w.record.heats.size(), handed + (on ? 1 : 0));

    const int stops = w.record.stops;
    QVERIFY(w.close());
    QCOMPARE(w.record.stops, stops + (on ? 1 : 0));
    const QByteArray section = "[Board]\r\nEnabled=" + QByteArray(on ? "1" : "0")
                               + "\r\nAddress=192.168.1.20\r\nPort=8081\r\nPublishFolder=/srv/board\r\n";
    QVERIFY2(w.folder.settingsBytes().endsWith(section), w.folder.settingsBytes().constData());
}

// A board left on starts again once the window is up; whatever stops it is told in the
// notice strip, never in a box, and the setting stays. A board left off is never started.
void TestBoard::boardAtStart_data()
{
    QTest::addColumn<QByteArray>("board");
    QTest::addColumn<QByteArray>("program");    // "fake", or the script put where the board's program is
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("address");       // where it was started; empty: not started
    QTest::addColumn<QString>("notice");        // the start of the notice or box shown

    const QByteArray on = "[Board]\r\nEnabled=1\r\n";
    const QString notStarted = MsgBoardNotStarted.arg(QString());
    QTest::newRow("off") << QByteArray() << QByteArray("fake") << QString() << QString() << QString();
    QTest::newRow("off, with a section") << QByteArray("[Board]\r\nAddress=10.0.0.1\r\n") << QByteArray("fake")
                                         << QString() << QString() << QString();
    QTest::newRow("on, first address") << on << QByteArray("fake") << QString() << u"127.0.0.1"_s << QString();
    QTest::newRow("on, address kept") << on + "Address=192.168.1.20\r\n" << QByteArray("fake") << QString()
                                      << u"192.168.1.20"_s << QString();
    QTest::newRow("on, port taken") << on << QByteArray("fake") << Refusal << QString() << notStarted;
    QTest::newRow("on, no board program") << on << QByteArray() << QString() << QString()
                                          << MsgBoardNotStarted.arg(MsgBoardProgramMissing.arg(QString()));
    QTest::newRow("on, board program ends") << on << QByteArray("#!/bin/sh\nexit 7\n") << QString() << QString()
                                            << MsgBoardNotStarted.arg(MsgBoardProgramFailed.arg(QString()));
    // A board of another build answers in a protocol this program does not speak.
    QTest::newRow("on, board of another build")
        << on << QByteArray("#!/bin/sh\nprintf '\\000\\000\\000\\042{\"protocol\":99,\"type\":\"listening\"}'\nsleep 5\n")
        << QString() << QString() << MsgBoardNotStarted.arg(MsgBoardOtherBuild.arg(QString()));
}

void TestBoard::boardAtStart()
{
    QFETCH(QByteArray, board);
    QFETCH(QByteArray, program);
    QFETCH(QString, refusal);
    QFETCH(QString, address);
    QFETCH(QString, notice);

    QTemporaryDir programFolder;
    const QString programPath = programFolder.filePath(u"ordavex-board"_s);
    if (program != "fake" && !program.isEmpty()) {
        QFile file(programPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(program);
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
    }
    BoardWindow w(board, program == "fake" ? QString() : programPath);
    w.record.refusal = refusal;
    const QString path = w.form->StatusPanel0->text();
    const bool wanted = board.contains("Enabled=1");
    QTRY_VERIFY_WITH_TIMEOUT(w.form->boardIsOn() || w.form->NoticeStrip->isVisible() || !wanted, 10000);
    QTest::qWait(20);

    QCOMPARE(w.form->boardIsOn(), !address.isEmpty());
    QCOMPARE(w.form->BoardIndicator->isVisible(), !address.isEmpty());
    QCOMPARE(w.form->StatusPanel0->text(), path);
    QCOMPARE(w.record.made, program == "fake" && wanted ? 1 : 0);
    QCOMPARE(w.record.starts.size(), w.record.made);
    if (!address.isEmpty())
        QCOMPARE(w.record.starts[0].address, address);
    QCOMPARE(w.dialogs.shown, QStringList());
    QCOMPARE(w.form->NoticeStrip->isVisible(), !notice.isEmpty());
    const QString told = w.form->NoticeText->text();
    // With the reason after the text.
    const QString lead = notice.left(notice.indexOf(u'('));
    if (!notice.isEmpty())
        QVERIFY2(told.startsWith(lead) && told.size() > notice.size() && told.endsWith(refusal), qPrintable(told));

    QVERIFY(w.close());
    QCOMPARE(w.folder.settingsBytes().contains("[Board]\r\nEnabled=1\r\n"), wanted);
    QCOMPARE(w.folder.settingsBytes().contains("[Board]"), !board.isEmpty());
}

// A board that stops by itself is told in the strip, never in a box; once it serves
// again the strip says when. A publish failure goes from the strip when it clears.
void TestBoard::lostBoardAndPublishingInTheStrip()
{
    BoardWindow w("[Board]\r\nEnabled=1\r\n");
    QTRY_VERIFY(w.form->boardIsOn());
    auto *board = static_cast<FakeBoard *>(w.form->boardService());
    board->lose();
    QCOMPARE(w.form->NoticeText->text(), MsgBoardLost);
    QVERIFY(w.form->NoticeStrip->isVisible() && w.form->BoardIndicator->isVisible());
    board->comeBack();
    const QString restored = MsgBoardRestored.arg(QString());
    QVERIFY2(w.form->NoticeText->text().startsWith(restored.left(restored.indexOf(u'、'))),
             qPrintable(w.form->NoticeText->text()));

    const QString restoredText = w.form->NoticeText->text();

    // Both held, the newest shown; the publish failure goes with its cause, the other stays.
    board->failPublishing(u"/srv/board に書き込めません"_s);
    QCOMPARE(w.form->NoticeText->text(), u"/srv/board に書き込めません 他1件"_s);
    board->recoverPublishing();
    QCOMPARE(w.form->NoticeText->text(), restoredText);
    QTest::mouseClick(w.form->NoticeRead, Qt::LeftButton);
    QVERIFY(!w.form->NoticeStrip->isVisible());
    QCOMPARE(w.dialogs.shown, QStringList());
}

// A change after a quiet moment goes to the board at once, and a steady stream of keys
// reaches it while typing goes on: the delay is never restarted by the next key.
void TestBoard::keysReachTheBoardWhileTyping()
{
    BoardWindow w("[Board]\r\nEnabled=1\r\n");
    QTRY_VERIFY(w.form->boardIsOn());
    w.form->SankaSpinNum->setValue(20);
    QTest::qWait(2 * TForm1::BoardDelayMs);
    const qsizetype before = w.record.heats.size();
    w.form->grid()->setCell(1, 1, u"1"_s);
    QTest::qWait(30);
    QCOMPARE(w.record.heats.size(), before + 1);
    QElapsedTimer typing;
    typing.start();
    for (int key = 0; key < 12; ++key) {
        w.form->grid()->setCell(1, 2 + key, QString::number(key + 2));
        QTest::qWait(50);
    }
    const qsizetype during = w.record.heats.size() - before - 1;
    // About one per delay; a delay restarted by every key would give none at all.
    QVERIFY2(during >= 3 && during <= typing.elapsed() / TForm1::BoardDelayMs + 2, qPrintable(QString::number(during)));
    QTRY_COMPARE(rowTexts(w.record.heats.last()).size(), 13);
}

void TestBoard::publishFailureGoesToTheNoticeStrip()
{
    BoardWindow w("[Board]\r\nEnabled=1\r\n");
    QTRY_VERIFY(w.form->boardIsOn());
    static_cast<FakeBoard *>(w.form->boardService())->failPublishing(u"/srv/board に書き込めません"_s);
    QCOMPARE(w.dialogs.shown, QStringList());
    QVERIFY(w.form->NoticeStrip->isVisible() && w.form->boardIsOn());
    QCOMPARE(w.form->NoticeText->text(), u"/srv/board に書き込めません"_s);
}

// The board's own program, started with the window: the grid is on the page before any
// key, and the heat typed while it starts is not lost.
void TestBoard::boardProgramServesTheGridFromItsStart()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    BoardWindow w("[Board]\r\nEnabled=1\r\nAddress=127.0.0.1\r\nPort=" + QByteArray::number(port) + "\r\n",
                  QStringLiteral(ORDAVEX_BOARD_BINARY));
    QTRY_VERIFY_WITH_TIMEOUT(w.form->boardService() && w.form->boardService()->isStarting(), 5000);
    w.form->SankaSpinNum->setValue(8);
    w.form->grid()->setCell(1, 1, u"4"_s);
    QTRY_VERIFY_WITH_TIMEOUT(w.form->boardIsOn() && !w.form->boardService()->isStarting(), 10000);
    const auto served = [port] { return QJsonDocument::fromJson(Testing::HttpGet(port, "/api/current.json")).object(); };
    QTRY_COMPARE_WITH_TIMEOUT(served().value(u"rows"_s).toArray().first().toObject().value(u"number"_s).toString(),
                              u"4"_s, 2000);
    QCOMPARE(served().value(u"headings"_s).toArray().at(1).toString(), w.form->grid()->cell(1, 0));
    QVERIFY(w.close());
}

QTEST_MAIN(TestBoard)
#include "tst_ui_board.moc"
