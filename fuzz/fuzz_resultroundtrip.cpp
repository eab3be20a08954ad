// Save-then-open of result files: every heat that the save accepts reopens into the same
// cells, given the same race kind and correction. Numbers may come back normalised ("05"
// as "5") and times as other digits with the same display text (track 7523 with the
// correction as 11523), so those are compared as the window shows them.
//
// Input: one byte of flags (bit 0 track, bit 1 sixtyFix, bit 2 the rest is a grid),
// then either the bytes of a result file, opened as the program opens one, or a grid in
// UTF-8: a line per row, cells separated by "|", the headings first, then lane and time
// of each data row (column 0 numbered as the program numbers it).
#include "check.h"
#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "core/runtimeerror.h"
#include "core/timerules.h"

#include <algorithm>
#include <cstdint>

using namespace Ordavex;

namespace {

void FillFromText(ResultGrid &grid, const QString &text)
{
    const QStringList rows = text.split(u'\n');
    // The row-count field gives at least one data row.
    grid.setGridRowCount(std::max(2, int(rows.size())));
    grid.clearEntries();
    for (int row = 0; row < grid.gridRowCount(); ++row) {
        const QStringList cells = rows.value(row).split(u'|');
        if (row == 0) {
            for (int col = 0; col < ResultGrid::ColCount; ++col)
                grid.setCell(col, 0, cells.value(col));
        } else {
            grid.setCell(0, row, IntToStr(row));
            grid.setCell(1, row, cells.value(0));
            grid.setCell(2, row, cells.value(1));
        }
    }
}

// The checks of the save, in the window's order.
bool SaveAccepts(const ResultGrid &grid, bool track, bool sixtyFix)
{
    if (!GridIsFilled(grid))
        return false;
    try {
        if (!CheckNumbers(grid).ok)
            return false;
    } catch (const RuntimeError &) {
        return false;
    }
    return CheckTimes(grid, track, sixtyFix).ok;
}

QString NumberText(const QString &cell)
{
    return IntToStr(StrToInt(cell));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool track = data[0] & 1;
    const bool sixtyFix = data[0] & 2;
    const bool gridInput = data[0] & 4;
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    // One grid each for every input, as in the program: rows hidden by one heat must not
    // come back in the next.
    static ResultGrid saved;
    static ResultGrid opened;

    if (gridInput) {
        FillFromText(saved, QString::fromUtf8(rest));
    } else {
        // The program's own headings, as a file with fewer heading fields leaves them.
        saved.setCell(0, 0, QStringLiteral("順位"));
        saved.setCell(1, 0, QStringLiteral("ﾚｰﾝ"));
        saved.setCell(2, 0, QStringLiteral("ﾀｲﾑ"));
        if (!ReadResultText(rest, saved).ok)
            return 0;
        TrimIncompleteRows(saved);
        // The window numbers the rows when it takes the row count of the opened heat.
        for (int row = 1; row < saved.gridRowCount(); ++row)
            saved.setCell(0, row, IntToStr(row));
    }
    if (!SaveAccepts(saved, track, sixtyFix))
        return 0;
    const std::optional<QByteArray> bytes = SavableResultBytes(saved, track, sixtyFix);
    // A heat that was opened from a file is saved whenever the window's checks pass.
    Check(bytes || gridInput, "an opened heat that passes the checks can be saved");
    if (!bytes)
        return 0;
    Check(qint64(bytes->size()) <= MaxResultFileSize, "a saved heat is within the size the reader takes");

    const ReadOutcome outcome = ReadResultText(*bytes, opened);
    Check(outcome.ok, "a saved heat reopens");
    Check(opened.gridRowCount() == saved.gridRowCount(), "same number of rows");
    for (int col = 0; col < ResultGrid::ColCount; ++col)
        Check(opened.cell(col, 0) == saved.cell(col, 0), "same headings");
    for (int row = 1; row < saved.gridRowCount(); ++row) {
        Check(opened.cell(0, row) == NumberText(saved.cell(0, row)), "same place");
        Check(opened.cell(1, row) == NumberText(saved.cell(1, row)), "same lane or number");
        Check(TimeDisplayText(opened.cell(2, row), track, sixtyFix)
                  == TimeDisplayText(saved.cell(2, row), track, sixtyFix),
              "same time as shown");
    }
    // Raising the row count shows nothing of an earlier heat.
    const int rows = opened.gridRowCount();
    opened.setGridRowCount(ResultGrid::MaxRows);
    for (int row = rows; row < ResultGrid::MaxRows; ++row)
        Check(opened.cell(1, row).isEmpty() && opened.cell(2, row).isEmpty(), "no stale rows");
    return 0;
}
