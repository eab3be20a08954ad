// The rules behind the parameter dialog: the entry texts of its lists, and the values it
// shows and stores, an index outside its list included.

#include "core/linkdialog.h"
#include "core/linklists.h"
#include "core/settings.h"

#include <QTest>

#include <climits>

using namespace Ordavex;
using namespace Ordavex::LinkDialog;
using namespace Qt::StringLiterals;

namespace {

// One list setting: where it lives in the record and in the choices, its list's length
// and its default entry.
struct ListSetting
{
    const char *name;
    int Settings::*setting;
    int Choices::*choice;
    int count;
    int defaultIndex;
};

const ListSetting listSettings[] = {
    {"cComName", &Settings::cComName, &Choices::cComName, 5, 0},
    {"cBauRate", &Settings::cBauRate, &Choices::cBauRate, 23, 8},
    {"cBitSize", &Settings::cBitSize, &Choices::cBitSize, 4, 3},
    {"cParity", &Settings::cParity, &Choices::cParity, 3, 0},
    {"cStopBits", &Settings::cStopBits, &Choices::cStopBits, 3, 0},
    {"cPlace", &Settings::cPlace, &Choices::cPlace, 9, 1},
    {"cLane", &Settings::cLane, &Choices::cLane, 9, 2},
    {"cTime", &Settings::cTime, &Choices::cTime, 9, 4},
    {"cZekken", &Settings::cZekken, &Choices::cZekken, 9, 3},
    {"cWaitTime", &Settings::cWaitTime, &Choices::cWaitTime, 5, 1},
    {"cLogExtOpt", &Settings::cLogExtOpt, &Choices::cLogExtOpt, 2, 0},
    {"cComName2", &Settings::cComName2, &Choices::cComName2, 5, 0},
};

} // namespace

class TestLinkDialog final : public QObject
{
    Q_OBJECT

private slots:
    void entries_data();
    void entries();
    void stopBitsText_data();
    void stopBitsText();
    void defaultsShowDefaultEntries();
    void choicesRoundTrip();
    void indexOutsideList_data();
    void indexOutsideList();
    void storeTouchesOnlyItsFields();
};

void TestLinkDialog::entries_data()
{
    QTest::addColumn<QStringList>("actual");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("ports") << PortEntries()
                           << QStringList{u"COM1"_s, u"COM2"_s, u"COM3"_s, u"COM4"_s, u"COM5"_s};
    QTest::newRow("rates") << RateEntries()
                           << QStringList{u"110"_s, u"300"_s, u"600"_s, u"1200"_s, u"1800"_s, u"2400"_s,
                                          u"4800"_s, u"7200"_s, u"9600"_s, u"14400"_s, u"19200"_s,
                                          u"38400"_s, u"57600"_s, u"76800"_s, u"115200"_s, u"128000"_s,
                                          u"153600"_s, u"230400"_s, u"307200"_s, u"460800"_s,
                                          u"921600"_s, u"1000000"_s, u"2000000"_s};
    QTest::newRow("data bits") << BitSizeEntries() << QStringList{u"5"_s, u"6"_s, u"7"_s, u"8"_s};
    QTest::newRow("parity") << ParityEntries() << QStringList{u"No"_s, u"Even"_s, u"Odd"_s};
    QTest::newRow("stop bits") << StopBitsEntries() << QStringList{u"1"_s, u"1.5"_s, u"2"_s};
    QTest::newRow("columns") << ColumnEntries()
                             << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s,
                                            u"8"_s, u"9"_s};
    QTest::newRow("wait time") << WaitTimeEntries()
                               << QStringList{u"1秒"_s, u"2秒"_s, u"3秒"_s, u"4秒"_s, u"5秒"_s};
    QTest::newRow("extension") << LogExtEntries() << QStringList{u"CSV"_s, u"TXT"_s};
}

void TestLinkDialog::entries()
{
    QFETCH(QStringList, actual);
    QFETCH(QStringList, expected);
    QCOMPARE(actual, expected);
}

void TestLinkDialog::stopBitsText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("one") << 1.0 << u"1"_s;
    QTest::newRow("one and a half") << 1.5 << u"1.5"_s;
    QTest::newRow("two") << 2.0 << u"2"_s;
    QTest::newRow("half") << 0.5 << u"0.5"_s;
    QTest::newRow("rounded to one decimal") << 1.26 << u"1.3"_s;
}

void TestLinkDialog::stopBitsText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(StopBitsText(value), text);
}

void TestLinkDialog::defaultsShowDefaultEntries()
{
    const Choices c = ChoicesFromSettings(Settings(), u"/logs"_s);
    QCOMPARE(PortEntries().at(c.cComName), u"COM1"_s);
    QCOMPARE(RateEntries().at(c.cBauRate), u"9600"_s);
    QCOMPARE(BitSizeEntries().at(c.cBitSize), u"8"_s);
    QCOMPARE(ParityEntries().at(c.cParity), u"No"_s);
    QCOMPARE(StopBitsEntries().at(c.cStopBits), u"1"_s);
    QCOMPARE(ColumnEntries().at(c.cPlace), u"2"_s);
    QCOMPARE(ColumnEntries().at(c.cLane), u"3"_s);
    QCOMPARE(ColumnEntries().at(c.cZekken), u"4"_s);
    QCOMPARE(ColumnEntries().at(c.cTime), u"5"_s);
    QCOMPARE(WaitTimeEntries().at(c.cWaitTime), u"2秒"_s);
    QCOMPARE(LogExtEntries().at(c.cLogExtOpt), u"CSV"_s);
    QCOMPARE(PortEntries().at(c.cComName2), u"COM1"_s);
    QCOMPARE(c.logFolder, u"/logs"_s);
    QCOMPARE(c.cUseSubCom, false);
    QCOMPARE(c.cCheckTimerON2, false);
}

void TestLinkDialog::choicesRoundTrip()
{
    Settings s;
    s.cComName = 4;
    s.cBauRate = 22;
    s.cBitSize = 0;
    s.cParity = 2;
    s.cStopBits = 1;
    s.cPlace = 8;
    s.cLane = 0;
    s.cTime = 2;
    s.cZekken = 6;
    s.cWaitTime = 4;
    s.cLogExtOpt = 1;
    s.cComName2 = 3;
    s.cUseSubCom = true;
    s.cCheckTimerON2 = true;
    // Kept as typed: no trimming, no check that it exists.
    const QString folder = u"  /no such folder/ "_s;

    const Choices c = ChoicesFromSettings(s, folder);
    Settings stored;
    QString storedFolder = u"old"_s;
    StoreChoices(c, stored, storedFolder);
    QCOMPARE(stored, s);
    QCOMPARE(storedFolder, folder);
}

void TestLinkDialog::indexOutsideList_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("index");
    for (int which = 0; which < int(std::size(listSettings)); ++which) {
        const ListSetting &l = listSettings[which];
        QTest::addRow("%s -1", l.name) << which << -1;
        QTest::addRow("%s one past", l.name) << which << l.count;
        QTest::addRow("%s INT_MAX", l.name) << which << INT_MAX;
        QTest::addRow("%s INT_MIN", l.name) << which << INT_MIN;
    }
}

void TestLinkDialog::indexOutsideList()
{
    QFETCH(int, which);
    QFETCH(int, index);
    const ListSetting &l = listSettings[which];

    // Read from a settings file: the list shows its default entry.
    Settings s;
    s.*l.setting = index;
    QCOMPARE(ChoicesFromSettings(s, QString()).*l.choice, l.defaultIndex);

    // Chosen from a list that shows nothing: the default is stored, never the index.
    Choices c = ChoicesFromSettings(Settings(), QString());
    c.*l.choice = index;
    Settings stored;
    stored.*l.setting = l.count - 1;
    QString folder;
    StoreChoices(c, stored, folder);
    QCOMPARE(stored.*l.setting, l.defaultIndex);
}

void TestLinkDialog::storeTouchesOnlyItsFields()
{
    Settings s;
    s.exFilePath = u"/work"_s;
    s.exLogFilePath = u"/record's own"_s;
    s.Maxrunner = 12;
    s.RaceKind = 2;
    s.cCheckAutoLog = false;
    s.cCheckTimerON = false;
    s.MustComma = false;
    s.MinBuffLen = 7;
    Settings expected = s;
    expected.cBauRate = 14;

    Choices c = ChoicesFromSettings(s, u"/logs"_s);
    c.cBauRate = 14;
    QString folder;
    StoreChoices(c, s, folder);
    QCOMPARE(s, expected);
    QCOMPARE(folder, u"/logs"_s);
}

QTEST_APPLESS_MAIN(TestLinkDialog)
#include "tst_linkdialog.moc"
