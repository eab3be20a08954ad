#include "core/keyfilter.h"
#include "core/runtimeerror.h"
#include "core/windrules.h"

#include <QTest>

#include <limits>

using namespace Ordavex;

namespace {

template<typename F>
QString ErrorOf(F &&call)
{
    try {
        call();
    } catch (const RuntimeError &error) {
        return error.message();
    }
    return QString();
}

} // namespace

class TestWindRules final : public QObject
{
    Q_OBJECT

private slots:
    void normalise_data();
    void normalise();
    void normaliseErrors_data();
    void normaliseErrors();
    void windCode_data();
    void windCode();
    void windCodeTooLarge();
    void windFromCode_data();
    void windFromCode();
    void everyValidCodeRoundTrips();
    void windText_data();
    void windText();
    void numericKeys_data();
    void numericKeys();
};

void TestWindRules::normalise_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("code");

    QTest::newRow("12") << "12" << "+1.2" << 112;
    QTest::newRow("5") << "5" << "+5.0" << 150;
    QTest::newRow("05") << "05" << "+0.5" << 105;
    QTest::newRow("-05") << "-05" << "-0.5" << 905;
    QTest::newRow("-12") << "-12" << "-1.2" << 912;
    QTest::newRow("0") << "0" << "+0.0" << 100;
    QTest::newRow("10") << "10" << "+1.0" << 110;
    QTest::newRow("99") << "99" << "+9.9" << 199;
    QTest::newRow("123") << "123" << "+1.2" << 112;
    QTest::newRow("150") << "150" << "+1.5" << 115;
    QTest::newRow("101") << "101" << "+1.0" << 110;
    QTest::newRow("100") << "100" << "+10.0" << 1100;
    QTest::newRow("999") << "999" << "+10.0" << 1100;
    QTest::newRow("-123") << "-123" << "-12.3" << 9123;
    QTest::newRow(".5") << ".5" << "+0.5" << 105;
    QTest::newRow("1.2") << "1.2" << "+1.2" << 112;

    QTest::newRow("20") << "20" << "+2.0" << 120;
    QTest::newRow("+2") << "+2" << "+2.0" << 120;
    QTest::newRow("1.") << "1." << "+1.0" << 110;
    QTest::newRow("00") << "00" << "+0.0" << 100;
    QTest::newRow("-00") << "-00" << "-0.0" << 100;
    QTest::newRow("-1.2") << "-1.2" << "-1.2" << 912;
    // The field shows the rounded minus zero; its value is zero, so the code is calm.
    QTest::newRow("-0.04 rounds to minus zero") << "-0.04" << "-0.0" << 100;
    QTest::newRow("-999 divided once") << "-999" << "-99.9" << 9999;
    QTest::newRow("5000 divided until 100") << "5000" << "+5.0" << 150;
    QTest::newRow("1001") << "1001" << "+1.0" << 110;
    // Saving normalises again: a normalised text, typed or put in by the program,
    // keeps its value, however large.
    QTest::newRow("+10.0") << "+10.0" << "+10.0" << 1100;
    QTest::newRow("-12.3") << "-12.3" << "-12.3" << 9123;
    QTest::newRow("+10.5") << "+10.5" << "+10.5" << 1105;
    QTest::newRow("-99.9") << "-99.9" << "-99.9" << 9999;
    QTest::newRow("-0.5") << "-0.5" << "-0.5" << 905;
    QTest::newRow("-0.0") << "-0.0" << "-0.0" << 100;
    // Only the exact form is kept; anything else goes through the rules.
    QTest::newRow("+10.05") << "+10.05" << "+1.0" << 110;
    QTest::newRow("+010.0") << "+010.0" << "+1.0" << 110;
    QTest::newRow("10.0") << "10.0" << "+1.0" << 110;
    QTest::newRow("+.5") << "+.5" << "+0.5" << 105;
    QTest::newRow("empty") << "" << "" << 0;
}

void TestWindRules::normalise()
{
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QFETCH(int, code);

    QCOMPARE(NormaliseWindText(typed), field);
    if (!field.isEmpty())
        QCOMPARE(WindCode(float(StrToFloat(field))), code);
}

void TestWindRules::normaliseErrors_data()
{
    QTest::addColumn<QString>("typed");

    QTest::newRow("lone minus") << "-";
    QTest::newRow("lone plus") << "+";
    QTest::newRow("lone point") << ".";
    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("sign and point") << "-.";
    QTest::newRow("letter") << "1a";
    QTest::newRow("0 and a non-digit") << "0a";
    QTest::newRow("-0 and a full-width digit") << "-0５";
}

void TestWindRules::normaliseErrors()
{
    QFETCH(QString, typed);

    QCOMPARE(ErrorOf([&] { NormaliseWindText(typed); }),
             QStringLiteral("'%1' は浮動小数点数ではありません").arg(typed));
}

void TestWindRules::windCode_data()
{
    QTest::addColumn<float>("wind");
    QTest::addColumn<int>("code");

    QTest::newRow("zero") << 0.0f << 100;
    QTest::newRow("minus zero") << -0.0f << 100;
    QTest::newRow("+1.2") << 1.2f << 112;
    QTest::newRow("+0.5") << 0.5f << 105;
    QTest::newRow("+9.9") << 9.9f << 199;
    QTest::newRow("-0.5") << -0.5f << 905;
    QTest::newRow("-2.1") << -2.1f << 921;
    QTest::newRow("+10.0") << 10.0f << 1100;
    QTest::newRow("-12.3") << -12.3f << 9123;
    QTest::newRow("rounds to +10.0") << 9.99f << 1100;
    QTest::newRow("rounds to -0.0") << -0.04f << 900;
    QTest::newRow("rounds to +0.0") << 0.04f << 100;
    QTest::newRow("-99.9 is the no-wind value") << -99.9f << 9999;
    QTest::newRow("ten digits") << 12345678.0f << 1123456780;
}

void TestWindRules::windCode()
{
    QFETCH(float, wind);
    QFETCH(int, code);

    QCOMPARE(WindCode(wind), code);
}

void TestWindRules::windCodeTooLarge()
{
    QCOMPARE(ErrorOf([] { WindCode(-123456792.0f); }), QStringLiteral("'91234567920' は整数ではありません"));
    QCOMPARE(ErrorOf([] { WindCode(std::numeric_limits<float>::infinity()); }),
             QStringLiteral("'+inf' は整数ではありません"));
}

void TestWindRules::windFromCode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("wind");
    QTest::addColumn<QString>("text");

    QTest::newRow("100") << 100 << 0.0 << "+0.0";
    QTest::newRow("112") << 112 << 1.2 << "+1.2";
    QTest::newRow("905") << 905 << -0.5 << "-0.5";
    QTest::newRow("199") << 199 << 9.9 << "+9.9";
    QTest::newRow("999") << 999 << -9.9 << "-9.9";
    QTest::newRow("901") << 901 << -0.1 << "-0.1";
    QTest::newRow("101") << 101 << 0.1 << "+0.1";
    for (const int code : {900, 1100, 0, 99, 200, 899, 1000, 9123, 9999, -112}) {
        QTest::addRow("%d", code) << code << NoWind << "+9999.0";
    }
}

void TestWindRules::windFromCode()
{
    QFETCH(int, code);
    QFETCH(double, wind);
    QFETCH(QString, text);

    QCOMPARE(WindFromCode(code), wind);
    QCOMPARE(WindText(WindFromCode(code)), text);
}

// A wind saved under a code is opened and saved again: the code must not drift
// through the float conversion and the rounding of the one decimal.
void TestWindRules::everyValidCodeRoundTrips()
{
    for (int code = 100; code <= 999; ++code) {
        const double wind = WindFromCode(code);
        if (wind == NoWind)
            continue;
        QCOMPARE(WindCode(float(wind)), code);
        QCOMPARE(NormaliseWindText(WindText(wind)), WindText(wind));
    }
}

void TestWindRules::windText_data()
{
    QTest::addColumn<double>("wind");
    QTest::addColumn<QString>("text");

    QTest::newRow("+10.0") << 10.0 << "+10.0";
    QTest::newRow("-12.3") << -12.3 << "-12.3";
    QTest::newRow("minus zero") << -0.0 << "-0.0";
    // The C library rounds the exact binary value, ties to even.
    QTest::newRow("0.25") << 0.25 << "+0.2";
    QTest::newRow("0.35") << 0.35 << "+0.3";
    QTest::newRow("0.45") << 0.45 << "+0.5";
}

void TestWindRules::windText()
{
    QFETCH(double, wind);
    QFETCH(QString, text);

    QCOMPARE(WindText(wind), text);
}

void TestWindRules::numericKeys_data()
{
    QTest::addColumn<QChar>("key");
    QTest::addColumn<bool>("inGrid");
    QTest::addColumn<bool>("inWind");

    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        QTest::addRow("digit %c", char(digit)) << QChar(digit) << true << true;
    QTest::newRow("plus") << QChar(u'+') << true << true;
    QTest::newRow("minus") << QChar(u'-') << true << true;
    QTest::newRow("backspace") << Backspace << true << true;
    QTest::newRow("point") << QChar(u'.') << false << true;
    QTest::newRow("colon") << QChar(u':') << false << false;
    QTest::newRow("comma") << QChar(u',') << false << false;
    QTest::newRow("letter") << QChar(u'a') << false << false;
    QTest::newRow("blank") << QChar(u' ') << false << false;
    QTest::newRow("enter") << EnterKey << false << false;
    QTest::newRow("ctrl-c") << QChar(0x03) << false << false;
    QTest::newRow("ctrl-v") << QChar(0x16) << false << false;
    QTest::newRow("full-width digit") << QChar(0xFF11) << false << false;
    QTest::newRow("arabic-indic digit") << QChar(0x0661) << false << false;
}

void TestWindRules::numericKeys()
{
    QFETCH(QChar, key);
    QFETCH(bool, inGrid);
    QFETCH(bool, inWind);

    QCOMPARE(FilterNumericKey(key, false), inGrid ? key : QChar());
    QCOMPARE(FilterNumericKey(key, true), inWind ? key : QChar());
}

QTEST_APPLESS_MAIN(TestWindRules)

#include "tst_windrules.moc"
