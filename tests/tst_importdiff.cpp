// The differences listed before a received heat replaces typed rows.

#include "core/importdiff.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Ordavex;

namespace {

// Rows written "lane/time" as the grid shows them.
QList<ShownRow> Rows(const QStringList &texts)
{
    QList<ShownRow> rows;
    for (const QString &text : texts) {
        const qsizetype slash = text.indexOf(u'/');
        rows.append({text.left(slash), text.mid(slash + 1)});
    }
    return rows;
}

// Places 1 to count, lane 1 to count, the time told by the place and the offset.
QStringList Numbered(int count, int offset)
{
    QStringList rows;
    for (int i = 1; i <= count; ++i)
        rows << QString::number(i) + u"/1"_s + QString::number(i + offset) + u".00"_s;
    return rows;
}

// The line of place i where Numbered rows differ: "(なし)" for an offset of -1.
QString NumberedLine(int i, int before, int after)
{
    const auto side = [i](int offset) {
        return offset < 0 ? u"(なし)"_s : QString::number(i) + u" 1"_s + QString::number(i + offset) + u".00"_s;
    };
    return QString::number(i) + u"位: "_s + side(before) + u" → "_s + side(after);
}

const QStringList Typed{u"3/10.52"_s, u"4/10.58"_s, u"5/10.61"_s};

} // namespace

class TestImportDiff final : public QObject
{
    Q_OBJECT

private slots:
    void differences_data();
    void differences();
};

void TestImportDiff::differences_data()
{
    QTest::addColumn<QString>("typedWind");
    QTest::addColumn<QStringList>("typedRows");
    QTest::addColumn<QString>("receivedWind");
    QTest::addColumn<QStringList>("receivedRows");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("same heat") << u"+1.2"_s << Typed << u"+1.2"_s << Typed << QStringList{MsgImportSame};
    QTest::newRow("outer blanks are no difference")
        << u"+1.2"_s << QStringList{u"3/ 1:05.23"_s} << u" +1.2"_s << QStringList{u"3/1:05.23"_s}
        << QStringList{MsgImportSame};
    QTest::newRow("one time changed")
        << u"+1.2"_s << Typed << u"+1.2"_s << QStringList{u"3/10.52"_s, u"4/10.58"_s, u"5/10.63"_s}
        << QStringList{u"3位: 5 10.61 → 5 10.63"_s};
    QTest::newRow("a lane changed")
        << QString() << Typed << QString() << QStringList{u"3/10.52"_s, u"6/10.58"_s, u"5/10.61"_s}
        << QStringList{u"2位: 4 10.58 → 6 10.58"_s};
    QTest::newRow("typed has more rows")
        << QString() << Typed << QString() << QStringList{u"3/10.52"_s}
        << QStringList{u"2位: 4 10.58 → (なし)"_s, u"3位: 5 10.61 → (なし)"_s};
    QTest::newRow("received has more rows")
        << QString() << QStringList{u"3/10.52"_s} << QString() << Typed
        << QStringList{u"2位: (なし) → 4 10.58"_s, u"3位: (なし) → 5 10.61"_s};
    // The grid keeps its row count: empty rows there are no rows.
    QTest::newRow("empty typed rows")
        << QString() << QStringList{u"3/10.52"_s, u"/"_s, u"/"_s, u"/"_s} << QString()
        << QStringList{u"3/10.52"_s, u"4/10.58"_s} << QStringList{u"2位: (なし) → 4 10.58"_s};
    QTest::newRow("one field empty")
        << QString() << QStringList{u"3/"_s, u"/10.58"_s} << QString() << QStringList{u"3/10.52"_s, u"4/10.58"_s}
        << QStringList{u"1位: 3 - → 3 10.52"_s, u"2位: - 10.58 → 4 10.58"_s};
    QTest::newRow("wind differs")
        << u"+1.2"_s << Typed << u"+0.8"_s << Typed << QStringList{u"風: +1.2 → +0.8"_s};
    QTest::newRow("wind received only")
        << QString() << Typed << u"-0.3"_s << Typed << QStringList{u"風: (なし) → -0.3"_s};

    QStringList twenty;
    QStringList receivedOnly;
    for (int i = 1; i <= 20; ++i) {
        twenty << NumberedLine(i, 0, 1);
        receivedOnly << NumberedLine(i, -1, 0);
    }
    QTest::newRow("twenty differences all shown")
        << QString() << Numbered(20, 0) << QString() << Numbered(20, 1) << twenty;
    QTest::newRow("more than twenty differences")
        << QString() << Numbered(25, 0) << QString() << Numbered(25, 1) << twenty + QStringList{u"ほか5件"_s};
    QStringList windAndNineteen{u"風: +1.2 → +0.8"_s};
    windAndNineteen += twenty.first(19);
    QTest::newRow("the wind counts among the twenty")
        << u"+1.2"_s << Numbered(20, 0) << u"+0.8"_s << Numbered(20, 1) << windAndNineteen + QStringList{u"ほか1件"_s};
    QTest::newRow("more received rows than the grid holds")
        << QString() << QStringList() << QString() << Numbered(600, 0) << receivedOnly + QStringList{u"ほか580件"_s};

    const QString digits40 = u"1234567890"_s.repeated(4);
    QTest::newRow("long fields cut short")
        << QString() << QStringList{u"5/10.61"_s} << digits40 << QStringList{digits40 + u'/' + digits40}
        << QStringList{u"風: (なし) → 123456789012345…"_s, u"1位: 5 10.61 → 123456789012345… 123456789012345…"_s};
    QTest::newRow("a difference past the cut is listed")
        << QString() << QStringList{digits40 + u"/1"_s} << QString() << QStringList{digits40 + u"9/1"_s}
        << QStringList{u"1位: 123456789012345… 1 → 123456789012345… 1"_s};
    QTest::newRow("no half character at the cut")
        << QString() << QStringList() << QString() << QStringList{u"12345678901234😀x/1"_s}
        << QStringList{u"1位: (なし) → 12345678901234… 1"_s};
    QTest::newRow("a field adds no line")
        << QString() << QStringList() << QString() << QStringList{u"5\n6/1\r\n2"_s}
        << QStringList{u"1位: (なし) → 5 6 1  2"_s};
    QTest::newRow("a field is not a place marker")
        << QString() << QStringList{u"%2/%3"_s} << QString() << QStringList{u"%1/1"_s}
        << QStringList{u"1位: %2 %3 → %1 1"_s};
}

void TestImportDiff::differences()
{
    QFETCH(QString, typedWind);
    QFETCH(QStringList, typedRows);
    QFETCH(QString, receivedWind);
    QFETCH(QStringList, receivedRows);
    QFETCH(QStringList, lines);
    QCOMPARE(ImportDifferences({typedWind, Rows(typedRows)}, {receivedWind, Rows(receivedRows)}), lines);
}

QTEST_APPLESS_MAIN(TestImportDiff)
#include "tst_importdiff.moc"
