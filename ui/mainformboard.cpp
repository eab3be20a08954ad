// The live results board on the main window: its dialog, the indicator in the status
// bar, and the heat handed to it whenever it changes.

#include "mainform.h"

#include "core/board.h"
#include "core/gridmodel.h"
#include "boardform.h"
#include "guard.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

namespace Ordavex {

void TForm1::connectBoardHandlers()
{
    ConnectHandler(BoardOpen, &QAction::triggered, this, &TForm1::BoardOpenExecute);
    m_boardTimer = new QTimer(this);
    m_boardTimer->setSingleShot(true);
    m_boardTimer->setInterval(BoardDelayMs);
    // Not guarded: a hand-off comes from a timer, never from the operator, and must
    // not answer with a box.
    connect(m_boardTimer, &QTimer::timeout, this, &TForm1::handBoardHeat);
    // The timetable's races name the heat on the board.
    const QAbstractItemModel *races = ListDirBox->model();
    connect(races, &QAbstractItemModel::rowsInserted, this, &TForm1::boardHeatChanged);
    connect(races, &QAbstractItemModel::rowsRemoved, this, &TForm1::boardHeatChanged);
    connect(races, &QAbstractItemModel::modelReset, this, &TForm1::boardHeatChanged);
    connect(races, &QAbstractItemModel::dataChanged, this, &TForm1::boardHeatChanged);
}

void TForm1::setBoardServiceFactory(BoardServiceFactory factory)
{
    m_boardFactory = std::move(factory);
}

bool TForm1::boardIsOn() const
{
    return m_board && m_board->isRunning();
}

// The module, and with it the network library, is loaded only here: a program that
// never turns the board on never loads either.
bool TForm1::makeBoardService(QString *error)
{
    if (m_board)
        return true;
    m_board = m_boardFactory ? m_boardFactory(error) : ModuleBoardServiceFactory()(error);
    if (!m_board)
        return false;
    connect(m_board.get(), &BoardService::publishFailed, this, &TForm1::boardPublishFailed);
    connect(m_board.get(), &BoardService::stateChanged, this, &TForm1::showBoardState);
    m_boardWorkFolder.clear();
    return true;
}

void TForm1::BoardOpenExecute()
{
    QString error;
    if (!makeBoardService(&error)) {
        showMessage(error);
        return;
    }
    TBoardForm form(*m_board, {m_settings.boardOn, m_settings.boardAddress, m_settings.boardPort,
                               m_settings.boardPublishFolder}, this);
    connect(&form, &TBoardForm::boardStarted, this, &TForm1::boardStarted);
    connect(&form, &TBoardForm::boardStopped, this, &TForm1::showBoardState);
    form.exec();
    const BoardChoice choice = form.choice();
    m_settings.boardOn = choice.on;
    m_settings.boardAddress = choice.address;
    m_settings.boardPort = choice.port;
    m_settings.boardPublishFolder = choice.publishFolder;
    showBoardState();
}

void TForm1::boardWindowShown()
{
    if (std::exchange(m_boardLaunched, true) || !m_settings.boardOn)
        return;
    // After the window is up: loading the module and binding the port do not hold back
    // the first paint.
    QTimer::singleShot(0, this, &TForm1::startBoardAtLaunch);
}

// Nothing here opens a box: the operator did not ask for anything just now, and may
// already be typing.
void TForm1::startBoardAtLaunch()
{
    if (boardIsOn())
        return;
    QString error;
    if (!makeBoardService(&error)) {
        showNotice(error);
        return;
    }
    BoardService::Options options;
    options.address = m_settings.boardAddress;
    if (options.address.isEmpty())
        options.address = m_board->addresses().value(0);
    options.port = quint16(m_settings.boardPort);
    options.publishFolder = m_settings.boardPublishFolder;
    if (!m_board->start(options, &error)) {
        showNotice(MsgBoardNotStarted.arg(error));
        showBoardState();
        return;
    }
    boardStarted();
}

void TForm1::boardStarted()
{
    handBoardHeat();
    showBoardState();
}

void TForm1::boardHeatChanged()
{
    m_boardSaved = false;
    m_boardSavedHeat.reset();
    // Not restarted by later changes: a steady stream of keys reaches the board once
    // per delay, never held back until the operator pauses.
    if (boardIsOn() && m_boardTimer && !m_boardTimer->isActive())
        m_boardTimer->start();
}

// A save that clears the grid would otherwise take the results off the board the moment
// they are final, and show an empty heat as saved: the board keeps showing what went
// into the file until the next change.
void TForm1::boardHeatSaving()
{
    m_boardSavingHeat.reset();
    if (boardIsOn())
        m_boardSavingHeat = makeBoardHeat();
}

void TForm1::boardHeatSaved(bool listingChanged)
{
    // After the save's own changes to the grid and the target path, which count as none.
    std::optional<BoardHeat> savedHeat = std::exchange(m_boardSavingHeat, std::nullopt);
    m_boardSaved = true;
    if (listingChanged && savedHeat && GridIsEmpty()) {
        savedHeat->saved = true;
        m_boardSavedHeat = std::move(savedHeat);
    }
    if (!boardIsOn())
        return;
    if (listingChanged) {
        handBoardWorkFolder();
        m_board->savedHeatsChanged();
    }
    if (!m_boardTimer->isActive())
        m_boardTimer->start();
}

void TForm1::boardListingChanged()
{
    if (!boardIsOn())
        return;
    handBoardWorkFolder();
    m_board->savedHeatsChanged();
}

void TForm1::flushBoard()
{
    if (m_boardTimer && m_boardTimer->isActive())
        handBoardHeat();
}

void TForm1::handBoardHeat()
{
    if (m_boardTimer)
        m_boardTimer->stop();
    if (!boardIsOn())
        return;
    handBoardWorkFolder();
    BoardHeat heat = m_boardSavedHeat ? *m_boardSavedHeat : makeBoardHeat();
    heat.version = ++m_boardVersion;
    heat.updatedAt = QDateTime::currentDateTime();
    m_board->setHeat(heat);
}

BoardHeat TForm1::makeBoardHeat() const
{
    QStringList timetable;
    for (int row = 0; row < ListDirBox->count(); ++row)
        timetable << ListDirBox->item(row)->text();
    return MakeBoardHeat(*m_grid, m_targetPath, timetable, EditKaze->text(), RaceKindIndex() == 0,
                         sixtyFix->isChecked(), m_boardSaved);
}

void TForm1::handBoardWorkFolder()
{
    if (m_workFolder == m_boardWorkFolder)
        return;
    m_boardWorkFolder = m_workFolder;
    m_board->setWorkFolder(m_workFolder);
}

void TForm1::showBoardState()
{
    const bool on = boardIsOn();
    BoardIndicator->setToolTip(on ? m_board->url() : QString());
    BoardIndicator->setVisible(on);
}

// In the notice strip, not a box: it comes from the service, while the operator types.
void TForm1::boardPublishFailed(const QString &message)
{
    if (NoticeStrip->isVisible() && NoticeText->text() == message)
        return;
    showNotice(message);
}

void TForm1::closeBoard()
{
    // The list empties its model as it goes, after this window has gone.
    disconnect(ListDirBox->model(), nullptr, this, nullptr);
    if (m_boardTimer)
        m_boardTimer->stop();
    if (!m_board)
        return;
    m_board->disconnect(this);
    if (m_board->isRunning())
        m_board->stop();
    m_board.reset();
    BoardIndicator->hide();
}

} // namespace Ordavex
