// Cursor movement on Enter, the rows that autoInc adds and removes, and the value of
// the row-count field.

#include "core/entryrules.h"

#include <QTest>

using namespace Ordavex;

Q_DECLARE_METATYPE(Ordavex::CellPosition)

namespace QTest {
template <>
char *toString(const Ordavex::CellPosition &at)
{
    return qstrdup(QByteArray("(" + QByteArray::number(at.col) + ", " + QByteArray::number(at.row) + ")").constData());
}
} // namespace QTest

class TestEntryRules final : public QObject
{
    Q_OBJECT

private slots:
    void enter_data();
    void enter();
    void upRemovesLastRow_data();
    void upRemovesLastRow();
    void rowCountFieldValue_data();
    void rowCountFieldValue();
};

void TestEntryRules::enter_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<bool>("autoInc");
    QTest::addColumn<bool>("addRow");
    QTest::addColumn<CellPosition>("cursor");

    // Eight data rows (row count 9) unless said otherwise.
    QTest::newRow("horizontal 1 not last") << false << 1 << 3 << 9 << true << false << CellPosition{2, 3};
    QTest::newRow("horizontal 1 last autoInc") << false << 1 << 8 << 9 << true << false << CellPosition{2, 8};
    QTest::newRow("horizontal 1 last") << false << 1 << 8 << 9 << false << false << CellPosition{2, 8};
    QTest::newRow("horizontal 2 not last") << false << 2 << 3 << 9 << true << false << CellPosition{1, 4};
    QTest::newRow("horizontal 2 last autoInc") << false << 2 << 8 << 9 << true << false << CellPosition{2, 8};
    QTest::newRow("horizontal 2 last") << false << 2 << 8 << 9 << false << false << CellPosition{2, 8};
    QTest::newRow("vertical 1 not last") << true << 1 << 3 << 9 << true << false << CellPosition{1, 4};
    QTest::newRow("vertical 1 last autoInc") << true << 1 << 8 << 9 << true << true << CellPosition{1, 9};
    QTest::newRow("vertical 1 last") << true << 1 << 8 << 9 << false << false << CellPosition{1, 8};
    QTest::newRow("vertical 2 not last") << true << 2 << 3 << 9 << true << false << CellPosition{2, 4};
    QTest::newRow("vertical 2 last autoInc") << true << 2 << 8 << 9 << true << false << CellPosition{2, 8};
    QTest::newRow("vertical 2 last") << true << 2 << 8 << 9 << false << false << CellPosition{2, 8};
    QTest::newRow("one row, vertical 1 autoInc") << true << 1 << 1 << 2 << true << true << CellPosition{1, 2};
    QTest::newRow("one row, horizontal 2") << false << 2 << 1 << 2 << true << false << CellPosition{2, 1};
    QTest::newRow("500 rows: none added") << true << 1 << 500 << 501 << true << false << CellPosition{1, 500};
    QTest::newRow("499 rows: the 500th") << true << 1 << 499 << 500 << true << true << CellPosition{1, 500};
}

void TestEntryRules::enter()
{
    QFETCH(bool, vertical);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(int, rowCount);
    QFETCH(bool, autoInc);
    QFETCH(bool, addRow);
    QFETCH(CellPosition, cursor);

    const EnterMove move = PlanEnter({col, row}, rowCount, vertical, autoInc, 500);
    QCOMPARE(move.addRow, addRow);
    QCOMPARE(move.cursor, cursor);
    // The two steps the window takes one after the other give the same.
    const bool adds = EnterAddsRow({col, row}, rowCount, vertical, autoInc) && rowCount < 501;
    QCOMPARE(adds, addRow);
    QCOMPARE(CursorAfterEnter({col, row}, adds ? rowCount + 1 : rowCount, vertical), cursor);
}

void TestEntryRules::upRemovesLastRow_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("autoInc");
    QTest::addColumn<QString>("lane");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("removes");

    // Nine data rows (row count 10); the cursor is where the arrow put it.
    QTest::newRow("above empty last row") << 1 << 8 << true << QString() << QString() << true;
    QTest::newRow("without autoInc") << 1 << 8 << false << QString() << QString() << false;
    QTest::newRow("time column") << 2 << 8 << true << QString() << QString() << false;
    QTest::newRow("lane typed") << 1 << 8 << true << QStringLiteral("3") << QString() << false;
    QTest::newRow("time typed") << 1 << 8 << true << QString() << QStringLiteral("1052") << false;
    QTest::newRow("two rows up") << 1 << 7 << true << QString() << QString() << false;
    QTest::newRow("on the last row") << 1 << 9 << true << QString() << QString() << false;
}

void TestEntryRules::upRemovesLastRow()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(bool, autoInc);
    QFETCH(QString, lane);
    QFETCH(QString, time);
    QFETCH(bool, removes);
    QCOMPARE(UpRemovesLastRow({col, row}, 10, autoInc, lane, time), removes);
}

void TestEntryRules::rowCountFieldValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    // The grid has 8 data rows.
    QTest::newRow("number") << QStringLiteral("12") << 12;
    QTest::newRow("empty: the grid's rows") << QString() << 8;
    QTest::newRow("lone sign: the grid's rows") << QStringLiteral("-") << 8;
    QTest::newRow("point: the grid's rows") << QStringLiteral("1.") << 8;
    QTest::newRow("above the range") << QStringLiteral("900") << 500;
    QTest::newRow("zero") << QStringLiteral("0") << 1;
    QTest::newRow("signed") << QStringLiteral("+3") << 3;
}

void TestEntryRules::rowCountFieldValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(RowCountFieldValue(text, 8, 500), value);
}

QTEST_APPLESS_MAIN(TestEntryRules)
#include "tst_entryrules.moc"
