#pragma once

class QPagedPaintDevice;
class QPrinter;
class QString;

namespace Ordavex {

struct HeatSheet;

// A4 portrait with the margins the sheet is laid out for.
void PrepareSheetPrinter(QPrinter &printer);
void PrepareSheetDevice(QPagedPaintDevice &device);

// Paints one page per sheet page. False when the device cannot be painted on (a
// printer that is gone); what was painted before is then of no use.
bool PaintHeatSheet(const HeatSheet &sheet, QPagedPaintDevice &device);

// Files the sheet as a PDF at path, with the page set-up and resolution chosen for the
// printer. The whole document is made first and then written through the program's
// one file writer: a file that cannot be written whole (a full disk, a device, a
// missing folder) gives false, and an existing file at path stays as it was.
bool FileHeatSheet(const HeatSheet &sheet, const QPrinter &printer, const QString &path);

} // namespace Ordavex
