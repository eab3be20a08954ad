#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The heat sheet that is posted on the board and signed by the referee: what it says
// and how it is split into pages. Painting it is the window side's business.
namespace Ordavex {

class ResultGrid;
struct StartList;

// The heading of the name column.
inline const QString SheetStarterHeading = QStringLiteral("氏名 (所属)");

inline const QString SheetPrintedLabel = QStringLiteral("印刷日時");
inline const QString SheetWindLabel = QStringLiteral("風");
inline const QString SheetWindUnit = QStringLiteral("m/s");
inline const QString SheetSignatureLabel = QStringLiteral("審判長署名");
// Beside the wind, where a wind above +2.0 makes the marks ineligible for records.
inline const QString WindMarkerText = QStringLiteral("追風参考");

// A4 portrait with rows tall enough to be read from a metre away on the board.
inline constexpr int SheetRowsPerPage = 20;

struct HeatSheetPage
{
    int number = 1;     // 1-based
    int count = 1;
    // Place (column 0), lane or bib (column 1), time in its display form (column 2).
    QList<std::array<QString, 3>> rows;
    // Beside each row, when the race has a start list: the starter's name and team.
    QStringList starters;

    QString pageText() const { return QStringLiteral("%1 / %2").arg(number).arg(count); }
};

struct HeatSheet
{
    QString raceName;
    QString printedAt;      // "yyyy/MM/dd HH:mm"
    QString wind;           // normalised wind text, empty without a wind
    bool windMarker = false;
    std::array<QString, 3> headings;    // as the grid's heading row shows them
    QList<HeatSheetPage> pages;         // none for a heat with no entry filled
    bool hasStarters = false;           // a name column beside the lane or bib

    // "風 +2.5 m/s"; the label alone without a wind.
    QString windText() const
    {
        return wind.isEmpty() ? SheetWindLabel : SheetWindLabel + u' ' + wind + u' ' + SheetWindUnit;
    }
};

// The race of a target path: the file name without folder, extension and wind code
// ("…\R1w_112.csv" is "R1").
QString SheetRaceName(const QString &targetPath);

// The race as the timetable list shows it ("001) 男子 100m 予選 1組 10:30") when the
// target is the file of one of the listed races: chosen in the list, saved under the
// name the save proposed, or opened. Otherwise, after a save or an open under another
// name, the target's race name: a list line that names another race would be wrong on
// a signed sheet.
QString SheetRaceTitle(const QString &targetPath, const QStringList &timetableItems);

// The wind text as the field would normalise it is above +2.0 m/s. Empty or not a
// number: false; the marker is a display only and never fails.
bool WindAboveRecordLimit(const QString &windText);

QString SheetDateText(const QDateTime &when);

// A PDF document as a writer ends it: its header first and its end-of-file mark last.
// A writer that could not finish leaves a file that no reader opens.
bool IsWholePdf(QByteArrayView bytes);

// The sheet of the grid's shown rows up to the last one with an entry; empty rows
// inside the heat are kept, so that a missing competitor shows on the signed sheet.
// Throws RuntimeError "'%s' は浮動小数点数ではありません" for a wind that is not a
// number, as saving does: a sheet must not show a wind that the file would not carry.
HeatSheet MakeHeatSheet(const ResultGrid &grid, const QString &targetPath, const QString &windText, bool track,
                        bool sixtyFix, const QDateTime &printedAt, int rowsPerPage = SheetRowsPerPage);

// The names of the start list beside the rows: of the lane or bib in the column (the one
// headed ﾚｰﾝ or ﾅﾝﾊﾞｰ); empty beside a row whose lane or bib is not in it.
void AddStarters(HeatSheet &sheet, int column, const StartList &list, bool byNumber);

} // namespace Ordavex
