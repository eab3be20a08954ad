#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// The start list of a race: who runs in which lane or with which number, so that the
// window, the board and the heat sheet can show a name beside a result. It is read only;
// the result file that the meet's software reads is never touched by it.
//
// One file per race in the folder "startlists" beside the result files, named as the
// race's result file is proposed, with the extension ".csv". A heading line names the
// columns in any order: ﾚｰﾝ (or レーン), ﾅﾝﾊﾞｰ (or ナンバー), 氏名, 所属; others are
// ignored. Then one line per starter; either lane or number may be empty, not both.
//
//   ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属
//   4,1052,山田 太郎,東京陸協
//
// Code page 932, or UTF-8 when the file starts with its byte-order mark. Fields are
// separated by commas; a field in double quotes may hold commas, and "" stands for one
// quote; blanks around a field are dropped.
namespace Ordavex {

struct Starter
{
    int lane = -1;      // -1: none
    int number = -1;    // -1: none
    QString name;
    QString team;

    bool operator==(const Starter &) const = default;
};

struct StartList
{
    QList<Starter> starters;
    // Index of the starter of each lane and number.
    QHash<int, qsizetype> lanes;
    QHash<int, qsizetype> numbers;

    // The starter of the lane or the number, or nullptr.
    const Starter *byLane(int lane) const;
    const Starter *byNumber(int number) const;
};

class ResultGrid;

// How a data row's lane or number stands against the start list.
enum class StarterMark : quint8 {
    None,       // nothing typed
    Known,      // in the start list, once in the heat
    Unknown,    // not in the start list (or no number at all)
    Twice,      // in the heat more than once
};
// One mark per data row, for row 1 on, of the lanes or numbers in the column (the one
// headed ﾚｰﾝ or ﾅﾝﾊﾞｰ); byNumber when it holds numbers.
QList<StarterMark> MarkStarters(const ResultGrid &grid, int column, const StartList &list, bool byNumber);
// The starter of a typed lane or number, or nullptr.
const Starter *FindStarter(const StartList &list, QStringView typed, bool byNumber);

// A race has some tens of starters, a road race some hundreds: ten times the largest
// heat is still a start list; more is some other file.
inline constexpr qsizetype MaxStartListBytes = 1024 * 1024;
inline constexpr int MaxStartListLines = 5000;
inline constexpr int MaxStartListFieldLength = 255;
inline constexpr int MaxStartListValue = 9999;

struct StartListRead
{
    std::optional<StartList> list;
    QString error;      // why there is none, for the official
};

StartListRead ParseStartList(QByteArrayView bytes);
// No file is no start list and no error: most races have none.
StartListRead ReadStartListFile(const QString &path);

// The start list of the race whose result file would be targetPath: the wind code and
// extension left out of the name, in "startlists" beside it.
QString StartListPath(const QString &targetPath);

// "4 山田 太郎 (東京陸協)": the lane or number as typed, the name and the team.
QString StarterText(int value, const Starter &starter);

inline const QString MsgStartListRefused = QStringLiteral("ｽﾀｰﾄﾘｽﾄ %1 は読み込めません。\n%2");
inline const QString StartListTooLarge = QStringLiteral("ﾌｧｲﾙが大きすぎます。");
inline const QString StartListTooManyLines = QStringLiteral("行が多すぎます (%1 行まで)。");
inline const QString StartListNoHeading =
    QStringLiteral("1 行目に見出し (ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属) がありません。");
inline const QString StartListFieldTooLong = QStringLiteral("%1 行目の項目が長すぎます (%2 文字まで)。");
inline const QString StartListBadValue = QStringLiteral("%1 行目: ﾚｰﾝ・ﾅﾝﾊﾞｰは 0 から %2 の数です。");
inline const QString StartListNoLaneOrNumber = QStringLiteral("%1 行目: ﾚｰﾝもﾅﾝﾊﾞｰもありません。");
inline const QString StartListTwice = QStringLiteral("%1 行目: %2 %3 は %4 行目にもあります。");
inline const QString StartListUnreadable = QStringLiteral("ﾌｧｲﾙを読めません。");
inline const QString StarterUnknown = QStringLiteral("%1 ｽﾀｰﾄﾘｽﾄにありません");
inline const QString StarterTwice = QStringLiteral("%1 この組に2回あります");

} // namespace Ordavex
