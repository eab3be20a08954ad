#pragma once

#include "atomicfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;

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
inline const QString MsgTooManyLines = QStringLiteral("%1 人以上は処理できません。");
inline const QString MsgTooManyColumns = QStringLiteral("ﾀｰｹﾞｯﾄﾌｧｲﾙのｶﾗﾑ数が多すぎます。");
inline const QString MsgReadFailure = QStringLiteral("ファイル読み込み失敗");
inline const QString MsgOpenFailed = QStringLiteral("読み込みに失敗しました。");

// A heat holds up to 500 competitors: with the heading line a file has up to 501 lines.
inline constexpr int MaxCompetitors = 500;
inline constexpr int MaxResultLines = MaxCompetitors + 1;
// The longest cell text, read or written; a saved heat stays far below the file limit.
inline constexpr int MaxFieldLength = 255;
// No heat comes near this size; a larger file is refused before it is read.
inline constexpr qint64 MaxResultFileSize = 1024 * 1024;
inline constexpr int MaxNumber = 9999;

// ---- saving ----

// The bytes of the result file: one line per grid row, three quoted fields, CR LF;
// times in their display form for the given race kind and correction.
QByteArray ResultFileBytes(const ResultGrid &grid, bool track, bool sixtyFix);

// The bytes of the result file, but only when the file reopens into the same heat:
// headings that read back as they are, numbers in columns 0 and 1 that are integers
// from 0 on, times that CheckTimes accepts, no cell longer than MaxFieldLength and
// nothing that code page 932 cannot hold. Otherwise nothing.
std::optional<QByteArray> SavableResultBytes(const ResultGrid &grid, bool track, bool sixtyFix);

// Writes the result file with SaveFileAtomically, so that a failed write leaves an
// existing file untouched. False when it cannot be written, and false without touching
// anything for a grid that SavableResultBytes refuses.
// Why a write failed, where the caller asks.
bool WriteResultFile(const QString &path, const ResultGrid &grid, bool track, bool sixtyFix,
                     SaveError *error = nullptr);
// The file part of WriteResultFile.
bool WriteResultBytes(const QString &path, const QByteArray &bytes, SaveError *error = nullptr);

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
    int cursorRow = -1;     // data row to put the cursor on, -1 to leave it
    int cursorColumn = 1;
};
// Column 1 must hold distinct numbers from 0 to 9999, none longer than MaxFieldLength
// (leading zeros): such a number is refused as too large, with the cursor on it.
// Throws RuntimeError MsgNotAnInteger for a text that is not an integer.
NumberCheck CheckNumbers(const ResultGrid &grid);
// Run by the save after CheckNumbers: every time must be a non-negative integer whose
// display text reads back (its digits within 32 bits). The first other time from the
// top is refused with MsgNotAnInteger of its text and the cursor on it (column 2).
NumberCheck CheckTimes(const ResultGrid &grid, bool track, bool sixtyFix);

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
// Fills the grid from the bytes of a result file. The old heat goes first, hidden rows
// included; the grid is then sized once to the rows the file fills (two at least).
// Heading cells are made to read back as they are saved: a double quote left in one
// becomes a blank, a TAB a comma and an undecodable byte "?".
ReadOutcome ReadResultText(const QByteArray &bytes, ResultGrid &grid);
// Reads the file and fills the grid. A file that is not a regular file, is larger than
// MaxResultFileSize or cannot be read whole fails with MsgReadFailure, and the grid is
// emptied as by any read.
ReadOutcome ReadResultFile(const QString &path, ResultGrid &grid);
// The same for an open device: the seam through which tests make a read fail.
ReadOutcome ReadResultFile(QIODevice &device, ResultGrid &grid);

// Cuts the grid before the first data row from row 3 on that has an empty entry cell.
void TrimIncompleteRows(ResultGrid &grid);

// A row the file left without a place (its line began with a comma) gets its row
// number, as the number column shows it; places the file gave stay.
void NumberEmptyPlaces(ResultGrid &grid);

struct PathWind
{
    bool found = false;     // a valid wind code followed the first "w_" of the path
    double wind = 0;
    QString targetPath;     // the path before "w_" plus ".csv" when found
};
PathWind WindFromPath(const QString &path);

} // namespace Ordavex
