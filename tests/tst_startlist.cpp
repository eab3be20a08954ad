// Start lists: the columns found by their headings in any order, the files of modern
// exports (UTF-8 with its mark) as well as code page 932, and every file that would put
// a wrong name beside a result refused with the line that is wrong.

#include "core/startlist.h"
#include "core/textcodec.h"

#include <QTest>

using namespace Ordavex;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Ordavex::Starter)

class TestStartList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void bounds();
    void pathOfARace_data();
    void pathOfARace();
};

void TestStartList::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<Starter>>("starters");
    QTest::addColumn<QString>("error");   // empty: read

    const QByteArray heading = Cp932::encode(u"ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属\r\n"_s);
    QTest::newRow("code page 932")
        << heading + Cp932::encode(u"4,1052,山田 太郎,東京陸協\r\n5,,佐藤 花子,\r\n"_s)
        << QList<Starter>{{4, 1052, u"山田 太郎"_s, u"東京陸協"_s}, {5, -1, u"佐藤 花子"_s, {}}} << QString();
    QTest::newRow("UTF-8 with its mark, columns in another order, one more")
        << QByteArray("\xEF\xBB\xBF") + u"氏名,所属,備考,ナンバー\n鈴木 一郎,大阪,,7\n"_s.toUtf8()
        << QList<Starter>{{-1, 7, u"鈴木 一郎"_s, u"大阪"_s}} << QString();
    QTest::newRow("quotes keep commas, doubled quotes, blanks, empty lines")
        << heading + Cp932::encode(u" \"3\" , , \"Smith, \"\"J\"\"\" , Club \r\n\r\n"_s)
        << QList<Starter>{{3, -1, u"Smith, \"J\""_s, u"Club"_s}} << QString();
    QTest::newRow("no heading") << Cp932::encode(u"4,1052,山田,東京\r\n"_s) << QList<Starter>{}
                                << StartListNoHeading;
    QTest::newRow("empty file") << QByteArray() << QList<Starter>{} << StartListNoHeading;
    QTest::newRow("neither lane nor number") << heading + Cp932::encode(u",,山田,東京\r\n"_s) << QList<Starter>{}
                                             << StartListNoLaneOrNumber.arg(2);
    QTest::newRow("a lane that is no number") << heading + Cp932::encode(u"4a,,山田,\r\n"_s) << QList<Starter>{}
                                              << StartListBadValue.arg(2).arg(MaxStartListValue);
    QTest::newRow("a negative number") << heading + Cp932::encode(u",-5,山田,\r\n"_s) << QList<Starter>{}
                                       << StartListBadValue.arg(2).arg(MaxStartListValue);
    QTest::newRow("a lane twice") << heading + Cp932::encode(u"4,1,山田,\r\n4,2,佐藤,\r\n"_s) << QList<Starter>{}
                                  << StartListTwice.arg(3).arg(u"ﾚｰﾝ"_s).arg(4).arg(2);
    QTest::newRow("a number twice") << heading + Cp932::encode(u"4,1,山田,\r\n5,1,佐藤,\r\n"_s) << QList<Starter>{}
                                    << StartListTwice.arg(3).arg(u"ﾅﾝﾊﾞｰ"_s).arg(1).arg(2);
}

void TestStartList::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<Starter>, starters);
    QFETCH(QString, error);
    const StartListRead read = ParseStartList(bytes);
    QCOMPARE(read.error, error);
    QCOMPARE(read.list.has_value(), error.isEmpty());
    if (read.list)
        QCOMPARE(read.list->starters, starters);
}

// Lines, bytes and field length have a limit each; one past it is refused.
void TestStartList::bounds()
{
    const QByteArray heading = Cp932::encode(u"ﾚｰﾝ,氏名\r\n"_s);
    QByteArray lines = heading;
    for (int i = 1; i < MaxStartListLines; ++i)
        lines += ",N\r\n";
    // Lines with no lane fail on their values, not on their count: the count comes first.
    QCOMPARE(ParseStartList(lines + ",N\r\n").error, StartListTooManyLines.arg(MaxStartListLines));
    QCOMPARE(ParseStartList(QByteArray(MaxStartListBytes + 1, ' ')).error, StartListTooLarge);
    const QByteArray longest = heading + "1," + QByteArray(MaxStartListFieldLength, 'N') + "\r\n";
    QVERIFY(ParseStartList(longest).list.has_value());
    QCOMPARE(ParseStartList(heading + "1," + QByteArray(MaxStartListFieldLength + 1, 'N') + "\r\n").error,
             StartListFieldTooLong.arg(2).arg(MaxStartListFieldLength));
    const StartListRead read = ParseStartList(heading + "4,山田\r\n");
    QVERIFY(read.list && read.list->byLane(4) && !read.list->byLane(5) && !read.list->byNumber(4));
}

void TestStartList::pathOfARace_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("startList");
    QTest::newRow("race name") << u"/meet/001)男子100m予選1組"_s << u"/meet/startlists/001)男子100m予選1組.csv"_s;
    QTest::newRow("saved with a wind code") << u"/meet/R1w_112.csv"_s << u"/meet/startlists/R1.csv"_s;
}

void TestStartList::pathOfARace()
{
    QFETCH(QString, target);
    QFETCH(QString, startList);
    QCOMPARE(StartListPath(target), startList);
}

QTEST_GUILESS_MAIN(TestStartList)
#include "tst_startlist.moc"
