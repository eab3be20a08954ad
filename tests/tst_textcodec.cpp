#include "core/textcodec.h"

#include <QTest>

using namespace Ordavex;
using namespace Qt::StringLiterals;

class TestTextCodec final : public QObject
{
    Q_OBJECT

private slots:
    void characters_data();
    void characters();
    void headings_data();
    void headings();
    void badBytes_data();
    void badBytes();
    void truncatedCharacterDoesNotLeak();
    void unencodable_data();
    void unencodable();
    void everyDoubleByteCharacterIsStable();
    void longTextWithBadBytes();
    void characterAmidAscii_data();
    void characterAmidAscii();
};

// Characters whose bytes are the same both ways.
void TestTextCodec::characters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("backslash, not yen") << QByteArray("\x5C") << u"\\"_s;
    QTest::newRow("tilde, not overline") << QByteArray("\x7E") << u"~"_s;
    QTest::newRow("ideographic space") << QByteArray("\x81\x40") << u"\u3000"_s;
    QTest::newRow("circled one") << QByteArray("\x87\x40") << u"\u2460"_s;
    QTest::newRow("half-width a") << QByteArray("\xB1") << u"\uFF71"_s;
    QTest::newRow("full-width tilde") << QByteArray("\x81\x60") << u"\uFF5E"_s;
    QTest::newRow("trail byte 5C") << QByteArray("\x83\x5C\x83\x74\x83\x67\\\x95\x5C")
                                   << u"ソフト\\表"_s;
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestTextCodec::characters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QCOMPARE(Cp932::decode(bytes), text);
    bool lossless = false;
    QCOMPARE(Cp932::encode(text, &lossless), bytes);
    QVERIFY(lossless);
}

void TestTextCodec::headings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("result file") << u"\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\""_s
                                 << QByteArray("\x22\x8F\x87\x88\xCA\x22\x2C"
                                               "\x22\xDA\xB0\xDD\x22\x2C"
                                               "\x22\xC0\xB2\xD1\x22");
    QTest::newRow("slit log") << u"\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\",\"ｾﾞｯｹﾝ\""_s
                              << QByteArray("\x22\x8F\x87\x88\xCA\x22\x2C"
                                            "\x22\xDA\xB0\xDD\x22\x2C"
                                            "\x22\xC0\xB2\xD1\x22\x2C"
                                            "\x22\xBE\xDE\xAF\xB9\xDD\x22");
}

void TestTextCodec::headings()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    bool lossless = false;
    QCOMPARE(Cp932::encode(text, &lossless), bytes);
    QVERIFY(lossless);
    QCOMPARE(Cp932::decode(bytes), text);
}

void TestTextCodec::badBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("lead byte cut off at the end") << QByteArray("a\x81") << u"a\uFFFD"_s;
    QTest::newRow("lead byte before a space") << QByteArray("\x81\x20x") << u"\uFFFD x"_s;
    QTest::newRow("lead byte before a newline") << QByteArray("\x81\n") << u"\uFFFD\n"_s;
    QTest::newRow("unassigned pair keeps its second byte")
        << QByteArray("\x85\x40") << u"\uFFFD@"_s;
    QTest::newRow("lead byte before a valid pair")
        << QByteArray("\x81\x81\x40") << u"\uFF1D@"_s;
    // These single bytes are undefined in the code page; the Windows system table
    // gives some of them private characters instead.
#ifndef Q_OS_WIN
    QTest::newRow("80") << QByteArray("\x80") << u"\uFFFD"_s;
    QTest::newRow("A0") << QByteArray("1\xA0" "2") << u"1\uFFFD2"_s;
    QTest::newRow("FD FE FF") << QByteArray("\xFD\xFE\xFF") << u"\uFFFD\uFFFD\uFFFD"_s;
#endif
}

void TestTextCodec::badBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QCOMPARE(Cp932::decode(bytes), text);
}

void TestTextCodec::truncatedCharacterDoesNotLeak()
{
    QCOMPARE(Cp932::decode("\x81"), u"\uFFFD"_s);
    QCOMPARE(Cp932::decode("\x40"), u"@"_s);
    QCOMPARE(Cp932::decode("\x88"), u"\uFFFD"_s);
    QCOMPARE(Cp932::decode("\xCA"), u"\uFF8A"_s);
}

void TestTextCodec::unencodable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("emoji is one question mark") << u"a\U0001F600b"_s << QByteArray("a?b");
    QTest::newRow("euro") << u"5\u20AC"_s << QByteArray("5?");
    QTest::newRow("hangul") << u"\uD55C\u3042"_s << QByteArray("?\x82\xA0");
    QTest::newRow("lone high surrogate keeps what follows")
        << u"x"_s + QChar(0xD800) + u"AB"_s << QByteArray("x?AB");
    QTest::newRow("lone low surrogate") << QChar(0xDC00) + u"A"_s << QByteArray("?A");
    QTest::newRow("high surrogate at the end") << u"A"_s + QChar(0xD83D) << QByteArray("A?");
}

void TestTextCodec::unencodable()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    bool lossless = true;
    QCOMPARE(Cp932::encode(text, &lossless), bytes);
    QVERIFY(!lossless);
    QCOMPARE(Cp932::encode(text), bytes);
}

// Every pair that decodes gives one character, and encoding that character gives
// bytes that decode to it again (duplicate codes such as the NEC-selected IBM
// extensions may come back as their other form).
void TestTextCodec::everyDoubleByteCharacterIsStable()
{
    int decoded = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const char pair[] = {char(lead), char(trail)};
            const QString text = Cp932::decode(QByteArrayView(pair, 2));
            if (text.contains(QChar(0xFFFD)))
                continue;
            QCOMPARE(text.size(), 1);
            bool lossless = false;
            const QByteArray again = Cp932::encode(text, &lossless);
            QVERIFY2(lossless, qPrintable(QString::number(lead * 256 + trail, 16)));
            QCOMPARE(again.size(), 2);
            QCOMPARE(Cp932::decode(again), text);
            ++decoded;
        }
    }
    // JIS X 0208 with the NEC and IBM extensions and the user-defined area.
    QVERIFY(decoded > 9000);
}

void TestTextCodec::longTextWithBadBytes()
{
    QByteArray bytes;
    QString text;
    for (int i = 0; i < 5000; ++i) {
        bytes += "\x8F\x87\x81\xB1";
        text += u"順\uFFFD\uFF71"_s;
    }
    QCOMPARE(Cp932::decode(bytes), text);
}

// ASCII is decoded several bytes at a time: any other byte, at any place of a run, still
// decodes as it does alone.
void TestTextCodec::characterAmidAscii_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("half-width katakana") << QByteArray("\xB1") << u"\uFF71"_s;
    QTest::newRow("double-byte character") << QByteArray("\x8F\x87") << u"順"_s;
    QTest::newRow("bad byte") << QByteArray("\x80") << u"\uFFFD"_s;
    QTest::newRow("lead byte before ASCII") << QByteArray("\x81\x20") << u"\uFFFD "_s;
}

void TestTextCodec::characterAmidAscii()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    const QByteArray ascii("\"1\",\"101\",\"1037\"\r\n\"2\",\"102\"");
    for (qsizetype at = 0; at <= ascii.size(); ++at) {
        const QByteArray mixed = ascii.left(at) + bytes + ascii.mid(at);
        QCOMPARE(Cp932::decode(mixed), QString::fromLatin1(ascii.left(at)) + text + QString::fromLatin1(ascii.mid(at)));
    }
    // A lead byte cut off at the end after a long run of ASCII.
    QCOMPARE(Cp932::decode(ascii + "\x81"), QString::fromLatin1(ascii) + u"\uFFFD"_s);
}

QTEST_APPLESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
