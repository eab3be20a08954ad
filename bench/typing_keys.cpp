// Typing the heat into the program and into the plain table.

#include "typing_heat.h"

#include "core/atomicfile.h"
#include "core/textcodec.h"
#include "ui/inputgrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>

namespace Ordavex::TypingBench {

// With passEventLoop, one pass of the event loop follows every key, so each key's
// repaint is part of its cost; without, only the key handling is timed and the
// repaints are left to after the heat.
double typeIntoForm(const QTemporaryDir &folder, RecordingDialogs &dialogs, const std::vector<Key> &keys,
                    bool passEventLoop, bool journal, int journalDelayMs, bool startList)
{
    const QString listPath = QDir(folder.path()).filePath(QStringLiteral("startlists/Untitled.csv"));
    if (startList) {
        QString text = QStringLiteral("ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属\r\n");
        for (int lane = 1; lane <= Rows; ++lane)
            text += QStringLiteral("%1,%2,選手 %1,陸協 %3\r\n").arg(lane).arg(1000 + lane).arg(lane % 47);
        if (!QDir(folder.path()).mkpath(QStringLiteral("startlists"))
            || SaveFileAtomically(listPath, Cp932::encode(text)) != SaveError::None)
            fail(QStringLiteral("the start list could not be written"));
    }
    const auto removeList = qScopeGuard([&listPath] { QFile::remove(listPath); });
    std::unique_ptr<TForm1> form = makeForm(folder);
    if (form->startList().has_value() != startList)
        fail(QStringLiteral("the start list was not read as it should"));
    form->setRecoveryJournal(journal);
    form->setRecoveryDelay(journalDelayMs);
    auto removeRecovery = qScopeGuard([&form] {
        form->waitForRecoveryWriter(RecoveryWriter::FinishWaitMs);
        QFile::remove(form->recoveryPath());
    });
    activate(form.get());
    if (QApplication::focusWidget() != form->InputGrid->editor())
        fail(QStringLiteral("the grid's editor does not hold the focus"));
    dialogs.shown.clear();

    QElapsedTimer timer;
    timer.start();
    for (const Key &key : keys) {
        typeKey(key);
        betweenKeys(passEventLoop);
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();

    if (!dialogs.shown.isEmpty())
        fail(QStringLiteral("a box came up while typing: ") + dialogs.shown.join(QStringLiteral(" | ")));
    const ResultGrid &grid = *form->grid();
    for (int row = 1; row <= Rows; ++row) {
        const QString time = QString::number(finishTime(row));
        if (grid.cell(1, row) != laneText(row) || grid.cell(2, row) != time)
            fail(QStringLiteral("row %1 holds '%2' '%3', typed '%4' '%5'")
                     .arg(row).arg(grid.cell(1, row), grid.cell(2, row), laneText(row), time));
    }
    return ms;
}

double typeIntoPlainTable(const GridLook &look, const std::vector<Key> &keys, bool passEventLoop)
{
    QMainWindow window;
    QTableWidget *table = makePlainTable(&window, look);
    window.setCentralWidget(table);
    window.resize(look.size);
    activate(&window);
    if (table->size() != look.size)
        fail(QStringLiteral("the plain table is %1x%2, the grid %3x%4").arg(table->width()).arg(table->height())
                 .arg(look.size.width()).arg(look.size.height()));
    table->setCurrentCell(0, 1);
    table->editItem(table->item(0, 1));
    QCoreApplication::processEvents();
    if (!qobject_cast<QLineEdit *>(QApplication::focusWidget()))
        fail(QStringLiteral("the plain table's editor does not hold the focus"));

    QElapsedTimer timer;
    timer.start();
    for (const Key &key : keys) {
        typeKey(key);
        // Here the delegate commits and closes its editor, from a queued call. Without
        // the pass, leaving the cell below commits and closes it instead, and the queued
        // call, which would find the editor gone, is dropped.
        if (!passEventLoop && key.key == Qt::Key_Return)
            QCoreApplication::removePostedEvents(table->itemDelegate(), QEvent::MetaCall);
        betweenKeys(passEventLoop);
        if (key.key != Qt::Key_Return)
            continue;
        const int row = table->currentRow();
        const int col = table->currentColumn();
        const int nextRow = col == 1 ? row : row + 1;
        const int nextCol = col == 1 ? 2 : 1;
        if (nextRow >= Rows)
            continue;
        table->setCurrentCell(nextRow, nextCol);
        table->editItem(table->item(nextRow, nextCol));
    }
    if (!passEventLoop)
        table->setCurrentCell(0, 0);   // commits the last editor
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();

    for (int row = 1; row <= Rows; ++row) {
        const QString lane = table->item(row - 1, 1)->text();
        const QString time = table->item(row - 1, 2)->text();
        if (lane != laneText(row) || time != typedTime(row))
            fail(QStringLiteral("plain table row %1 holds '%2' '%3', typed '%4' '%5'")
                     .arg(row).arg(lane, time, laneText(row), typedTime(row)));
    }
    return ms;
}

} // namespace Ordavex::TypingBench
