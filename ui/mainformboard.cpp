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
#include <QTime>
#include <QTimer>

#include <algorithm>

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

// On, or asked to start: the service keeps what it is handed for the board it starts.
bool TForm1::boardWanted() const
{
    return m_board && (m_board->isRunning() || m_board->isStarting());
}

// Nothing of the board is started before it is first turned on.
bool TForm1::makeBoardService(QString *error)
{
    if (m_board)
        return true;
    m_board = m_boardFactory ? m_boardFactory(error) : ProcessBoardServiceFactory()(error);
    if (!m_board)
        return false;
    connect(m_board.get(), &BoardService::publishFailed, this, &TForm1::boardPublishFailed);
    connect(m_board.get(), &BoardService::publishRecovered, this, &TForm1::boardPublishRecovered);
    connect(m_board.get(), &BoardService::startFailed, this, &TForm1::boardStartFailed);
    connect(m_board.get(), &BoardService::boardLost, this, &TForm1::boardLost);
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
    m_boardDialogOpen = true;
    form.exec();
    m_boardDialogOpen = false;
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
    if (boardWanted())
        return;
    QString error;
    if (!makeBoardService(&error)) {
        postNotice(NoticeList::Cause::BoardStart, error);
        return;
    }
    BoardService::Options options;
    options.address = m_settings.boardAddress;
    if (options.address.isEmpty())
        options.address = m_board->addresses().value(0);
    options.port = quint16(m_settings.boardPort);
    options.publishFolder = m_settings.boardPublishFolder;
    if (!m_board->start(options, &error)) {
        postNotice(NoticeList::Cause::BoardStart, MsgBoardNotStarted.arg(error));
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
    if (boardWanted())
        scheduleBoardHandOff();
}

// A change after a quiet moment goes at once (after the event that made it, so that an
// import's many cells go together); the changes that follow are coalesced into one
// hand-off per delay. Never restarted by later changes: a steady stream of keys
// reaches the board once per delay, never held back until the operator pauses.
void TForm1::scheduleBoardHandOff()
{
    if (!m_boardTimer || m_boardTimer->isActive())
        return;
    const qint64 since = m_sinceBoardHandOff.isValid() ? m_sinceBoardHandOff.elapsed() : BoardDelayMs;
    m_boardTimer->start(int(std::max<qint64>(0, BoardDelayMs - since)));
}

// A save that clears the grid would otherwise take the results off the board the moment
// they are final, and show an empty heat as saved: the board keeps showing what went
// into the file until the next change.
void TForm1::boardHeatSaving()
{
    m_boardSavingHeat.reset();
    if (boardWanted())
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
    if (!boardWanted())
        return;
    if (listingChanged) {
        handBoardWorkFolder();
        m_board->savedHeatsChanged();
    }
    scheduleBoardHandOff();
}

void TForm1::boardListingChanged()
{
    if (!boardWanted())
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
    if (!boardWanted())
        return;
    handBoardWorkFolder();
    m_sinceBoardHandOff.start();
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
    BoardHeat heat = MakeBoardHeat(*m_grid, m_targetPath, timetable, EditKaze->text(), RaceKindIndex() == 0,
                                   sixtyFix->isChecked(), m_boardSaved);
    if (m_startList)
        AddStarterNames(heat, *m_startList);
    return heat;
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
    if (on && !m_board->isStarting()) {
        withdrawNotice(NoticeList::Cause::BoardStart);
        // Serving again after it stopped by itself: the strip says when, until 確認.
        if (m_notices.holds(NoticeList::Cause::BoardLost) && !m_boardRestoredTold) {
            m_boardRestoredTold = true;
            postNotice(NoticeList::Cause::BoardLost,
                       MsgBoardRestored.arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
        }
    }
}

// In the notice strip, not a box: it comes from the service, while the operator types.
void TForm1::boardPublishFailed(const QString &message)
{
    // The same failure again keeps its place among the others.
    if (m_notices.texts().contains(message))
        return;
    postNotice(NoticeList::Cause::BoardPublish, message);
}

// The failure it told of has cleared: its notice goes, any other stays.
void TForm1::boardPublishRecovered()
{
    withdrawNotice(NoticeList::Cause::BoardPublish);
}

// A start that the operator did not just ask for in the dialog: told in the strip.
void TForm1::boardStartFailed(const QString &message)
{
    if (!m_boardDialogOpen)
        postNotice(NoticeList::Cause::BoardStart, MsgBoardNotStarted.arg(message));
    showBoardState();
}

void TForm1::boardLost(const QString &message)
{
    // Each stop is news, also after the last one was read.
    withdrawNotice(NoticeList::Cause::BoardLost);
    m_boardRestoredTold = false;
    postNotice(NoticeList::Cause::BoardLost, message);
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
