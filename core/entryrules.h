#pragma once

#include <QString>

// How the cursor and the row count of the results grid follow the keyboard.
namespace Ordavex {

struct CellPosition
{
    int col = 1;
    int row = 1;
    bool operator==(const CellPosition &) const = default;
};

// Whether Enter in (col, row) adds a data row first: vertical movement (or the lane
// column in any direction, which moving down implies) at the last row with autoInc.
// rowCount counts the heading row.
bool EnterAddsRow(CellPosition at, int rowCount, bool vertical, bool autoInc);

// Where the cursor goes after a successful Enter in (col, row), rowCount being the
// grid's row count after any row was added. At the last row the cursor stays.
CellPosition CursorAfterEnter(CellPosition at, int rowCount, bool vertical);

// The whole Enter step: a row is added (when the grid is below its limit) and the
// cursor moves.
struct EnterMove
{
    bool addRow = false;
    CellPosition cursor;
};
EnterMove PlanEnter(CellPosition at, int rowCount, bool vertical, bool autoInc, int maxDataRows);

// Whether releasing Up leaves an empty last row behind that autoInc removes again:
// the cursor (after the arrow moved it) is in the lane column just above the last
// data row and both entry cells of that row are empty.
bool UpRemovesLastRow(CellPosition at, int rowCount, bool autoInc, const QString &laneBelow,
                      const QString &timeBelow);

// The value of the row-count field: its integer held to 1..maxDataRows, or, while it
// holds no integer (emptied, a lone sign), the grid's current number of data rows.
int RowCountFieldValue(const QString &text, int currentDataRows, int maxDataRows);

} // namespace Ordavex
