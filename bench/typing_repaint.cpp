// Repainting the whole grid after the 60-second option is toggled, against the plain
// table holding the already-converted texts.

#include "typing_heat.h"

#include "core/timerules.h"
#include "ui/inputgrid.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QTableWidget>
#include <QTemporaryDir>

namespace Ordavex::TypingBench {

// Tall enough that the viewport shows every row: nothing is scrolled out of the paint.
void makeTall(QWidget *window, QAbstractItemView *view)
{
    const int needed = Rows * RowHeight;
    for (int attempt = 0; attempt < 3 && view->viewport()->height() < needed; ++attempt) {
        window->resize(window->width(), window->height() + needed - view->viewport()->height());
        QCoreApplication::processEvents();
    }
    if (view->viewport()->height() < needed)
        fail(QStringLiteral("the grid's viewport is only %1 px high, %2 needed").arg(view->viewport()->height()).arg(needed));
}

// Something was drawn in the time cell of the last row.
void checkLastRowDrawn(const QImage &image, const QRect &cell)
{
    const QRgb background = image.pixel(cell.left() + 1, cell.top() + 1);
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            if (image.pixel(x, y) != background)
                return;
        }
    }
    fail(QStringLiteral("the last row's time was not drawn"));
}

Repaints measureRepaints(const QTemporaryDir &folder, int count)
{
    std::unique_ptr<TForm1> form = makeForm(folder);
    ResultGrid &grid = *form->grid();
    for (int row = 1; row <= Rows; ++row) {
        grid.setCell(1, row, laneText(row));
        grid.setCell(2, row, QString::number(finishTime(row)));
    }
    form->show();
    QCoreApplication::processEvents();
    makeTall(form.get(), form->InputGrid);

    const GridLook look = lookOf(*form);
    QMainWindow window;
    QTableWidget *table = makePlainTable(&window, look);
    const bool sixtyFix = form->sixtyFix->isChecked();
    for (int row = 1; row <= Rows; ++row) {
        table->item(row - 1, 1)->setText(laneText(row));
        table->item(row - 1, 2)->setText(TimeDisplayText(QString::number(finishTime(row)), true, sixtyFix));
        table->item(row - 1, 2)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    window.setCentralWidget(table);
    window.resize(look.size);
    window.show();
    QCoreApplication::processEvents();
    makeTall(&window, table);

    QWidget *formViewport = form->InputGrid->viewport();
    QWidget *plainViewport = table->viewport();
    QImage formImage(formViewport->size(), QImage::Format_ARGB32_Premultiplied);
    QImage plainImage(plainViewport->size(), QImage::Format_ARGB32_Premultiplied);

    std::vector<double> formTimes;
    std::vector<double> plainTimes;
    const int warmUp = 3;
    for (int i = 0; i < warmUp + count; ++i) {
        QElapsedTimer timer;
        timer.start();
        form->sixtyFix->toggle();
        formViewport->render(&formImage);
        const double formMs = double(timer.nsecsElapsed()) / 1e6;

        timer.restart();
        plainViewport->render(&plainImage);
        const double plainMs = double(timer.nsecsElapsed()) / 1e6;

        // The toggle also asked for an on-screen repaint: let it happen outside the timing.
        QCoreApplication::processEvents();
        if (i >= warmUp) {
            formTimes.push_back(formMs);
            plainTimes.push_back(plainMs);
        }
    }

    // The display must follow the toggle, and the last row must be in the image.
    const QString shownNow = form->TimeDisplayText(2, Rows);
    form->sixtyFix->toggle();
    if (form->TimeDisplayText(2, Rows) == shownNow)
        fail(QStringLiteral("the 60-second option does not change the display of row %1").arg(Rows));
    const QModelIndex last = grid.indexOf(2, Rows);
    checkLastRowDrawn(formImage, form->InputGrid->visualRect(last));
    checkLastRowDrawn(plainImage, table->visualRect(table->model()->index(Rows - 1, 2)));

    return {median(formTimes), median(plainTimes)};
}

} // namespace Ordavex::TypingBench
