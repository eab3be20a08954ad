// The heat, the keys that type it and the windows they go to.

#include "typing_heat.h"

#include "core/paths.h"
#include "core/timerules.h"
#include "ui/inputgrid.h"
#include "ui/sankaspin.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace Ordavex::TypingBench {

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "bench_typing: FAILED: %s\n", qPrintable(what));
    std::fflush(stderr);
    std::exit(1);
}

// ---- the heat ----

// A track heat of 50.09 s to 95.00 s (packed hundredths, 9 apart): rows from 60 s on
// are shown differently with and without the 60-second option.
int finishTime(int row)
{
    return 5000 + 9 * row;
}

QString laneText(int row)
{
    return QString::number(row % 8 + 1);
}

// The shortest tail of the time that quick input completes from the row above.
QString typedTime(int row)
{
    const QString full = QString::number(finishTime(row));
    if (row == 1)
        return full;
    const QString above = QString::number(finishTime(row - 1));
    for (int k = 1; k < full.size(); ++k) {
        const QString tail = full.right(k);
        const Completion completion = CompleteTime(tail, above, {true, false, true});
        if (completion.text == full && !completion.needsCheck)
            return tail;
    }
    return full;
}

std::vector<Key> heatKeys()
{
    std::vector<Key> keys;
    auto typeDigits = [&](const QString &digits) {
        for (const QChar c : digits)
            keys.push_back({Qt::Key(Qt::Key_0 + (c.unicode() - u'0')), QString(c)});
    };
    for (int row = 1; row <= Rows; ++row) {
        typeDigits(laneText(row));
        keys.push_back({Qt::Key_Return, QStringLiteral("\r")});
        typeDigits(typedTime(row));
        keys.push_back({Qt::Key_Return, QStringLiteral("\r")});
    }
    return keys;
}

// One key as the keyboard delivers it: to the focus widget, pressed and released.
void typeKey(const Key &key)
{
    QWidget *target = QApplication::focusWidget();
    if (!target)
        fail(QStringLiteral("no widget has the keyboard focus"));
    QKeyEvent press(QEvent::KeyPress, key.key, Qt::NoModifier, key.text);
    QCoreApplication::sendEvent(target, &press);
    QWidget *releaseTarget = QApplication::focusWidget();
    QKeyEvent release(QEvent::KeyRelease, key.key, Qt::NoModifier, key.text);
    QCoreApplication::sendEvent(releaseTarget ? releaseTarget : target, &release);
}

// What the event loop does between two keys. Outside exec() Qt holds deleteLater()
// back for good, so closed editors would pile up under the viewport and slow every
// scroll; the deletions are asked for by name. With repaint false only they are done,
// the repaints wait.
void betweenKeys(bool repaint)
{
    if (repaint)
        QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QElapsedTimer waited;
    waited.start();
    while (!window->isActiveWindow() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!window->isActiveWindow())
        fail(QStringLiteral("the window did not become active"));
    QCoreApplication::processEvents();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// ---- the program's window ----

std::unique_ptr<TForm1> makeForm(const QTemporaryDir &folder)
{
    const Paths::AppPaths paths =
        Paths::resolveAppPaths(Paths::join(folder.path(), QStringLiteral("ordavex")), true, {}, {});
    auto form = std::make_unique<TForm1>(paths);
    // All rows from the start: with the cursor moving across, Return in the time
    // column of the last row adds no row, so the heat cannot grow as it is typed.
    form->SankaSpinNum->setValue(Rows);
    if (form->grid()->dataRowCount() != Rows)
        fail(QStringLiteral("the row count did not become %1").arg(Rows));
    if (!form->RadioButton1->isChecked() || !form->RadioButton3->isChecked() || !form->QuickInput->isChecked())
        fail(QStringLiteral("not the default settings: track, cursor across, quick input"));
    return form;
}

std::optional<RecoveredHeat> recoveryOnDisk(const TForm1 &form)
{
    QFile file(form.recoveryPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ReadRecovery(file.readAll());
}

GridLook lookOf(const TForm1 &form)
{
    GridLook look{form.InputGrid->font(), {}, form.InputGrid->size()};
    for (int col = 0; col < ResultGrid::ColCount; ++col)
        look.columnWidths << form.InputGrid->columnWidth(col);
    return look;
}

// A QTableWidget laid out like the results grid: number column, lane, time.
QTableWidget *makePlainTable(QWidget *parent, const GridLook &look)
{
    auto *table = new QTableWidget(Rows, ResultGrid::ColCount, parent);
    table->setFixedWidth(look.size.width());
    table->setFont(look.font);
    table->horizontalHeader()->setFont(look.font);
    table->setHorizontalHeaderLabels({QStringLiteral("順位"), QStringLiteral("ﾚｰﾝ"), QStringLiteral("ﾀｲﾑ")});
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(RowHeight);
    table->horizontalHeader()->setFixedHeight(RowHeight);
    table->setWordWrap(false);
    for (int col = 0; col < look.columnWidths.size(); ++col)
        table->setColumnWidth(col, look.columnWidths[col]);
    for (int row = 0; row < Rows; ++row) {
        auto *number = new QTableWidgetItem(QString::number(row + 1));
        number->setFlags(Qt::ItemIsEnabled);
        table->setItem(row, 0, number);
        table->setItem(row, 1, new QTableWidgetItem);
        table->setItem(row, 2, new QTableWidgetItem);
    }
    return table;
}

} // namespace Ordavex::TypingBench
