#include "core/gridmodel.h"
#include "core/heatsheet.h"
#include "core/paths.h"
#include "core/runtimeerror.h"
#include "core/timetable.h"

#include <QTest>

using namespace Ordavex;

namespace {

// A grid with headings as the window lays them out and the given (lane, time) rows.
void fill(ResultGrid &grid, int dataRows, const QList<std::array<QString, 2>> &rows)
{
    grid.setGridRowCount(dataRows + 1);
    grid.setCell(0, 0, QStringLiteral("順位"));
    grid.setCell(1, 0, QStringLiteral("ﾚｰﾝ"));
    grid.setCell(2, 0, QStringLiteral("ﾀｲﾑ"));
    for (int row = 1; row <= dataRows; ++row)
        grid.setCell(0, row, QString::number(row));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        grid.setCell(1, int(i) + 1, rows[i][0]);
        grid.setCell(2, int(i) + 1, rows[i][1]);
    }
}

const QDateTime Noon(QDate(2026, 5, 3), QTime(12, 5, 9));

QString inWork(const QString &name)
{
    return Paths::join(QStringLiteral("meet") + Paths::separator() + QStringLiteral("TEMP"), name);
}

} // namespace

class TestHeatSheet final : public QObject
{
    Q_OBJECT

private slots:
    void raceName_data();
    void raceName();
    void raceTitle_data();
    void raceTitle();
    void windMarker_data();
    void windMarker();
    void threeCompetitors();
    void displayTextsFollowTheSettings_data();
    void displayTextsFollowTheSettings();
    void pages_data();
    void pages();
    void rowsUpToTheLastEntry();
    void swappedHeadings();
    void emptyGridHasNoPages();
    void windThatIsNoNumber();
    void windWithItsUnit_data();
    void windWithItsUnit();
    void wholePdf_data();
    void wholePdf();
};

void TestHeatSheet::raceName_data()
{
    QTest::addColumn<QString>("targetPath");
    QTest::addColumn<QString>("name");
    QTest::newRow("start-up") << inWork(QStringLiteral("Untitled.csv")) << QStringLiteral("Untitled");
    QTest::newRow("timetable race") << inWork(QStringLiteral("001)男子100m予選1組10_30"))
                                    << QStringLiteral("001)男子100m予選1組10_30");
    QTest::newRow("opened with wind") << inWork(QStringLiteral("R1w_112.csv")) << QStringLiteral("R1");
    QTest::newRow("saved without wind") << inWork(QStringLiteral("R1.csv")) << QStringLiteral("R1");
    QTest::newRow("wind code, no extension") << inWork(QStringLiteral("Bw_112")) << QStringLiteral("B");
    QTest::newRow("txt") << inWork(QStringLiteral("女子走幅跳決勝w_905.txt")) << QStringLiteral("女子走幅跳決勝");
    QTest::newRow("no folder") << QStringLiteral("R2w_150.csv") << QStringLiteral("R2");
    QTest::newRow("w_ in the folder only")
        << Paths::join(QStringLiteral("w_dir"), QStringLiteral("R3.csv")) << QStringLiteral("R3");
}

void TestHeatSheet::raceName()
{
    QFETCH(QString, targetPath);
    QFETCH(QString, name);
    QCOMPARE(SheetRaceName(targetPath), name);
}

void TestHeatSheet::raceTitle_data()
{
    const QStringList timetable = NumberTimetableLines({
        QStringLiteral("<男子100m>"),
        QStringLiteral("男子 100m 予選 1組 10:30"),
        QStringLiteral("男子 100m 予選 2組 10:35 "),
        QString(),
        QStringLiteral("<女子>"),
        QStringLiteral("女子 走幅跳 決勝"),
        QStringLiteral("男子 10.5km 決勝"),
        QStringLiteral("女子 Bow_1 決勝"),
    });
    QTest::addColumn<QStringList>("timetable");
    QTest::addColumn<QString>("targetPath");
    QTest::addColumn<QString>("title");
    const QString first = QStringLiteral("001) 男子 100m 予選 1組 10:30");
    QTest::newRow("chosen in the list") << timetable << inWork(QStringLiteral("001)男子100m予選1組10_30")) << first;
    QTest::newRow("saved under the proposed name")
        << timetable << inWork(QStringLiteral("001)男子100m予選1組10_30w_112.csv")) << first;
    QTest::newRow("blanks at the end of the line")
        << timetable << inWork(QStringLiteral("002)男子100m予選2組10_35"))
        << QStringLiteral("002) 男子 100m 予選 2組 10:35");
    QTest::newRow("after unnumbered lines") << timetable << inWork(QStringLiteral("004)女子走幅跳決勝w_905.csv"))
                                            << QStringLiteral("004) 女子 走幅跳 決勝");
    QTest::newRow("a point in the race") << timetable << inWork(QStringLiteral("005)男子10.5km決勝"))
                                         << QStringLiteral("005) 男子 10.5km 決勝");
    QTest::newRow("w_ in the race, saved") << timetable << inWork(QStringLiteral("006)女子Bow_1決勝w_112.csv"))
                                           << QStringLiteral("006) 女子 Bow_1 決勝");
    QTest::newRow("empty race line") << timetable << inWork(QStringLiteral("003)")) << QStringLiteral("003)");
    QTest::newRow("saved to another name") << timetable << inWork(QStringLiteral("100m決勝w_112.csv"))
                                           << QStringLiteral("100m決勝");
    QTest::newRow("another number") << timetable << inWork(QStringLiteral("011)男子100m予選1組10_30"))
                                    << QStringLiteral("011)男子100m予選1組10_30");
    QTest::newRow("the race with more after it") << timetable << inWork(QStringLiteral("001)男子100m予選1組10_30再"))
                                                 << QStringLiteral("001)男子100m予選1組10_30再");
    QTest::newRow("unnumbered lines are no races")
        << QStringList{QStringLiteral("<男子100m>")} << inWork(QStringLiteral("<男子100m>"))
        << QStringLiteral("<男子100m>");
}

void TestHeatSheet::raceTitle()
{
    QFETCH(QStringList, timetable);
    QFETCH(QString, targetPath);
    QFETCH(QString, title);
    QCOMPARE(SheetRaceTitle(targetPath, timetable), title);
}

void TestHeatSheet::windMarker_data()
{
    QTest::addColumn<QString>("wind");
    QTest::addColumn<bool>("marker");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("+2.0 on the limit") << QStringLiteral("+2.0") << false;
    QTest::newRow("+2.1") << QStringLiteral("+2.1") << true;
    QTest::newRow("+10.0") << QStringLiteral("+10.0") << true;
    QTest::newRow("-2.5 head wind") << QStringLiteral("-2.5") << false;
    QTest::newRow("+0.0") << QStringLiteral("+0.0") << false;
    QTest::newRow("typed 20 is +2.0") << QStringLiteral("20") << false;
    QTest::newRow("typed 21 is +2.1") << QStringLiteral("21") << true;
    QTest::newRow("typed 3 is +3.0") << QStringLiteral("3") << true;
    QTest::newRow("typed 2 is +2.0") << QStringLiteral("2") << false;
    QTest::newRow("typed 05 is +0.5") << QStringLiteral("05") << false;
    QTest::newRow("typed 2.05 is +2.0 at one decimal") << QStringLiteral("2.05") << false;
    QTest::newRow("typed 2.06 is +2.1") << QStringLiteral("2.06") << true;
    QTest::newRow("typed 100 is +10.0") << QStringLiteral("100") << true;
    QTest::newRow("typed -25 is -2.5") << QStringLiteral("-25") << false;
    QTest::newRow("lone minus while typing") << QStringLiteral("-") << false;
    QTest::newRow("lone point") << QStringLiteral(".") << false;
    QTest::newRow("two points") << QStringLiteral("1.2.") << false;
}

void TestHeatSheet::windMarker()
{
    QFETCH(QString, wind);
    QFETCH(bool, marker);
    QCOMPARE(WindAboveRecordLimit(wind), marker);
}

void TestHeatSheet::threeCompetitors()
{
    ResultGrid grid;
    fill(grid, 8, {{QStringLiteral("4"), QStringLiteral("1052")},
                   {QStringLiteral("5"), QStringLiteral("1061")},
                   {QStringLiteral("3"), QStringLiteral("10275")}});
    const HeatSheet sheet = MakeHeatSheet(grid, inWork(QStringLiteral("001)男子100m予選1組w_112.csv")),
                                          QStringLiteral("+2.3"), true, true, Noon);
    QCOMPARE(sheet.raceName, QStringLiteral("001)男子100m予選1組"));
    QCOMPARE(sheet.printedAt, QStringLiteral("2026/05/03 12:05"));
    QCOMPARE(sheet.wind, QStringLiteral("+2.3"));
    QVERIFY(sheet.windMarker);
    QCOMPARE(sheet.headings, (std::array<QString, 3>{QStringLiteral("順位"), QStringLiteral("ﾚｰﾝ"),
                                                      QStringLiteral("ﾀｲﾑ")}));
    QCOMPARE(sheet.pages.size(), 1);
    QCOMPARE(sheet.pages[0].pageText(), QStringLiteral("1 / 1"));
    const QList<std::array<QString, 3>> rows{
        {QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("10.52")},
        {QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("10.61")},
        {QStringLiteral("3"), QStringLiteral("3"), QStringLiteral(" 1:02.75")},
    };
    QCOMPARE(sheet.pages[0].rows, rows);

    // The wind is shown as the field would normalise it; the grid is read only.
    const HeatSheet typed = MakeHeatSheet(grid, QStringLiteral("R1"), QStringLiteral("12"), true, true, Noon);
    QCOMPARE(typed.wind, QStringLiteral("+1.2"));
    QVERIFY(!typed.windMarker);
    const HeatSheet calm = MakeHeatSheet(grid, QStringLiteral("R1"), QString(), true, true, Noon);
    QCOMPARE(calm.wind, QString());
    QVERIFY(!calm.windMarker);
    QCOMPARE(grid.cell(2, 3), QStringLiteral("10275"));
}

void TestHeatSheet::displayTextsFollowTheSettings_data()
{
    QTest::addColumn<bool>("track");
    QTest::addColumn<bool>("sixtyFix");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("shown");
    QTest::newRow("track, corrected") << true << true << QStringLiteral("7523") << QStringLiteral(" 1:15.23");
    QTest::newRow("track, plain seconds") << true << false << QStringLiteral("7523") << QStringLiteral("75.23");
    QTest::newRow("road, corrected") << false << true << QStringLiteral("75") << QStringLiteral(" 1:15");
    QTest::newRow("road, plain seconds") << false << false << QStringLiteral("75") << QStringLiteral("75");
    QTest::newRow("road, hours") << false << true << QStringLiteral("12345") << QStringLiteral(" 1:23:45");
    QTest::newRow("not a number") << true << true << QStringLiteral("+") << QString();
}

void TestHeatSheet::displayTextsFollowTheSettings()
{
    QFETCH(bool, track);
    QFETCH(bool, sixtyFix);
    QFETCH(QString, cell);
    QFETCH(QString, shown);
    ResultGrid grid;
    fill(grid, 1, {{QStringLiteral("7"), cell}});
    const HeatSheet sheet = MakeHeatSheet(grid, QStringLiteral("R"), QString(), track, sixtyFix, Noon);
    QCOMPARE(sheet.pages.size(), 1);
    QCOMPARE(sheet.pages[0].rows.constFirst()[2], shown);
}

void TestHeatSheet::pages_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("onLastPage");
    QTest::newRow("1") << 1 << 1 << 1;
    QTest::newRow("19") << 19 << 1 << 19;
    QTest::newRow("20 fill one page") << 20 << 1 << 20;
    QTest::newRow("21") << 21 << 2 << 1;
    QTest::newRow("40") << 40 << 2 << 20;
    QTest::newRow("41") << 41 << 3 << 1;
    QTest::newRow("80") << 80 << 4 << 20;
    QTest::newRow("500") << 500 << 25 << 20;
}

void TestHeatSheet::pages()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    QFETCH(int, onLastPage);
    ResultGrid grid;
    QList<std::array<QString, 2>> entries;
    for (int i = 1; i <= rows; ++i)
        entries.append({QString::number(i), QString::number(1000 + i)});
    fill(grid, rows, entries);
    const HeatSheet sheet = MakeHeatSheet(grid, QStringLiteral("R"), QString(), true, true, Noon);
    QCOMPARE(sheet.pages.size(), pages);
    QCOMPARE(sheet.pages.constLast().rows.size(), onLastPage);
    QCOMPARE(sheet.pages.constLast().pageText(), QStringLiteral("%1 / %1").arg(pages));
    // Every row once, in order, across the pages.
    int expected = 1;
    for (const HeatSheetPage &page : sheet.pages) {
        QCOMPARE(page.count, pages);
        QVERIFY(page.rows.size() <= SheetRowsPerPage);
        for (const auto &row : page.rows) {
            QCOMPARE(row[0], QString::number(expected));
            QCOMPARE(row[1], QString::number(expected));
            ++expected;
        }
    }
    QCOMPARE(expected, rows + 1);
}

void TestHeatSheet::rowsUpToTheLastEntry()
{
    ResultGrid grid;
    // Row 2 empty inside the heat, rows 4 to 8 empty after it; row 9 is hidden by the
    // row count and not part of the heat.
    fill(grid, 9, {{QStringLiteral("1"), QStringLiteral("1100")},
                   {QString(), QString()},
                   {QString(), QStringLiteral("1200")}});
    grid.setCell(1, 9, QStringLiteral("6"));
    grid.setGridRowCount(9);
    const HeatSheet sheet = MakeHeatSheet(grid, QStringLiteral("R"), QString(), true, true, Noon);
    QCOMPARE(sheet.pages.size(), 1);
    const QList<std::array<QString, 3>> rows{
        {QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("11.00")},
        {QStringLiteral("2"), QString(), QString()},
        {QStringLiteral("3"), QString(), QStringLiteral("12.00")},
    };
    QCOMPARE(sheet.pages[0].rows, rows);
}

void TestHeatSheet::swappedHeadings()
{
    ResultGrid grid;
    fill(grid, 1, {{QStringLiteral("1"), QStringLiteral("1100")}});
    grid.setCell(0, 0, QStringLiteral("ﾅﾝﾊﾞｰ"));
    grid.setCell(1, 0, QStringLiteral("順位"));
    const HeatSheet sheet = MakeHeatSheet(grid, QStringLiteral("R"), QString(), true, true, Noon);
    QCOMPARE(sheet.headings, (std::array<QString, 3>{QStringLiteral("ﾅﾝﾊﾞｰ"), QStringLiteral("順位"),
                                                      QStringLiteral("ﾀｲﾑ")}));
}

void TestHeatSheet::emptyGridHasNoPages()
{
    ResultGrid grid;
    fill(grid, 8, {});
    QVERIFY(MakeHeatSheet(grid, QStringLiteral("R"), QStringLiteral("+1.0"), true, true, Noon).pages.isEmpty());
}

void TestHeatSheet::windThatIsNoNumber()
{
    ResultGrid grid;
    fill(grid, 1, {{QStringLiteral("1"), QStringLiteral("1100")}});
    QString message;
    try {
        MakeHeatSheet(grid, QStringLiteral("R"), QStringLiteral("-"), true, true, Noon);
    } catch (const RuntimeError &error) {
        message = error.message();
    }
    QCOMPARE(message, QStringLiteral("'-' は浮動小数点数ではありません"));
}

void TestHeatSheet::windWithItsUnit_data()
{
    QTest::addColumn<QString>("wind");
    QTest::addColumn<QString>("shown");
    QTest::newRow("tail wind") << QStringLiteral("+2.5") << QStringLiteral("風 +2.5 m/s");
    QTest::newRow("typed, not yet normalised") << QStringLiteral("12") << QStringLiteral("風 +1.2 m/s");
    QTest::newRow("head wind") << QStringLiteral("-0.5") << QStringLiteral("風 -0.5 m/s");
    QTest::newRow("calm") << QStringLiteral("0") << QStringLiteral("風 +0.0 m/s");
    QTest::newRow("none: no unit without a figure") << QString() << QStringLiteral("風");
}

void TestHeatSheet::windWithItsUnit()
{
    QFETCH(QString, wind);
    QFETCH(QString, shown);
    ResultGrid grid;
    fill(grid, 1, {{QStringLiteral("1"), QStringLiteral("1100")}});
    QCOMPARE(MakeHeatSheet(grid, QStringLiteral("R"), wind, true, true, Noon).windText(), shown);
}

void TestHeatSheet::wholePdf_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("whole");
    const QByteArray body = "%PDF-1.4\n1 0 obj\n<< >>\nendobj\nstartxref\n9\n";
    QTest::newRow("ends with the mark") << body + "%%EOF" << true;
    QTest::newRow("and a line end") << body + "%%EOF\n" << true;
    QTest::newRow("and CR LF") << body + "%%EOF\r\n" << true;
    QTest::newRow("cut before the mark") << body << false;
    QTest::newRow("cut inside the mark") << body + "%%EO" << false;
    QTest::newRow("no header") << QByteArray("1 0 obj\n%%EOF\n") << false;
    QTest::newRow("zeros, as a full disk may leave") << QByteArray(8192, '\0') << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestHeatSheet::wholePdf()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, whole);
    QCOMPARE(IsWholePdf(bytes), whole);
}

QTEST_APPLESS_MAIN(TestHeatSheet)

#include "tst_heatsheet.moc"
