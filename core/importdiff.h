#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What an import of the received heat would change in the heat on the screen: asked
// before typed rows are replaced, so that a hand-typed backup and the timing machine
// can be compared place by place.
namespace Ordavex {

// One row as the grid shows it: the lane or number, and the time's display text.
struct ShownRow
{
    QString lane;
    QString time;
};

// A heat as the grid shows it, rows in grid order (row 1 first).
struct ShownHeat
{
    QString wind;
    QList<ShownRow> rows;
};

inline const QString MsgImportSame = QStringLiteral("受信ﾃﾞｰﾀは画面ﾃﾞｰﾀと同じです。");
inline const QString MsgImportMoreDifferences = QStringLiteral("ほか%1件");

// The box must stay on the screen whatever was received: at most this many lines of
// differences, each field shown with at most MaxShownFieldLength characters.
inline constexpr int MaxDifferenceLines = 20;
inline constexpr int MaxShownFieldLength = 16;

// One line per difference, the wind first ("風: +1.2 → +0.8"), then per row that differs
// ("3位: 5 10.61 → 6 10.63", "(なし)" for a side without the row or with an empty one).
// Fields compare without their outer blanks. Beyond MaxDifferenceLines, one line
// MsgImportMoreDifferences with the number left out; MsgImportSame alone when nothing
// differs.
QStringList ImportDifferences(const ShownHeat &typed, const ShownHeat &received);

} // namespace Ordavex
