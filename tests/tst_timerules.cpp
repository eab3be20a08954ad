#include "core/runtimeerror.h"
#include "core/timerules.h"

#include <QTest>

using namespace Ordavex;

namespace {

enum Kind { Track, Road };

TimeSettings Settings(Kind kind, bool validCheck)
{
    TimeSettings settings;
    settings.track = kind == Track;
    settings.validCheck = validCheck;
    return settings;
}

QString ErrorOf(const QString &typed, const QString &above, const TimeSettings &settings)
{
    try {
        CompleteTime(typed, above, settings);
    } catch (const RuntimeError &error) {
        return error.message();
    }
    return QString();
}

QString NotInteger(const char *text)
{
    return QStringLiteral("'%1' は整数ではありません").arg(QString::fromUtf8(text));
}

} // namespace

class TestTimeRules final : public QObject
{
    Q_OBJECT

private slots:
    void displayText_data();
    void displayText();
    void negativeDisplay_data();
    void negativeDisplay();
    void packedToSeconds_data();
    void packedToSeconds();
    void completion_data();
    void completion();
    void completionErrors_data();
    void completionErrors();
    void formatsAsPrintfWould();
};

void TestTimeRules::displayText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<QString>("plain");

    QTest::newRow("track 5523") << int(Track) << "5523" << "55.23" << "55.23";
    QTest::newRow("track 7523") << int(Track) << "7523" << " 1:15.23" << "75.23";
    QTest::newRow("track 11523") << int(Track) << "11523" << " 1:15.23" << "75.23";
    QTest::newRow("track 12345") << int(Track) << "12345" << " 1:23.45" << "83.45";
    QTest::newRow("track 9000") << int(Track) << "9000" << " 1:30.00" << "90.00";
    QTest::newRow("track 523") << int(Track) << "523" << "05.23" << "5.23";
    QTest::newRow("track 0") << int(Track) << "0" << "00.00" << "0.00";
    QTest::newRow("track 1234567") << int(Track) << "1234567" << " 1:23:45.67" << " 1:23:45.67";
    QTest::newRow("track 359999") << int(Track) << "359999" << "36:39.99" << "36:39.99";
    QTest::newRow("road 12345") << int(Road) << "12345" << " 1:23:45" << " 1:23:45";
    QTest::newRow("road 5959") << int(Road) << "5959" << "59:59" << "59:59";
    QTest::newRow("road 100") << int(Road) << "100" << " 1:00" << "60";
    QTest::newRow("road 75") << int(Road) << "75" << " 1:15" << "75";
    QTest::newRow("road 5") << int(Road) << "5" << "05" << "5";
    QTest::newRow("road 10075") << int(Road) << "10075" << " 1:01:15" << " 1:01:15";
    QTest::newRow("road 125959") << int(Road) << "125959" << "12:59:59" << "12:59:59";

    // Exactly 100 s is past the plain-seconds form even without the correction.
    QTest::newRow("track 14000 (100 s)") << int(Track) << "14000" << " 1:40.00" << " 1:40.00";
    QTest::newRow("track 13900 (99 s)") << int(Track) << "13900" << " 1:39.00" << "99.00";
    QTest::newRow("track leading zeros") << int(Track) << "0005523" << "55.23" << "55.23";
    QTest::newRow("track plus sign") << int(Track) << "+5523" << "55.23" << "55.23";
    QTest::newRow("road largest int") << int(Road) << "2147483647" << "214748:36:47" << "214748:36:47";

    // Cells that are not integers are drawn and written blank, never failing.
    for (const Kind kind : {Track, Road}) {
        const char *prefix = kind == Track ? "track " : "road ";
        for (const char *cell : {"", "+", "-", "12a", " 5523", "5523 ", "55.23", "2147483648"}) {
            QTest::addRow("%sblank '%s'", prefix, cell) << int(kind) << QString::fromLatin1(cell) << QString() << QString();
        }
    }
}

void TestTimeRules::displayText()
{
    QFETCH(int, kind);
    QFETCH(QString, cell);
    QFETCH(QString, fixed);
    QFETCH(QString, plain);

    QCOMPARE(TimeDisplayText(cell, kind == Track, true), fixed);
    QCOMPARE(TimeDisplayText(cell, kind == Track, false), plain);
}

void TestTimeRules::negativeDisplay_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<QString>("plain");

    QTest::newRow("track -523") << int(Track) << "-523" << "-05.23" << "-5.23";
    QTest::newRow("track -23") << int(Track) << "-23" << "-00.23" << "-0.23";
    QTest::newRow("track -7523") << int(Track) << "-7523" << "-1:15.23" << "-75.23";
    QTest::newRow("track -1234567") << int(Track) << "-1234567" << "-1:23:45.67" << "-1:23:45.67";
    QTest::newRow("track lowest int") << int(Track) << "-2147483648" << "-2147:48:36.48" << "-2147:48:36.48";
    QTest::newRow("track -0") << int(Track) << "-0" << "00.00" << "0.00";
    QTest::newRow("road -75") << int(Road) << "-75" << "-1:15" << "-75";
    QTest::newRow("road -12345") << int(Road) << "-12345" << "-1:23:45" << "-1:23:45";
    QTest::newRow("road lowest int") << int(Road) << "-2147483648" << "-214748:36:48" << "-214748:36:48";
}

void TestTimeRules::negativeDisplay()
{
    displayText();
}

void TestTimeRules::packedToSeconds_data()
{
    QTest::addColumn<int>("packed");
    QTest::addColumn<int>("seconds");

    QTest::newRow("0") << 0 << 0;
    QTest::newRow("seconds over 59 count in full") << 75 << 75;
    QTest::newRow("minutes over 59 count in full") << 7500 << 4500;
    QTest::newRow("1:01:15 as 10075") << 10075 << 3675;
    QTest::newRow("1:01:00 as 10100") << 10100 << 3660;
    QTest::newRow("largest int") << 2147483647 << 214748 * 3600 + 36 * 60 + 47;
    QTest::newRow("negative truncates toward zero") << -10075 << -3675;
}

void TestTimeRules::packedToSeconds()
{
    QFETCH(int, packed);
    QFETCH(int, seconds);

    QCOMPARE(PackedToSeconds(packed), seconds);
}

void TestTimeRules::completion_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("above");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("warns");

    QTest::newRow("track 5523 61") << int(Track) << "5523" << "61" << "5561" << false;
    QTest::newRow("track 5523 6") << int(Track) << "5523" << "6" << "5526" << false;
    QTest::newRow("track 5523 3 equal") << int(Track) << "5523" << "3" << "5523" << false;
    QTest::newRow("track 5523 10") << int(Track) << "5523" << "10" << "5510" << true;
    QTest::newRow("track 5998 02 no roll-over") << int(Track) << "5998" << "02" << "5902" << true;
    QTest::newRow("track 12345 67") << int(Track) << "12345" << "67" << "12367" << false;
    QTest::newRow("track 12345 0") << int(Track) << "12345" << "0" << "12340" << true;
    QTest::newRow("track 10100 075") << int(Track) << "10100" << "075" << "10075" << true;
    QTest::newRow("road 10100 075 seconds compared") << int(Road) << "10100" << "075" << "10075" << false;
    QTest::newRow("road 12345 50") << int(Road) << "12345" << "50" << "12350" << false;
    QTest::newRow("road 12345 412") << int(Road) << "12345" << "412" << "12412" << false;
    QTest::newRow("track 5523 5500") << int(Track) << "5523" << "5500" << "5500" << true;
    QTest::newRow("track 5523 05600 kept") << int(Track) << "5523" << "05600" << "05600" << false;
    for (const Kind kind : {Track, Road}) {
        const char *name = kind == Track ? "track" : "road";
        QTest::addRow("%s empty above", name) << int(kind) << "" << "12" << "12" << false;
        QTest::addRow("%s empty typed", name) << int(kind) << "5523" << "" << "" << false;
        // With nothing above no conversion happens at all.
        QTest::addRow("%s empty above, lone sign", name) << int(kind) << "" << "-" << "-" << false;
    }

    // Road compares seconds, so the two kinds disagree where a part runs past 59.
    QTest::newRow("road 5099 100 seconds lower") << int(Road) << "5099" << "100" << "5100" << true;
    QTest::newRow("track 5099 100") << int(Track) << "5099" << "100" << "5100" << false;
    QTest::newRow("road seconds equal") << int(Road) << "10100" << "060" << "10060" << false;
    QTest::newRow("road seconds lower") << int(Road) << "10100" << "059" << "10059" << true;
    // As long as the time above: the plain integers, in a road race too.
    QTest::newRow("road 10100 10075 as long") << int(Road) << "10100" << "10075" << "10075" << true;
    // The sign counts as a typed character and the value is added as it stands.
    QTest::newRow("track signed typed") << int(Track) << "5523" << "+6" << "5506" << true;
    QTest::newRow("track signed, as long") << int(Track) << "5523" << "+5600" << "+5600" << false;
    QTest::newRow("track negative, as long") << int(Track) << "5523" << "-5600" << "-5600" << true;
    QTest::newRow("track one digit above") << int(Track) << "5" << "7" << "7" << false;
    // Leading zeros above let the typed text reach any length.
    QTest::newRow("track 10 digits replaced")
        << int(Track) << "02147483647" << "0000000061" << "61" << true;
    QTest::newRow("track 20 digits replaced")
        << int(Track) << "0000000000000000000005523" << "00000000000000000061" << "61" << true;
    QTest::newRow("track 9 digits replaced")
        << int(Track) << "2147483647" << "000000061" << "2000000061" << true;
}

void TestTimeRules::completion()
{
    QFETCH(int, kind);
    QFETCH(QString, above);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(bool, warns);

    const Completion checked = CompleteTime(typed, above, Settings(Kind(kind), true));
    QCOMPARE(checked.text, stored);
    QCOMPARE(checked.needsCheck, warns);

    const Completion unchecked = CompleteTime(typed, above, Settings(Kind(kind), false));
    QCOMPARE(unchecked.text, stored);
    QCOMPARE(unchecked.needsCheck, false);
}

void TestTimeRules::completionErrors_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("validCheck");
    QTest::addColumn<QString>("above");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");

    for (const bool validCheck : {true, false}) {
        const char *check = validCheck ? "checked" : "unchecked";
        // Shorter than the time above: both texts are converted in any case.
        QTest::addRow("lone plus, %s", check) << int(Track) << validCheck << "5523" << "+" << NotInteger("+");
        QTest::addRow("lone minus, %s", check) << int(Road) << validCheck << "5523" << "-" << NotInteger("-");
        QTest::addRow("above first, %s", check) << int(Track) << validCheck << "55+3" << "-" << NotInteger("55+3");
        QTest::addRow("above blank, %s", check) << int(Track) << validCheck << " 5523" << "6" << NotInteger(" 5523");
        QTest::addRow("past int range, %s", check)
            << int(Track) << validCheck << "2147483647" << "9" << NotInteger("2147483649");
        QTest::addRow("past int range, 9 digits, %s", check)
            << int(Road) << validCheck << "2147483647" << "999999999" << NotInteger("2999999999");
    }
    // As long or longer: converted only for the comparison, above first; with the
    // check off nothing is converted and the text is stored as typed.
    QTest::newRow("as long, above") << int(Track) << true << "+" << "5" << NotInteger("+");
    QTest::newRow("as long, typed") << int(Road) << true << "5523" << "55-3" << NotInteger("55-3");
    QTest::newRow("as long, both") << int(Track) << true << "-" << "+" << NotInteger("-");
    QTest::newRow("longer, out of range") << int(Track) << true << "5523" << "2147483648" << NotInteger("2147483648");
    QTest::newRow("as long, above, unchecked") << int(Track) << false << "+" << "5" << QString();
    QTest::newRow("as long, typed, unchecked") << int(Road) << false << "5523" << "55-3" << QString();
    QTest::newRow("as long, both, unchecked") << int(Track) << false << "-" << "+" << QString();
    QTest::newRow("longer, out of range, unchecked") << int(Track) << false << "5523" << "2147483648" << QString();
}

void TestTimeRules::completionErrors()
{
    QFETCH(int, kind);
    QFETCH(bool, validCheck);
    QFETCH(QString, above);
    QFETCH(QString, typed);
    QFETCH(QString, message);

    const TimeSettings settings = Settings(Kind(kind), validCheck);
    QCOMPARE(ErrorOf(typed, above, settings), message);
    if (message.isEmpty()) {
        const Completion result = CompleteTime(typed, above, settings);
        QCOMPARE(result.text, typed);
        QCOMPARE(result.needsCheck, false);
    }
}

// The display texts against the printf formats they stand for, over a sweep of
// seconds and packed times well beyond the tables.
void TestTimeRules::formatsAsPrintfWould()
{
    auto reference = [](int t, bool sixtyFix) {
        if (!sixtyFix && t <= 99)
            return QString::asprintf("%d", t);
        const int h = t / 3600, m = (t % 3600) / 60, s = (t % 3600) % 60;
        if (h > 0)
            return QString::asprintf("%2d:%02d:%02d", h, m, s);
        return m > 0 ? QString::asprintf("%2d:%02d", m, s) : QString::asprintf("%02d", s);
    };
    for (bool sixtyFix : {true, false}) {
        for (int t = 0; t < 200000; t += (t < 4000 ? 1 : 997))
            QCOMPARE(SecondsText(t, sixtyFix), reference(t, sixtyFix));
        for (int n : {0, 7, 99, 100, 523, 5999, 6000, 9999, 12345, 359999, 1234567, 99999999, 2147483647}) {
            const QString expected = QString::asprintf("%s.%02d", qPrintable(reference(PackedToSeconds(n / 100), sixtyFix)), n % 100);
            QCOMPARE(TrackTimeText(n, sixtyFix), expected);
        }
    }
}

QTEST_APPLESS_MAIN(TestTimeRules)

#include "tst_timerules.moc"
