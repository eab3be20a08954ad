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
#include <QListWidget>
#include <QPrinter>
#include <QRadioButton>

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
    QStringList timetable;
    for (int row = 0; row < ListDirBox->count(); ++row)
        timetable << ListDirBox->item(row)->text();
    sheet.raceName = SheetRaceTitle(m_targetPath, timetable);
    if (m_startList)
        AddStarters(sheet, m_settings.NumColID == 0 ? 1 : 0, *m_startList, !RadioButton5->isChecked());
    QPrinter printer(QPrinter::HighResolution);
    PrepareSheetPrinter(printer);
    // The job's name, and the name a PDF file is offered under: the file-name form,
    // which has nothing that a file name may not hold.
    printer.setDocName(SheetRaceName(m_targetPath));
    if (!Dialogs::instance().print(this, printer))
        return;
    // The time it went to the printer, not the time the dialog opened.
    sheet.printedAt = SheetDateText(QDateTime::currentDateTime());
    // A PDF file chosen in the dialog is written whole or not at all; a printer, and a
    // printer's own print to a file, report their failures in the printer's state.
    const bool toPdfFile = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty();
    const bool printed = toPdfFile ? FileHeatSheet(sheet, printer, printer.outputFileName())
                                   : PaintHeatSheet(sheet, printer) && printer.printerState() != QPrinter::Error;
    if (!printed)
        showMessage(MsgSheetNotPrinted);
}

} // namespace Ordavex
