// The main window's serial link on real pseudo-terminals: opening the port of the chosen
// timing machine, the monitor receiving what the machine sends, and the import.

#include "linkwindows.h"
#include "core/gridmodel.h"
#include "core/settings.h"
#include "serial/pseudoterminal.h"
#include "serial/seriallink.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"
#include "ui/sankaspin.h"
#include "ui/unit5.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

class TestLink final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void absentDeviceLeavesHeat();
    void receivesAndImportsHeat();
    void secondMachineChosen();
    void closedChoiceOpensNothing();
    void reopeningReadsOnWithoutLoss();

private:
    // Answers the machine choice once it shows.
    void chooseMachine(QPushButton *TForm5::*button)
    {
        QTimer::singleShot(0, this, [button] {
            if (Form5 && Form5->isVisible())
                (Form5->*button)->click();
        });
    }

    std::unique_ptr<LinkWindows> m_windows;
    ScriptedDialogs *m_dialogs = nullptr;
    TForm1 *m_main = nullptr;
    TForm3 *m_monitor = nullptr;
    std::unique_ptr<TForm5> m_choice;
    // Fresh for every case: bytes left unread by one case must not reach the next.
    std::unique_ptr<PseudoTerminal> m_pty1;
    std::unique_ptr<PseudoTerminal> m_pty2;
};

void TestLink::init()
{
    m_pty1 = std::make_unique<PseudoTerminal>();
    m_pty2 = std::make_unique<PseudoTerminal>();
    QVERIFY(m_pty1->isValid());
    QVERIFY(m_pty2->isValid());
    m_windows = std::make_unique<LinkWindows>();
    m_dialogs = &m_windows->dialogs;
    m_main = m_windows->main.get();
    m_monitor = m_windows->monitor.get();
    m_choice = std::make_unique<TForm5>();
    Settings &settings = m_main->settings();
    settings.ports[0] = m_pty1->slavePath();
    settings.ports[1] = m_pty2->slavePath();
    settings.cCheckAutoLog = false;
}

void TestLink::cleanup()
{
    m_choice.reset();
    m_windows.reset();
    m_pty2.reset();
    m_pty1.reset();
}

void TestLink::absentDeviceLeavesHeat()
{
    m_main->settings().ports[0] = m_windows->folder.path() + u"/ttyUSB9"_s;
    m_main->grid()->setCell(2, 1, u"1234"_s);
    m_main->EditKaze->setText(u"+1.0"_s);
    m_dialogs->answers = {true};
    m_main->RS232COpen->trigger();
    QCOMPARE(m_dialogs->shown, QStringList{MsgPortOpenFailed});
    QCOMPARE(m_main->OpenComPort(), 1);
    QCOMPARE(m_main->cellText(2, 1), u"1234"_s);
    QCOMPARE(m_main->EditKaze->text(), u"+1.0"_s);
    QVERIFY(!m_monitor->isVisible());
    QVERIFY(m_main->RaceKind->isEnabled());
    QVERIFY(!m_main->link().isOpen());
}

void TestLink::receivesAndImportsHeat()
{
    m_main->RadioButton2->setChecked(true);
    m_main->RadioButton6->setChecked(true);
    m_main->grid()->setCell(2, 1, u"999"_s);
    m_main->EditKaze->setText(u"+1.0"_s);

    // A heat on the grid: kept unless the operator agrees.
    m_main->RS232COpen->trigger();
    QCOMPARE(m_dialogs->confirmations, QStringList{MsgEraseBeforeLink});
    QVERIFY(!m_monitor->isVisible());
    QCOMPARE(m_main->cellText(2, 1), u"999"_s);

    m_dialogs->answers = {true};
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());
    QCOMPARE(m_main->cellText(2, 1), QString());
    QCOMPARE(m_main->EditKaze->text(), QString());
    QVERIFY(m_main->RadioButton1->isChecked());
    QVERIFY(m_main->RadioButton5->isChecked());
    QVERIFY(!m_main->RaceKind->isEnabled());
    QVERIFY(!m_main->AssigKind->isEnabled());
    QCOMPARE(m_monitor->windowTitle(), u"RS232C通信(1号機)"_s);
    QVERIFY(m_monitor->threadStarted());

    QVERIFY(m_pty1->write("\x02+1.2\x03\r\n\x02R,1,3,123,12.34\x03\r\n"_ba));
    QVERIFY(m_pty1->write("R,2,5,124,12.50\r"_ba));
    QTRY_COMPARE(m_monitor->receivedLines().size(), 3);
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>({"+1.2"_ba, "R,1,3,123,12.34"_ba, "R,2,5,124,12.50"_ba}));
    QVERIFY(m_monitor->bStopThread->isEnabled());

    QTest::mouseClick(m_monitor->bStopThread, Qt::LeftButton);
    QCOMPARE(m_main->EditKaze->text(), u"+1.2"_s);
    QCOMPARE(m_main->rowCount(), 2);
    QCOMPARE(m_main->cellText(1, 2), u"5"_s);
    QCOMPARE(m_main->cellText(2, 2), u"1250"_s);
    QVERIFY(m_monitor->receivedLines().isEmpty());

    QVERIFY(m_monitor->close());
    QVERIFY(m_main->RaceKind->isEnabled());
    QVERIFY(m_main->RS232COpen->isEnabled());
    // The port stays open for the next showing.
    QVERIFY(m_main->link().isOpen());
}

void TestLink::secondMachineChosen()
{
    Settings &settings = m_main->settings();
    settings.cUseSubCom = true;
    settings.cComName2 = 1;
    settings.cCheckTimerON = true;
    settings.cCheckTimerON2 = false;
    chooseMachine(&TForm5::Button2);
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());
    QCOMPARE(m_monitor->windowTitle(), u"RS232C通信(2号機)"_s);
    QCOMPARE(m_main->activeMachine(), 1);
    QCOMPARE(m_main->activePort(), 1);
    QVERIFY(!m_monitor->CheckTimerON->isChecked());

    // The second machine's port is the one read.
    QVERIFY(m_pty1->write("R,1,1,1,10.00\r\n"_ba));
    QVERIFY(m_pty2->write("R,1,2,2,20.00\r\n"_ba));
    QTRY_COMPARE(m_monitor->receivedLines().size(), 1);
    QTest::qWait(3 * TMyThread::WaitMs);
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>{"R,1,2,2,20.00"_ba});

    m_monitor->CheckTimerON->setChecked(true);
    QVERIFY(m_monitor->close());
    QCOMPARE(settings.cCheckTimerON2, true);

    chooseMachine(&TForm5::Button1);
    m_main->RS232COpen->trigger();
    QCOMPARE(m_monitor->windowTitle(), u"RS232C通信(1号機)"_s);
    QCOMPARE(m_main->activePort(), 0);
    QVERIFY(m_monitor->CheckTimerON->isChecked());
}

void TestLink::closedChoiceOpensNothing()
{
    m_main->settings().cUseSubCom = true;
    m_main->grid()->setCell(2, 1, u"1234"_s);
    QTimer::singleShot(0, this, [] {
        if (Form5)
            Form5->close();
    });
    m_main->RS232COpen->trigger();
    QVERIFY(!m_monitor->isVisible());
    QVERIFY(!m_main->link().isOpen());
    QCOMPARE(m_dialogs->confirmations, QStringList());
    QCOMPARE(m_main->cellText(2, 1), u"1234"_s);
    QCOMPARE(m_main->activeMachine(), 0);
}

void TestLink::reopeningReadsOnWithoutLoss()
{
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());
    QVERIFY(m_pty1->write("R,1,1,1,10.00\r\n"_ba));
    QTRY_COMPARE(m_monitor->receivedLines().size(), 1);
    QVERIFY(m_monitor->close());

    // A new showing opens the port again with a new reader; what the machine sends
    // afterwards arrives once, whole.
    m_main->RS232COpen->trigger();
    QVERIFY(m_monitor->isVisible());
    QVERIFY(m_monitor->receivedLines().isEmpty());
    QVERIFY(m_pty1->write("R,2,2,2,"_ba));
    QTest::qWait(2 * TMyThread::WaitMs);
    QVERIFY(m_pty1->write("20.00\r\nR,3,3,3,30.00\r\n"_ba));
    QTRY_COMPARE(m_monitor->receivedLines().size(), 2);
    QTest::qWait(2 * TMyThread::WaitMs);
    QCOMPARE(m_monitor->receivedLines(), QList<QByteArray>({"R,2,2,2,20.00"_ba, "R,3,3,3,30.00"_ba}));
    QVERIFY(m_monitor->Label1->text().startsWith(u"line=2 "_s));
}

QTEST_MAIN(TestLink)
#include "tst_ui_link.moc"
