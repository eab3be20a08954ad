#include "qrcode.h"

#include "core/atomicfile.h"
#include "core/heatsheet.h"
#include "windowfont.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#ifdef ORDAVEX_HAVE_QRENCODE
#include <qrencode.h>
#endif

#include <algorithm>
#include <memory>

namespace Ordavex {

namespace {

constexpr qreal MarginMm = 15;
constexpr qreal LayoutWidthMm = 210 - 2 * MarginMm;
constexpr qreal LayoutHeightMm = 297 - 2 * MarginMm;
// A code of 15 cm reads from a phone held a couple of metres from the board it is
// pinned to; the caption and the address read from there too.
constexpr qreal CaptionFontMm = 14;
constexpr qreal CaptionLineMm = 20;
constexpr qreal CodeMm = 150;
constexpr qreal TextFontMm = 8;
constexpr qreal TextLineMm = 14;
constexpr qreal GapMm = 8;

// A line centred in its box, made smaller until it fits the width: an address is never
// cut, or the reader would type a wrong one.
void drawFitted(QPainter &painter, const QString &text, const QRectF &line, qreal pixels, bool bold)
{
    QFont font = PrintFont(pixels, bold);
    const qreal width = QFontMetricsF(font, painter.device()).horizontalAdvance(text);
    if (width > line.width())
        font = PrintFont(pixels * line.width() / width, bold);
    painter.setFont(font);
    painter.drawText(line, Qt::AlignCenter | Qt::TextDontClip, text);
}

} // namespace

QImage QrCodeImage(const QString &text, int side)
{
#ifdef ORDAVEX_HAVE_QRENCODE
    if (text.isEmpty())
        return {};
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.toUtf8().constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    const int modules = code->width;
    const int total = modules + 2 * QrQuietZone;
    const int scale = std::max(1, side / total);
    QImage image(total * scale, total * scale, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    // Bit 0 of each module's byte is dark; the other bits tell the module's role in the code.
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            if (code->data[y * modules + x] & 1)
                painter.fillRect((x + QrQuietZone) * scale, (y + QrQuietZone) * scale, scale, scale, Qt::black);
        }
    }
    return image;
#else
    Q_UNUSED(text);
    Q_UNUSED(side);
    return {};
#endif
}

void PrepareQrPrinter(QPrinter &printer)
{
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter));
    printer.setFullPage(false);
}

bool PaintQrPage(const QString &caption, const QString &text, QPagedPaintDevice &device)
{
    const QImage code = QrCodeImage(text);
    if (code.isNull())
        return false;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const QRect area = device.pageLayout().paintRectPixels(device.logicalDpiX());
    // Laid out on A4 and scaled to whatever page the dialog chose, so that it always fits.
    const qreal mm = std::min(area.width() / LayoutWidthMm, area.height() / LayoutHeightMm);
    // Whole device pixels to a module, so that every module is printed the same size.
    const int pixelsPerModule = std::max(1, int(CodeMm * mm) / code.width());
    const qreal codeSide = qreal(pixelsPerModule) * code.width();
    const qreal height = (CaptionLineMm + TextLineMm + 2 * GapMm) * mm + codeSide;
    qreal y = std::max(0.0, (area.height() - height) / 2);

    painter.setPen(Qt::black);
    drawFitted(painter, caption, QRectF(0, y, area.width(), CaptionLineMm * mm), CaptionFontMm * mm, true);
    y += (CaptionLineMm + GapMm) * mm;
    // Painted without smoothing, so that a reader or printer that scales it keeps the
    // edges sharp, and kept lossless: the PDF writer would otherwise make it smaller
    // with JPEG and leave smudges in the quiet zone.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.drawImage(QRectF((area.width() - codeSide) / 2, y, codeSide, codeSide), code);
    y += codeSide + GapMm * mm;
    drawFitted(painter, text, QRectF(0, y, area.width(), TextLineMm * mm), TextFontMm * mm, false);
    return painter.end();
}

bool FileQrPage(const QString &caption, const QString &text, const QPrinter &printer, const QString &path)
{
    // As the heat sheet: the PDF writer tells of no failure of its device, so the
    // document is made in memory and checked whole before any file is touched.
    QBuffer document;
    if (!document.open(QIODevice::WriteOnly))
        return false;
    {
        QPdfWriter writer(&document);
        writer.setPdfVersion(printer.pdfVersion());
        writer.setResolution(printer.resolution());
        writer.setTitle(caption);
        writer.setCreator(printer.creator());
        if (!writer.setPageLayout(printer.pageLayout()) || !PaintQrPage(caption, text, writer))
            return false;
    }
    document.close();
    return IsWholePdf(document.data()) && SaveFileAtomically(path, document.data()) == SaveError::None;
}

} // namespace Ordavex
