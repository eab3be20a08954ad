#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>

// Records received from the timing machine: one text line per finisher, fields separated
// by commas or TABs, and a wind line that starts with a sign. A line is kept as the bytes
// received (code page 932, never converted): the fields the program reads are ASCII, and
// no trail byte of a double-byte character is a digit, a point, a sign or a separator.
namespace Ordavex {

struct Settings;

// Field numbers of the record, as set in the settings. A number outside the fields of a
// line (negative, or beyond the tenth field) selects an absent field: an empty text.
struct RecordColumns
{
    int place = 1;
    int lane = 2;
    int time = 4;
    int zekken = 3;

    bool operator==(const RecordColumns &) const = default;
};
RecordColumns RecordColumnsFrom(const Settings &s);

// At most this many fields of a line are read; the rest of the line is ignored.
inline constexpr int MaxRecordFields = 10;
// The longest field read into the grid (further digits are dropped), and the part of a
// line that a log row is made from.
inline constexpr int MaxRecordFieldLength = 254;
// LogWindCode's value for a line without a wind.
inline constexpr int NoWindCode = 9999;

// The line without the blanks and control bytes (0 to 32) at both ends.
QByteArrayView TrimmedLine(QByteArrayView line);

// Column 0, 1, 2 of one grid row: place, lane, time.
using GridRow = std::array<QString, 3>;

// The place, lane and time fields of a record, digits only (a time sent as 1:02.34 is
// the packed time 10234). An absent field gives an empty cell.
GridRow SplitRecordToRow(QByteArrayView line, const RecordColumns &columns);

// The wind field's text ("%+3.1f") of a wind line: read from its first five characters,
// spaces dropped; "" when they are no number or the wind is 99 or more in size.
QString ParseWind(QByteArrayView line);

// One log row without its line end: place, lane, time and bib, each in double quotes,
// separated by commas, digits and points only, from the first 254 bytes of the line.
QByteArray FormatLogRow(QByteArrayView line, const RecordColumns &columns);

// The wind code of a wind line from its first five characters: "+" as 1, "-" as 9, and
// the digits; NoWindCode when there are none.
int LogWindCode(QByteArrayView line);

// Readiness of the received lines for automatic logging. Rule 0: no line, trimmed, holds
// a comma; rule 1: no line, trimmed, is longer than minBuffLen. True for an empty list,
// and for any other rule number.
bool NoLineQualifies(const QList<QByteArray> &lines, int rule, int minBuffLen);

// The received lines as a heat: the wind of a first line that starts with a sign, and one
// row per other line that is not blank, in order, places as received (ties and empty
// places included).
struct ImportedHeat
{
    QString wind;
    QList<GridRow> rows;
};
ImportedHeat ImportLines(const QList<QByteArray> &lines, const RecordColumns &columns);

} // namespace Ordavex
