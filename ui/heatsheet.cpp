#include "heatsheet.h"

#include "core/heatsheet.h"
#include "windowfont.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

namespace Ordavex {

namespace {

constexpr qreal MarginMm = 15;

QFont sheetFont(qreal points, bool bold = false)
{
    // The window's Japanese font with its fall-backs; a PDF embeds the glyphs it uses.
    QFont font = WindowFont(12);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void paintPage(QPainter &painter, const HeatSheet &sheet, const HeatSheetPage &page, const QRectF &area)
{
    const qreal unit = area.height() / 1000;    // the page is laid out in thousandths of its height
    qreal y = area.top();

    painter.setPen(Qt::black);
    painter.setFont(sheetFont(16, true));
    const qreal titleHeight = 40 * unit;
    painter.drawText(QRectF(area.left(), y, area.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     sheet.raceName);
    y += titleHeight + 6 * unit;

    painter.setFont(sheetFont(11));
    const qreal lineHeight = 24 * unit;
    const QRectF infoLine(area.left(), y, area.width(), lineHeight);
    painter.drawText(infoLine, Qt::AlignLeft | Qt::AlignVCenter, SheetPrintedLabel + u' ' + sheet.printedAt);
    painter.drawText(infoLine, Qt::AlignRight | Qt::AlignVCenter, page.pageText());
    y += lineHeight;

    const QString windText = SheetWindLabel + u' ' + sheet.wind;
    painter.drawText(QRectF(area.left(), y, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, windText);
    if (sheet.windMarker) {
        const qreal windWidth = QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(windText);
        painter.setPen(Qt::red);
        painter.drawText(QRectF(area.left() + windWidth + 12 * unit, y, area.width() / 2, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, WindMarkerText);
        painter.setPen(Qt::black);
    }
    y += lineHeight + 14 * unit;

    // Place, lane or bib, time: three columns across the left part of the page.
    const qreal widths[3] = {area.width() * 0.18, area.width() * 0.22, area.width() * 0.30};
    const qreal rowHeight = 19 * unit;
    auto drawRow = [&](const std::array<QString, 3> &cells, qreal top) {
        qreal x = area.left();
        for (size_t col = 0; col < 3; ++col) {
            const QRectF cell(x, top, widths[col], rowHeight);
            painter.drawRect(cell);
            painter.drawText(cell.adjusted(8 * unit, 0, -8 * unit, 0),
                             (col == 2 ? Qt::AlignRight : Qt::AlignHCenter) | Qt::AlignVCenter, cells[col]);
            x += widths[col];
        }
    };
    painter.setFont(sheetFont(11, true));
    drawRow(sheet.headings, y);
    y += rowHeight;
    painter.setFont(sheetFont(11));
    for (const auto &row : page.rows) {
        drawRow(row, y);
        y += rowHeight;
    }

    // The referee signs every page: pages are posted side by side on the board.
    const qreal signTop = area.bottom() - 40 * unit;
    const qreal labelWidth = area.width() * 0.5;
    const QRectF label(area.right() - labelWidth, signTop, labelWidth * 0.3, 30 * unit);
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

} // namespace Ordavex
