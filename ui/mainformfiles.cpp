// Result files on the main window: saving, opening and erasing a heat, and the
// recovery file that keeps an unsaved heat through a crash.

#include "mainform.h"

#include "core/atomicfile.h"
#include "core/gridmodel.h"
#include "core/recovery.h"
#include "core/resultfile.h"
#include "core/runtimeerror.h"
#include "core/windrules.h"
#include "dialogs.h"
#include "guard.h"
#include "inputgrid.h"
#include "sankaspin.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

namespace Ordavex {

bool TForm1::GridIsFilled() const
{
    return Ordavex::GridIsFilled(*m_grid);
}

bool TForm1::GridIsEmpty() const
{
    return Ordavex::GridIsEmpty(*m_grid);
}

bool TForm1::CheckNumbers()
{
    const NumberCheck check = Ordavex::CheckNumbers(*m_grid);
    if (check.ok)
        return true;
    showMessage(check.message);
    if (check.cursorRow > 0)
        InputGrid->setCurrentCell(check.cursorColumn, check.cursorRow);
    return false;
}

bool TForm1::CheckTimes()
{
    const NumberCheck check = Ordavex::CheckTimes(*m_grid, RaceKindIndex() == 0, sixtyFix->isChecked());
    if (check.ok)
        return true;
    // The conversion error of the time, as the number check gives it for a lane, with
    // the cursor on the time so that it is typed again.
    if (check.cursorRow > 0)
        InputGrid->setCurrentCell(check.cursorColumn, check.cursorRow);
    Dialogs::instance().error(this, check.message);
    return false;
}

bool TForm1::WriteResultFile(const QString &path)
{
    SaveError error = SaveError::None;
    if (Ordavex::WriteResultFile(path, *m_grid, RaceKindIndex() == 0, sixtyFix->isChecked(), &error))
        return true;
    // The file is there and could be written, but not as it was meant to be shared.
    showMessage(error == SaveError::CannotKeepPermissions ? MsgCannotKeepPermissions.arg(path) : MsgCannotOpenFile);
    return false;
}

void TForm1::ClearEntries()
{
    Ordavex::ClearEntries(*m_grid);
    showClearedEntries();
}

void TForm1::showClearedEntries()
{
    InputGrid->setCurrentCell(1, 1);
    if (!EditKaze->text().isEmpty())
        EditKaze->clear();
}

void TForm1::FileSaveASExecute()
{
    if (!GridIsFilled()) {
        showMessage(MsgGridNotFilled);
        return;
    }
    if (!CheckNumbers() || !CheckTimes())
        return;
    std::optional<int> code;
    if (!EditKaze->text().isEmpty()) {
        NormaliseWind();
        // Held inside single precision first: a pasted giant wind must not overflow the
        // conversion; WindCode refuses such a wind itself.
        const double wind = std::clamp(StrToFloat(EditKaze->text()), -1e30, 1e30);
        const int windCode = WindCode(float(wind));
        if (windCode != int(NoWind))
            code = windCode;
    }
    const QString proposal = ProposedFileName(m_targetPath, code);
    const QString chosen = Dialogs::instance().saveFileName(this, {m_workFolder, proposal});
    if (chosen.isEmpty())
        return;
    m_targetPath = chosen;
    boardHeatSaving();
    const bool saved = AC_SaveFileExecute();
    m_workFolder = Paths::folderOf(m_targetPath);
    setTargetPath(m_targetPath);
    // After the new target path: it is part of the saving, not a change to keep.
    if (saved) {
        discardRecovery();
        boardHeatSaved(true);
    }
}

bool TForm1::AC_SaveFileExecute()
{
    if (!WriteResultFile(m_targetPath)) {
        showMessage(MsgSaveFailed);
        return false;
    }
    if (autoClear->isChecked()) {
        showMessage(MsgSavedClearing);
        ClearEntries();
    }
    return true;
}

bool TForm1::ReadResultFile()
{
    const int firstColumn = InputGrid->horizontalScrollBar()->value();
    const int firstRow = InputGrid->verticalScrollBar()->value();
    const ReadOutcome outcome = Ordavex::ReadResultFile(m_targetPath, *m_grid);
    if (outcome.entriesCleared)
        showClearedEntries();
    for (const QString &message : outcome.messages)
        showMessage(message);
    if (outcome.ok) {
        InputGrid->horizontalScrollBar()->setValue(firstColumn);
        InputGrid->verticalScrollBar()->setValue(firstRow);
    }
    return outcome.ok;
}

void TForm1::TrimIncompleteRows()
{
    Ordavex::TrimIncompleteRows(*m_grid);
    InputGrid->setCurrentCell(1, 1);
}

void TForm1::AC_OpenFileExecute()
{
    OpenDialog1.fileName.clear();
    OpenDialog1.filterIndex = 1;
    OpenDialog1.folder = m_workFolder;
    const QString chosen = Dialogs::instance().openFileName(this, OpenDialog1);
    if (chosen.isEmpty())
        return;
    m_targetPath = chosen;
    m_workFolder = Paths::folderOf(chosen);
    if (!ReadResultFile()) {
        showMessage(MsgOpenFailed);
        return;
    }
    const PathWind wind = WindFromPath(m_targetPath);
    if (wind.found) {
        EditKaze->setText(WindText(wind.wind));
        m_targetPath = wind.targetPath;
    }
    TrimIncompleteRows();
    SankaSpinNum->setValue(m_grid->gridRowCount() - 1);
    // The row count may not have changed, so that no renumbering ran.
    NumberEmptyPlaces(*m_grid);
    setTargetPath(m_targetPath);
    boardHeatSaved(false);
}

void TForm1::EraseInputGridExecute()
{
    if (GridIsEmpty())
        return;
    if (!Dialogs::instance().confirm(this, MsgEraseConfirm))
        return;
    ClearEntries();
    EditKaze->clear();
    discardRecovery();
}

// ---- the recovery file ----

RecoveredHeat TForm1::currentHeat() const
{
    RecoveredHeat heat;
    heat.targetPath = m_targetPath;
    heat.wind = EditKaze->text();
    heat.raceKind = RadioButton1->isChecked() ? 1 : 2;
    heat.assigKind = RadioButton5->isChecked() ? 5 : 6;
    heat.numColID = m_settings.NumColID;
    heat.sixtyFix = sixtyFix->isChecked();
    heat.rows.reserve(m_grid->dataRowCount());
    for (int r = 1; r <= m_grid->dataRowCount(); ++r)
        heat.rows.push_back({m_grid->cell(0, r), m_grid->cell(1, r), m_grid->cell(2, r)});
    return heat;
}

void TForm1::offerRecovery()
{
    const QFileInfo info(m_recoveryPath);
    if (!info.exists())
        return;
    // Emptied where it could not be removed: the heat was saved or erased.
    if (info.isFile() && info.size() == 0) {
        QFile::remove(m_recoveryPath);
        return;
    }
    QByteArray bytes;
    std::optional<RecoveredHeat> heat;
    if (ReadWholeFile(m_recoveryPath, MaxRecoveryFileSize, &bytes))
        heat = ReadRecovery(bytes);
    if (!heat) {
        // Kept for a person to look at, but out of the way of every later start.
        const QString aside = UnreadableRecoveryFilePath(m_recoveryPath);
        QFile::remove(aside);
        if (!QFile::rename(m_recoveryPath, aside))
            QFile::remove(m_recoveryPath);
        showMessage(MsgRecoveryUnreadable.arg(m_recoveryPath, aside));
        return;
    }
    if (Dialogs::instance().confirm(this, MsgRestoreHeat))
        restoreHeat(*heat);
    else if (!DiscardRecoveryFile(m_recoveryPath))
        postNotice(NoticeList::Cause::RecoveryRemove, MsgRecoveryNotRemoved.arg(m_recoveryPath));
}

void TForm1::restoreHeat(const RecoveredHeat &heat)
{
    // The options first: they decide how the times read and what the headings say.
    (heat.raceKind == 1 ? RadioButton1 : RadioButton2)->setChecked(true);
    (heat.assigKind == 5 ? RadioButton5 : RadioButton6)->setChecked(true);
    sixtyFix->setChecked(heat.sixtyFix);
    m_settings.NumColID = heat.numColID;
    UpdateHeadings();
    setRows(heat.rows);
    EditKaze->setText(heat.wind);
    setTargetPath(heat.targetPath);
}

void TForm1::connectRecovery()
{
    m_recoveryWriter = std::make_unique<RecoveryWriter>(m_recoveryPath);
    // Not guarded: nothing here throws, and an outcome arrives from the writer, never
    // from the operator, so it must not answer with a box.
    connect(m_recoveryWriter.get(), &RecoveryWriter::done, this, &TForm1::recoveryDone);
    ConnectHandler(NoticeRead, &QPushButton::clicked, this, &TForm1::NoticeReadClick);
    m_recoveryTimer = new QTimer(this);
    m_recoveryTimer->setSingleShot(true);
    m_recoveryTimer->setTimerType(Qt::PreciseTimer);
    m_recoveryTimer->setInterval(RecoveryDelayMs);
    ConnectHandler(m_recoveryTimer, &QTimer::timeout, this, &TForm1::writeRecovery);
    m_recoveryHangTimer = new QTimer(this);
    m_recoveryHangTimer->setSingleShot(true);
    // Precise: a coarse timer may fire 5 % early and tell a write that is still in time.
    m_recoveryHangTimer->setTimerType(Qt::PreciseTimer);
    m_recoveryHangTimer->setInterval(RecoveryHangMs);
    connect(m_recoveryHangTimer, &QTimer::timeout, this, &TForm1::recoveryHangCheck);
    // Every way the heat changes ends in the grid model, the wind field, the options
    // or the target path: typing, the row count, opening, the monitor's import.
    ConnectHandler(m_grid, &QAbstractItemModel::dataChanged, this, &TForm1::heatChanged);
    ConnectHandler(m_grid, &QAbstractItemModel::headerDataChanged, this, &TForm1::heatChanged);
    ConnectHandler(m_grid, &QAbstractItemModel::rowsInserted, this, &TForm1::heatChanged);
    ConnectHandler(m_grid, &QAbstractItemModel::rowsRemoved, this, &TForm1::heatChanged);
    ConnectHandler(m_grid, &QAbstractItemModel::modelReset, this, &TForm1::heatChanged);
    ConnectHandler(EditKaze, &QLineEdit::textChanged, this, &TForm1::heatChanged);
    ConnectHandler(RadioButton1, &QRadioButton::toggled, this, &TForm1::heatChanged);
    ConnectHandler(sixtyFix, &QCheckBox::toggled, this, &TForm1::heatChanged);
}

void TForm1::heatChanged()
{
    boardHeatChanged();
    if (m_startList)
        showStarters();
    // Not restarted by later changes: a steady stream of keys is written once per
    // delay, never held back until the operator pauses.
    if (m_recoveryOn && m_recoveryTimer && !m_recoveryTimer->isActive())
        m_recoveryTimer->start();
}

void TForm1::setRecoveryJournal(bool on)
{
    m_recoveryOn = on;
    if (!on && m_recoveryTimer)
        m_recoveryTimer->stop();
}

void TForm1::setRecoveryDelay(int ms)
{
    m_recoveryTimer->setInterval(ms);
}

void TForm1::setRecoverySaveFunction(RecoveryWriter::SaveFunction save)
{
    m_recoveryWriter->setSaveFunction(std::move(save));
}

bool TForm1::waitForRecoveryWriter(int ms)
{
    return !m_recoveryWriter || m_recoveryWriter->waitUntilDone(ms);
}

void TForm1::flushRecovery()
{
    if (m_recoveryTimer && m_recoveryTimer->isActive())
        writeRecovery();
}

void TForm1::writeRecovery()
{
    if (!m_recoveryOn)
        return;
    m_recoveryTimer->stop();
    // A grid with no entry and no wind is nothing to lose: no file to offer at the
    // next start.
    if (heatIsEmpty()) {
        discardRecovery();
        return;
    }
    // A copy of the heat goes to the writer's thread; the disk is never waited for here.
    m_recoveryLastWrite = m_recoveryWriter->write(currentHeat());
    if (!m_recoveryHangTimer->isActive()) {
        m_recoveryWatched = m_recoveryLastWrite;
        m_recoveryHangTimer->start();
    }
}

void TForm1::discardRecovery()
{
    if (!m_recoveryOn || !m_recoveryWriter)
        return;
    if (m_recoveryTimer)
        m_recoveryTimer->stop();
    m_recoveryHeatStart = m_recoveryWriter->discard();
    // The heat it told of is saved or gone; the next one is news again.
    withdrawNotice(NoticeList::Cause::RecoveryWrite);
}

void TForm1::recoveryDone(const RecoveryOutcome &outcome)
{
    m_recoveryLastDone = outcome.job;
    if (m_recoveryHangTimer->isActive() && outcome.job >= m_recoveryWatched) {
        // The next write handed over meanwhile gets its own time.
        m_recoveryHangTimer->stop();
        if (m_recoveryLastWrite > outcome.job) {
            m_recoveryWatched = m_recoveryLastWrite;
            m_recoveryHangTimer->start();
        }
    }
    if (outcome.discard) {
        if (outcome.ok)
            withdrawNotice(NoticeList::Cause::RecoveryRemove);
        else
            postNotice(NoticeList::Cause::RecoveryRemove, MsgRecoveryNotRemoved.arg(m_recoveryPath));
        return;
    }
    // A heat saved or erased since is not at risk any more.
    if (outcome.job < m_recoveryHeatStart)
        return;
    if (outcome.ok) {
        // Safe on the disk again: a later failure is news again.
        withdrawNotice(NoticeList::Cause::RecoveryWrite);
        return;
    }
    postNotice(NoticeList::Cause::RecoveryWrite, MsgRecoveryNotWritten.arg(m_recoveryPath));
}

// A write that has not come back: the disk under it does not answer, and the heat is
// not safe until it does.
void TForm1::recoveryHangCheck()
{
    if (m_recoveryLastDone >= m_recoveryWatched || m_recoveryWatched < m_recoveryHeatStart)
        return;
    postNotice(NoticeList::Cause::RecoveryWrite, MsgRecoveryHung.arg(m_recoveryPath));
}

void TForm1::postNotice(NoticeList::Cause cause, const QString &text)
{
    if (m_notices.post(cause, text))
        showNotices();
}

void TForm1::withdrawNotice(NoticeList::Cause cause)
{
    if (!m_notices.holds(cause)) {
        m_notices.withdraw(cause);
        return;
    }
    m_notices.withdraw(cause);
    showNotices();
}

void TForm1::showNotices()
{
    if (m_notices.isEmpty()) {
        NoticeStrip->hide();
        return;
    }
    NoticeText->setText(m_notices.line());
    NoticeText->setToolTip(m_notices.texts().join(QStringLiteral("\n\n")));
    NoticeStrip->show();
}

void TForm1::NoticeReadClick()
{
    m_notices.dismissNewest();
    showNotices();
}

bool TForm1::heatIsEmpty() const
{
    return GridIsEmpty() && EditKaze->text().isEmpty();
}

} // namespace Ordavex
