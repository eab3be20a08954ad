#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Result CSV files of one heat: the checks before saving, the file name with its wind
// code, the writer and the reader, and the grid operations they share.
namespace Ordavex {

class ResultGrid;

inline const QString MsgGridNotFilled = QStringLiteral("画面ﾃﾞｰﾀが埋まっていません。");
inline const QString MsgNumberTooLarge = QStringLiteral("%1 以上大きな番号は使えません。");
inline const QString MsgDuplicateNumber = QStringLiteral("同じ番号が存在します。");
inline const QString MsgCannotOpenFile = QStringLiteral("ファイルがオープン出来ません");
inline const QString MsgSaveFailed = QStringLiteral("保存できませんでした。");
inline const QString MsgSavedClearing = QStringLiteral("保存しました。\n画面をｸﾘｱします。");
inline const QString MsgEraseConfirm = QStringLiteral("画面ﾃﾞｰﾀを消去しても良いですか ?\n元には戻せません。");
inline const QString MsgShortRead = QStringLiteral("ファイルが全て読めなかった可能性があります。");
inline const QString MsgTooManyLines = QStringLiteral("%1 人以上は処理できません。");
inline const QString MsgTooManyColumns = QStringLiteral("ﾀｰｹﾞｯﾄﾌｧｲﾙのｶﾗﾑ数が多すぎます。");
inline const QString MsgReadFailure = QStringLiteral("ファイル読み込み失敗");
inline const QString MsgOpenFailed = QStringLiteral("読み込みに失敗しました。");

inline constexpr int MaxResultLines = 500;
inline constexpr int MaxFieldLength = 255;
inline constexpr int MaxNumber = 9999;

// ---- saving ----

// The bytes of the result file: one line per grid row, three quoted fields, CR LF;
// times in their display form for the given race kind and correction.
QByteArray ResultFileBytes(const ResultGrid &grid, bool track, bool sixtyFix);

// Writes the result file through a temporary file in the same folder, so that a
// failed write leaves an existing file untouched. False when it cannot be written.
bool WriteResultFile(const QString &path, const ResultGrid &grid, bool track, bool sixtyFix);
// The file part of WriteResultFile: the bytes replace the file only once all are on disk.
bool WriteResultBytes(const QString &path, const QByteArray &bytes);

// The path without its extension: everything from the last point of the file name on.
QString RemoveExtension(const QString &path);
// Folder plus the part of the file name before its first "w_"; the path unchanged
// when the file name holds none.
QString StripWindCode(const QString &pathWithoutExtension);
// The name the save dialog proposes: the target path unchanged without a wind code,
// else its stripped stem, "w_", the code and ".csv".
QString ProposedFileName(const QString &targetPath, std::optional<int> windCode);

bool GridIsFilled(const ResultGrid &grid);
bool GridIsEmpty(const ResultGrid &grid);
// Empties every entry cell of the shown rows; row count, numbers and headings stay.
void ClearEntries(ResultGrid &grid);

struct NumberCheck
{
    bool ok = true;
    QString message;        // what to show when not ok
    int cursorRow = -1;     // data row to put the cursor on (column 1), -1 to leave it
};
// Column 1 must hold distinct numbers from 0 to 9999. Throws RuntimeError
// "'%s' は整数ではありません" for a text that is not an integer.
NumberCheck CheckNumbers(const ResultGrid &grid);

// ---- opening ----

// The integer of all decimal digits of a field in order (0 when it has none); false
// when it is beyond the 32-bit range.
bool DigitsValue(QStringView field, int *value);

struct ReadOutcome
{
    bool ok = false;
    bool entriesCleared = false;   // the grid's entries were emptied: the wind goes too
    QStringList messages;          // to show in this order
};
// Fills the grid from the bytes of a result file (the grid is cut to two rows first).
ReadOutcome ReadResultText(const QByteArray &bytes, ResultGrid &grid);
// Reads the file and fills the grid; a file that cannot be read fails.
ReadOutcome ReadResultFile(const QString &path, ResultGrid &grid);

// Cuts the grid before the first data row from row 3 on that has an empty entry cell.
void TrimIncompleteRows(ResultGrid &grid);

struct PathWind
{
    bool found = false;     // a valid wind code followed the first "w_" of the path
    double wind = 0;
    QString targetPath;     // the path before "w_" plus ".csv" when found
};
PathWind WindFromPath(const QString &path);

} // namespace Ordavex
