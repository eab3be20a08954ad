#include "heatsheet.h"

#include "core/atomicfile.h"
#include "core/heatsheet.h"
#include "windowfont.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QPrinter>

#include <algorithm>

namespace Ordavex {

namespace {

constexpr qreal MarginMm = 15;
// The printable height of an A4 page within the margins. The sheet is laid out in its
// millimetres and scaled to the page the dialog chose, so that the rows of a page
// always fit.
constexpr qreal LayoutHeightMm = 297 - 2 * MarginMm;

// Heights in millimetres of the A4 layout. A row of 10 mm with digits about 5 mm tall
// reads from a metre away.
constexpr qreal TitleFontMm = 8.5;
constexpr qreal TitleLineMm = 12;
constexpr qreal InfoFontMm = 5;
constexpr qreal InfoLineMm = 7;
constexpr qreal WindFontMm = 7;
constexpr qreal WindLineMm = 10;
constexpr qreal RowFontMm = 7;
constexpr qreal HeadingFontMm = 5.5;
constexpr qreal RowHeightMm = 10;
constexpr qreal CellPaddingMm = 3;
constexpr qreal SignatureLineMm = 12;
// Rules that a printer draws as a visible line, not as the thinnest it can.
constexpr qreal RuleMm = 0.3;
// Place, lane or bib, time across the whole width; the time keeps some room on its
// right so that it stays near the lane it belongs to.
constexpr qreal ColumnShares[3] = {0.22, 0.30, 0.48};
// With the names of a start list: place, lane or bib, name and team, time.
constexpr qreal StarterColumnShares[4] = {0.12, 0.14, 0.46, 0.28};
constexpr qreal TimeRightRoomShare = 0.25;

// The race on one line: a long name is made smaller, down to half its size, and then
// cut with an ellipsis.
void drawTitle(QPainter &painter, const QString &title, const QRectF &line, qreal pixels)
{
    QFont font = PrintFont(pixels, true);
    qreal width = QFontMetricsF(font, painter.device()).horizontalAdvance(title);
    if (width > line.width()) {
        font = PrintFont(std::max(pixels / 2, pixels * line.width() / width), true);
        width = QFontMetricsF(font, painter.device()).horizontalAdvance(title);
    }
    painter.setFont(font);
    const QString shown = width > line.width()
        ? QFontMetricsF(font, painter.device()).elidedText(title, Qt::ElideRight, line.width())
        : title;
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void paintPage(QPainter &painter, const HeatSheet &sheet, const HeatSheetPage &page, const QRectF &area)
{
    const qreal mm = area.height() / LayoutHeightMm;
    qreal y = area.top();

    const QPen pen(Qt::black, RuleMm * mm);
    painter.setPen(pen);
    drawTitle(painter, sheet.raceName, QRectF(area.left(), y, area.width(), TitleLineMm * mm), TitleFontMm * mm);
    y += TitleLineMm * mm + 2 * mm;

    painter.setFont(PrintFont(InfoFontMm * mm));
    const QRectF infoLine(area.left(), y, area.width(), InfoLineMm * mm);
    painter.drawText(infoLine, Qt::AlignLeft | Qt::AlignVCenter, SheetPrintedLabel + u' ' + sheet.printedAt);
    painter.drawText(infoLine, Qt::AlignRight | Qt::AlignVCenter, page.pageText());
    y += InfoLineMm * mm;

    painter.setFont(PrintFont(WindFontMm * mm, true));
    const QString windText = sheet.windText();
    const QRectF windLine(area.left(), y, area.width(), WindLineMm * mm);
    painter.drawText(windLine, Qt::AlignLeft | Qt::AlignVCenter, windText);
    if (sheet.windMarker) {
        const qreal windWidth = QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(windText);
        painter.setPen(Qt::red);
        painter.drawText(windLine.adjusted(windWidth + 5 * mm, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         WindMarkerText);
        painter.setPen(pen);
    }
    y += WindLineMm * mm + 4 * mm;

    const qreal rowHeight = RowHeightMm * mm;
    const qreal padding = CellPaddingMm * mm;
    // The name column, when there is one, goes between the lane or bib and the time.
    auto drawRow = [&](const std::array<QString, 3> &cells, const QString *starter, qreal top) {
        qreal x = area.left();
        const int columns = sheet.hasStarters ? 4 : 3;
        for (int col = 0; col < columns; ++col) {
            const qreal width = area.width() * (sheet.hasStarters ? StarterColumnShares[col] : ColumnShares[col]);
            const QRectF cell(x, top, width, rowHeight);
            painter.drawRect(cell);
            const bool name = sheet.hasStarters && col == 2;
            const int source = sheet.hasStarters && col == 3 ? 2 : col;
            if (name) {
                const QRectF inside = cell.adjusted(padding, 0, -padding, 0);
                painter.drawText(inside, Qt::AlignLeft | Qt::AlignVCenter,
                                 painter.fontMetrics().elidedText(*starter, Qt::ElideRight, int(inside.width())));
            } else if (source == 2) {
                painter.drawText(cell.adjusted(padding, 0, -std::max(padding, width * TimeRightRoomShare), 0),
                                 Qt::AlignRight | Qt::AlignVCenter, cells[size_t(source)]);
            } else {
                painter.drawText(cell.adjusted(padding, 0, -padding, 0), Qt::AlignHCenter | Qt::AlignVCenter,
                                 cells[size_t(source)]);
            }
            x += width;
        }
    };
    painter.setFont(PrintFont(HeadingFontMm * mm, true));
    drawRow(sheet.headings, &SheetStarterHeading, y);
    y += rowHeight;
    painter.setFont(PrintFont(RowFontMm * mm));
    for (qsizetype i = 0; i < page.rows.size(); ++i) {
        const QString starter = page.starters.value(i);
        drawRow(page.rows[i], &starter, y);
        y += rowHeight;
    }

    // The referee signs every page: pages are posted side by side on the board.
    painter.setFont(PrintFont(InfoFontMm * mm));
    const qreal signTop = area.bottom() - SignatureLineMm * mm;
    const qreal labelWidth = area.width() * 0.5;
    const QRectF label(area.right() - labelWidth, signTop, labelWidth * 0.3, SignatureLineMm * mm);
    painter.drawText(label, Qt::AlignLeft | Qt::AlignBottom, SheetSignatureLabel);
    painter.drawLine(QPointF(label.right(), label.bottom()), QPointF(area.right(), label.bottom()));
}

} // namespace

void PrepareSheetPrinter(QPrinter &printer)
{
    PrepareSheetDevice(printer);
    printer.setFullPage(false);
}

void PrepareSheetDevice(QPagedPaintDevice &device)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter));
}

bool PaintHeatSheet(const HeatSheet &sheet, QPagedPaintDevice &device)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const QRect area = device.pageLayout().paintRectPixels(device.logicalDpiX());
    // The painter's origin is the printable area's corner.
    const QRectF page(0, 0, area.width(), area.height());
    bool ok = true;
    for (qsizetype i = 0; i < sheet.pages.size(); ++i) {
        if (i > 0 && !device.newPage()) {
            ok = false;
            break;
        }
        paintPage(painter, sheet, sheet.pages[i], page);
    }
    return painter.end() && ok;
}

bool FileHeatSheet(const HeatSheet &sheet, const QPrinter &printer, const QString &path)
{
    // The PDF writer reports no failure of the device it writes to, so the document is
    // made in memory and checked whole before any file is touched.
    QBuffer document;
    if (!document.open(QIODevice::WriteOnly))
        return false;
    {
        QPdfWriter writer(&document);
        writer.setPdfVersion(printer.pdfVersion());
        writer.setResolution(printer.resolution());
        writer.setTitle(sheet.raceName);
        writer.setCreator(printer.creator());
        if (!writer.setPageLayout(printer.pageLayout()) || !PaintHeatSheet(sheet, writer))
            return false;
    }
    document.close();
    return IsWholePdf(document.data()) && SaveFileAtomically(path, document.data()) == SaveError::None;
}

} // namespace Ordavex
