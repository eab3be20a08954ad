#include "mainform.h"

#include "core/gridmodel.h"
#include "core/entryrules.h"
#include "core/resultfile.h"
#include "dialogs.h"
#include "guard.h"
#include "ime.h"
#include "inputgrid.h"
#include "rs232cfunc.h"
#include "sankaspin.h"
#include "serial/seriallink.h"
#include "windowfont.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

namespace Ordavex {

TForm1 *Form1 = nullptr;

TForm1::TForm1(const Paths::AppPaths &paths, QWidget *parent)
    : QMainWindow(parent)
    , m_paths(paths)
    , m_grid(new ResultGrid(this))
    , m_link(std::make_unique<SerialLink>())
{
    // Handlers fired while the window is built reach it through the global.
    Form1 = this;

    // The font first, so that every control is born with it instead of being told of
    // a change one by one.
    setFont(WindowFont(12));
    setWindowTitle(CaptionBuilding);
    setupUi(this, m_grid);
    connectHandlers();
    connectEntryHandlers();
    connectStartList();

    m_workFolder = m_paths.defaultWorkFolder;
    m_settingsPath = m_paths.settingsFile;
    m_settings = ReadSettings(m_settingsPath, m_workFolder);
    m_workFolder = m_settings.exFilePath;
    m_logFolder = m_settings.exLogFilePath;
    // The defaults stand in for settings that could not be read; the file is left alone.
    if (m_settings.readFailed)
        showMessage(MsgSettingsUnreadable.arg(m_settingsPath));

    const Paths::LogFolderCheck logCheck = Paths::CheckLogFolder(m_logFolder, m_paths.baseFolder);
    m_logFolder = logCheck.logFolder;
    for (const QString &message : logCheck.messages)
        showMessage(message);

    putSettingsIntoControls();
    setTargetPath(Paths::join(m_workFolder, QStringLiteral("Untitled.csv")));
    // Until a use of the open dialog sets its folder, it starts in the work folder.
    OpenDialog1.folder = m_workFolder;
    LayoutGrid();

    m_activeMachine = 0;
    m_activePort = m_settings.cComName;
    m_activeTimer = m_settings.cCheckTimerON;

    // The heat that a crash or a killed program left unsaved; the changes that build
    // the window are none of the operator's.
    m_recoveryPath = RecoveryFilePath(m_settingsPath);
    offerRecovery();
    connectRecovery();
}

TForm1::~TForm1()
{
    closeBoard();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::connectHandlers()
{
    ConnectHandler(AC_OpenFile, &QAction::triggered, this, &TForm1::AC_OpenFileExecute);
    ConnectHandler(FileSaveAS, &QAction::triggered, this, &TForm1::FileSaveASExecute);
    ConnectHandler(EraseInputGrid, &QAction::triggered, this, &TForm1::EraseInputGridExecute);
    ConnectHandler(AC_Close, &QAction::triggered, this, &TForm1::AC_CloseExecute);
    connectWorkFolderHandlers();
    connectLinkHandlers();

    ConnectHandler(SankaSpinNum, &SpinEdit::changed, this, &TForm1::SankaSpinNumChange);
    ConnectHandler(SankaSpinNum, &SpinEdit::clicked, this, &TForm1::SankaSpinNumClick);
    // A radio button's click handler runs when it becomes checked, by the operator or
    // by the program.
    auto onChecked = [this](QRadioButton *button, void (TForm1::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on)
                Guarded(this, [this, handler] { (this->*handler)(); });
        });
    };
    onChecked(RadioButton1, &TForm1::RadioButton2Click);
    onChecked(RadioButton2, &TForm1::RadioButton2Click);
    onChecked(RadioButton5, &TForm1::RadioButton5Click);
    onChecked(RadioButton6, &TForm1::RadioButton5Click);
    onChecked(RadioButton3, &TForm1::RadioButton3Click);
    onChecked(RadioButton4, &TForm1::RadioButton4Click);
    ConnectHandler(SwapFixRow, &QPushButton::clicked, this, &TForm1::SwapFixRowClick);
    for (QCheckBox *box : {sixtyFix, autoInc, autoClear})
        ConnectHandler(box, &QCheckBox::toggled, this, &TForm1::sixtyFixClick);
}

void TForm1::putSettingsIntoControls()
{
    QuickInput->setChecked(m_settings.QuickInput);
    validCheck->setChecked(m_settings.validCheck);
    sixtyFix->setChecked(m_settings.sixtyFix);
    autoInc->setChecked(m_settings.autoInc);
    autoClear->setChecked(m_settings.autoClear);

    (m_settings.RaceKind == 1 ? RadioButton1 : RadioButton2)->setChecked(true);
    (m_settings.AssigKind == 5 ? RadioButton5 : RadioButton6)->setChecked(true);
    (m_settings.CurStyle == 3 ? RadioButton3 : RadioButton4)->setChecked(true);

    // Only columns 0 and 1 can carry the place heading; any other stored value would
    // let it overwrite the time heading.
    if (m_settings.NumColID != 1)
        m_settings.NumColID = 0;
    if (m_settings.Maxrunner < 8)
        m_settings.Maxrunner = 8;
    SankaSpinNum->setValue(m_settings.Maxrunner);
    // The spin edit held the value to its range and its handler took it over.
    m_settings.Maxrunner = SankaSpinNum->value();
}

void TForm1::takeSettingsFromControls()
{
    m_settings.RaceKind = RadioButton1->isChecked() ? 1 : 2;
    m_settings.AssigKind = RadioButton5->isChecked() ? 5 : 6;
    m_settings.CurStyle = RadioButton3->isChecked() ? 3 : 4;
    m_settings.exFilePath = m_workFolder;
    m_settings.exLogFilePath = m_logFolder;
    m_settings.QuickInput = QuickInput->isChecked();
    m_settings.validCheck = validCheck->isChecked();
    m_settings.sixtyFix = sixtyFix->isChecked();
    m_settings.autoInc = autoInc->isChecked();
    m_settings.autoClear = autoClear->isChecked();
}

void TForm1::showMessage(const QString &text)
{
    Dialogs::instance().message(this, text);
}

// ---- grid layout and row count ----

void TForm1::LayoutGrid()
{
    m_grid->setCell(0, 0, QStringLiteral("順位"));
    UpdateHeadings();
    m_grid->setCell(2, 0, QStringLiteral("ﾀｲﾑ"));
    const QFontMetrics metrics(InputGrid->font());
    InputGrid->setNumberColumnWidth(metrics.horizontalAdvance(QStringLiteral("XXXXX")));
    InputGrid->setColumnWidth(1, metrics.horizontalAdvance(QStringLiteral("XXXXXXX")));
    InputGrid->setColumnWidth(2, metrics.horizontalAdvance(QStringLiteral("XXX2:15:54.12")));
    // Where the fall-back font is wider than "ＭＳ Ｐゴシック" the grid widens to keep all
    // three columns in view instead of hiding the time column behind a scroll bar.
    const int columns = InputGrid->verticalHeader()->width() + InputGrid->columnWidth(1) + InputGrid->columnWidth(2);
    const int needed = columns + 2 * InputGrid->frameWidth() + InputGrid->verticalScrollBar()->sizeHint().width() + 2;
    InputGrid->setFixedWidth(std::max(202, needed));
    InputGrid->horizontalScrollBar()->setValue(0);
    ApplyRowCount();
}

void TForm1::ApplyRowCount()
{
    m_grid->setGridRowCount(m_settings.Maxrunner + 1);
    for (int i = 1; i <= m_settings.Maxrunner; ++i)
        m_grid->setCell(0, i, ResultGrid::numberText(i));
}

void TForm1::UpdateHeadings()
{
    const int other = m_settings.NumColID == 0 ? 1 : 0;
    m_grid->setCell(other, 0, RadioButton5->isChecked() ? QStringLiteral("ﾚｰﾝ") : QStringLiteral("ﾅﾝﾊﾞｰ"));
    m_grid->setCell(m_settings.NumColID, 0, QStringLiteral("順位"));
}

int TForm1::rowCountFieldValue() const
{
    return RowCountFieldValue(SankaSpinNum->text(), m_grid->dataRowCount(), ResultGrid::MaxDataRows);
}

void TForm1::SankaSpinNumChange()
{
    const RowCountChange change = InterpretRowCountText(SankaSpinNum->text());
    switch (change.action) {
    case RowCountChange::Ignore:
        return;
    case RowCountChange::ReplaceWithMinimum:
        SankaSpinNum->setText(QString::number(SankaSpinNum->minimum()));
        return;
    case RowCountChange::Apply:
        m_settings.Maxrunner = change.value;
        ApplyRowCount();
        return;
    }
}

void TForm1::SankaSpinNumClick()
{
    SwitchImeOff(SankaSpinNum);
}

void TForm1::RadioButton2Click()
{
    InputGrid->viewport()->update();
}

void TForm1::RadioButton5Click()
{
    UpdateHeadings();
}

void TForm1::SwapFixRowClick()
{
    m_settings.NumColID = m_settings.NumColID == 0 ? 1 : 0;
    UpdateHeadings();
}

// ---- what the other windows do to the heat ----

void TForm1::setRows(const QList<Row> &rows)
{
    {
        const ResultGrid::BulkEdit bulk(*m_grid);
        // The rows of the heat before, shown or hidden, go first.
        Ordavex::ClearEntries(*m_grid);
        const int count = std::clamp(int(rows.size()), 1, ResultGrid::MaxDataRows);
        m_grid->setGridRowCount(count + 1);
        for (int r = 1; r <= count; ++r) {
            for (int col = 0; col < ResultGrid::ColCount; ++col)
                m_grid->setCell(col, r, r <= rows.size() ? rows[r - 1][col] : QString());
        }
    }
    InputGrid->setCurrentCell(1, 1);
    setRowCount(m_grid->dataRowCount());
    // The row-count field numbers column 0 when its value changes.
    for (int r = 1; r <= m_grid->dataRowCount() && r <= rows.size(); ++r)
        m_grid->setCell(0, r, rows[r - 1][0]);
}

void TForm1::setLaneTimeRows(const QList<std::array<QString, 2>> &rows)
{
    QList<Row> cells;
    cells.reserve(rows.size());
    for (qsizetype r = 0; r < rows.size(); ++r)
        cells.push_back({QString::number(r + 1), rows[r][0], rows[r][1]});
    setRows(cells);
}

void TForm1::setRowCount(int dataRows)
{
    SankaSpinNum->setValue(dataRows);
}

int TForm1::rowCount() const
{
    return m_grid->dataRowCount();
}

QString TForm1::cellText(int col, int row) const
{
    return m_grid->cell(col, row);
}

QString TForm1::windText() const
{
    return EditKaze->text();
}

void TForm1::setWindText(const QString &text)
{
    EditKaze->setText(text);
}

void TForm1::forceTrackAndLane()
{
    RadioButton1->setChecked(true);
    RadioButton5->setChecked(true);
}

void TForm1::setOptionGroupsEnabled(bool enabled)
{
    RaceKind->setEnabled(enabled);
    AssigKind->setEnabled(enabled);
}

void TForm1::setLinkActionsEnabled(bool enabled)
{
    RS232COpen->setEnabled(enabled);
    RS232CParamOpen->setEnabled(enabled);
}

void TForm1::setTargetPath(const QString &path)
{
    m_targetPath = path;
    StatusPanel0->setText(path);
    loadStartList();
    heatChanged();
}

// ---- showing, activation and closing ----

void TForm1::AC_CloseExecute()
{
    close();
}

void TForm1::FormShow()
{
    setWindowTitle(CaptionShown);
}

void TForm1::FormActivate()
{
    focusInputGrid();
}

bool TForm1::event(QEvent *event)
{
    // Panel 0 shows the target path and nothing else: hovered buttons and menu
    // entries do not write into the status bar.
    if (event->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(event);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        Guarded(this, [this] { FormShow(); });
        boardWindowShown();
    }
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (!isActiveWindow()) {
        m_leftForOwnBox = QApplication::activeModalWidget() != nullptr;
        return;
    }
    // Back from a box of the program's own, which gave the focus back to where the
    // operator was typing: moving it to the grid now would send the next key astray.
    if (std::exchange(m_leftForOwnBox, false))
        return;
    Guarded(this, [this] { FormActivate(); });
}

// The settings file as a close writes it, off the window's thread.
struct TForm1::SettingsWrite
{
    std::atomic<bool> done = false;
    // Set before done.
    std::exception_ptr error;
    QStringList notStored;
};

void TForm1::startSettingsWrite()
{
    // One still on its way to a disk that does not answer is waited for, not joined by
    // a second.
    if (m_settingsWrite && !m_settingsWrite->done.load())
        return;
    auto write = std::make_shared<SettingsWrite>();
    m_settingsWrite = write;
    std::thread([write, path = m_settingsPath, settings = m_settings] {
        try {
            write->notStored = WriteSettings(path, settings);
        } catch (...) {
            write->error = std::current_exception();
        }
        write->done.store(true);
    }).detach();
}

bool TForm1::waitPainting(int ms, const std::function<bool()> &settled)
{
    if (settled())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (settled() || waited.elapsed() >= ms)
            loop.quit();
    });
    poll.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return settled();
}

bool TForm1::FormClose()
{
    if (m_monitor && m_monitor->isVisible()) {
        showMessage(MsgCloseMonitorFirst);
        return false;
    }
    const bool close = Dialogs::instance().confirm(this, MsgConfirmExit);
    takeSettingsFromControls();
    // Defaults from a failed read must not replace the operator's settings; the
    // operator was told at start.
    if (m_settings.readFailed)
        return close;
    startSettingsWrite();
    const std::shared_ptr<SettingsWrite> write = m_settingsWrite;
    if (!waitPainting(CloseWaitMs, [&write] { return write->done.load(); }))
        return close;
    if (write->error)
        std::rethrow_exception(write->error);
    if (!write->notStored.isEmpty() && !std::exchange(m_toldNotStored, true))
        showMessage(MsgSettingsNotStored.arg(write->notStored.join(QStringLiteral(", "))));
    return close;
}

bool TForm1::closingWritesDone()
{
    const std::shared_ptr<SettingsWrite> write = m_settingsWrite;
    const auto settingsDone = [&write] { return !write || write->done.load(); };
    const auto settled = [&] { return settingsDone() && waitForRecoveryWriter(0); };
    if (waitPainting(CloseWaitMs, settled))
        return true;
    const QString text = !waitForRecoveryWriter(0) ? MsgRecoveryHungAtClose.arg(m_recoveryPath)
                                                   : MsgSettingsHungAtClose.arg(m_settingsPath);
    switch (Dialogs::instance().waitOrQuit(this, text, settled)) {
    case Dialogs::WaitAnswer::Settled:
        return true;
    case Dialogs::WaitAnswer::Quit:
        m_recoveryWriter->abandon();
        return true;
    case Dialogs::WaitAnswer::Wait:
        break;
    }
    if (!waitForRecoveryWriter(0) && m_recoveryWatched >= m_recoveryHeatStart)
        postNotice(NoticeList::Cause::RecoveryWrite, MsgRecoveryHung.arg(m_recoveryPath));
    return false;
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // A second close while the first waits for the disk is the same close.
    if (m_closing) {
        event->ignore();
        return;
    }
    m_closing = true;
    const auto closing = qScopeGuard([this] { m_closing = false; });
    // A failed write of the settings abandons the close as well: the window stays.
    bool close = false;
    Guarded(this, [&] { close = FormClose(); });
    if (!close) {
        event->ignore();
        return;
    }
    // An unsaved heat stays on the disk for the next start; an empty one leaves nothing.
    Guarded(this, [this] {
        if (heatIsEmpty())
            discardRecovery();
        else
            flushRecovery();
    });
    // The program is ending: the last heat is worth a wait for a slow disk, but the
    // window never stops answering, and the official decides how long.
    if (!closingWritesDone()) {
        event->ignore();
        return;
    }
    closeBoard();
    event->accept();
}

} // namespace Ordavex
