// The heat sheet: the heat as it stands, printed or filed as PDF for the board.

#include "mainform.h"

#include "core/gridmodel.h"
#include "core/heatsheet.h"
#include "dialogs.h"
#include "guard.h"
#include "heatsheet.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPrinter>

namespace Ordavex {

void TForm1::connectPrintHandlers()
{
    ConnectHandler(PrintHeatSheet, &QAction::triggered, this, &TForm1::PrintHeatSheetExecute);
}

void TForm1::PrintHeatSheetExecute()
{
    if (GridIsEmpty()) {
        showMessage(MsgSheetEmpty);
        return;
    }
    // Before the dialog, so that a wind that is not a number stops it at once.
    HeatSheet sheet = MakeHeatSheet(*m_grid, m_targetPath, EditKaze->text(), RaceKindIndex() == 0,
                                    sixtyFix->isChecked(), QDateTime::currentDateTime());
    QPrinter printer(QPrinter::HighResolution);
    PrepareSheetPrinter(printer);
    printer.setDocName(sheet.raceName);
    if (!Dialogs::instance().print(this, printer))
        return;
    // The time it went to the printer, not the time the dialog opened.
    sheet.printedAt = SheetDateText(QDateTime::currentDateTime());
    if (!PaintHeatSheet(sheet, printer) || printer.printerState() == QPrinter::Error)
        showMessage(MsgSheetNotPrinted);
}

} // namespace Ordavex
