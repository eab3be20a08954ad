// The live results board on the main window: the heat handed to it on every change,
// its dialog and settings, the indicator, and a board that cannot be loaded or started.

#include "core/boardservice.h"
#include "core/gridmodel.h"
#include "ui/boardform.h"
#include "ui/boardloader.h"
#include "ui/inputgrid.h"
#include "ui/mainform.h"
#include "ui/sankaspin.h"
#include "uitest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include <QFileInfo>

#include <functional>
#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

namespace {

// What the service was told, kept by the test: the service itself goes with the window.
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

    QStringList addresses() const override
    {
        return {QStringLiteral("127.0.0.1"), QStringLiteral("192.168.1.20")};
    }
    bool start(const Options &options, QString *error) override
    {
        m_record.starts << options;
        if (!m_record.refusal.isEmpty()) {
            *error = m_record.refusal;
            return false;
        }
        m_running = true;
        m_url = QStringLiteral("http://%1:%2/").arg(options.address).arg(options.port);
        emit stateChanged();
        return true;
    }
    void stop() override
    {
        ++m_record.stops;
        m_running = false;
        emit stateChanged();
    }
    bool isRunning() const override { return m_running; }
    QString url() const override { return m_running ? m_url : QString(); }
    void setHeat(const BoardHeat &heat) override { m_record.heats << heat; }
    void setWorkFolder(const QString &folder) override { m_record.workFolders << folder; }
    void savedHeatsChanged() override { ++m_record.listings; }
    int clientCount() const override { return 0; }

    void failPublishing(const QString &message) { emit publishFailed(message); }

private:
    BoardRecord &m_record;
    bool m_running = false;
    QString m_url;
};

BoardServiceFactory fakeFactory(BoardRecord &record)
{
    return [&record](QString *) {
        ++record.made;
        return std::make_unique<FakeBoard>(record);
    };
}

// "number/packed" for each row the board was given.
QStringList rowTexts(const BoardHeat &heat)
{
    QStringList texts;
    for (const BoardRow &row : heat.rows)
        texts << row.number + u'/' + row.packed;
    return texts;
}

const QString Refusal = QStringLiteral("ﾎﾟｰﾄ 8080 は使用中です。");

} // namespace

class TestBoard final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void heatReachesTheBoard_data();
    void heatReachesTheBoard();
    void dialogTurnsTheBoardOnAndOff_data();
    void dialogTurnsTheBoardOnAndOff();
    void boardAtStart_data();
    void boardAtStart();
    void menuWithoutModule();
    void publishFailureGoesToTheNoticeStrip();

private:
    // The window in a program folder whose settings hold board (a [Board] section or
    // nothing), shown, with the fake service behind it.
    void openWindow(const QByteArray &board, BoardServiceFactory factory);
    TForm1 &form() { return *m_form; }
    QString work(const QString &name) const { return Paths::join(m_work->path(), name); }
    // Runs the board dialog, doing what act does with it while it is open.
    void runDialog(const std::function<void(TBoardForm &)> &act);
    bool closeWindow();

    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramFolder> m_work;
    std::unique_ptr<TForm1> m_form;
    BoardRecord m_record;
};

void TestBoard::init()
{
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_folder = std::make_unique<ProgramFolder>();
    m_work = std::make_unique<ProgramFolder>();
    m_record = BoardRecord();
}

void TestBoard::cleanup()
{
    m_form.reset();
    m_work.reset();
    m_folder.reset();
    m_dialogs.reset();
}

void TestBoard::openWindow(const QByteArray &board, BoardServiceFactory factory)
{
    m_folder->writeSettings("[WorkFiles]\r\nexFilePath=" + m_work->path().toUtf8() + "\r\n" + board);
    m_form = std::make_unique<TForm1>(m_folder->appPaths());
    m_form->setBoardServiceFactory(std::move(factory));
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
}

void TestBoard::runDialog(const std::function<void(TBoardForm &)> &act)
{
    bool found = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<TBoardForm *>(QApplication::activeModalWidget());
        found = dialog != nullptr;
        if (!dialog) {
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        act(*dialog);
        dialog->CloseButton->click();
    });
    form().BoardOpen->trigger();
    QVERIFY2(found, "the board dialog did not open");
}

bool TestBoard::closeWindow()
{
    m_dialogs->answers = {true};
    return m_form->close();
}

// Every way the heat changes reaches the board within a second, with the rows as the
// grid holds them and whether they are what the file holds.
void TestBoard::heatReachesTheBoard_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<int>("listings");      // times the saved heats were read again

    const QStringList before{QStringLiteral("4/1052"), QStringLiteral("5/1061")};
    QTest::newRow("typing") << u"typing"_s << QStringList{u"4/1052"_s, u"5/1061"_s, u"7/1099"_s} << false << 0;
    QTest::newRow("import from the monitor") << u"import"_s << QStringList{u"3/1052"_s, u"6/1061"_s} << false << 0;
    QTest::newRow("wind") << u"wind"_s << before << false << 0;
    QTest::newRow("60秒補正") << u"sixty"_s << before << false << 0;
    QTest::newRow("race kind") << u"road"_s << before << false << 0;
    QTest::newRow("target path") << u"target"_s << before << false << 0;
    QTest::newRow("clear") << u"clear"_s << QStringList() << false << 0;
    QTest::newRow("save") << u"save"_s << before << true << 1;
    QTest::newRow("save, then a key") << u"save and type"_s << QStringList{u"4/1052"_s, u"5/1061"_s, u"7/"_s}
                                      << false << 1;
    QTest::newRow("open") << u"open"_s << QStringList{u"3/1099"_s} << true << 0;
    QTest::newRow("open, then import") << u"open and import"_s << QStringList{u"3/1052"_s, u"6/1061"_s} << false
                                       << 0;
}

void TestBoard::heatReachesTheBoard()
{
    QFETCH(QString, change);
    QFETCH(QStringList, rows);
    QFETCH(bool, saved);
    QFETCH(int, listings);

    openWindow("[Board]\r\nEnabled=1\r\n", fakeFactory(m_record));
    QTRY_VERIFY(form().boardIsOn());
    form().autoClear->setChecked(false);
    form().SankaSpinNum->setValue(2);
    form().grid()->setCell(1, 1, QStringLiteral("4"));
    form().grid()->setCell(2, 1, QStringLiteral("1052"));
    form().grid()->setCell(1, 2, QStringLiteral("5"));
    form().grid()->setCell(2, 2, QStringLiteral("1061"));
    form().flushBoard();
    const qsizetype handed = m_record.heats.size();
    QVERIFY(handed > 0);
    QCOMPARE(rowTexts(m_record.heats.last()), QStringList({u"4/1052"_s, u"5/1061"_s}));
    const quint64 version = m_record.heats.last().version;

    HeatAccess &heat = form();
    const QString csv = work(QStringLiteral("R1.csv"));
    auto type = [this](const QString &keys) {
        form().focusInputGrid();
        form().InputGrid->setCurrentCell(1, 3);
        typeText(keys);
    };
    auto open = [this, &csv] {
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"\x8f\x87\x88\xca\",\"\xda\xb0\xdd\",\"\xc0\xb2\xd1\"\r\n\"1\",\"3\",\"10.99\"\r\n");
        file.close();
        m_dialogs->files = {csv};
        form().AC_OpenFile->trigger();
    };
    if (change == u"typing"_s) {
        form().SankaSpinNum->setValue(3);
        type(QStringLiteral("7\n1099\n"));
    } else if (change == u"import"_s || change == u"open and import"_s) {
        if (change == u"open and import"_s)
            open();
        heat.setRows({{u"1"_s, u"3"_s, u"1052"_s}, {u"2"_s, u"6"_s, u"1061"_s}});
    } else if (change == u"wind"_s) {
        form().EditKaze->setText(QStringLiteral("+2.1"));
    } else if (change == u"sixty"_s) {
        form().sixtyFix->toggle();
    } else if (change == u"road"_s) {
        form().RadioButton2->setChecked(true);
    } else if (change == u"target"_s) {
        heat.setTargetPath(csv);
    } else if (change == u"clear"_s) {
        m_dialogs->answers = {true};
        form().EraseInputGrid->trigger();
    } else if (change == u"save"_s || change == u"save and type"_s) {
        m_dialogs->files = {csv};
        form().FileSaveAS->trigger();
        QVERIFY(QFileInfo::exists(csv));
        if (change == u"save and type"_s) {
            form().SankaSpinNum->setValue(3);
            type(QStringLiteral("7\n"));
        }
    } else if (change == u"open"_s) {
        open();
    }
    QCOMPARE(m_dialogs->shown, QStringList());

    QTRY_VERIFY_WITH_TIMEOUT(!m_record.heats.isEmpty() && m_record.heats.last().version > version
                                 && rowTexts(m_record.heats.last()) == rows
                                 && m_record.heats.last().saved == saved,
                             1000);
    const BoardHeat &now = m_record.heats.last();
    QCOMPARE(rowTexts(now), rows);
    QCOMPARE(now.saved, saved);
    QCOMPARE(m_record.listings, listings);
    if (change == u"wind"_s)
        QCOMPARE(now.wind, QStringLiteral("+2.1"));
    if (change.startsWith(u"save"_s) || change == u"target"_s || change == u"open"_s)
        QCOMPARE(now.fileName, QStringLiteral("R1.csv"));
    // The service lists the folder the heats are saved in now.
    QCOMPARE(m_record.workFolders.value(m_record.workFolders.size() - 1), form().workFolder());
}

// On and off from the dialog, kept in [Board] when the window closes; the indicator
// shows only while the board is on, and panel 0 keeps the target path.
void TestBoard::dialogTurnsTheBoardOnAndOff_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("offAgain");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("section");

    QTest::newRow("on") << QString() << false << true
                        << QByteArray("[Board]\r\nEnabled=1\r\nAddress=192.168.1.20\r\nPort=8081\r\nPublishFolder=/srv/board\r\n");
    QTest::newRow("on, then off") << QString() << true << false
                                  << QByteArray("[Board]\r\nEnabled=0\r\nAddress=192.168.1.20\r\nPort=8081\r\nPublishFolder=/srv/board\r\n");
    QTest::newRow("port taken") << Refusal << false << false
                                << QByteArray("[Board]\r\nEnabled=0\r\nAddress=192.168.1.20\r\nPort=8081\r\nPublishFolder=/srv/board\r\n");
}

void TestBoard::dialogTurnsTheBoardOnAndOff()
{
    QFETCH(QString, refusal);
    QFETCH(bool, offAgain);
    QFETCH(bool, on);
    QFETCH(QByteArray, section);

    openWindow({}, fakeFactory(m_record));
    m_record.refusal = refusal;
    const QString path = form().StatusPanel0->text();
    QVERIFY(!form().BoardIndicator->isVisible());
    QCOMPARE(m_record.made, 0);

    bool shownOn = false;
    QString url;
    bool controlsLocked = false;
    runDialog([&](TBoardForm &dialog) {
        QCOMPARE(dialog.BoardAddress->itemText(0), QStringLiteral("127.0.0.1"));
        QCOMPARE(dialog.BoardPort->value(), 8080);
        dialog.BoardAddress->setCurrentText(QStringLiteral("192.168.1.20"));
        dialog.BoardPort->setValue(8081);
        dialog.PublishFolder->setText(QStringLiteral("/srv/board"));
        dialog.BoardOn->click();
        shownOn = form().BoardIndicator->isVisible();
        url = dialog.BoardUrl->text();
        controlsLocked = !dialog.BoardPort->isEnabled();
        if (offAgain)
            dialog.BoardOn->click();
        QCOMPARE(dialog.BoardOn->isChecked(), on);
    });

    QCOMPARE(m_record.starts.size(), 1);
    QCOMPARE(m_record.starts[0].address, QStringLiteral("192.168.1.20"));
    QCOMPARE(m_record.starts[0].port, quint16(8081));
    QCOMPARE(m_record.starts[0].publishFolder, QStringLiteral("/srv/board"));
    QCOMPARE(m_dialogs->shown, refusal.isEmpty() ? QStringList() : QStringList{refusal});
    QCOMPARE(shownOn, refusal.isEmpty());
    QCOMPARE(controlsLocked, refusal.isEmpty());
    QCOMPARE(url, refusal.isEmpty() ? QStringLiteral("http://192.168.1.20:8081/") : QString());
    QCOMPARE(form().BoardIndicator->isVisible(), on);
    QCOMPARE(form().BoardIndicator->toolTip(), on ? QStringLiteral("http://192.168.1.20:8081/") : QString());
    QCOMPARE(form().StatusPanel0->text(), path);
    // Only a board that is on gets the heat.
    const qsizetype handed = m_record.heats.size();
    QCOMPARE(handed > 0, on || offAgain);
    form().grid()->setCell(1, 1, QStringLiteral("9"));
    form().flushBoard();
    QCOMPARE(m_record.heats.size(), on ? handed + 1 : handed);

    const int stopsBefore = m_record.stops;
    QVERIFY(closeWindow());
    QCOMPARE(m_record.stops, stopsBefore + (on ? 1 : 0));
    const QByteArray bytes = m_folder->settingsBytes();
    QVERIFY2(bytes.endsWith(section), bytes.constData());
}

// A board left on starts again once the window is up; whatever stops it is told in the
// notice strip, never in a box, and the window works on without it. A board left off
// never loads its module.
void TestBoard::boardAtStart_data()
{
    QTest::addColumn<QByteArray>("board");
    QTest::addColumn<QString>("module");        // "fake", or the file put where the module is looked for
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("address");       // where it was started; empty: not started
    QTest::addColumn<QString>("notice");        // the start of the notice shown

    const QString notLoaded = MsgBoardNotLoaded.left(MsgBoardNotLoaded.indexOf(u'\n'));
    QTest::newRow("off") << QByteArray() << u"fake"_s << QString() << QString() << QString();
    QTest::newRow("off, with a section") << QByteArray("[Board]\r\nEnabled=0\r\nAddress=10.0.0.1\r\n") << u"fake"_s
                                         << QString() << QString() << QString();
    QTest::newRow("on, first address") << QByteArray("[Board]\r\nEnabled=1\r\n") << u"fake"_s << QString()
                                       << u"127.0.0.1"_s << QString();
    QTest::newRow("on, address kept") << QByteArray("[Board]\r\nEnabled=1\r\nAddress=192.168.1.20\r\nPort=9000\r\n")
                                      << u"fake"_s << QString() << u"192.168.1.20"_s << QString();
    QTest::newRow("on, port taken") << QByteArray("[Board]\r\nEnabled=1\r\n") << u"fake"_s << Refusal << QString()
                                    << MsgBoardNotStarted.arg(Refusal);
    QTest::newRow("on, no module") << QByteArray("[Board]\r\nEnabled=1\r\n") << QString() << QString() << QString()
                                   << notLoaded;
    QTest::newRow("on, module not a library") << QByteArray("[Board]\r\nEnabled=1\r\n") << u"libordavex_board.so"_s
                                              << QString() << QString() << notLoaded;
}

void TestBoard::boardAtStart()
{
    QFETCH(QByteArray, board);
    QFETCH(QString, module);
    QFETCH(QString, refusal);
    QFETCH(QString, address);
    QFETCH(QString, notice);

    QTemporaryDir moduleFolder;
    BoardServiceFactory factory = fakeFactory(m_record);
    if (module != u"fake"_s) {
        if (!module.isEmpty()) {
            QFile file(moduleFolder.filePath(module));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a library");
        }
        factory = [&moduleFolder](QString *error) { return LoadBoardService(moduleFolder.path(), error); };
    }
    m_record.refusal = refusal;
    openWindow(board, factory);
    const QString path = form().StatusPanel0->text();
    const bool wanted = board.contains("Enabled=1");
    if (wanted)
        QTRY_VERIFY(form().boardIsOn() || form().NoticeStrip->isVisible());
    else
        QTest::qWait(50);

    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(form().boardIsOn(), !address.isEmpty());
    QCOMPARE(form().BoardIndicator->isVisible(), !address.isEmpty());
    QCOMPARE(form().StatusPanel0->text(), path);
    if (module == u"fake"_s)
        QCOMPARE(m_record.made, wanted ? 1 : 0);
    if (!address.isEmpty()) {
        QCOMPARE(m_record.starts.size(), 1);
        QCOMPARE(m_record.starts[0].address, address);
        QCOMPARE(m_record.heats.size(), 1);
    }
    QCOMPARE(form().NoticeStrip->isVisible(), !notice.isEmpty());
    if (!notice.isEmpty())
        QVERIFY2(form().NoticeText->text().startsWith(notice), qPrintable(form().NoticeText->text()));

    // The window goes on: typing works, and the settings keep what the operator chose.
    form().grid()->setCell(1, 1, QStringLiteral("4"));
    QVERIFY(closeWindow());
    if (wanted)
        QVERIFY(m_folder->settingsBytes().contains("[Board]\r\nEnabled=1\r\n"));
    else
        QCOMPARE(m_folder->settingsBytes().contains("[Board]"), !board.isEmpty());
}

// Asked for by the operator, so told in a box; no dialog for a board that cannot run.
void TestBoard::menuWithoutModule()
{
    QTemporaryDir empty;
    openWindow({}, [&empty](QString *error) { return LoadBoardService(empty.path(), error); });
    form().BoardOpen->trigger();
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY2(m_dialogs->shown[0].startsWith(MsgBoardNotLoaded.arg(QString())), qPrintable(m_dialogs->shown[0]));
    QVERIFY(m_dialogs->shown[0].size() > MsgBoardNotLoaded.arg(QString()).size());
    QVERIFY(!form().boardIsOn());
    QVERIFY(!form().BoardIndicator->isVisible());
    QVERIFY(closeWindow());
    QVERIFY(!m_folder->settingsBytes().contains("[Board]"));
}

void TestBoard::publishFailureGoesToTheNoticeStrip()
{
    openWindow("[Board]\r\nEnabled=1\r\n", fakeFactory(m_record));
    QTRY_VERIFY(form().boardIsOn());
    const QString message = QStringLiteral("/srv/board/index.html に書き込めません");
    static_cast<FakeBoard *>(form().boardService())->failPublishing(message);
    QCOMPARE(m_dialogs->shown, QStringList());
    QVERIFY(form().NoticeStrip->isVisible());
    QCOMPARE(form().NoticeText->text(), message);
    QVERIFY(form().boardIsOn());
}

QTEST_MAIN(TestBoard)
#include "tst_ui_board.moc"
