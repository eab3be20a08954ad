#pragma once

#include <array>

// The fixed choice lists of the serial link and the received-data logs. The settings
// file stores the 0-based index of the chosen entry; a file edited by hand, or from
// another version, may hold an index outside its list, and nothing may index past one.
namespace Ordavex::LinkLists {

// Bit/s by cBauRate.
inline constexpr std::array<int, 23> RateTable = {
    110, 300, 600, 1200, 1800, 2400, 4800, 7200, 9600, 14400, 19200, 38400,
    57600, 76800, 115200, 128000, 153600, 230400, 307200, 460800, 921600, 1000000, 2000000,
};

inline constexpr int PortCount = 5;          // cComName, cComName2: COM1 to COM5
inline constexpr int RateCount = int(RateTable.size());
inline constexpr int BitSizeCount = 4;       // cBitSize: 5 to 8 data bits
inline constexpr int ParityCount = 3;        // cParity: none, even, odd
inline constexpr int StopBitsCount = 3;      // cStopBits: 1, 1.5, 2
inline constexpr int ColumnCount = 9;        // cPlace, cLane, cTime, cZekken: fields 1 to 9
inline constexpr int WaitTimeCount = 5;      // cWaitTime: 1 to 5 seconds
inline constexpr int LogExtCount = 2;        // cLogExtOpt: CSV, TXT

// The defaults, for an index found outside its list.
inline constexpr int DefaultPort = 0;
inline constexpr int DefaultRate = 8;        // 9600
inline constexpr int DefaultBitSize = 3;     // 8 data bits
inline constexpr int DefaultParity = 0;
inline constexpr int DefaultStopBits = 0;
inline constexpr int DefaultPlace = 1;
inline constexpr int DefaultLane = 2;
inline constexpr int DefaultTime = 4;
inline constexpr int DefaultZekken = 3;
inline constexpr int DefaultWaitTime = 1;
inline constexpr int DefaultLogExt = 0;

// The index when it lies in a list of count entries, else the default.
constexpr int ValidIndex(int index, int count, int defaultIndex)
{
    return index >= 0 && index < count ? index : defaultIndex;
}

constexpr int RateOf(int cBauRate)
{
    return RateTable[std::size_t(ValidIndex(cBauRate, RateCount, DefaultRate))];
}

} // namespace Ordavex::LinkLists
