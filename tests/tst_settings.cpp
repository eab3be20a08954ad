#include "filesizelimit.h"
#include "core/runtimeerror.h"
#include "core/settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <limits>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The [Params] lines of a record with every default, in file order.
QByteArray defaultParamLines()
{
    return "Maxrunner=8\r\nRaceKind=1\r\nAssigKind=5\r\nCurStyle=3\r\n"
           "QuickInput=1\r\nvalidCheck=1\r\nsixtyFix=1\r\nautoInc=1\r\nautoClear=1\r\n"
           "NumColID=0\r\ncComName=0\r\ncBauRate=8\r\ncBitSize=3\r\ncParity=0\r\n"
           "cStopBits=0\r\ncPlace=1\r\ncLane=2\r\ncTime=4\r\ncZekken=3\r\ncWaitTime=1\r\n"
           "cLogExtOpt=0\r\ncCheckAutoLog=1\r\ncCheckTimerON=1\r\ncComName2=0\r\n"
           "cUseSubCom=0\r\ncCheckTimerON2=0\r\nMustComma=1\r\nMinBuffLen=0\r\n";
}

Settings defaultsWith(const QString &folder)
{
    Settings s;
    s.exFilePath = folder;
    s.exLogFilePath = folder;
    return s;
}

// Root ignores permission bits; the only sure test is to try.
bool permissionsEnforced(const QString &folder)
{
    QFile probe(folder + u"/probe"_s);
    if (probe.open(QIODevice::WriteOnly)) {
        probe.close();
        probe.remove();
        return false;
    }
    return true;
}

} // namespace

class TestSettings final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void missingFileGivesDefaults();
    void logFolderDefaultsToWorkFolderRead();
    void readInteger_data();
    void readInteger();
    void readBool_data();
    void readBool();
    void readString_data();
    void readString();
    void namesIgnoreCase();
    void lineEnds();
    void duplicateKeyFirstWins();
    void longTextIsCut();

    void freshFileBytes();
    void roundTripEveryField();
    void otherLinesKeepTheirPlaces();
    void newKeyAtEndOfSectionNewSectionAtEnd();
    void undecodableLineKeptByteForByte();
    void japaneseFolderBytes();
    void awkwardTextsRoundTrip_data();
    void awkwardTextsRoundTrip();
    void unstorableValueKeepsOldLine_data();
    void unstorableValueKeepsOldLine();
    void portsRead();
    void portsWrittenInFullOnceGiven_data();
    void portsWrittenInFullOnceGiven();
    void unstorablePortKeepsOldLine();
    void boardSection_data();
    void boardSection();

    void failureLeavesOldFile_data();
    void failureLeavesOldFile();
    void readOnlyFolder();
    void readOnlyFile();
    void unreadableFile();
    void partWayFailureLeavesOldFile();
    void failedReadIsNotWrittenOver();
    void fifoRefused();
    void largeFileReadInOnePass();
    void largeFileOfEveryShape_data();
    void largeFileOfEveryShape();

private:
    void expectWriteFailure(const QString &path, const QByteArray &oldBytes);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(u"ORDAVEX.INI"_s);
}

void TestSettings::missingFileGivesDefaults()
{
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), defaultsWith(u"C:\\Work"_s));
    QVERIFY(!QFile::exists(m_path));
}

void TestSettings::logFolderDefaultsToWorkFolderRead()
{
    QVERIFY(writeBytes(m_path, "[WorkFiles]\r\nexFilePath=D:\\Race\r\n"));
    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(s.exFilePath, u"D:\\Race"_s);
    QCOMPARE(s.exLogFilePath, u"D:\\Race"_s);

    // Present but empty is a value, not a missing key.
    QVERIFY(writeBytes(m_path, "[WorkFiles]\r\nexFilePath=D:\\Race\r\nexLogFilePath=\r\n"));
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s).exLogFilePath, QString());
}

void TestSettings::readInteger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("expected");

    const int min = std::numeric_limits<int>::min();
    const int max = std::numeric_limits<int>::max();
    QTest::newRow("decimal") << QByteArray("12") << 12;
    QTest::newRow("signs") << QByteArray("-3") << -3;
    QTest::newRow("plus") << QByteArray("+7") << 7;
    QTest::newRow("leading zero is decimal") << QByteArray("010") << 10;
    QTest::newRow("int max") << QByteArray("2147483647") << max;
    QTest::newRow("int min") << QByteArray("-2147483648") << min;
    QTest::newRow("too large") << QByteArray("2147483648") << 8;
    QTest::newRow("hex") << QByteArray("0x10") << 16;
    QTest::newRow("hex upper X mixed digits") << QByteArray("0X1f") << 31;
    QTest::newRow("hex all ones is -1") << QByteArray("0xFFFFFFFF") << -1;
    QTest::newRow("hex sign bit") << QByteArray("0x80000000") << min;
    QTest::newRow("hex leading zeros") << QByteArray("0x0000000010") << 16;
    QTest::newRow("hex too large") << QByteArray("0x100000000") << 8;
    QTest::newRow("hex bad digit") << QByteArray("0x1g") << 8;
    QTest::newRow("hex with sign") << QByteArray("0x-1") << 8;
    QTest::newRow("0x alone") << QByteArray("0x") << 8;
    QTest::newRow("letters") << QByteArray("abc") << 8;
    QTest::newRow("empty") << QByteArray("") << 8;
    QTest::newRow("blank inside") << QByteArray("1 2") << 8;
    QTest::newRow("trailing text") << QByteArray("12a") << 8;
    QTest::newRow("blanks around") << QByteArray(" \t12 ") << 12;
    QTest::newRow("quoted") << QByteArray("\"0x10\"") << 16;
    QTest::newRow("full-width digits") << QByteArray("\x82\x50\x82\x51") << 8;
}

void TestSettings::readInteger()
{
    QFETCH(QByteArray, text);
    QFETCH(int, expected);

    QVERIFY(writeBytes(m_path, "[Params]\r\ncBauRate=" + text + "\r\n"));
    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(s.cBauRate, expected);
    Settings others = defaultsWith(u"C:\\Work"_s);
    others.cBauRate = s.cBauRate;
    QCOMPARE(s, others);
}

void TestSettings::readBool_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("sixtyFix");
    QTest::addColumn<bool>("cUseSubCom");

    QTest::newRow("missing") << QByteArray() << true << false;
    QTest::newRow("0") << QByteArray("sixtyFix=0\r\ncUseSubCom=0") << false << false;
    QTest::newRow("1") << QByteArray("sixtyFix=1\r\ncUseSubCom=1") << true << true;
    QTest::newRow("2") << QByteArray("sixtyFix=2\r\ncUseSubCom=2") << true << true;
    QTest::newRow("-1") << QByteArray("sixtyFix=-1\r\ncUseSubCom=-1") << true << true;
    QTest::newRow("hex zero") << QByteArray("sixtyFix=0x0\r\ncUseSubCom=0x0") << false << false;
    QTest::newRow("not a number") << QByteArray("sixtyFix=no\r\ncUseSubCom=yes") << true << false;
}

void TestSettings::readBool()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, sixtyFix);
    QFETCH(bool, cUseSubCom);

    QVERIFY(writeBytes(m_path, "[Params]\r\n" + line + "\r\n"));
    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(s.sixtyFix, sixtyFix);
    QCOMPARE(s.cUseSubCom, cUseSubCom);
}

void TestSettings::readString_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QByteArray("exFilePath=C:\\Race") << u"C:\\Race"_s;
    QTest::newRow("blanks around key and value")
        << QByteArray("  exFilePath \t=  C:\\My Race  ") << u"C:\\My Race"_s;
    QTest::newRow("quotes removed") << QByteArray("exFilePath=\" C:\\Race \"") << u" C:\\Race "_s;
    QTest::newRow("one quote kept") << QByteArray("exFilePath=\"C:\\Race") << u"\"C:\\Race"_s;
    QTest::newRow("lone quote kept") << QByteArray("exFilePath=\"") << u"\""_s;
    QTest::newRow("equals in value") << QByteArray("exFilePath=a=b") << u"a=b"_s;
    QTest::newRow("empty") << QByteArray("exFilePath=") << QString();
    QTest::newRow("empty quotes") << QByteArray("exFilePath=\"\"") << QString();
    QTest::newRow("empty quotes with blanks") << QByteArray("exFilePath= \"\" ") << QString();
    QTest::newRow("commented out") << QByteArray(";exFilePath=C:\\Old") << u"C:\\Work"_s;
    QTest::newRow("no equals") << QByteArray("exFilePath") << u"C:\\Work"_s;
}

void TestSettings::readString()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);

    QVERIFY(writeBytes(m_path, "[WorkFiles]\r\n" + line + "\r\n"));
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s).exFilePath, expected);
}

void TestSettings::namesIgnoreCase()
{
    const QByteArray old = "[params]\r\nMAXRUNNER=12\r\n[ WORKFILES ]\r\nEXFILEPATH=D:\\Race\r\n";
    QVERIFY(writeBytes(m_path, old));
    Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(s.Maxrunner, 12);
    QCOMPARE(s.exFilePath, u"D:\\Race"_s);

    // Writing finds the same lines: no second section, no second key.
    s.Maxrunner = 20;
    WriteSettings(m_path, s);
    const QByteArray bytes = readBytes(m_path);
    QVERIFY(bytes.startsWith("[params]\r\nMAXRUNNER=20\r\nRaceKind=1\r\n"));
    QCOMPARE(bytes.count("[Params]"), 0);
    QCOMPARE(bytes.count("[WorkFiles]"), 0);
    QCOMPARE(bytes.toLower().count("maxrunner="), 1);
    QCOMPARE(bytes.toLower().count("exfilepath="), 1);
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), s);
}

void TestSettings::lineEnds()
{
    // LF alone, and a last line without a line end.
    QVERIFY(writeBytes(m_path, "[Params]\nMaxrunner=30\ncLane=5"));
    Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(s.Maxrunner, 30);
    QCOMPARE(s.cLane, 5);

    WriteSettings(m_path, s);
    const QByteArray bytes = readBytes(m_path);
    QVERIFY(bytes.startsWith("[Params]\r\nMaxrunner=30\r\n"));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
}

void TestSettings::duplicateKeyFirstWins()
{
    QVERIFY(writeBytes(m_path, "[Params]\r\ncTime=6\r\ncTime=7\r\n"));
    Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(s.cTime, 6);

    s.cTime = 9;
    WriteSettings(m_path, s);
    QVERIFY(readBytes(m_path).startsWith("[Params]\r\ncTime=9\r\ncTime=7\r\n"));
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s).cTime, 9);
}

void TestSettings::longTextIsCut()
{
    const QByteArray longPath = "C:\\" + QByteArray(2997, 'a');
    QVERIFY(writeBytes(m_path, "[WorkFiles]\r\nexFilePath=" + longPath + "\r\n"));
    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(s.exFilePath.size(), 2047);
    QCOMPARE(s.exFilePath, QString::fromLatin1(longPath.left(2047)));
    QCOMPARE(s.exLogFilePath, s.exFilePath);
}

void TestSettings::freshFileBytes()
{
    Settings s = defaultsWith(u"C:\\Work"_s);
    s.exLogFilePath = u"C:\\Work\\log"_s;
    WriteSettings(m_path, s);
    QCOMPARE(readBytes(m_path),
             "[WorkFiles]\r\nexFilePath=C:\\Work\r\nexLogFilePath=C:\\Work\\log\r\n"
             "[Params]\r\n" + defaultParamLines());

    // Writing the same record again changes nothing.
    WriteSettings(m_path, s);
    QCOMPARE(readBytes(m_path),
             "[WorkFiles]\r\nexFilePath=C:\\Work\r\nexLogFilePath=C:\\Work\\log\r\n"
             "[Params]\r\n" + defaultParamLines());
}

void TestSettings::roundTripEveryField()
{
    Settings s;
    s.exFilePath = u"D:\\大会\\結果"_s;
    s.exLogFilePath = u"\\\\server\\share\\ﾛｸﾞ\\"_s;
    s.Maxrunner = 500;
    s.RaceKind = 2;
    s.AssigKind = 6;
    s.CurStyle = 4;
    s.QuickInput = false;
    s.validCheck = false;
    s.sixtyFix = false;
    s.autoInc = false;
    s.autoClear = false;
    s.NumColID = 1;
    s.cComName = 11;
    s.cBauRate = 22;
    s.cBitSize = 2;
    s.cParity = 2;
    s.cStopBits = 1;
    s.cPlace = 7;
    s.cLane = 8;
    s.cTime = 9;
    s.cZekken = 10;
    s.cWaitTime = 4;
    s.cLogExtOpt = 1;
    s.cCheckAutoLog = false;
    s.cCheckTimerON = false;
    s.cComName2 = -5;
    s.cUseSubCom = true;
    s.cCheckTimerON2 = true;
    s.MustComma = false;
    s.MinBuffLen = std::numeric_limits<int>::min();
    QVERIFY(s != Settings());

    WriteSettings(m_path, s);
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), s);
}

void TestSettings::otherLinesKeepTheirPlaces()
{
    QVERIFY(writeBytes(m_path,
                       "; Ordavex\r\n"
                       "[Params]\r\n"
                       "Maxrunner=20\r\n"
                       "Extra = keep me \r\n"
                       "\r\n"
                       "[Other]\r\n"
                       "foo=bar\r\n"
                       "[WorkFiles]\r\n"
                       "exFilePath=C:\\Old\r\n"));
    Settings s = defaultsWith(u"C:\\New"_s);
    s.Maxrunner = 12;
    WriteSettings(m_path, s);

    QByteArray params = defaultParamLines();
    params.replace("Maxrunner=8\r\n", "");
    QCOMPARE(readBytes(m_path),
             "; Ordavex\r\n"
             "[Params]\r\n"
             "Maxrunner=12\r\n"
             "Extra = keep me \r\n"
             + params +
             "\r\n"
             "[Other]\r\n"
             "foo=bar\r\n"
             "[WorkFiles]\r\n"
             "exFilePath=C:\\New\r\n"
             "exLogFilePath=C:\\New\r\n");
}

void TestSettings::newKeyAtEndOfSectionNewSectionAtEnd()
{
    QVERIFY(writeBytes(m_path,
                       "[WorkFiles]\r\n"
                       "exFilePath=C:\\Old\r\n"
                       "; about the next section\r\n"
                       "\r\n"
                       "[Other]\r\n"));
    WriteSettings(m_path, defaultsWith(u"C:\\Work"_s));
    QCOMPARE(readBytes(m_path),
             "[WorkFiles]\r\n"
             "exFilePath=C:\\Work\r\n"
             "exLogFilePath=C:\\Work\r\n"
             "; about the next section\r\n"
             "\r\n"
             "[Other]\r\n"
             "[Params]\r\n" + defaultParamLines());
}

void TestSettings::undecodableLineKeptByteForByte()
{
    const QByteArray odd = "Odd=\x81\x20\xFF\x85\x40 end";
    QVERIFY(writeBytes(m_path, "[Params]\r\n" + odd + "\r\nMaxrunner=9\r\n"));
    WriteSettings(m_path, defaultsWith(u"C:\\Work"_s));
    QVERIFY(readBytes(m_path).startsWith("[Params]\r\n" + odd + "\r\nMaxrunner=8\r\n"));
}

void TestSettings::japaneseFolderBytes()
{
    // ソ and 表 end in the byte 5C, which is not a backslash there.
    Settings s = defaultsWith(u"C:\\陸上競技\\ﾃﾞｰﾀ"_s);
    s.exLogFilePath = u"C:\\ソフト\\表"_s;
    WriteSettings(m_path, s);
    QCOMPARE(readBytes(m_path),
             "[WorkFiles]\r\n"
             "exFilePath=C:\\\x97\xA4\x8F\xE3\x8B\xA3\x8B\x5A\\\xC3\xDE\xB0\xC0\r\n"
             "exLogFilePath=C:\\\x83\x5C\x83\x74\x83\x67\\\x95\x5C\r\n"
             "[Params]\r\n" + defaultParamLines());
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), s);
}

// Texts that a plain "key=value" line would not bring back are quoted, and a line
// break cannot start a line of its own.
void TestSettings::awkwardTextsRoundTrip_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("blank at the end") << u"/data/race "_s << u"/data/race "_s
                                      << QByteArray("exFilePath=\"/data/race \"");
    QTest::newRow("blank at the start") << u" race"_s << u" race"_s
                                        << QByteArray("exFilePath=\" race\"");
    QTest::newRow("enclosed in quotes") << u"\"race\""_s << u"\"race\""_s
                                        << QByteArray("exFilePath=\"\"race\"\"");
    QTest::newRow("one quote") << u"\"race"_s << u"\"race"_s << QByteArray("exFilePath=\"race");
    QTest::newRow("empty") << QString() << QString() << QByteArray("exFilePath=");
    QTest::newRow("NUL and control characters")
        << u"\x01" "a\0b\x1f"_s << u"\x01" "a\0b\x1f"_s << QByteArray("exFilePath=\"\x01" "a\0b\x1f\"", 18);
    QTest::newRow("longest text") << QString(2047, u'a') << QString(2047, u'a')
                                  << "exFilePath=" + QByteArray(2047, 'a');
}

void TestSettings::awkwardTextsRoundTrip()
{
    QFETCH(QString, folder);
    QFETCH(QString, readBack);
    QFETCH(QByteArray, line);

    Settings s = defaultsWith(folder);
    s.exLogFilePath = u"L"_s;
    WriteSettings(m_path, s);
    QVERIFY(readBytes(m_path).startsWith("[WorkFiles]\r\n" + line + "\r\nexLogFilePath=L\r\n"));
    s.exFilePath = readBack;
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), s);
}

// A value that would read back different is not written: the key keeps the line it has
// (or gets none), and the caller is told which keys could not be stored.
void TestSettings::unstorableValueKeepsOldLine_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("oldLine");

    const QString notInCodePage = u"/home/josé/Läufe"_s;
    const QString lineBreaks = u"a\r\n[Params]\nMaxrunner=999"_s;
    const QString tooLong = QString(2048, u'a');
    const QString loneSurrogate = u"C:\\"_s + QChar(0xD800);
    QTest::newRow("not in code page 932, old line") << notInCodePage << true;
    QTest::newRow("not in code page 932, no line") << notInCodePage << false;
    QTest::newRow("line breaks, old line") << lineBreaks << true;
    QTest::newRow("line breaks, no line") << lineBreaks << false;
    QTest::newRow("beyond 2047 characters") << tooLong << true;
    QTest::newRow("lone surrogate") << loneSurrogate << true;
}

void TestSettings::unstorableValueKeepsOldLine()
{
    QFETCH(QString, folder);
    QFETCH(bool, oldLine);

    const QByteArray old = oldLine ? QByteArray("[WorkFiles]\r\nexFilePath=C:\\Old\r\nexLogFilePath=L\r\n")
                                   : QByteArray("[WorkFiles]\r\nexLogFilePath=L\r\n");
    QVERIFY(writeBytes(m_path, old));
    Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    const Settings before = s;
    s.exFilePath = folder;
    s.Maxrunner = 20;
    QCOMPARE(WriteSettings(m_path, s), QStringList{u"exFilePath"_s});

    const QByteArray bytes = readBytes(m_path);
    QVERIFY(bytes.startsWith(old.chopped(2)));
    QCOMPARE(bytes.count("exFilePath="), oldLine ? 1 : 0);
    const Settings read = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(read.exFilePath, before.exFilePath);
    QCOMPARE(read.Maxrunner, 20);

    // Stored as soon as the value can be.
    s.exFilePath = u"C:\\New"_s;
    QCOMPARE(WriteSettings(m_path, s), QStringList());
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s).exFilePath, u"C:\\New"_s);
}

void TestSettings::portsRead()
{
    QVERIFY(writeBytes(m_path,
                       "[Params]\r\ncComName=1\r\n"
                       "[ports]\r\ncom1 = /dev/ttyUSB0 \r\nCOM3=\"/dev/serial/by-id/usb-FTDI 1\"\r\n"
                       "COM6=/dev/ignored\r\n"));
    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    std::array<QString, 5> expected;
    expected[0] = u"/dev/ttyUSB0"_s;
    expected[2] = u"/dev/serial/by-id/usb-FTDI 1"_s;
    QCOMPARE(s.ports, expected);
    QCOMPARE(s.cComName, 1);
    const std::array<QString, 5> none;
    QCOMPARE(ReadSettings(m_path + u".missing"_s, u"C:\\Work"_s).ports, none);
}

// A fresh file gets no section Ports (the defaults need none); once the record or the
// file has one, all five keys are written so that the operator sees what can be set.
void TestSettings::portsWrittenInFullOnceGiven_data()
{
    QTest::addColumn<QByteArray>("oldBytes");
    QTest::addColumn<int>("given");             // index of the entry set in the record, or -1
    QTest::addColumn<QByteArray>("expectedPart");

    const QByteArray full = "[Ports]\r\nCOM1=\r\nCOM2=/dev/ttyUSB0\r\nCOM3=\r\nCOM4=\r\nCOM5=\r\n";
    QTest::newRow("none anywhere") << QByteArray() << -1 << QByteArray("MinBuffLen=0\r\n");
    QTest::newRow("given in the record") << QByteArray() << 1 << defaultParamLines() + full;
    QTest::newRow("one key in the file")
        << QByteArray("[Ports]\r\nCOM4=\r\n") << -1
        << QByteArray("[Ports]\r\nCOM4=\r\nCOM1=\r\nCOM2=\r\nCOM3=\r\nCOM5=\r\n");
}

void TestSettings::portsWrittenInFullOnceGiven()
{
    QFETCH(QByteArray, oldBytes);
    QFETCH(int, given);
    QFETCH(QByteArray, expectedPart);

    if (!oldBytes.isEmpty())
        QVERIFY(writeBytes(m_path, oldBytes));
    Settings s = defaultsWith(u"C:\\Work"_s);
    if (given >= 0)
        s.ports[std::size_t(given)] = u"/dev/ttyUSB0"_s;
    QCOMPARE(WriteSettings(m_path, s), QStringList());
    const QByteArray bytes = readBytes(m_path);
    QVERIFY2(bytes.contains(expectedPart), bytes.constData());
    QCOMPARE(bytes.count("[Ports]"), oldBytes.isEmpty() && given < 0 ? 0 : 1);
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), s);
}

void TestSettings::unstorablePortKeepsOldLine()
{
    QVERIFY(writeBytes(m_path, "[Ports]\r\nCOM2=/dev/ttyS7\r\n"));
    Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    s.ports[1] = u"/dev/tty\nCOM3=/dev/evil"_s;
    s.ports[4] = u"/dev/ｼﾘｱﾙ"_s;
    QCOMPARE(WriteSettings(m_path, s), QStringList{u"COM2"_s});
    const Settings read = ReadSettings(m_path, u"C:\\Work"_s);
    QCOMPARE(read.ports[1], u"/dev/ttyS7"_s);
    QCOMPARE(read.ports[2], QString());
    QCOMPARE(read.ports[4], u"/dev/ｼﾘｱﾙ"_s);
}

// [Board] as [Ports]: none in a file that never had one while the record holds the
// defaults (such a file is written back byte for byte), all four keys once either has one.
void TestSettings::boardSection_data()
{
    QTest::addColumn<QByteArray>("oldBytes");
    QTest::addColumn<int>("port");              // as read
    QTest::addColumn<QString>("folder");        // written into the record, "-" for none
    QTest::addColumn<QByteArray>("expectedTail");   // empty: the file is written back unchanged

    const QByteArray written = "[WorkFiles]\r\nexFilePath=C:\\Work\r\nexLogFilePath=C:\\Work\r\n"
                               "; notes\r\n[Params]\r\n" + defaultParamLines() + "[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=\r\nCOM3=\r\nCOM4=\r\nCOM5=\r\n";
    const QByteArray tail = "[Board]\r\nEnabled=0\r\nAddress=\r\nPort=8080\r\n";
    QTest::newRow("none anywhere") << written << 8080 << u"-"_s << QByteArray();
    QTest::newRow("folder in code page 932") << written << 8080 << u"D:\\公開"_s
                                             << tail + "PublishFolder=D:\\\x8C\xF6\x8A\x4A\r\n";
    QTest::newRow("folder not in code page 932") << written << 8080 << u"/home/josé"_s << tail;
    QTest::newRow("one key in the file") << written + "[board]\r\nPORT = 9000 \r\n" << 9000 << u"-"_s
        << QByteArray("[board]\r\nPORT=9000\r\nEnabled=0\r\nAddress=\r\nPublishFolder=\r\n");
    QTest::newRow("port 0") << written + "[Board]\r\nPort=0\r\n" << 8080 << u"-"_s
                            << QByteArray("[Board]\r\nPort=8080\r\nEnabled=0\r\nAddress=\r\nPublishFolder=\r\n");
    QTest::newRow("port above 65535") << written + "[Board]\r\nPort=65536\r\n" << 8080 << u"-"_s
                                      << QByteArray("[Board]\r\nPort=8080\r\nEnabled=0\r\nAddress=\r\nPublishFolder=\r\n");
    QTest::newRow("highest port") << written + "[Board]\r\nPort=65535\r\n" << 65535 << u"-"_s
                                  << QByteArray("[Board]\r\nPort=65535\r\nEnabled=0\r\nAddress=\r\nPublishFolder=\r\n");
}

void TestSettings::boardSection()
{
    QFETCH(QByteArray, oldBytes);
    QFETCH(int, port);
    QFETCH(QString, folder);
    QFETCH(QByteArray, expectedTail);

    QVERIFY(writeBytes(m_path, oldBytes));
    Settings s = ReadSettings(m_path, u"C:\\Other"_s);
    QCOMPARE(s.boardPort, port);
    QVERIFY(!s.boardOn);
    const bool storable = folder != u"/home/josé"_s;
    if (folder != u"-"_s)
        s.boardPublishFolder = folder;
    QCOMPARE(WriteSettings(m_path, s), storable ? QStringList() : QStringList{u"PublishFolder"_s});
    const QByteArray bytes = readBytes(m_path);
    if (expectedTail.isEmpty())
        QCOMPARE(bytes, oldBytes);
    QVERIFY2(bytes.endsWith(expectedTail), bytes.constData());
    QCOMPARE(bytes.count("oard]"), expectedTail.isEmpty() ? 0 : 1);
    s.boardOn = true;
    WriteSettings(m_path, s);
    if (!storable)
        s.boardPublishFolder.clear();
    QCOMPARE(ReadSettings(m_path, u"C:\\Other"_s), s);
}

void TestSettings::expectWriteFailure(const QString &path, const QByteArray &oldBytes)
{
    Settings s = defaultsWith(u"C:\\New"_s);
    s.Maxrunner = 40;
    try {
        (void)WriteSettings(path, s);
        QFAIL("WriteSettings did not fail");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.message(), path + u" に書き込めません"_s);
    }
    QCOMPARE(readBytes(path), oldBytes);
}

// Failures that do not depend on permissions, so they run as root too.
void TestSettings::failureLeavesOldFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("folder missing") << u"missing/ORDAVEX.INI"_s;
    QTest::newRow("path is a folder") << u"folder.INI"_s;
}

void TestSettings::failureLeavesOldFile()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir->path()).mkdir(u"folder.INI"_s));
    const QString path = m_dir->filePath(name);
    expectWriteFailure(path, QByteArray());
    QVERIFY(!QFile::exists(m_dir->filePath(u"missing"_s)));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestSettings::readOnlyFolder()
{
    const QByteArray old = "; keep\r\n[Params]\r\nMaxrunner=9\r\n";
    QVERIFY(writeBytes(m_path, old));
    const QFile::Permissions folderPermissions = QFile::permissions(m_dir->path());
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(m_dir->path(), folderPermissions); });
    if (!permissionsEnforced(m_dir->path()))
        QSKIP("permissions are not enforced for this user");

    expectWriteFailure(m_path, old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"ORDAVEX.INI"_s});
}

void TestSettings::readOnlyFile()
{
    const QByteArray old = "; keep\r\n[Params]\r\nMaxrunner=9\r\n";
    QVERIFY(writeBytes(m_path, old));
    QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner); });
    if (QFile(m_path).open(QIODevice::Append))
        QSKIP("permissions are not enforced for this user");

    expectWriteFailure(m_path, old);
    QCOMPARE(QFile::permissions(m_path) & QFile::WriteOwner, QFile::Permissions());
}

// Writing without the old text would lose the lines the program does not know.
void TestSettings::unreadableFile()
{
    const QByteArray old = "; keep\r\n[Params]\r\nMaxrunner=9\r\n";
    QVERIFY(writeBytes(m_path, old));
    QVERIFY(QFile::setPermissions(m_path, QFile::WriteOwner));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner); });
    if (QFile(m_path).open(QIODevice::ReadOnly))
        QSKIP("permissions are not enforced for this user");

    try {
        WriteSettings(m_path, defaultsWith(u"C:\\New"_s));
        QFAIL("WriteSettings did not fail");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.message(), m_path + u" に書き込めません"_s);
    }
    QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(readBytes(m_path), old);
}

void TestSettings::partWayFailureLeavesOldFile()
{
#ifdef Q_OS_UNIX
    // A file-size limit cuts the write short, as a full disk would, even for root.
    QByteArray old = "; the operator's settings\r\n[WorkFiles]\r\nexFilePath=D:\\Race\r\n[Params]\r\n"
        + defaultParamLines();
    old.replace("cComName=0", "cComName=5");
    QVERIFY(old.size() > 400);
    QVERIFY(writeBytes(m_path, old));
    Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    s.Maxrunner = 40;

    bool thrown = false;
    {
        const Testing::FileSizeLimit limit(100);
        QVERIFY(limit.isSet());
        try {
            (void)WriteSettings(m_path, s);
        } catch (const RuntimeError &e) {
            thrown = e.message() == m_path + u" に書き込めません"_s;
        }
    }

    QVERIFY(thrown);
    QCOMPARE(readBytes(m_path), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"ORDAVEX.INI"_s});
#else
    QSKIP("needs a file-size limit");
#endif
}

// A file that is there but cannot be read gives defaults, which must never replace the
// operator's settings: the write is refused while the file stays unreadable and leaves
// it alone once it can be read again.
void TestSettings::failedReadIsNotWrittenOver()
{
    const QByteArray old = "[Params]\r\nMaxrunner=20\r\ncComName=3\r\n";
    QByteArray huge = old;
    huge += QByteArray(MaxSettingsFileSize, '\n');
    QVERIFY(writeBytes(m_path, huge));

    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QVERIFY(s.readFailed);
    Settings defaults = defaultsWith(u"C:\\Work"_s);
    defaults.readFailed = true;
    QCOMPARE(s, defaults);
    expectWriteFailure(m_path, huge);

    QVERIFY(writeBytes(m_path, old));
    QCOMPARE(WriteSettings(m_path, s), SettingsKeys());
    QCOMPARE(readBytes(m_path), old);

    // A file that is missing is no failed read.
    QVERIFY(QFile::remove(m_path));
    QVERIFY(!ReadSettings(m_path, u"C:\\Work"_s).readFailed);
}

void TestSettings::fifoRefused()
{
#ifdef Q_OS_UNIX
    QCOMPARE(mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
    QVERIFY(ReadSettings(m_path, u"C:\\Work"_s).readFailed);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, WriteSettings(m_path, defaultsWith(u"C:\\Work"_s)));
    QVERIFY(QFileInfo(m_path).exists() && !QFileInfo(m_path).isFile());
#else
    QSKIP("no FIFOs here");
#endif
}

// Each key is found through an index made in one pass, not by scanning every line again.
// The bounds are loose, for sanitizer builds on a busy machine: they catch a scan per key
// of a file at the size limit, not small slow-downs.
void TestSettings::largeFileReadInOnePass()
{
    QByteArray bytes = "[Params]\r\n";
    bytes += QByteArray("\r\n").repeated(MaxSettingsFileSize / 2 - 400);
    bytes += "cTime=7\r\n[WorkFiles]\r\nexFilePath=D:\\Race\r\n";
    QVERIFY(writeBytes(m_path, bytes));

    QElapsedTimer timer;
    timer.start();
    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QVERIFY2(timer.elapsed() < 10000, QByteArray::number(timer.elapsed()).constData());
    QVERIFY(!s.readFailed);
    QCOMPARE(s.cTime, 7);
    QCOMPARE(s.exFilePath, u"D:\\Race"_s);

    Settings changed = s;
    changed.cTime = 8;
    timer.start();
    QCOMPARE(WriteSettings(m_path, changed), QStringList());
    QVERIFY2(timer.elapsed() < 10000, QByteArray::number(timer.elapsed()).constData());
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), changed);

    // Bare line feeds become CR LF: a write that would grow past the limit is refused.
    bytes.replace("\r\n", "\n");
    bytes += QByteArray(MaxSettingsFileSize / 2, '\n');
    QVERIFY(writeBytes(m_path, bytes));
    QVERIFY(!ReadSettings(m_path, u"C:\\Work"_s).readFailed);
    expectWriteFailure(m_path, bytes);
}

// A file at the size limit in each shape a damaged or hand-edited file can take is read
// and written back; how long that takes is bench_settings' business.
void TestSettings::largeFileOfEveryShape_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("numbered");

    QTest::newRow("sections, each named anew") << QByteArray() << QByteArray("[Section") << true;
    QTest::newRow("sections, one name repeated") << QByteArray() << QByteArray("[Other]") << false;
    QTest::newRow("keys, each named anew") << QByteArray("[Notes]\r\n") << QByteArray("Key") << true;
    QTest::newRow("keys, one key repeated") << QByteArray("[WorkFiles]\r\n") << QByteArray("exFilePath=D:\\Race") << false;
    QTest::newRow("one long line") << QByteArray("[Notes]\r\n") << QByteArray(4096, 'x') << false;
    QTest::newRow("blank lines") << QByteArray() << QByteArray() << false;
    QTest::newRow("comment lines") << QByteArray() << QByteArray(";cTime=9") << false;
}

void TestSettings::largeFileOfEveryShape()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, line);
    QFETCH(bool, numbered);

    const QByteArray tail = "\r\n[Params]\r\ncTime=7\r\n[WorkFiles]\r\nexFilePath=D:\\Race\r\n";
    QByteArray bytes = head;
    for (int i = 0; bytes.size() < MaxSettingsFileSize - 8192 - tail.size(); ++i) {
        if (numbered)
            bytes += line + QByteArray::number(i) + (line.startsWith('[') ? "]\r\n" : "=1\r\n");
        else
            bytes += line + (line.size() > 100 ? "" : "\r\n");
    }
    bytes += tail;
    QVERIFY(writeBytes(m_path, bytes));

    const Settings s = ReadSettings(m_path, u"C:\\Work"_s);
    QVERIFY(!s.readFailed);
    QCOMPARE(s.cTime, 7);
    QCOMPARE(s.exFilePath, u"D:\\Race"_s);
    Settings changed = s;
    changed.cTime = 3;
    changed.Maxrunner = 20;
    QCOMPARE(WriteSettings(m_path, changed), QStringList());
    QCOMPARE(ReadSettings(m_path, u"C:\\Work"_s), changed);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
