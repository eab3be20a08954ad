#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <array>

// The heat sheet that is posted on the board and signed by the referee: what it says
// and how it is split into pages. Painting it is the window side's business.
namespace Ordavex {

class ResultGrid;

inline const QString SheetPrintedLabel = QStringLiteral("印刷日時");
inline const QString SheetWindLabel = QStringLiteral("風");
inline const QString SheetSignatureLabel = QStringLiteral("審判長署名");
// Beside the wind, where a wind above +2.0 makes the marks ineligible for records.
inline const QString WindMarkerText = QStringLiteral("追風参考");

// A4 portrait at a size that the board can be read from.
inline constexpr int SheetRowsPerPage = 40;

struct HeatSheetPage
{
    int number = 1;     // 1-based
    int count = 1;
    // Place (column 0), lane or bib (column 1), time in its display form (column 2).
    QList<std::array<QString, 3>> rows;

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
};

// The race of a target path: the file name without folder, extension and wind code
// ("…\R1w_112.csv" is "R1").
QString SheetRaceName(const QString &targetPath);

// The wind text as the field would normalise it is above +2.0 m/s. Empty or not a
// number: false; the marker is a display only and never fails.
bool WindAboveRecordLimit(const QString &windText);

QString SheetDateText(const QDateTime &when);

// The sheet of the grid's shown rows up to the last one with an entry; empty rows
// inside the heat are kept, so that a missing competitor shows on the signed sheet.
// Throws RuntimeError "'%s' は浮動小数点数ではありません" for a wind that is not a
// number, as saving does: a sheet must not show a wind that the file would not carry.
HeatSheet MakeHeatSheet(const ResultGrid &grid, const QString &targetPath, const QString &windText, bool track,
                        bool sixtyFix, const QDateTime &printedAt, int rowsPerPage = SheetRowsPerPage);

} // namespace Ordavex
