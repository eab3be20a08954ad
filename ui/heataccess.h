#pragma once

#include <QList>
#include <QString>

#include <array>

namespace Ordavex {

struct Settings;

// What the other windows (timetable, rename and delete, clipboard, the communication
// monitor and its dialogs) may do to the heat on the main window. They hold this, not
// the window, so that every change goes through the main window's own handling: row
// counts through the row-count field, clearing through ClearEntries.
class HeatAccess
{
public:
    // One grid row: column 0 (place or number), column 1 (lane or bib), column 2
    // (packed time).
    using Row = std::array<QString, 3>;

    virtual ~HeatAccess() = default;

    // The rows replace the data rows from row 1 on; the grid gets as many rows (at
    // least one) and the row-count field follows. Column 0 keeps the texts given, even
    // where the row-count field would number the rows afresh (imported places, ties
    // included).
    virtual void setRows(const QList<Row> &rows) = 0;
    // The same for (lane, time) pairs: column 0 keeps its row numbers.
    virtual void setLaneTimeRows(const QList<std::array<QString, 2>> &rows) = 0;
    // The number of data rows, set through the row-count field (held to 1..500).
    virtual void setRowCount(int dataRows) = 0;
    virtual int rowCount() const = 0;
    virtual QString cellText(int col, int row) const = 0;
    // The display text of a time cell, for the race kind and correction shown now.
    virtual QString TimeDisplayText(int col, int row) const = 0;
    // 60秒補正 as the window shows it now, which may differ from the settings read at start.
    virtual bool sixtyFixChecked() const = 0;

    virtual QString windText() const = 0;
    virtual void setWindText(const QString &text) = 0;

    // Empties the entry cells and the wind; row count and numbers stay.
    virtual void ClearEntries() = 0;
    virtual bool GridIsEmpty() const = 0;

    // Received records are track results by lane: selects "ﾄﾗｯｸ" and "ﾚｰﾝ" with their
    // usual handling.
    virtual void forceTrackAndLane() = 0;
    // The groups of race kind and assignment, locked while the link is open.
    virtual void setOptionGroupsEnabled(bool enabled) = 0;
    // The tool-bar and menu entries of the serial link.
    virtual void setLinkActionsEnabled(bool enabled) = 0;

    // The timer-on state of the timing machine in use, handed back by the monitor.
    virtual void setActiveTimer(bool on) = 0;

    virtual QString targetPath() const = 0;
    virtual void setTargetPath(const QString &path) = 0;
    virtual QString workFolder() const = 0;
    virtual QString logFolder() const = 0;
    virtual void setLogFolder(const QString &folder) = 0;
    // The settings record; other windows write their fields back into it when they
    // close, and it is saved when the main window closes.
    virtual Settings &settings() = 0;
    virtual const Settings &settings() const = 0;
};

} // namespace Ordavex
