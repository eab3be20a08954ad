#include "core/records.h"
#include "core/settings.h"
#include "core/textcodec.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Ordavex;

Q_DECLARE_METATYPE(Ordavex::RecordColumns)

namespace {

const RecordColumns Defaults;

// A line as the timing machine sends it: code page 932 bytes of the text.
QByteArray Line(const QString &text)
{
    return Cp932::encode(text);
}

QString RowText(const GridRow &row)
{
    return row[0] + u'|' + row[1] + u'|' + row[2];
}

QStringList RowTexts(const QList<GridRow> &rows)
{
    QStringList texts;
    for (const GridRow &row : rows)
        texts << RowText(row);
    return texts;
}

// Fields "f0,f1,...,f<count-1>" whose digits tell their number: field k is k repeated.
QByteArray NumberedFields(int count)
{
    QByteArray line;
    for (int k = 0; k < count; ++k) {
        if (k > 0)
            line += ',';
        line += QByteArray::number(k).repeated(2);
    }
    return line;
}

} // namespace

class TestRecords final : public QObject
{
    Q_OBJECT

private slots:
    void columnsFromSettings();
    void trimmedLine_data();
    void trimmedLine();
    void splitRecordToRow_data();
    void splitRecordToRow();
    void longFieldKeepsFirstDigits();
    void formatLogRow_data();
    void formatLogRow();
    void gridAndLogReadTheSameFields();
    void parseWind_data();
    void parseWind();
    void logWindCode_data();
    void logWindCode();
    void noLineQualifies_data();
    void noLineQualifies();
    void importLines_data();
    void importLines();
    void importKeepsPlacesAsReceived();
    void importReadsLongLinesWhole();
};

void TestRecords::columnsFromSettings()
{
    Settings settings;
    QCOMPARE(RecordColumnsFrom(settings), Defaults);
    settings.cPlace = 0;
    settings.cLane = 5;
    settings.cTime = 8;
    settings.cZekken = 7;
    QCOMPARE(RecordColumnsFrom(settings), (RecordColumns{0, 5, 8, 7}));
}

void TestRecords::trimmedLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("trimmed");

    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("blanks only") << QByteArray(" \t\r\x01 ") << QByteArray();
    QTest::newRow("control bytes and blanks")
        << QByteArray("\x00\x1f +1.2, 3  \x7f\t", 14) << QByteArray("+1.2, 3  \x7f");
    QTest::newRow("bytes above 127 stay") << QByteArray("\xb1\xb2 ") << QByteArray("\xb1\xb2");
}

void TestRecords::trimmedLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(TrimmedLine(line).toByteArray(), trimmed);
}

void TestRecords::splitRecordToRow_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<RecordColumns>("columns");
    QTest::addColumn<QString>("row");

    QTest::newRow("defaults") << QByteArray("R,1,3,123,12.34") << Defaults << u"1|3|1234"_s;
    QTest::newRow("minutes") << QByteArray("R,1,3,123,1:02.34") << Defaults << u"1|3|10234"_s;
    QTest::newRow("tabs") << QByteArray("R\t2\t5\t77\t10.05") << Defaults << u"2|5|1005"_s;
    QTest::newRow("tabs and commas") << QByteArray("R\t2,5\t77,10.05") << Defaults << u"2|5|1005"_s;
    QTest::newRow("blanks, signs and quotes dropped")
        << QByteArray(" \"R\" , \" 1 \",+3 ,x12y3, 12.34 ") << Defaults << u"1|3|1234"_s;
    QTest::newRow("absent fields") << QByteArray("R,1") << Defaults << u"1||"_s;
    QTest::newRow("empty line") << QByteArray() << Defaults << u"||"_s;
    QTest::newRow("no separator, place 0") << QByteArray("12.34") << RecordColumns{0, 1, 2, 3} << u"1234||"_s;
    QTest::newRow("no separator, defaults") << QByteArray("12.34") << Defaults << u"||"_s;
    QTest::newRow("empty fields between separators") << QByteArray(",,,,9") << Defaults << u"||9"_s;
    QTest::newRow("japanese text dropped")
        << Line(u"R,1,3,山田ﾀﾛｳ,12.34"_s) << RecordColumns{1, 2, 3, 4} << u"1|3|"_s;
    QTest::newRow("japanese around digits") << Line(u"着,１位1,3,a,記録12.34秒"_s) << Defaults << u"1|3|1234"_s;
    // Field 9 is the last one read: fields 10 and 11 are not there.
    QTest::newRow("12 fields, field 9") << NumberedFields(12) << RecordColumns{9, 0, 8, 3} << u"99|00|88"_s;
    QTest::newRow("12 fields, fields 10 and 11") << NumberedFields(12) << RecordColumns{10, 11, 9, 3} << u"||99"_s;
    QTest::newRow("negative field numbers") << NumberedFields(12) << RecordColumns{-1, -100, 1, 3} << u"||11"_s;
    QTest::newRow("huge field numbers") << NumberedFields(3) << RecordColumns{2147483647, 9, 1, 3} << u"||11"_s;
}

void TestRecords::splitRecordToRow()
{
    QFETCH(QByteArray, line);
    QFETCH(RecordColumns, columns);
    QFETCH(QString, row);
    QCOMPARE(RowText(SplitRecordToRow(line, columns)), row);
}

// A field of more than 254 digits keeps its first 254, and the fields after it are
// still read.
void TestRecords::longFieldKeepsFirstDigits()
{
    const QByteArray digits = QByteArray("1234567890").repeated(40);
    const QByteArray line = "R," + digits + ",3,x," + digits.left(254) + "5";
    const GridRow row = SplitRecordToRow(line, Defaults);
    QCOMPARE(row[0], QString::fromLatin1(digits.left(254)));
    QCOMPARE(row[1], u"3"_s);
    QCOMPARE(row[2], QString::fromLatin1(digits.left(254)));

    const GridRow exact = SplitRecordToRow("R,1,3,x," + digits.left(254), Defaults);
    QCOMPARE(exact[2], QString::fromLatin1(digits.left(254)));
}

void TestRecords::formatLogRow_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<RecordColumns>("columns");
    QTest::addColumn<QByteArray>("row");

    QTest::newRow("defaults") << QByteArray("R,1,3,123,12.34") << Defaults
                              << QByteArray("\"1\",\"3\",\"12.34\",\"123\"");
    QTest::newRow("minutes keep the point") << QByteArray("R,1,3,123,1:02.34") << Defaults
                                            << QByteArray("\"1\",\"3\",\"102.34\",\"123\"");
    QTest::newRow("absent fields") << QByteArray("R,1") << Defaults << QByteArray("\"1\",\"\",\"\",\"\"");
    QTest::newRow("empty line") << QByteArray() << Defaults << QByteArray("\"\",\"\",\"\",\"\"");
    QTest::newRow("tabs, blanks, letters") << QByteArray("R\t 2 \t5\tNo.77\t10.05s") << Defaults
                                           << QByteArray("\"2\",\"5\",\"10.05\",\".77\"");
    QTest::newRow("japanese dropped") << Line(u"着,1位,3,ｾﾞｯｹﾝ12,12.34秒"_s) << Defaults
                                      << QByteArray("\"1\",\"3\",\"12.34\",\"12\"");
    QTest::newRow("12 fields") << NumberedFields(12) << RecordColumns{10, 11, 9, 0}
                               << QByteArray("\"\",\"\",\"99\",\"00\"");
    QTest::newRow("field numbers out of range") << NumberedFields(4) << RecordColumns{-1, 1, 42, 3}
                                                << QByteArray("\"\",\"11\",\"\",\"33\"");

    // Only the first 254 bytes of the line count: a field that starts beyond them is
    // absent, one that runs over the cut loses its end.
    const QByteArray pad = QByteArray("x").repeated(250);
    QTest::newRow("cut at 254: field beyond") << QByteArray("R,1,3," + pad + ",12.34") << Defaults
                                              << QByteArray("\"1\",\"3\",\"\",\"\"");
    QTest::newRow("cut at 254: field across") << QByteArray("R,1,3,12" + pad.left(241) + ",12.34")
                                              << Defaults << QByteArray("\"1\",\"3\",\"12.3\",\"12\"");
    QTest::newRow("cut at 254: long time") << QByteArray("R,1,3,4," + QByteArray("9").repeated(300))
                                           << Defaults
                                           << QByteArray("\"1\",\"3\",\"" + QByteArray("9").repeated(246)
                                                         + "\",\"4\"");
}

void TestRecords::formatLogRow()
{
    QFETCH(QByteArray, line);
    QFETCH(RecordColumns, columns);
    QFETCH(QByteArray, row);
    QCOMPARE(FormatLogRow(line, columns), row);
}

// The grid and the log row read the same fields: the grid's digits are the log's text
// without its points.
void TestRecords::gridAndLogReadTheSameFields()
{
    const QList<QByteArray> lines{"R,1,3,123,12.34", "R\t2\t5\t77\t1:10.05", "9,,,", "x", ",,,,,,,,,,,,",
                                  Line(u"位,1位,ﾚｰﾝ3,b,2:01.3秒"_s)};
    for (const QByteArray &line : lines) {
        const QList<QByteArray> log = FormatLogRow(line, Defaults).split(',');
        QCOMPARE(log.size(), 4);
        const GridRow row = SplitRecordToRow(line, Defaults);
        for (int column = 0; column < 3; ++column)
            QCOMPARE(QString::fromLatin1(QByteArray(log[column]).replace('"', "").replace('.', "")), row[size_t(column)]);
    }
}

void TestRecords::parseWind_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("wind");

    QTest::newRow("+1.2") << QByteArray("+1.2") << u"+1.2"_s;
    QTest::newRow("plus, blank, 1.2") << QByteArray("+ 1.2") << u"+1.2"_s;
    QTest::newRow("+1.23") << QByteArray("+1.23") << u"+1.2"_s;
    QTest::newRow("+1.27") << QByteArray("+1.27") << u"+1.3"_s;
    QTest::newRow("-0.5") << QByteArray("-0.5") << u"-0.5"_s;
    QTest::newRow("+0.0") << QByteArray("+0.0") << u"+0.0"_s;
    QTest::newRow("+10.5 in full") << QByteArray("+10.5") << u"+10.5"_s;
    QTest::newRow("only five characters") << QByteArray("+1.2345") << u"+1.2"_s;
    QTest::newRow("blanks take the place of digits") << QByteArray("+  1.2") << u"+1.0"_s;
    QTest::newRow("trailing text after five") << QByteArray("+2.0 m/s") << u"+2.0"_s;
    QTest::newRow("+98.9") << QByteArray("+98.9") << u"+98.9"_s;
    QTest::newRow("+99.0 too large") << QByteArray("+99.0") << QString();
    QTest::newRow("-99.9 too large") << QByteArray("-99.9") << QString();
    QTest::newRow("98.96 rounds to 99") << QByteArray("98.96") << QString();
    QTest::newRow("-98.94") << QByteArray("-98.94") << u"-98.9"_s;
    QTest::newRow("+1e30") << QByteArray("+1e30") << QString();
    QTest::newRow("+9e99") << QByteArray("+9e99") << QString();
    QTest::newRow("+1e-5") << QByteArray("+1e-5") << u"+0.0"_s;
    QTest::newRow("not a number") << QByteArray("+abc") << QString();
    QTest::newRow("sign alone") << QByteArray("+") << QString();
    QTest::newRow("comma inside") << QByteArray("+1,2") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("japanese") << Line(u"+風1.2"_s) << QString();
}

void TestRecords::parseWind()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, wind);
    QCOMPARE(ParseWind(line), wind);
}

void TestRecords::logWindCode_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code");

    QTest::newRow("+1.2") << QByteArray("+1.2") << 112;
    QTest::newRow("-0.3") << QByteArray("-0.3") << 903;
    QTest::newRow("+12.5") << QByteArray("+12.5") << 1125;
    QTest::newRow("-99.9") << QByteArray("-99.9") << 9999;
    QTest::newRow("+0.0") << QByteArray("+0.0") << 100;
    QTest::newRow("blank inside") << QByteArray("+ 1.2") << 112;
    QTest::newRow("only five characters") << QByteArray("+1.2345") << 1123;
    QTest::newRow("no sign or digit") << QByteArray("abc") << 9999;
    QTest::newRow("empty") << QByteArray() << 9999;
    QTest::newRow("digits beyond five") << QByteArray("wind: +1.2") << 9999;
    QTest::newRow("signs anywhere") << QByteArray("-+-+-") << 91919;
    QTest::newRow("japanese") << Line(u"風+1.2"_s) << 11;
}

void TestRecords::logWindCode()
{
    QFETCH(QByteArray, line);
    QFETCH(int, code);
    QCOMPARE(LogWindCode(line), code);
}

void TestRecords::noLineQualifies_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("rule");
    QTest::addColumn<int>("minBuffLen");
    QTest::addColumn<bool>("none");

    const QList<QByteArray> noComma{"123", "  +1.2  ", ""};
    QTest::newRow("comma: empty list") << QList<QByteArray>() << 0 << 0 << true;
    QTest::newRow("comma: none") << noComma << 0 << 0 << true;
    QTest::newRow("comma: one line") << (noComma + QList<QByteArray>{"1,2"}) << 0 << 0 << false;
    QTest::newRow("comma: a lone comma") << QList<QByteArray>{"\t , \r"} << 0 << 0 << false;
    QTest::newRow("comma: tab is no comma") << QList<QByteArray>{"1\t2\t3"} << 0 << 0 << true;

    QTest::newRow("length: empty list") << QList<QByteArray>() << 1 << 0 << true;
    QTest::newRow("length 5: all at most 5") << QList<QByteArray>{"12345", "  1,2,3  ", "\t\t12345\r"} << 1 << 5 << true;
    QTest::newRow("length 5: one of 6") << QList<QByteArray>{"12345", " 123456 "} << 1 << 5 << false;
    QTest::newRow("length 0: one character") << QList<QByteArray>{"  1  "} << 1 << 0 << false;
    QTest::newRow("length 0: blank lines") << QList<QByteArray>{"   ", ""} << 1 << 0 << true;
    QTest::newRow("length 10: 11 bytes") << QList<QByteArray>{Line(u"ﾚｰﾝ12345678"_s)} << 1 << 10 << false;

    QTest::newRow("other rule") << QList<QByteArray>{"1,2,3,4,5"} << 2 << 0 << true;
}

void TestRecords::noLineQualifies()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, rule);
    QFETCH(int, minBuffLen);
    QFETCH(bool, none);
    QCOMPARE(Ordavex::NoLineQualifies(lines, rule, minBuffLen), none);
}

void TestRecords::importLines_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QString>("wind");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("nothing") << QList<QByteArray>() << QString() << QStringList();
    QTest::newRow("records")
        << QList<QByteArray>{"R,1,3,123,12.34", "R,2,5,124,12.56"} << QString() << QStringList{u"1|3|1234"_s, u"2|5|1256"_s};
    QTest::newRow("wind and records")
        << QList<QByteArray>{"+1.2", "R,1,3,123,12.34", "R,2,5,124,12.56"} << u"+1.2"_s
        << QStringList{u"1|3|1234"_s, u"2|5|1256"_s};
    QTest::newRow("only a wind line") << QList<QByteArray>{"-0.5"} << u"-0.5"_s << QStringList();
    QTest::newRow("wind line not a number") << QList<QByteArray>{"+x", "R,1,3,1,9.99"} << QString()
                                            << QStringList{u"1|3|999"_s};
    QTest::newRow("blank lines leave no gaps")
        << QList<QByteArray>{"", "R,1,3,123,12.34", "   ", "\t\r", "R,2,5,124,12.56", ""} << QString()
        << QStringList{u"1|3|1234"_s, u"2|5|1256"_s};
    QTest::newRow("wind line later is a record")
        << QList<QByteArray>{"R,1,3,123,12.34", "+1.2"} << QString() << QStringList{u"1|3|1234"_s, u"||"_s};
    QTest::newRow("wind line with a field later is a record")
        << QList<QByteArray>{"R,1,3,123,12.34", "+1.2,7"} << QString() << QStringList{u"1|3|1234"_s, u"7||"_s};
    QTest::newRow("blank before the sign")
        << QList<QByteArray>{" +1.2", "R,1,3,123,12.34"} << QString() << QStringList{u"||"_s, u"1|3|1234"_s};
    QTest::newRow("second wind line") << QList<QByteArray>{"+1.2", "-0.5,3"} << u"+1.2"_s << QStringList{u"3||"_s};
    QTest::newRow("a line without separators")
        << QList<QByteArray>{"12.34"} << QString() << QStringList{u"||"_s};
}

void TestRecords::importLines()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QString, wind);
    QFETCH(QStringList, rows);
    const ImportedHeat heat = ImportLines(lines, Defaults);
    QCOMPARE(heat.wind, wind);
    QCOMPARE(RowTexts(heat.rows), rows);
}

// Ties, empty places and places out of order come back as sent: the grid shows what the
// timing machine said.
void TestRecords::importKeepsPlacesAsReceived()
{
    const QList<QByteArray> lines{"+0.3", "R,1,4,11,10.01", "R,2,5,12,10.20", "R,2,3,13,10.20", "R,,6,14,10.50",
                                  "R,7,2,15,11.00"};
    const ImportedHeat heat = ImportLines(lines, Defaults);
    QCOMPARE(heat.wind, u"+0.3"_s);
    QCOMPARE(RowTexts(heat.rows),
             (QStringList{u"1|4|1001"_s, u"2|5|1020"_s, u"2|3|1020"_s, u"|6|1050"_s, u"7|2|1100"_s}));
}

// A line far wider than the monitor shows is one record, not several.
void TestRecords::importReadsLongLinesWhole()
{
    const QByteArray line = "R,1,3,123,12.34,"
        + Cp932::encode(u"ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名ﾁｰﾑ名"_s) + ",ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const ImportedHeat heat = ImportLines({line, "R,2,5,124,12.56"}, Defaults);
    QCOMPARE(RowTexts(heat.rows), (QStringList{u"1|3|1234"_s, u"2|5|1256"_s}));
}

QTEST_APPLESS_MAIN(TestRecords)
#include "tst_records.moc"
