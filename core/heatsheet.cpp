#include "heatsheet.h"

#include "gridmodel.h"
#include "paths.h"
#include "resultfile.h"
#include "runtimeerror.h"
#include "startlist.h"
#include "timerules.h"
#include "timetable.h"
#include "windrules.h"

#include <QtMath>

#include <algorithm>

namespace Ordavex {

QString SheetRaceName(const QString &targetPath)
{
    return Paths::fileNameOf(StripWindCode(RemoveExtension(targetPath)));
}

QString SheetRaceTitle(const QString &targetPath, const QStringList &timetableItems)
{
    const QString name = SheetRaceName(targetPath);
    // The list numbers its races, so that no two items give the same race name.
    for (const QString &item : timetableItems) {
        const std::optional<QString> race = MakeRaceName(item);
        if (race && SheetRaceName(*race) == name)
            return item.trimmed();
    }
    return name;
}

bool WindAboveRecordLimit(const QString &windText)
{
    QString normalised;
    try {
        normalised = NormaliseWindText(windText);
    } catch (const RuntimeError &) {
        return false;
    }
    if (normalised.isEmpty())
        return false;
    // In tenths, as the text shows it: +2.0 is on the limit and allowed.
    bool ok = false;
    const double wind = normalised.toDouble(&ok);
    return ok && qRound64(wind * 10) > 20;
}

QString SheetDateText(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
}

bool IsWholePdf(QByteArrayView bytes)
{
    if (!bytes.startsWith("%PDF-"))
        return false;
    // The end-of-file mark may be followed by one line end.
    QByteArrayView tail = bytes;
    if (tail.endsWith('\n'))
        tail.chop(1);
    if (tail.endsWith('\r'))
        tail.chop(1);
    return tail.endsWith("%%EOF");
}

HeatSheet MakeHeatSheet(const ResultGrid &grid, const QString &targetPath, const QString &windText, bool track,
                        bool sixtyFix, const QDateTime &printedAt, int rowsPerPage)
{
    HeatSheet sheet;
    sheet.raceName = SheetRaceName(targetPath);
    sheet.printedAt = SheetDateText(printedAt);
    sheet.wind = NormaliseWindText(windText);
    sheet.windMarker = WindAboveRecordLimit(sheet.wind);
    for (int col = 0; col < ResultGrid::ColCount; ++col)
        sheet.headings[size_t(col)] = grid.cell(col, 0);

    int lastRow = 0;
    for (int row = 1; row <= grid.dataRowCount(); ++row) {
        if (!grid.cell(1, row).isEmpty() || !grid.cell(2, row).isEmpty())
            lastRow = row;
    }
    if (lastRow == 0)
        return sheet;

    rowsPerPage = std::max(rowsPerPage, 1);
    const int pageCount = (lastRow + rowsPerPage - 1) / rowsPerPage;
    for (int page = 0; page < pageCount; ++page) {
        HeatSheetPage sheetPage;
        sheetPage.number = page + 1;
        sheetPage.count = pageCount;
        const int first = page * rowsPerPage + 1;
        const int last = std::min(lastRow, first + rowsPerPage - 1);
        for (int row = first; row <= last; ++row)
            sheetPage.rows.append({grid.cell(0, row), grid.cell(1, row),
                                   TimeDisplayText(grid.cell(2, row), track, sixtyFix)});
        sheet.pages.append(sheetPage);
    }
    return sheet;
}

void AddStarters(HeatSheet &sheet, int column, const StartList &list, bool byNumber)
{
    sheet.hasStarters = true;
    for (HeatSheetPage &page : sheet.pages) {
        page.starters.clear();
        for (const auto &row : page.rows) {
            const Starter *starter = FindStarter(list, row[size_t(column)], byNumber);
            QString text;
            if (starter) {
                text = starter->name;
                if (!starter->team.isEmpty())
                    text += QStringLiteral(" (%1)").arg(starter->team);
            }
            page.starters.append(text);
        }
    }
}

} // namespace Ordavex
