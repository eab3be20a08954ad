#include "filesizelimit.h"
#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "core/runtimeerror.h"
#include "core/textcodec.h"
#include "core/timerules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using namespace Ordavex;

namespace {

// Rows written as "col0|col1|col2", heading row first.
void FillGrid(ResultGrid &grid, const QStringList &rows)
{
    grid.setGridRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        const QStringList cells = rows[row].split(u'|');
        for (int col = 0; col < ResultGrid::ColCount; ++col)
            grid.setCell(col, row, cells.value(col));
    }
}

QStringList GridRows(const ResultGrid &grid)
{
    QStringList rows;
    for (int row = 0; row < grid.gridRowCount(); ++row)
        rows.append(grid.cell(0, row) + u'|' + grid.cell(1, row) + u'|' + grid.cell(2, row));
    return rows;
}

// A grid that has held another heat: every text that survives a read shows up as "x".
void FillUsedGrid(ResultGrid &grid)
{
    FillGrid(grid, QStringList(7, u"x|x|x"_s));
}

const QStringList ExampleRows{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s, u"2|5|1061"_s, u"3|3|10275"_s};

QByteArray Latin(const char *text)
{
    return QByteArray(text);
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestResultFile final : public QObject
{
    Q_OBJECT

private slots:
    void exampleHeatBytes();
    void headingRowWrittenAsStored();
    void roundTrip_data();
    void roundTrip();

    void readText_data();
    void readText();
    void lineLimit_data();
    void lineLimit();
    void readMissingFile();
    void digitsValue_data();
    void digitsValue();

    void windFromPath_data();
    void windFromPath();
    void proposedFileName_data();
    void proposedFileName();

    void checkNumbers_data();
    void checkNumbers();
    void checkNumbersRefusesNonInteger();
    void checkTimes_data();
    void checkTimes();
    void writerRefusesWhatWouldNotReopen_data();
    void writerRefusesWhatWouldNotReopen();
    void headingsSurviveSaving_data();
    void headingsSurviveSaving();
    void trimIncompleteRows_data();
    void trimIncompleteRows();
    void fillAndClear();
    void noStaleRowsAfterRead_data();
    void noStaleRowsAfterRead();
    void readGrowsGridOnce();

    void writeIntoReadOnlyFolder();
    void writeOverReadOnlyFile();
    void writeOverDirectory();
    void failedWriteKeepsExistingFile();
    void hugeFileRefusedUnread();
    void fifoRefused();

    void iconvReadsSavedFile();
    void pythonCsvReadsSavedFile();

private:
    QTemporaryDir m_dir;
};

void TestResultFile::exampleHeatBytes()
{
    ResultGrid grid;
    FillGrid(grid, ExampleRows);
    const QByteArray expected = QByteArray::fromHex("228f8788ca222c22dab0dd222c22c0b2d1220d0a")
        + Latin("\"1\",\"4\",\"10.52\"\r\n"
                "\"2\",\"5\",\"10.61\"\r\n"
                "\"3\",\"3\",\" 1:02.75\"\r\n");
    QCOMPARE(ResultFileBytes(grid, true, true), expected);
}

void TestResultFile::headingRowWrittenAsStored()
{
    // Swapped headings, a time that is not a number and a heading that is digits.
    ResultGrid grid;
    FillGrid(grid, {u"ﾅﾝﾊﾞｰ|順位|1234"_s, u"1|2|12-3"_s, u"2|1|75"_s});
    QCOMPARE(ResultFileBytes(grid, false, false),
             Cp932::encode(u"\"ﾅﾝﾊﾞｰ\",\"順位\",\"1234\"\r\n\"1\",\"2\",\"\"\r\n\"2\",\"1\",\"75\"\r\n"_s));
}

void TestResultFile::roundTrip_data()
{
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<bool>("track");
    QTest::addColumn<bool>("sixtyFix");
    QTest::addColumn<QStringList>("read");

    QTest::newRow("example") << ExampleRows << true << true << ExampleRows;
    QTest::newRow("normalised digits")
        << QStringList{u"順位|ﾅﾝﾊﾞｰ|ﾀｲﾑ"_s, u"1|05|7523"_s, u"2|0|0523"_s, u"3|17|1234567"_s}
        << true << true
        << QStringList{u"順位|ﾅﾝﾊﾞｰ|ﾀｲﾑ"_s, u"1|5|11523"_s, u"2|0|523"_s, u"3|17|1234567"_s};
    QTest::newRow("road")
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|3|10075"_s, u"2|4|75"_s}
        << false << true
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|3|10115"_s, u"2|4|115"_s};
    QTest::newRow("signed time")
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|3|+1052"_s}
        << true << true
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|3|1052"_s};
    QTest::newRow("full heat of 500")
        << [] {
               QStringList rows{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s};
               for (int row = 1; row <= MaxCompetitors; ++row)
                   rows.append(u"%1|%2|%3"_s.arg(row).arg(row + 100).arg(1000 + row));
               return rows;
           }()
        << true << false
        << [] {
               QStringList rows{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s};
               for (int row = 1; row <= MaxCompetitors; ++row)
                   rows.append(u"%1|%2|%3"_s.arg(row).arg(row + 100).arg(1000 + row));
               return rows;
           }();
    QTest::newRow("signed lanes")
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|+4|1052"_s, u"2|-0|1061"_s, u"3|+2147483647|1062"_s}
        << true << true
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s, u"2|0|1061"_s, u"3|2147483647|1062"_s};
    QTest::newRow("lane with leading zeros up to the field limit")
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|"_s + QString(MaxFieldLength - 1, u'0') + u"7|1052"_s}
        << true << true
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|7|1052"_s};
}

void TestResultFile::roundTrip()
{
    QFETCH(QStringList, saved);
    QFETCH(bool, track);
    QFETCH(bool, sixtyFix);
    QFETCH(QStringList, read);

    ResultGrid grid;
    FillGrid(grid, saved);
    const QString path = m_dir.filePath(u"R1w_112.csv"_s);
    QVERIFY(WriteResultFile(path, grid, track, sixtyFix));

    ResultGrid opened;
    FillUsedGrid(opened);
    const ReadOutcome outcome = ReadResultFile(path, opened);
    QVERIFY(outcome.ok);
    QVERIFY(outcome.entriesCleared);
    QCOMPARE(outcome.messages, QStringList());
    QCOMPARE(GridRows(opened), read);
    // The normalised times display as they did before.
    for (int row = 1; row < opened.gridRowCount(); ++row) {
        QCOMPARE(TimeDisplayText(opened.cell(2, row), track, sixtyFix),
                 TimeDisplayText(grid.cell(2, row), track, sixtyFix));
    }
}

void TestResultFile::readText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("messages");

    const QString heading = u"順位|ﾚｰﾝ|ﾀｲﾑ"_s;
    const QByteArray headingLine = Cp932::encode(u"\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\"\r\n"_s);

    QTest::newRow("quoted commas in a heading")
        << Cp932::encode(u"\"順,位\",\" a,b,c \",ﾀｲﾑ\r\n\"1\",\"4\",\"10.52\"\r\n"_s) << true
        << QStringList{u"順,位|a,b,c|ﾀｲﾑ"_s, u"1|4|1052"_s} << QStringList();
    QTest::newRow("quote inside a heading becomes a blank")
        << Latin("  a\"b\"  ,c\n") << true
        << QStringList{u"a b|c|x"_s, u"x||"_s} << QStringList();
    QTest::newRow("TAB in a heading becomes a comma")
        << Latin("\"a\tb\",c\td\n") << true
        << QStringList{u"a,b|c,d|x"_s, u"x||"_s} << QStringList();
    QTest::newRow("undecodable byte in a heading becomes ?")
        << Latin("\"a\x80\",\x81\n") << true
        << QStringList{u"a?|?|x"_s, u"x||"_s} << QStringList();
    QTest::newRow("DNF and empty quotes")
        << headingLine + Latin("\"1\",\"4\",\"DNF\"\r\n\"2\",\"\",\" 1:02.75\"\r\n") << true
        << QStringList{heading, u"1|4|0"_s, u"2|0|10275"_s} << QStringList();
    QTest::newRow("runs of commas")
        << headingLine + Latin("1,,1052\n2,,,,1061\n,,,,3,10275\n,3,,10275\n") << true
        << QStringList{heading, u"1||1052"_s, u"2||1061"_s, u"|3|10275"_s, u"|3|"_s} << QStringList();
    QTest::newRow("leading comma")
        << headingLine + Latin(",4,1052\r\n") << true
        << QStringList{heading, u"x|4|1052"_s} << QStringList();
    QTest::newRow("empty lines skipped")
        << headingLine + Latin("\n\n\"1\",\"4\",\"10.52\"\n\n") << true
        << QStringList{heading, u"1|4|1052"_s} << QStringList();
    QTest::newRow("no final line end")
        << headingLine + Latin("\"1\",\"4\",\"10.52\"") << true
        << QStringList{heading, u"1|4|1052"_s} << QStringList();
    QTest::newRow("line of CR alone")
        << headingLine + Latin("\r\n\"2\",\"5\",\"10.61\"\r\n") << true
        << QStringList{heading, u"0||"_s, u"2|5|1061"_s} << QStringList();
    QTest::newRow("line of commas alone")
        << headingLine + Latin(",,,\n\"2\",\"5\",\"10.61\"\n") << true
        << QStringList{heading, u"x||"_s, u"2|5|1061"_s} << QStringList();
    QTest::newRow("no heading line")
        << Latin("\"1\",\"4\",\"10.52\"\r\n\"2\",\"5\",\"10.61\"\r\n") << true
        << QStringList{u"1|4|10.52"_s, u"2|5|1061"_s} << QStringList();
    QTest::newRow("four fields, the fourth dropped")
        << headingLine + Latin("\"1\",\"4\",\"10.52\",\"x\"\r\n") << true
        << QStringList{heading, u"1|4|1052"_s} << QStringList();
    QTest::newRow("comma and CR make a fourth field")
        << headingLine + Latin("\"1\",\"4\",\"10.52\",\r\n") << true
        << QStringList{heading, u"1|4|1052"_s} << QStringList();
    QTest::newRow("five fields refused")
        << headingLine + Latin("1,4,1052\r\n2,5,1061,x,y\r\n3,3,10275\r\n") << false
        << QStringList{heading, u"1|4|1052"_s, u"2|5|1061"_s} << QStringList{MsgTooManyColumns};
    QTest::newRow("CR after a fourth field is a fifth")
        << headingLine + Latin("\"1\",\"4\",\"10.52\",\"x\",\r\n") << false
        << QStringList{heading, u"1|4|1052"_s} << QStringList{MsgTooManyColumns};
    QTest::newRow("skipped column counts towards five")
        << headingLine + Latin("1,4,,1052,x\r\n") << false
        << QStringList{heading, u"1|4|"_s} << QStringList{MsgTooManyColumns};
    QTest::newRow("lone quote swallows later commas")
        << Latin("\"a,b,c\n1,4,1052\n") << true
        << QStringList{u"a,b,c|x|x"_s, u"141052||"_s} << QStringList();
    QTest::newRow("field of 255 characters")
        << Latin("h\n") + QByteArray(254, '0') + Latin("7,4,1052\n") << true
        << QStringList{u"h|x|x"_s, u"7|4|1052"_s} << QStringList();
    QTest::newRow("quoted field of 255 characters")
        << Latin("h\n\"") + QByteArray(254, '0') + Latin("7\",4,1052\n") << true
        << QStringList{u"h|x|x"_s, u"7|4|1052"_s} << QStringList();
    QTest::newRow("blanks around a field do not count")
        << Latin("h\n") + QByteArray(300, ' ') + Latin("7,4,1052\n") << true
        << QStringList{u"h|x|x"_s, u"7|4|1052"_s} << QStringList();
    QTest::newRow("field of 256 characters")
        << Latin("h\n1,4,1052\n\"") + QByteArray(255, '0') + Latin("7\",4,1052\n") << false
        << QStringList{u"h|x|x"_s, u"1|4|1052"_s} << QStringList{MsgReadFailure};
    QTest::newRow("heading of 256 characters")
        << QByteArray(256, 'a') + Latin("\n1,4,1052\n") << false
        << QStringList{u"x|x|x"_s, u"x||"_s} << QStringList{MsgReadFailure};
    QTest::newRow("largest 32-bit value")
        << Latin("h\n1,4,21:47:48:36.47\n") << true
        << QStringList{u"h|x|x"_s, u"1|4|2147483647"_s} << QStringList();
    QTest::newRow("digits beyond 32 bits")
        << Latin("h\n1,4,1052\n2,5,12345678901\n") << false
        << QStringList{u"h|x|x"_s, u"1|4|1052"_s, u"2|5|"_s} << QStringList{MsgReadFailure};
    QTest::newRow("leading zeros are no overflow")
        << Latin("h\n1,4,000000000001052\n") << true
        << QStringList{u"h|x|x"_s, u"1|4|1052"_s} << QStringList();
    QTest::newRow("long digits in the dropped column")
        << Latin("h\n1,4,1052,99999999999\n") << true
        << QStringList{u"h|x|x"_s, u"1|4|1052"_s} << QStringList();
    QTest::newRow("empty file")
        << QByteArray() << true << QStringList{u"x|x|x"_s, u"x||"_s} << QStringList();
}

void TestResultFile::readText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, messages);

    ResultGrid grid;
    FillUsedGrid(grid);
    const ReadOutcome outcome = ReadResultText(bytes, grid);
    QCOMPARE(outcome.ok, ok);
    QVERIFY(outcome.entriesCleared);
    QCOMPARE(outcome.messages, messages);
    QCOMPARE(GridRows(grid), rows);
}

void TestResultFile::lineLimit_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("crlf");

    QTest::newRow("500 lines") << 500 << true;
    QTest::newRow("heading and 500 rows") << 501 << true;
    QTest::newRow("heading and 500 rows, LF and blank lines") << 501 << false;
    QTest::newRow("502 lines") << 502 << true;
    QTest::newRow("502 lines, LF and blank lines") << 502 << false;
}

void TestResultFile::lineLimit()
{
    QFETCH(int, lines);
    QFETCH(bool, crlf);

    QByteArray bytes = Cp932::encode(u"\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\"\r\n"_s);
    for (int row = 1; row < lines; ++row) {
        bytes += QStringLiteral("\"%1\",\"%2\",\"%3\"").arg(row).arg(row + 1).arg(1000 + row).toLatin1();
        bytes += crlf ? "\r\n" : "\n\n";
    }

    ResultGrid grid;
    FillUsedGrid(grid);
    const ReadOutcome outcome = ReadResultText(bytes, grid);
    if (lines <= MaxResultLines) {
        QVERIFY(outcome.ok);
        QCOMPARE(grid.gridRowCount(), lines);
        QCOMPARE(grid.cell(2, lines - 1), QString::number(1000 + lines - 1));
        QCOMPARE(outcome.messages, QStringList());
    } else {
        QVERIFY(!outcome.ok);
        QVERIFY(outcome.entriesCleared);
        QCOMPARE(outcome.messages, QStringList{u"500 人以上は処理できません。"_s});
        QCOMPARE(GridRows(grid), (QStringList{u"x|x|x"_s, u"x||"_s}));
        // Nothing of the old heat is left in the rows hidden below.
        grid.setGridRowCount(7);
        QVERIFY(GridIsEmpty(grid));
    }
}

void TestResultFile::readMissingFile()
{
    ResultGrid grid;
    FillUsedGrid(grid);
    for (const QString &path : {m_dir.filePath(u"missing.csv"_s), m_dir.path()}) {
        const ReadOutcome outcome = ReadResultFile(path, grid);
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.messages, QStringList{MsgReadFailure});
        QCOMPARE(grid.gridRowCount(), 2);
    }
}

void TestResultFile::digitsValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("display time") << u" 1:23.45"_s << true << 12345;
    QTest::newRow("wind") << u"+1.2"_s << true << 12;
    QTest::newRow("leading zero") << u"\"0523\""_s << true << 523;
    QTest::newRow("letters") << u"DNF"_s << true << 0;
    QTest::newRow("empty") << QString() << true << 0;
    QTest::newRow("sign dropped") << u"-5"_s << true << 5;
    QTest::newRow("full-width digits are no digits") << u"１２3"_s << true << 3;
    QTest::newRow("int max") << u"2147483647"_s << true << 2147483647;
    QTest::newRow("int max + 1") << u"2147483648"_s << false << 0;
    QTest::newRow("eleven digits") << u"12:34:56:78.901"_s << false << 0;
}

void TestResultFile::digitsValue()
{
    QFETCH(QString, field);
    QFETCH(bool, ok);
    QFETCH(int, value);

    int result = -1;
    QCOMPARE(DigitsValue(field, &result), ok);
    if (ok)
        QCOMPARE(result, value);
}

void TestResultFile::windFromPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");
    QTest::addColumn<double>("wind");
    QTest::addColumn<QString>("targetPath");

    QTest::newRow("plus") << u"/data/TEMP/R1w_112.csv"_s << true << 1.2 << u"/data/TEMP/R1.csv"_s;
    QTest::newRow("minus") << u"/data/R1w_905.csv"_s << true << -0.5 << u"/data/R1.csv"_s;
    QTest::newRow("calm") << u"/data/R1w_100.csv"_s << true << 0.0 << u"/data/R1.csv"_s;
    QTest::newRow("four digits") << u"/data/R1w_1100.csv"_s << true << 1.0 << u"/data/R1.csv"_s;
    QTest::newRow("no code") << u"/data/R1.csv"_s << false << 0.0 << QString();
    QTest::newRow("folder hides the code") << u"/data/w_old/R1w_112.csv"_s << false << 0.0 << QString();
    QTest::newRow("not an integer") << u"/data/R1w_abc.csv"_s << false << 0.0 << QString();
    QTest::newRow("not a wind") << u"/data/R1w_900.csv"_s << false << 0.0 << QString();
    QTest::newRow("short") << u"/data/R1w_12"_s << false << 0.0 << QString();
    QTest::newRow("upper case") << u"/data/R1W_112.csv"_s << false << 0.0 << QString();
}

void TestResultFile::windFromPath()
{
    QFETCH(QString, path);
    QFETCH(bool, found);
    QFETCH(double, wind);
    QFETCH(QString, targetPath);

    const PathWind result = WindFromPath(path);
    QCOMPARE(result.found, found);
    if (found) {
        QCOMPARE(result.wind, wind);
        QCOMPARE(result.targetPath, targetPath);
    }
}

void TestResultFile::proposedFileName_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("code");   // -1: no wind entered
    QTest::addColumn<QString>("proposal");

    QTest::newRow("start-up name") << u"/w/TEMP/Untitled.csv"_s << 112 << u"/w/TEMP/Untitledw_112.csv"_s;
    QTest::newRow("race without extension") << u"/w/TEMP/R1"_s << 905 << u"/w/TEMP/R1w_905.csv"_s;
    QTest::newRow("no wind") << u"/w/TEMP/R1"_s << -1 << u"/w/TEMP/R1"_s;
    QTest::newRow("no wind, old code kept") << u"/w/Aw_112.csv"_s << -1 << u"/w/Aw_112.csv"_s;
    QTest::newRow("code 9999") << u"/w/A.csv"_s << 9999 << u"/w/A.csv"_s;
    QTest::newRow("old code replaced") << u"/w/Aw_112.csv"_s << 103 << u"/w/Aw_103.csv"_s;
    QTest::newRow("old code, no extension") << u"/w/Bw_112"_s << 105 << u"/w/Bw_105.csv"_s;
    QTest::newRow("four-digit code") << u"/w/A.csv"_s << 1100 << u"/w/Aw_1100.csv"_s;
    QTest::newRow("folder's w_ stays") << u"/w/dw_x/R1.txt"_s << 112 << u"/w/dw_x/R1w_112.csv"_s;
    QTest::newRow("point in folder") << u"/w/v1.2/R1"_s << 112 << u"/w/v1.2/R1w_112.csv"_s;
    QTest::newRow("last point only") << u"/w/R1.old.csv"_s << 112 << u"/w/R1.oldw_112.csv"_s;
}

void TestResultFile::proposedFileName()
{
    QFETCH(QString, target);
    QFETCH(int, code);
    QFETCH(QString, proposal);

    QCOMPARE(ProposedFileName(target, code < 0 ? std::nullopt : std::optional<int>(code)), proposal);

    // Opened as Aw_112.csv, the target path loses the code and the next save puts one back.
    if (qstrcmp(QTest::currentDataTag(), "old code replaced") == 0) {
        const PathWind opened = WindFromPath(target);
        QVERIFY(opened.found);
        QCOMPARE(ProposedFileName(opened.targetPath, code), proposal);
    }
}

void TestResultFile::checkNumbers_data()
{
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("cursorRow");

    const QString tooLarge = u"9999 以上大きな番号は使えません。"_s;
    QTest::newRow("range ends") << QStringList{u"0"_s, u"9999"_s, u"5"_s} << true << QString() << -1;
    QTest::newRow("10000") << QStringList{u"1"_s, u"10000"_s} << false << tooLarge << -1;
    QTest::newRow("negative") << QStringList{u"1"_s, u"-1"_s} << false << tooLarge << -1;
    QTest::newRow("duplicate") << QStringList{u"3"_s, u"5"_s, u"7"_s, u"5"_s, u"3"_s}
                               << false << MsgDuplicateNumber << 4;
    QTest::newRow("signed duplicate") << QStringList{u"5"_s, u"+5"_s} << false << MsgDuplicateNumber << 2;
    QTest::newRow("first problem wins") << QStringList{u"2"_s, u"2"_s, u"10000"_s}
                                        << false << MsgDuplicateNumber << 2;
    QTest::newRow("large before duplicate") << QStringList{u"10000"_s, u"2"_s, u"2"_s}
                                            << false << tooLarge << -1;
    // Saved as it stands the lane would be a field longer than the reader takes.
    QTest::newRow("leading zeros beyond the field limit")
        << QStringList{u"1"_s, QString(MaxFieldLength, u'0') + u'7'} << false << tooLarge << 2;
    QTest::newRow("leading zeros up to the field limit")
        << QStringList{u"1"_s, QString(MaxFieldLength - 1, u'0') + u'7'} << true << QString() << -1;
}

void TestResultFile::checkNumbers()
{
    QFETCH(QStringList, numbers);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(int, cursorRow);

    ResultGrid grid;
    QStringList rows{u"順位|ﾅﾝﾊﾞｰ|ﾀｲﾑ"_s};
    for (const QString &number : std::as_const(numbers))
        rows.append(u"1|"_s + number + u"|1000"_s);
    FillGrid(grid, rows);

    const NumberCheck check = CheckNumbers(grid);
    QCOMPARE(check.ok, ok);
    QCOMPARE(check.message, message);
    QCOMPARE(check.cursorRow, cursorRow);
}

void TestResultFile::checkNumbersRefusesNonInteger()
{
    ResultGrid grid;
    FillGrid(grid, {u"順位|ﾅﾝﾊﾞｰ|ﾀｲﾑ"_s, u"1|12|1000"_s, u"2|1a|1000"_s, u"3|-|1000"_s});
    try {
        CheckNumbers(grid);
        QFAIL("no error raised");
    } catch (const RuntimeError &error) {
        QCOMPARE(error.message(), u"'1a' は整数ではありません"_s);
    }
}

void TestResultFile::checkTimes_data()
{
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<bool>("track");
    QTest::addColumn<QString>("message");   // empty: accepted
    QTest::addColumn<int>("cursorRow");

    QTest::newRow("plain times") << QStringList{u"1052"_s, u"0"_s, u"+1061"_s, u"0001"_s} << true << QString() << -1;
    QTest::newRow("negative") << QStringList{u"1052"_s, u"-1052"_s, u"-"_s} << true
                              << u"'-1052' は整数ではありません"_s << 2;
    QTest::newRow("minus sign alone") << QStringList{u"1052"_s, u"1061"_s, u"-"_s} << true
                                      << u"'-' は整数ではありません"_s << 3;
    QTest::newRow("empty") << QStringList{QString(), u"1052"_s} << true << u"'' は整数ではありません"_s << 1;
    QTest::newRow("letters") << QStringList{u"10a2"_s} << false << u"'10a2' は整数ではありません"_s << 1;
    QTest::newRow("beyond 32 bits") << QStringList{u"21474836470"_s} << true
                                    << u"'21474836470' は整数ではありません"_s << 1;
    QTest::newRow("largest that reopens") << QStringList{u"2147483647"_s} << true << QString() << -1;
    // Shown as 2148:40:39.99, whose digits no longer fit into 32 bits.
    QTest::newRow("display beyond 32 bits") << QStringList{u"2147999999"_s} << true
                                            << u"'2147999999' は整数ではありません"_s << 1;
    QTest::newRow("road display beyond 32 bits") << QStringList{u"2147999999"_s} << false
                                                 << u"'2147999999' は整数ではありません"_s << 1;
}

void TestResultFile::checkTimes()
{
    QFETCH(QStringList, times);
    QFETCH(bool, track);
    QFETCH(QString, message);
    QFETCH(int, cursorRow);

    ResultGrid grid;
    QStringList rows{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s};
    for (int row = 1; row <= times.size(); ++row)
        rows.append(u"%1|%1|"_s.arg(row) + times[row - 1]);
    FillGrid(grid, rows);

    const NumberCheck check = CheckTimes(grid, track, true);
    QCOMPARE(check.ok, message.isEmpty());
    QCOMPARE(check.message, message);
    QCOMPARE(check.cursorRow, cursorRow);
    if (!check.ok)
        QCOMPARE(check.cursorColumn, 2);
    // The writer refuses what the check refuses, and accepts what it accepts.
    QCOMPARE(SavableResultBytes(grid, track, true).has_value(), check.ok);
}

void TestResultFile::writerRefusesWhatWouldNotReopen_data()
{
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("negative time") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|-1052"_s};
    QTest::newRow("minus sign for a time") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|-"_s};
    QTest::newRow("time not a number") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|abc"_s};
    QTest::newRow("empty time") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|"_s};
    QTest::newRow("negative lane") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|-4|1052"_s};
    QTest::newRow("lane not a number") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4,5|1052"_s};
    QTest::newRow("sign alone for a lane") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|+|1052"_s};
    QTest::newRow("lane beyond 32 bits") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|2147483648|1052"_s};
    QTest::newRow("negative place") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"-1|4|1052"_s};
    QTest::newRow("lane beyond the field limit")
        << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|"_s + QString(MaxFieldLength, u'0') + u"4|1052"_s};
    QTest::newRow("empty place") << QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"|4|1052"_s};
    QTest::newRow("quote in a heading") << QStringList{u"順\"位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s};
    QTest::newRow("TAB in a heading") << QStringList{u"順位|ﾚ\tｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s};
    QTest::newRow("line break in a heading") << QStringList{u"順位|ﾚｰﾝ|ﾀ\nｲﾑ"_s, u"1|4|1052"_s};
    QTest::newRow("blank at a heading's end") << QStringList{u"順位 |ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s};
    QTest::newRow("heading code page 932 cannot hold") << QStringList{u"Läufe|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s};
    QTest::newRow("heading beyond the field limit")
        << QStringList{QString(MaxFieldLength + 1, u'a') + u"|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s};
}

void TestResultFile::writerRefusesWhatWouldNotReopen()
{
    QFETCH(QStringList, rows);

    ResultGrid grid;
    FillGrid(grid, rows);
    QVERIFY(!SavableResultBytes(grid, true, true));
    const QString path = m_dir.filePath(u"refused.csv"_s);
    QVERIFY(WriteBytes(path, "old"));
    QVERIFY(!WriteResultFile(path, grid, true, true));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "old");
}

// A heading read from a file is saved so that it reopens as it was read.
void TestResultFile::headingsSurviveSaving_data()
{
    QTest::addColumn<QByteArray>("headingLine");

    QTest::newRow("quote inside") << Latin("a\"b,\"c\"d\",e");
    QTest::newRow("odd quotes") << Latin("\"a\"\"b,c,\"");
    QTest::newRow("doubled quotes") << Latin("\"\"x\"\",y,z");
    QTest::newRow("TAB inside") << Latin("\"a\tb\",c\td,e");
    QTest::newRow("quoted commas") << Latin("\"a,b\",\" c , d \",e");
    QTest::newRow("undecodable bytes") << Latin("\x80" "a,\xFF,\x81");
    QTest::newRow("control characters inside") << Latin("a\x01b,c\rd,e");
    QTest::newRow("longest heading") << QByteArray(MaxFieldLength, 'h') + Latin(",b,c");
}

void TestResultFile::headingsSurviveSaving()
{
    QFETCH(QByteArray, headingLine);

    ResultGrid grid;
    FillUsedGrid(grid);
    QVERIFY(ReadResultText(headingLine + "\r\n1,4,1052\r\n2,5,1061\r\n", grid).ok);
    const std::optional<QByteArray> bytes = SavableResultBytes(grid, true, true);
    QVERIFY(bytes);
    ResultGrid opened;
    FillUsedGrid(opened);
    QVERIFY(ReadResultText(*bytes, opened).ok);
    QCOMPARE(GridRows(opened), GridRows(grid));
}
void TestResultFile::trimIncompleteRows_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("rowCount");

    const QString h = u"順位|ﾚｰﾝ|ﾀｲﾑ"_s;
    QTest::newRow("complete") << QStringList{h, u"1|1|1"_s, u"2|2|2"_s, u"3|3|3"_s} << 4;
    QTest::newRow("rows 1 and 2 stay") << QStringList{h, u"1||"_s, u"2|2|"_s} << 3;
    QTest::newRow("cut at the first gap from row 3")
        << QStringList{h, u"1|1|1"_s, u"2|2|2"_s, u"3|3|3"_s, u"4||4"_s, u"5|5|5"_s, u"6|6|"_s} << 4;
    QTest::newRow("row 3 empty") << QStringList{h, u"1|1|1"_s, u"2||"_s, u"3|3|"_s, u"4|4|4"_s} << 3;
    QTest::newRow("last row only") << QStringList{h, u"1|1|1"_s, u"2|2|2"_s, u"3|3|3"_s, u"4|4|"_s} << 4;
}

void TestResultFile::trimIncompleteRows()
{
    QFETCH(QStringList, rows);
    QFETCH(int, rowCount);

    ResultGrid grid;
    FillGrid(grid, rows);
    TrimIncompleteRows(grid);
    QCOMPARE(grid.gridRowCount(), rowCount);
}

void TestResultFile::fillAndClear()
{
    ResultGrid grid;
    FillGrid(grid, {u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s, u"2|5|1061"_s, u"3|3|10275"_s});
    QVERIFY(GridIsFilled(grid));
    QVERIFY(!GridIsEmpty(grid));

    grid.setCell(2, 3, QString());
    QVERIFY(!GridIsFilled(grid));
    QVERIFY(!GridIsEmpty(grid));

    // A hidden row is not looked at.
    grid.setGridRowCount(3);
    QVERIFY(GridIsFilled(grid));

    ClearEntries(grid);
    QVERIFY(GridIsEmpty(grid));
    QVERIFY(!GridIsFilled(grid));
    QCOMPARE(GridRows(grid), (QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1||"_s, u"2||"_s}));

    // The hidden row belonged to the emptied heat too: raised again it shows no entries.
    grid.setGridRowCount(4);
    QCOMPARE(GridRows(grid), (QStringList{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1||"_s, u"2||"_s, u"3||"_s}));
    QVERIFY(GridIsEmpty(grid));
}

// Whatever replaces the heat empties the rows hidden below the row count as well: a
// row added afterwards shows nothing of the old heat.
void TestResultFile::noStaleRowsAfterRead_data()
{
    QTest::addColumn<QByteArray>("bytes");   // empty: the file is missing
    QTest::addColumn<bool>("ok");

    const QByteArray heading = Cp932::encode(u"\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\"\r\n"_s);
    QTest::newRow("three rows") << heading + "1,4,1052\r\n2,5,1061\r\n3,3,10275\r\n" << true;
    QByteArray tooLong = heading;
    for (int row = 1; row <= MaxCompetitors + 1; ++row)
        tooLong += "1,2,3\r\n";
    QTest::newRow("too many lines") << tooLong << false;
    QTest::newRow("too many columns") << heading + "1,4,1052\r\n2,5,1061,x,y\r\n" << false;
    QTest::newRow("field too long") << heading + "1,4,1052\r\n" + QByteArray(300, '1') + "\r\n" << false;
    QTest::newRow("missing file") << QByteArray() << false;
}

void TestResultFile::noStaleRowsAfterRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);

    // An eight-row heat, then the row count lowered: rows 4 to 8 are hidden, not gone.
    ResultGrid grid;
    QStringList rows{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s};
    for (int row = 1; row <= 8; ++row)
        rows.append(u"%1|%2|%3"_s.arg(row).arg(row + 10).arg(1000 + row));
    FillGrid(grid, rows);
    grid.setGridRowCount(4);

    const QString path = m_dir.filePath(u"stale.csv"_s);
    QFile::remove(path);
    if (!bytes.isEmpty())
        QVERIFY(WriteBytes(path, bytes));
    const ReadOutcome outcome = ReadResultFile(path, grid);
    QCOMPARE(outcome.ok, ok);
    QVERIFY(outcome.entriesCleared);

    const int readRows = grid.gridRowCount();
    grid.setGridRowCount(9);
    for (int row = readRows; row < 9; ++row) {
        QCOMPARE(grid.cell(1, row), QString());
        QCOMPARE(grid.cell(2, row), QString());
    }
    if (!ok)
        QVERIFY(!GridIsFilled(grid));
}

void TestResultFile::readGrowsGridOnce()
{
    QByteArray bytes = Cp932::encode(u"\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\"\r\n"_s);
    for (int row = 1; row <= MaxCompetitors; ++row)
        bytes += QStringLiteral("\"%1\",\"%2\",\"%3\"\r\n").arg(row).arg(row + 1).arg(1000 + row).toLatin1();

    ResultGrid grid;
    FillUsedGrid(grid);
    QSignalSpy inserted(&grid, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&grid, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
    QVERIFY(ReadResultText(bytes, grid).ok);
    QCOMPARE(grid.gridRowCount(), MaxResultLines);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(removed.size(), 0);
    QCOMPARE(changed.size(), 1);
}
void TestResultFile::writeIntoReadOnlyFolder()
{
    const QString folder = m_dir.filePath(u"readonly"_s);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    auto restore = qScopeGuard([&] {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    QFile probe(folder + u"/probe"_s);
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QSKIP("this user can write into a read-only folder");
    }

    ResultGrid grid;
    FillGrid(grid, ExampleRows);
    QVERIFY(!WriteResultFile(folder + u"/R1.csv"_s, grid, true, true));
    QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestResultFile::writeOverReadOnlyFile()
{
    const QString path = m_dir.filePath(u"readonly.csv"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    auto cleanup = qScopeGuard([&] {
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::remove(path);
    });
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.close();
        QSKIP("this user can write a read-only file");
    }

    ResultGrid grid;
    FillGrid(grid, ExampleRows);
    QVERIFY(!WriteResultFile(path, grid, true, true));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "old");
}

void TestResultFile::writeOverDirectory()
{
    const QString path = m_dir.filePath(u"folder.csv"_s);
    QVERIFY(QDir().mkpath(path + u"/inside"_s));
    ResultGrid grid;
    FillGrid(grid, ExampleRows);
    QVERIFY(!WriteResultFile(path, grid, true, true));
    QVERIFY(QFileInfo(path + u"/inside"_s).isDir());
}

void TestResultFile::failedWriteKeepsExistingFile()
{
#ifdef Q_OS_UNIX
    // A file-size limit makes the write fail part-way, as a full disk would, even for root.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"R1w_112.csv"_s);
    ResultGrid grid;
    FillGrid(grid, ExampleRows);
    QVERIFY(WriteResultFile(path, grid, true, true));
    const QByteArray saved = ResultFileBytes(grid, true, true);

    grid.setGridRowCount(ResultGrid::MaxRows);
    for (int row = 1; row < ResultGrid::MaxRows; ++row) {
        grid.setCell(0, row, QString::number(row));
        grid.setCell(1, row, QString::number(row));
        grid.setCell(2, row, QString::number(1000 + row));
    }

    bool written = true;
    {
        const Testing::FileSizeLimit limit(1024);
        QVERIFY(limit.isSet());
        written = WriteResultFile(path, grid, true, true);
    }

    QVERIFY(!written);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), saved);
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{u"R1w_112.csv"_s});
#else
    QSKIP("needs a file-size limit");
#endif
}

// No heat comes near a megabyte: a larger file is refused before a byte is read, so that
// opening a huge file by mistake costs nothing.
void TestResultFile::hugeFileRefusedUnread()
{
    const QString path = m_dir.filePath(u"huge.csv"_s);
    for (const qint64 size : {MaxResultFileSize + 1, qint64(2) << 30}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.write("\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\"\r\n1,4,1052\r\n") > 0);
        QVERIFY(file.resize(size));   // sparse: no disk space taken
        file.close();

        ResultGrid grid;
        FillUsedGrid(grid);
        QElapsedTimer timer;
        timer.start();
        const ReadOutcome outcome = ReadResultFile(path, grid);
        QVERIFY2(timer.elapsed() < 1000, "the file was read");
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.messages, QStringList{MsgReadFailure});
        QVERIFY(outcome.entriesCleared);
        QCOMPARE(GridRows(grid), (QStringList{u"x|x|x"_s, u"x||"_s}));
    }
    QFile::remove(path);
}

// Opening a FIFO would wait for a writer, writing into one for a reader.
void TestResultFile::fifoRefused()
{
#ifdef Q_OS_UNIX
    const QString path = m_dir.filePath(u"fifo.csv"_s);
    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const auto cleanup = qScopeGuard([&] { QFile::remove(path); });

    ResultGrid grid;
    FillGrid(grid, ExampleRows);
    QVERIFY(!WriteResultFile(path, grid, true, true));
    const ReadOutcome outcome = ReadResultFile(path, grid);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.messages, QStringList{MsgReadFailure});
    QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
#else
    QSKIP("no FIFOs here");
#endif
}

namespace {

const QStringList InteropRows{u"順位|ﾚｰﾝ|ﾀｲﾑ"_s, u"1|4|1052"_s, u"2|5|1061"_s, u"3|3|10275"_s, u"4|7|abc"_s};
const QList<QStringList> InteropFields{
    {u"順位"_s, u"ﾚｰﾝ"_s, u"ﾀｲﾑ"_s},
    {u"1"_s, u"4"_s, u"10.52"_s},
    {u"2"_s, u"5"_s, u"10.61"_s},
    {u"3"_s, u"3"_s, u" 1:02.75"_s},
    {u"4"_s, u"7"_s, QString()},
};

// Written as formatted, with the blank field of a time that is not a number, which the
// save itself refuses.
QString SaveInteropHeat(const QTemporaryDir &dir)
{
    ResultGrid grid;
    FillGrid(grid, InteropRows);
    const QString path = dir.filePath(u"interop.csv"_s);
    return WriteResultBytes(path, ResultFileBytes(grid, true, true)) ? path : QString();
}

} // namespace

void TestResultFile::iconvReadsSavedFile()
{
    const QString iconv = QStandardPaths::findExecutable(u"iconv"_s);
    if (iconv.isEmpty())
        QSKIP("iconv is not installed");
    const QString path = SaveInteropHeat(m_dir);
    QVERIFY(!path.isEmpty());

    QProcess process;
    process.start(iconv, {u"-f"_s, u"CP932"_s, u"-t"_s, u"UTF-8"_s, path});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QString text = QString::fromUtf8(process.readAllStandardOutput());

    QVERIFY(text.endsWith(u"\r\n"_s));
    const QStringList lines = text.chopped(2).split(u"\r\n"_s);
    QCOMPARE(lines.size(), InteropFields.size());
    for (int row = 0; row < lines.size(); ++row) {
        const QString &line = lines[row];
        QVERIFY(line.startsWith(u'"') && line.endsWith(u'"'));
        QCOMPARE(line.sliced(1, line.size() - 2).split(u"\",\""_s), InteropFields[row]);
    }
}

void TestResultFile::pythonCsvReadsSavedFile()
{
    const QString python = QStandardPaths::findExecutable(u"python3"_s);
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    const QString path = SaveInteropHeat(m_dir);
    QVERIFY(!path.isEmpty());

    QProcess process;
    process.start(python, {u"-c"_s,
                           u"import csv, json, sys\n"
                           "with open(sys.argv[1], encoding='cp932', newline='') as f:\n"
                           "    print(json.dumps(list(csv.reader(f))))\n"_s,
                           path});
    QVERIFY(process.waitForFinished(60000));
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        QSKIP("python3 does not run here");

    const QJsonArray rows = QJsonDocument::fromJson(process.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), InteropFields.size());
    for (int row = 0; row < rows.size(); ++row) {
        QStringList fields;
        for (const QJsonValue &field : rows[row].toArray())
            fields.append(field.toString());
        QCOMPARE(fields, InteropFields[row]);
    }
}

QTEST_GUILESS_MAIN(TestResultFile)
#include "tst_resultfile.moc"
