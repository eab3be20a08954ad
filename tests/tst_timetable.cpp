// The timetable file, its numbered list and the race names that become target paths.

#include "core/paths.h"
#include "core/textcodec.h"
#include "core/timetable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Ordavex;
using namespace Qt::StringLiterals;

class TestTimetable final : public QObject
{
    Q_OBJECT

private slots:
    void lineEnds_data();
    void lineEnds();
    void numbering();
    void thousandthRaceLine();
    void raceNames_data();
    void raceNames();
    void namesNeverLeaveTheWorkFolder_data();
    void namesNeverLeaveTheWorkFolder();
    void targetPathSeparator();
    void readsOnlyWholeRegularFiles();
    void lineLimit_data();
    void lineLimit();
};

void TestTimetable::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    const QStringList three{u"男子 100m"_s, u""_s, u"<決勝>"_s};
    const QByteArray a = Cp932::encode(u"男子 100m"_s);
    const QByteArray c = Cp932::encode(u"<決勝>"_s);
    QTest::newRow("CR LF") << a + "\r\n\r\n" + c + "\r\n" << three;
    QTest::newRow("LF") << a + "\n\n" + c + "\n" << three;
    QTest::newRow("CR") << a + "\r\r" + c + "\r" << three;
    QTest::newRow("no end at the end") << a + "\r\n\r\n" + c << three;
    QTest::newRow("NUL ends the text") << a + "\r\n\r\n" + c + "\r\n" + QByteArray("\0junk\r\n", 7) << three;
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("one line end") << QByteArray("\r\n") << QStringList{u""_s};
    QTest::newRow("CR CR LF is two lines") << QByteArray("a\r\r\nb") << QStringList{u"a"_s, u""_s, u"b"_s};
}

void TestTimetable::lineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QCOMPARE(DecodeTimetable(bytes), lines);
    QCOMPARE(CountTimetableLines(bytes), lines.size());
}

void TestTimetable::numbering()
{
    const QStringList lines{u"<男子100m>"_s, u"男子 100m 予選 1組 10:30"_s, u""_s, u"決勝 <予備>"_s,
                            u"女子 走幅跳 決勝"_s, u"  blanks kept  "_s};
    const QStringList items{u"<男子100m>"_s,        u"001) 男子 100m 予選 1組 10:30"_s, u"002) "_s,
                            u"決勝 <予備>"_s,       u"003) 女子 走幅跳 決勝"_s,          u"004)   blanks kept  "_s};
    QCOMPARE(NumberTimetableLines(lines), items);
    // A second load starts again from 001.
    QCOMPARE(NumberTimetableLines(lines), items);
}

void TestTimetable::thousandthRaceLine()
{
    QStringList lines;
    for (int i = 0; i < 1001; ++i)
        lines.append(i == 500 ? u"<break>"_s : u"race"_s);
    const QStringList items = NumberTimetableLines(lines);
    QCOMPARE(items.size(), 1001);
    QCOMPARE(items[0], u"001) race"_s);
    QCOMPARE(items[99], u"100) race"_s);
    QCOMPARE(items[500], u"<break>"_s);
    QCOMPARE(items[501], u"501) race"_s);
    QCOMPARE(items[1000], u"1000) race"_s);
}

void TestTimetable::raceNames_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("name");   // empty: no name
    QTest::newRow("first race") << u"001) 男子 100m 予選 1組 10:30"_s << u"001)男子100m予選1組10_30"_s;
    QTest::newRow("empty line") << u"002) "_s << u"002)"_s;
    QTest::newRow("third race") << u"003) 女子 走幅跳 決勝"_s << u"003)女子走幅跳決勝"_s;
    QTest::newRow("unnumbered") << u"<男子100m>"_s << QString();
    QTest::newRow("< inside") << u"決勝 <予備>"_s << QString();
    QTest::newRow("tab inside stays") << u"004) a\tb"_s << u"004)a\tb"_s;
    QTest::newRow("tabs at the ends go") << u"\t004) ab\t\r"_s << u"004)ab"_s;
    QTest::newRow("ideographic space stays") << u"005) 男子\u3000決勝"_s << u"005)男子\u3000決勝"_s;
    QTest::newRow("blanks inside the name") << u"006)  a : b "_s << u"006)a_b"_s;
    QTest::newRow("nothing but blanks") << u" \t "_s << QString();
}

void TestTimetable::raceNames()
{
    QFETCH(QString, item);
    QFETCH(QString, name);
    const std::optional<QString> made = MakeRaceName(item);
    QCOMPARE(made.has_value(), !name.isEmpty());
    if (made)
        QCOMPARE(*made, name);
}

// A timetable is a text file anyone may have written; its lines become paths.
void TestTimetable::namesNeverLeaveTheWorkFolder_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("parent folder") << u"../../etc/passwd"_s;
    QTest::newRow("absolute") << u"/tmp/x"_s;
    QTest::newRow("backslashes") << u"..\\..\\x"_s;
    QTest::newRow("dots alone") << u".."_s;
    QTest::newRow("dots with blanks") << u" . . "_s;
    QTest::newRow("folder inside") << u"a/b"_s;
}

void TestTimetable::namesNeverLeaveTheWorkFolder()
{
    QFETCH(QString, line);
    const QString work = u"/meet/work"_s;
    // As a numbered item and as a bare item (MakeRaceName takes any text).
    for (const QString &item : {NumberTimetableLines({line}).front(), line}) {
        const std::optional<QString> name = MakeRaceName(item);
        if (!name)
            continue;
        QVERIFY2(!name->contains(u'/') && !name->contains(u'\\'), qPrintable(*name));
        QVERIFY2(*name != u"."_s && *name != u".."_s, qPrintable(*name));
        const QString target = RaceTargetPath(work, *name);
        QCOMPARE(Paths::folderOf(target), work + u'/');
    }
}

void TestTimetable::targetPathSeparator()
{
    QCOMPARE(RaceTargetPath(u"/meet/work"_s, u"001)R1"_s), u"/meet/work/001)R1"_s);
    QCOMPARE(RaceTargetPath(u"/meet/work/"_s, u"001)R1"_s), u"/meet/work/001)R1"_s);
}

void TestTimetable::readsOnlyWholeRegularFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"timetable.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Cp932::encode(u"男子 100m\r\n<決勝>\r\n"_s));
    file.close();
    QCOMPARE(ReadTimetableFile(path), (QStringList{u"男子 100m"_s, u"<決勝>"_s}));
    QCOMPARE(ReadTimetableFile(dir.filePath(u"missing.txt"_s)), QStringList());
    QCOMPARE(ReadTimetableFile(dir.path()), QStringList());
}

// A file of more lines than any timetable is refused as a file that cannot be read is.
void TestTimetable::lineLimit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("lines");
    const qsizetype most = MaxTimetableLines;
    const QByteArray race = Cp932::encode(u"男子 100m 予選"_s);

    QTest::newRow("races, at the limit") << (race + "\r\n").repeated(most) << most;
    QTest::newRow("races, one over") << (race + "\r\n").repeated(most + 1) << qsizetype(0);
    QTest::newRow("LF at the limit") << QByteArray(most, '\n') << most;
    QTest::newRow("LF, one over") << QByteArray(most + 1, '\n') << qsizetype(0);
    QTest::newRow("CR, one over") << QByteArray(most + 1, '\r') << qsizetype(0);
    QTest::newRow("CR LF at the limit") << QByteArray("\r\n").repeated(most) << most;
    QTest::newRow("CR LF, one over") << QByteArray("\r\n").repeated(most + 1) << qsizetype(0);
    QTest::newRow("a last line without its end, one over")
        << QByteArray(most, '\n') + race << qsizetype(0);
    QTest::newRow("16 MiB of line feeds") << QByteArray(16 * 1024 * 1024, '\n') << qsizetype(0);
    QTest::newRow("lines after a NUL do not count")
        << QByteArray(most, '\n') + '\0' + QByteArray(most, '\n') << most;
    const qsizetype longest = MaxTimetableLineBytes;
    QTest::newRow("a line at the longest, between others")
        << race + "\r\n" + QByteArray(longest, 'x') + "\r\n" + race << qsizetype(3);
    QTest::newRow("a line one byte longer") << race + "\r\n" + QByteArray(longest + 1, 'x') << qsizetype(0);
    // Measured up to its line end, not the file's: each ending counts alike.
    QTest::newRow("a line one byte longer, between others")
        << race + "\r\n" + QByteArray(longest + 1, 'x') + "\r\n" + race << qsizetype(0);
    QTest::newRow("a line one byte longer, before a lone CR")
        << race + "\n" + QByteArray(longest + 1, 'x') + "\r" + race << qsizetype(0);
    QTest::newRow("almost 16 MiB in one line") << QByteArray(16 * 1024 * 1024 - 1, 'x') << qsizetype(0);
    QTest::newRow("a long line after a NUL does not count")
        << race + '\0' + QByteArray(longest + 1, 'x') << qsizetype(1);
}

void TestTimetable::lineLimit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, lines);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"timetable.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    QCOMPARE(ReadTimetableFile(path).size(), lines);
}

QTEST_APPLESS_MAIN(TestTimetable)
#include "tst_timetable.moc"
