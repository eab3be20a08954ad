// The communication monitor's import into the heat, its log files and the timer that
// writes them unattended.
#include "rs232cfunc.h"

#include "core/gridmodel.h"
#include "core/importdiff.h"
#include "core/linklists.h"
#include "core/settings.h"
#include "core/timerules.h"
#include "dialogs.h"
#include "heataccess.h"
#include "serial/receivecounters.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>

namespace Ordavex {

namespace {

// Wait ticks of the one-second timer by cWaitTime.
int WaitTicks(int cWaitTime)
{
    return LinkLists::ValidIndex(cWaitTime, LinkLists::WaitTimeCount, LinkLists::DefaultWaitTime) + 1;
}

// The question before the typed rows go, with what the received heat would change.
QString ImportQuestion(const HeatAccess &heat, const ImportedHeat &imported)
{
    ShownHeat typed{heat.windText(), {}};
    const int rowCount = heat.rowCount();
    typed.rows.reserve(rowCount);
    for (int r = 1; r <= rowCount; ++r)
        typed.rows.append({heat.cellText(1, r), heat.TimeDisplayText(2, r)});

    ShownHeat received{imported.wind, {}};
    received.rows.reserve(imported.rows.size());
    // The link holds the race kind at track while the monitor is open: every received
    // time is shown as the grid would show it now.
    const bool sixtyFix = heat.sixtyFixChecked();
    for (qsizetype i = 0; i < imported.rows.size(); ++i) {
        const QString &time = imported.rows[i][2];
        const bool asTyped = i < rowCount && time == heat.cellText(2, int(i) + 1);
        received.rows.append({imported.rows[i][1], asTyped ? typed.rows[i].time : TimeDisplayText(time, true, sixtyFix)});
    }
    return MsgImportOverwrite + QStringLiteral("\n\n") + ImportDifferences(typed, received).join(u'\n');
}

} // namespace

QString TForm3::slitLogCountText(int count)
{
    return QStringLiteral("%1").arg(count, 4, 10, QLatin1Char('0'));
}

// --- Import ---

RecordColumns TForm3::columns() const
{
    return m_heat ? RecordColumnsFrom(m_heat->settings()) : RecordColumns{};
}

void TForm3::bStopThreadClick()
{
    if (m_heat && !m_heat->GridIsEmpty()
        && !Dialogs::instance().confirm(this, ImportQuestion(*m_heat, Ordavex::ImportLines(m_lines, columns()))))
        return;
    ImportLines();
}

void TForm3::ImportLines()
{
    if (!m_heat)
        return;
    const ImportedHeat heat = Ordavex::ImportLines(m_lines, columns());
    if (heat.rows.size() > ResultGrid::MaxDataRows) {
        message(MsgTooManyRecords.arg(ResultGrid::MaxDataRows));
        return;
    }
    QList<HeatAccess::Row> rows;
    rows.reserve(heat.rows.size());
    for (const GridRow &row : heat.rows)
        rows.append({row[0], row[1], row[2]});
    // Clears the heat before, hidden rows included, and sets the row count; the places
    // stay as they came.
    m_heat->setRows(rows);
    m_heat->setWindText(heat.wind);
    ClearMonitor();
}

// --- Logs ---

QString TForm3::logFolder() const
{
    const QString folder = m_heat ? m_heat->logFolder() : QString();
    // Cleared in the parameter dialog: the default folder, as the next start would take.
    if (folder.isEmpty())
        return Paths::join(m_paths.baseFolder, QStringLiteral("log"));
    return folder;
}

bool TForm3::WriteSlitLog()
{
    const qsizetype taken = m_lines.size();
    const SlitLog log = BuildSlitLog(m_lines, columns());
    const SaveOutcome outcome = SaveSlitLogFile(log);
    const bool done = outcome == SaveOutcome::Written || outcome == SaveOutcome::NothingToWrite;
    // Lines are let go only once they are in a file (or hold nothing to write); the lines
    // that came while a message was shown stay for the next write.
    if (CheckAutoLog->isChecked() && done)
        dropWrittenLines(taken);
    return done;
}

TForm3::SaveOutcome TForm3::SaveSlitLogFile(const SlitLog &log)
{
    if (SlitLogIsEmpty(log))
        return SaveOutcome::NothingToWrite;
    const QString folder = logFolder();
    if (!QFileInfo(folder).isDir()) {
        if (!m_folderError) {
            m_folderError = true;
            logMessage(MsgLogFolderMissing.arg(folder));
        }
        return SaveOutcome::FolderMissing;
    }
    m_folderError = false;
    const int extension = m_heat ? m_heat->settings().cLogExtOpt : LinkLists::DefaultLogExt;
    const QString name = SlitLogName(m_clock().time(), log.windCode, extension);
    const LogWriteResult written = WriteNewLogFile(folder, name, SlitLogBytes(log));
    if (!written.ok) {
        showNotice(MsgLogFileFailed);
        // Once per run of failures: the timer tries again every tick.
        if (!m_writeError) {
            m_writeError = true;
            logMessage(MsgLogFileFailed);
        }
        return SaveOutcome::Failed;
    }
    m_writeError = false;
    ++m_slitLogCount;
    LabelBigLog->setText(slitLogCountText(m_slitLogCount));
    if (!CheckAutoLog->isChecked())
        message(MsgLogFileCreated.arg(QDir::toNativeSeparators(written.path)));
    return SaveOutcome::Written;
}

void TForm3::logMessage(const QString &text)
{
    if (m_inTimer)
        Dialogs::instance().notify(this, text);
    else
        message(text);
}

void TForm3::releaseWaitingLines()
{
    // Every line but the last wind line, which the next records may still need: without
    // a line that makes them ready these can never reach a slit log, and they would fill
    // the line limit and hold every later record. The monitor text file keeps them (the
    // capture too); no box, as no one is there to answer it.
    qsizetype wind = -1;
    for (qsizetype i = m_lines.size() - 1; i >= 0 && wind < 0; --i) {
        const QByteArrayView line = TrimmedLine(m_lines[i]);
        if (line.startsWith('+') || line.startsWith('-'))
            wind = i;
    }
    QList<QByteArray> released = m_lines;
    QList<QByteArray> kept;
    if (wind >= 0)
        kept.append(released.takeAt(wind));
    const QString folder = MonitorTextFolder(m_paths);
    // Let go even when they cannot be written: they would otherwise stop the logger.
    if (!EnsureFolder(folder) || !WriteNewLogFile(folder, MonitorTextName(m_clock()), MonitorTextBytes(released)).ok)
        showNotice(MsgLogFileFailed);
    ClearMonitor();
    if (!kept.isEmpty()) {
        m_counters->waiting.fetch_add(qint32(kept.size()));
        appendReceivedLines(kept);
    }
}

void TForm3::SaveMonitorText()
{
    if (m_lines.isEmpty())
        return;
    const QString folder = MonitorTextFolder(m_paths);
    if (!EnsureFolder(folder)) {
        Dialogs::instance().error(this, MsgCannotCreate.arg(QDir::toNativeSeparators(folder)));
        return;
    }
    const LogWriteResult written = WriteNewLogFile(folder, MonitorTextName(m_clock()), MonitorTextBytes(m_lines));
    if (!written.ok) {
        message(MsgLogFileFailed);
        return;
    }
    message(MsgLogFileCreated.arg(QDir::toNativeSeparators(written.path)));
}

void TForm3::bLogClick()
{
    SaveMonitorText();
}

void TForm3::Memo1DblClick()
{
    SaveMonitorText();
}

void TForm3::sEraseBuffClick()
{
    if (!m_lines.isEmpty() && Dialogs::instance().confirm(this, MsgClearBuffer))
        ClearMonitor();
}

bool TForm3::MinBuffLenKeyPress(int key)
{
    // The value changes with the spin buttons only; Tab and Shift+Tab still move on.
    return key != Qt::Key_Tab && key != Qt::Key_Backtab;
}

void TForm3::bLogWriteClick()
{
    if (m_lines.isEmpty())
        return;
    WriteSlitLog();
    m_tickCount = 0;
}

void TForm3::Timer1Timer()
{
    // Nothing here waits for the official: a box from here does not hold the timer.
    if (m_inTimer || !CheckAutoLog->isChecked())
        return;
    m_inTimer = true;
    const auto done = qScopeGuard([this] { m_inTimer = false; });

    if (!isActiveWindow())
        activateWindow();
    const bool any = !m_lines.isEmpty();
    if (any && bLogWrite->isVisibleTo(this)) {
        bLogWrite->setEnabled(true);
        m_tickCount = 0;
    }
    if (!any || !CheckTimerON->isChecked())
        return;
    const int minLength = MinBuffLen->value();
    if ((CheckMustComma->isChecked() && NoLineQualifies(m_lines, 0, minLength))
        || (minLength > 0 && NoLineQualifies(m_lines, 1, minLength))) {
        if (m_lines.size() >= ReleaseLineCount)
            releaseWaitingLines();
        return;
    }
    if (m_tickCount >= WaitTicks(m_heat ? m_heat->settings().cWaitTime : LinkLists::DefaultWaitTime)) {
        // WriteSlitLog lets the written lines go; failed lines stay for the next tick.
        WriteSlitLog();
        m_tickCount = 0;
    }
    ++m_tickCount;
}

} // namespace Ordavex
