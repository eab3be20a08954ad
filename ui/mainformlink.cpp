// The main window's side of the serial link: opening the timing machine's port and
// showing the communication monitor, and the parameter dialog.
#include "mainform.h"

#include "guard.h"
#include "programwindows.h"
#include "rs232cfunc.h"
#include "serial/seriallink.h"
#include "unit4.h"
#include "unit5.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>

namespace Ordavex {

void TForm1::connectLinkHandlers()
{
    ConnectHandler(RS232COpen, &QAction::triggered, this, &TForm1::RS232COpenExecute);
    ConnectHandler(RS232CParamOpen, &QAction::triggered, this, &TForm1::RS232CParamOpenExecute);
}

void TForm1::setMonitor(TForm3 *monitor)
{
    m_monitor = monitor;
    if (m_monitor)
        m_monitor->attach(this, this, m_link.get(), m_paths);
}

int TForm1::OpenComPort()
{
    const SerialLink::OpenResult opened = m_link->open(PortDeviceName(m_settings, m_activePort), m_settings);
    if (!opened.opened) {
        showMessage(MsgPortOpenFailed);
        return 1;
    }
    m_portNote = opened.note;
    ClearEntries();
    EditKaze->setText(QString());
    return 0;
}

void TForm1::RS232COpenExecute()
{
    m_activeMachine = 0;
    if (m_settings.cUseSubCom) {
        switch (ChooseTimingMachine()) {
        case TimingMachine::First:
            m_activePort = m_settings.cComName;
            m_activeTimer = m_settings.cCheckTimerON;
            m_activeMachine = 0;
            break;
        case TimingMachine::Second:
            m_activePort = m_settings.cComName2;
            m_activeTimer = m_settings.cCheckTimerON2;
            m_activeMachine = 1;
            break;
        case TimingMachine::None:
            return;
        }
    }
    if (!GridIsEmpty() && !Dialogs::instance().confirm(this, MsgEraseBeforeLink))
        return;
    if (!m_monitor || m_monitor->isVisible())
        return;
    if (OpenComPort() == 1)
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    m_monitor->PlaceMonitor(false);
    // Received records are always track results by lane.
    forceTrackAndLane();
    setOptionGroupsEnabled(false);
    m_monitor->prepareShowing({m_activeMachine, m_activeTimer, m_portNote});
    m_monitor->show();
}

void TForm1::RS232CParamOpenExecute()
{
    if (m_monitor && m_monitor->isVisible()) {
        showMessage(MsgCloseMonitorFirst);
        return;
    }
    if (!Wanted(Form4))
        return;
    // The log folder in use stands for exLogFilePath while the program runs.
    Form4->setSettings(&m_settings, &m_logFolder);
    Form4->setOpenDialog(&OpenDialog1);
    Form4->exec();
}

TForm1::TimingMachine TForm1::ChooseTimingMachine()
{
    if (!Wanted(Form5))
        return TimingMachine::None;
    switch (Form5->exec()) {
    case QMessageBox::Yes:
        return TimingMachine::First;
    case QMessageBox::No:
        return TimingMachine::Second;
    default:
        return TimingMachine::None;
    }
}

} // namespace Ordavex
