#include "entryrules.h"

#include "runtimeerror.h"

#include <algorithm>

namespace Ordavex {

bool EnterAddsRow(CellPosition at, int rowCount, bool vertical, bool autoInc)
{
    // Horizontal movement from column 1 goes across, never down.
    if (!vertical && at.col == 1)
        return false;
    return autoInc && at.col == 1 && at.row + 1 == rowCount;
}

CellPosition CursorAfterEnter(CellPosition at, int rowCount, bool vertical)
{
    if (!vertical && at.col == 1)
        return {2, at.row};
    if (at.row + 1 < rowCount)
        return {vertical ? at.col : 1, at.row + 1};
    return at;
}

EnterMove PlanEnter(CellPosition at, int rowCount, bool vertical, bool autoInc, int maxDataRows)
{
    EnterMove move;
    move.addRow = EnterAddsRow(at, rowCount, vertical, autoInc) && rowCount - 1 < maxDataRows;
    move.cursor = CursorAfterEnter(at, move.addRow ? rowCount + 1 : rowCount, vertical);
    return move;
}

bool UpRemovesLastRow(CellPosition at, int rowCount, bool autoInc, const QString &laneBelow,
                      const QString &timeBelow)
{
    return autoInc && at.col == 1 && at.row + 2 == rowCount && laneBelow.isEmpty() && timeBelow.isEmpty();
}

int RowCountFieldValue(const QString &text, int currentDataRows, int maxDataRows)
{
    int value = 0;
    if (!TryStrToInt(text, &value))
        return currentDataRows;
    return std::clamp(value, 1, maxDataRows);
}

} // namespace Ordavex
