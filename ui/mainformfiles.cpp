// Result files on the main window: saving, opening and erasing a heat.

#include "mainform.h"

#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "core/runtimeerror.h"
#include "core/windrules.h"
#include "dialogs.h"
#include "inputgrid.h"
#include "sankaspin.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>

#include <algorithm>
#include <optional>

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
    if (Ordavex::WriteResultFile(path, *m_grid, RaceKindIndex() == 0, sixtyFix->isChecked()))
        return true;
    showMessage(MsgCannotOpenFile);
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
    AC_SaveFileExecute();
    m_workFolder = Paths::folderOf(m_targetPath);
    setTargetPath(m_targetPath);
}

void TForm1::AC_SaveFileExecute()
{
    if (!WriteResultFile(m_targetPath)) {
        showMessage(MsgSaveFailed);
        return;
    }
    if (autoClear->isChecked()) {
        showMessage(MsgSavedClearing);
        ClearEntries();
    }
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
}

void TForm1::EraseInputGridExecute()
{
    if (GridIsEmpty())
        return;
    if (!Dialogs::instance().confirm(this, MsgEraseConfirm))
        return;
    ClearEntries();
    EditKaze->clear();
}

} // namespace Ordavex
