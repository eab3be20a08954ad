#pragma once

#include <QString>
#include <QStringList>

namespace Ordavex {

struct Settings;

// The rules behind the parameter dialog of the serial link: the texts of its fixed lists
// and the values it shows and stores. Every list stores the 0-based index of its entry.
namespace LinkDialog {

inline const QString MsgClearLogPath =
    QStringLiteral("ﾛｸﾞﾌｧｲﾙの格納場所をｸﾘｱしてもいいですか ?\n空白の場合はデフォルトが使用されます。");

// The entries in list order, built from the values they stand for.
QStringList PortEntries();        // COM1 to COM5
QStringList RateEntries();        // the rate table in bit/s
QStringList BitSizeEntries();     // 5 to 8
QStringList ParityEntries();      // No, Even, Odd
QStringList StopBitsEntries();    // 1, 1.5, 2
QStringList ColumnEntries();      // field numbers 1 to 9
QStringList WaitTimeEntries();    // 1秒 to 5秒
QStringList LogExtEntries();      // CSV, TXT

// A whole number of stop bits as an integer, a fraction with one decimal.
QString StopBitsText(double stopBits);

// What the dialog shows and stores: the index of the chosen entry of each list, the log
// folder text and the two check boxes.
struct Choices
{
    int cComName = 0;
    int cBauRate = 0;
    int cBitSize = 0;
    int cParity = 0;
    int cStopBits = 0;
    int cPlace = 0;
    int cLane = 0;
    int cTime = 0;
    int cZekken = 0;
    int cWaitTime = 0;
    QString logFolder;
    int cLogExtOpt = 0;
    int cComName2 = 0;
    bool cUseSubCom = false;
    bool cCheckTimerON2 = false;

    bool operator==(const Choices &) const = default;
};

// The choices a showing starts from. A settings file may hold an index outside its list:
// that list shows its default entry instead of none.
Choices ChoicesFromSettings(const Settings &settings, const QString &logFolder);
// The choices into the record and the log folder, the text as it is (no trimming, no
// check of the folder). An index outside its list stores the list's default, so that no
// reader of the record indexes past a list.
void StoreChoices(const Choices &choices, Settings &settings, QString &logFolder);

} // namespace LinkDialog

} // namespace Ordavex
