// The results grid model: hidden rows keep their texts, and the model stays a sound
// Qt model through row-count changes.

#include "core/gridmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Ordavex;

class TestGridModel final : public QObject
{
    Q_OBJECT

private slots:
    void rowCountKeepsHiddenTexts();
    void clearEntriesEmptiesHiddenRows();
    void modelView();
    void clearRowAnnouncesChangedCells();
    void numberTexts();
    void rowCountText_data();
    void rowCountText();
};

void TestGridModel::rowCountKeepsHiddenTexts()
{
    ResultGrid grid;
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setGridRowCount(9);
    grid.setCell(1, 7, QStringLiteral("5"));
    grid.setCell(2, 8, QStringLiteral("1234"));
    grid.setGridRowCount(7);
    QCOMPARE(grid.rowCount(), 6);
    QCOMPARE(grid.cell(2, 8), QStringLiteral("1234"));
    grid.setGridRowCount(12);
    QCOMPARE(grid.cell(1, 7), QStringLiteral("5"));
    QCOMPARE(grid.cell(2, 8), QStringLiteral("1234"));
    QCOMPARE(grid.cell(1, 11), QString());
    grid.clearRow(8);
    QCOMPARE(grid.cell(2, 8), QString());

    // Limits: one to 501 rows, cells outside the table read as empty and ignore writes.
    grid.setGridRowCount(0);
    QCOMPARE(grid.gridRowCount(), 1);
    grid.setGridRowCount(100000);
    QCOMPARE(grid.gridRowCount(), ResultGrid::MaxRows);
    grid.setCell(3, 1, QStringLiteral("x"));
    grid.setCell(1, ResultGrid::MaxRows, QStringLiteral("x"));
    QCOMPARE(grid.cell(3, 1), QString());
    QCOMPARE(grid.cell(1, ResultGrid::MaxRows), QString());
}

// Emptying the heat empties what a raised row count would show again, and announces the
// change once.
void TestGridModel::clearEntriesEmptiesHiddenRows()
{
    ResultGrid grid;
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setGridRowCount(9);
    for (int row = 0; row < 9; ++row) {
        for (int col = 0; col < ResultGrid::ColCount; ++col)
            grid.setCell(col, row, QStringLiteral("%1.%2").arg(col).arg(row));
    }
    grid.setGridRowCount(4);

    QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
    grid.clearEntries();
    QCOMPARE(changed.size(), 1);
    grid.setGridRowCount(9);
    for (int row = 1; row < 9; ++row) {
        QCOMPARE(grid.cell(0, row), QStringLiteral("0.%1").arg(row));
        QCOMPARE(grid.cell(1, row), QString());
        QCOMPARE(grid.cell(2, row), QString());
    }
    QCOMPARE(grid.cell(1, 0), QStringLiteral("1.0"));
    QCOMPARE(grid.cell(2, 0), QStringLiteral("2.0"));
}

void TestGridModel::modelView()
{
    ResultGrid grid;
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setGridRowCount(4);
    grid.setCell(2, 0, QStringLiteral("ﾀｲﾑ"));
    grid.setCell(0, 1, QStringLiteral("1"));
    QCOMPARE(grid.headerData(2, Qt::Horizontal).toString(), QStringLiteral("ﾀｲﾑ"));
    QCOMPARE(grid.data(grid.index(0, 0)).toString(), QStringLiteral("1"));

    // Only entry cells take edits; the number column is not selectable.
    QVERIFY(!grid.setData(grid.index(0, 0), QStringLiteral("9")));
    QVERIFY(grid.setData(grid.index(0, 2), QStringLiteral("5523")));
    QCOMPARE(grid.cell(2, 1), QStringLiteral("5523"));
    QVERIFY(!(grid.flags(grid.index(0, 0)) & Qt::ItemIsSelectable));
    QVERIFY(grid.flags(grid.index(0, 1)) & Qt::ItemIsEditable);

    QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
    grid.setCell(1, 2, QStringLiteral("4"));
    grid.setCell(1, 2, QStringLiteral("4"));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), grid.index(1, 1));

    // A bulk edit announces the whole table once, when the outermost edit ends.
    changed.clear();
    QSignalSpy headings(&grid, &QAbstractItemModel::headerDataChanged);
    {
        const ResultGrid::BulkEdit outer(grid);
        {
            const ResultGrid::BulkEdit inner(grid);
            grid.setCell(1, 3, QStringLiteral("7"));
            grid.setCell(0, 0, QStringLiteral("順位"));
        }
        grid.setCell(2, 3, QStringLiteral("1000"));
        QCOMPARE(changed.size(), 0);
    }
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), grid.index(0, 0));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), grid.index(2, 2));
    QCOMPARE(headings.size(), 1);
    QCOMPARE(grid.cell(2, 3), QStringLiteral("1000"));
}

// Emptying a row announces each cell that held a text, and only those; a row the grid
// never held is left alone.
void TestGridModel::clearRowAnnouncesChangedCells()
{
    ResultGrid grid;
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setGridRowCount(5);
    grid.setCell(0, 3, QStringLiteral("3"));
    grid.setCell(2, 3, QStringLiteral("1052"));
    QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
    grid.clearRow(3);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), grid.index(2, 0));
    QCOMPARE(changed.at(1).at(0).toModelIndex(), grid.index(2, 2));
    QCOMPARE(grid.cell(0, 3), QString());
    QCOMPARE(grid.cell(2, 3), QString());
    grid.clearRow(ResultGrid::MaxRows - 1);
    grid.clearRow(-1);
    QCOMPARE(changed.size(), 2);
}

void TestGridModel::numberTexts()
{
    for (int n = 0; n <= ResultGrid::MaxRows; ++n)
        QCOMPARE(ResultGrid::numberText(n), QString::number(n));
}

void TestGridModel::rowCountText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("value");

    QTest::newRow("empty") << QString() << int(RowCountChange::Ignore) << 0;
    QTest::newRow("9") << QStringLiteral("9") << int(RowCountChange::Apply) << 9;
    QTest::newRow("500") << QStringLiteral("500") << int(RowCountChange::Apply) << 500;
    QTest::newRow("900") << QStringLiteral("900") << int(RowCountChange::Ignore) << 900;
    QTest::newRow("0") << QStringLiteral("0") << int(RowCountChange::Ignore) << 0;
    QTest::newRow("lone sign") << QStringLiteral("-") << int(RowCountChange::ReplaceWithMinimum) << 1;
    QTest::newRow("point") << QStringLiteral("1.5") << int(RowCountChange::ReplaceWithMinimum) << 1;
    QTest::newRow("plus") << QStringLiteral("+7") << int(RowCountChange::Apply) << 7;
}

void TestGridModel::rowCountText()
{
    QFETCH(QString, text);
    const RowCountChange change = InterpretRowCountText(text);
    QTEST(int(change.action), "action");
    if (change.action != RowCountChange::Ignore || !text.isEmpty())
        QTEST(change.value, "value");
}

QTEST_APPLESS_MAIN(TestGridModel)
#include "tst_gridmodel.moc"
