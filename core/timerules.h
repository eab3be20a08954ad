#pragma once

#include <QString>

// How a finishing time is stored (the packed digits), shown and completed.
namespace Ordavex {

// The three settings the time rules read, taken from the window at the moment of use.
struct TimeSettings
{
    bool track = true;        // race kind: track (hundredths) or road
    bool sixtyFix = true;     // show totals under 100 s as minutes and seconds
    bool validCheck = true;   // warn when a completed time runs against the order
};

// Total whole seconds of the hours-minutes-seconds digit pairs of p.
int PackedToSeconds(int p);
// Display text of t whole seconds.
QString SecondsText(int t, bool sixtyFix);
// Display text of a track packed time n (last two digits hundredths).
QString TrackTimeText(int n, bool sixtyFix);
// Display text of a time cell; empty for an empty cell or one that is not an integer.
QString TimeDisplayText(const QString &cellText, bool track, bool sixtyFix);
// Room for the longest display text of a time, sign included.
inline constexpr int MaxTimeTextLength = 32;
// TimeDisplayText as Latin-1 characters in buffer (MaxTimeTextLength long); returns
// their number, 0 for an empty text. A saved heat formats its times without a string
// for each.
int TimeDisplayChars(QStringView cellText, bool track, bool sixtyFix, char *buffer);

struct Completion
{
    QString text;             // what to store in the cell
    bool needsCheck = false;  // the caller shows "ﾀｲﾑ確認要！" and keeps the cursor
};

// Quick-input completion of a typed time from the (trimmed) time above. Throws
// RuntimeError "'%s' は整数ではありません" when a text that must be converted is not
// an integer.
Completion CompleteTime(const QString &typed, const QString &above, const TimeSettings &settings);

inline const QString TimeCheckMessage = QStringLiteral("ﾀｲﾑ確認要！");

} // namespace Ordavex
