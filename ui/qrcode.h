#pragma once

#include <QImage>
#include <QString>

class QPagedPaintDevice;
class QPrinter;

namespace Ordavex {

// Modules of white around the code, as readers need to find it.
constexpr int QrQuietZone = 4;

// The text (as UTF-8) as a QR code of error-correction level M: black modules on white
// with the quiet zone around them, each module a square of the largest whole number of
// pixels that keeps the image within side pixels, and never less than one. A null image
// for an empty text, a text too long for any code, or a build without the encoder.
QImage QrCodeImage(const QString &text, int side = 0);

// One A4 page: the caption, the code of the text as large as the page allows, and the
// text under it, all centred. False when the device cannot be painted on or the text
// has no code.
bool PaintQrPage(const QString &caption, const QString &text, QPagedPaintDevice &device);

// Files that page as a PDF at path, with the page set-up and resolution chosen for the
// printer, made whole in memory first and written through the program's one file
// writer: false when it could not be written whole, and an existing file stays as it was.
bool FileQrPage(const QString &caption, const QString &text, const QPrinter &printer, const QString &path);

// A4 portrait with the margins the page is laid out for.
void PrepareQrPrinter(QPrinter &printer);

} // namespace Ordavex
