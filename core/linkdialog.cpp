#include "linkdialog.h"

#include "linklists.h"
#include "settings.h"

#include <array>

namespace Ordavex::LinkDialog {

using namespace LinkLists;

namespace {

QStringList numbered(int count, int first, const char *format)
{
    QStringList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i)
        entries.append(QString::asprintf(format, first + i));
    return entries;
}

} // namespace

QStringList PortEntries()
{
    return numbered(PortCount, 1, "COM%d");
}

QStringList RateEntries()
{
    QStringList entries;
    entries.reserve(RateCount);
    for (const int rate : RateTable)
        entries.append(QString::asprintf("%d", rate));
    return entries;
}

QStringList BitSizeEntries()
{
    return numbered(BitSizeCount, 5, "%d");
}

QStringList ParityEntries()
{
    const QStringList entries{QStringLiteral("No"), QStringLiteral("Even"), QStringLiteral("Odd")};
    Q_ASSERT(entries.size() == ParityCount);
    return entries;
}

QString StopBitsText(double stopBits)
{
    const int whole = int(stopBits);
    return stopBits == double(whole) ? QString::asprintf("%d", whole) : QString::asprintf("%2.1f", stopBits);
}

QStringList StopBitsEntries()
{
    static constexpr std::array<double, StopBitsCount> values = {1.0, 1.5, 2.0};
    QStringList entries;
    for (const double value : values)
        entries.append(StopBitsText(value));
    return entries;
}

QStringList ColumnEntries()
{
    return numbered(ColumnCount, 1, "%d");
}

QStringList WaitTimeEntries()
{
    const QStringList entries{QStringLiteral("1秒"), QStringLiteral("2秒"), QStringLiteral("3秒"),
                              QStringLiteral("4秒"), QStringLiteral("5秒")};
    Q_ASSERT(entries.size() == WaitTimeCount);
    return entries;
}

QStringList LogExtEntries()
{
    const QStringList entries{QStringLiteral("CSV"), QStringLiteral("TXT")};
    Q_ASSERT(entries.size() == LogExtCount);
    return entries;
}

namespace {

// Both directions keep every index inside its list.
Choices checked(const Choices &c)
{
    Choices v = c;
    v.cComName = ValidIndex(c.cComName, PortCount, DefaultPort);
    v.cBauRate = ValidIndex(c.cBauRate, RateCount, DefaultRate);
    v.cBitSize = ValidIndex(c.cBitSize, BitSizeCount, DefaultBitSize);
    v.cParity = ValidIndex(c.cParity, ParityCount, DefaultParity);
    v.cStopBits = ValidIndex(c.cStopBits, StopBitsCount, DefaultStopBits);
    v.cPlace = ValidIndex(c.cPlace, ColumnCount, DefaultPlace);
    v.cLane = ValidIndex(c.cLane, ColumnCount, DefaultLane);
    v.cTime = ValidIndex(c.cTime, ColumnCount, DefaultTime);
    v.cZekken = ValidIndex(c.cZekken, ColumnCount, DefaultZekken);
    v.cWaitTime = ValidIndex(c.cWaitTime, WaitTimeCount, DefaultWaitTime);
    v.cLogExtOpt = ValidIndex(c.cLogExtOpt, LogExtCount, DefaultLogExt);
    v.cComName2 = ValidIndex(c.cComName2, PortCount, DefaultPort);
    return v;
}

} // namespace

Choices ChoicesFromSettings(const Settings &settings, const QString &logFolder)
{
    Choices c;
    c.cComName = settings.cComName;
    c.cBauRate = settings.cBauRate;
    c.cBitSize = settings.cBitSize;
    c.cParity = settings.cParity;
    c.cStopBits = settings.cStopBits;
    c.cPlace = settings.cPlace;
    c.cLane = settings.cLane;
    c.cTime = settings.cTime;
    c.cZekken = settings.cZekken;
    c.cWaitTime = settings.cWaitTime;
    c.logFolder = logFolder;
    c.cLogExtOpt = settings.cLogExtOpt;
    c.cComName2 = settings.cComName2;
    c.cUseSubCom = settings.cUseSubCom;
    c.cCheckTimerON2 = settings.cCheckTimerON2;
    return checked(c);
}

void StoreChoices(const Choices &choices, Settings &settings, QString &logFolder)
{
    const Choices c = checked(choices);
    settings.cComName = c.cComName;
    settings.cBauRate = c.cBauRate;
    settings.cBitSize = c.cBitSize;
    settings.cParity = c.cParity;
    settings.cStopBits = c.cStopBits;
    settings.cPlace = c.cPlace;
    settings.cLane = c.cLane;
    settings.cTime = c.cTime;
    settings.cZekken = c.cZekken;
    settings.cWaitTime = c.cWaitTime;
    logFolder = c.logFolder;
    settings.cLogExtOpt = c.cLogExtOpt;
    settings.cComName2 = c.cComName2;
    settings.cUseSubCom = c.cUseSubCom;
    settings.cCheckTimerON2 = c.cCheckTimerON2;
}

} // namespace Ordavex::LinkDialog
