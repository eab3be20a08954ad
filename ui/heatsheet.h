#pragma once

class QPagedPaintDevice;
class QPrinter;

namespace Ordavex {

struct HeatSheet;

// A4 portrait with the margins the sheet is laid out for.
void PrepareSheetPrinter(QPrinter &printer);
void PrepareSheetDevice(QPagedPaintDevice &device);

// Paints one page per sheet page. False when the device cannot be painted on (a
// printer that is gone, a PDF file that cannot be written); what was painted before
// is then of no use.
bool PaintHeatSheet(const HeatSheet &sheet, QPagedPaintDevice &device);

} // namespace Ordavex
