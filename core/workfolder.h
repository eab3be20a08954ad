#pragma once

#include <QString>
#include <QStringList>

// Operations on the result files of the work folder outside saving and opening: the
// clipboard text of the grid, renaming a file to the chosen race, and deleting files.
namespace Ordavex {

class ResultGrid;

inline const QString MsgClipboardCopied = QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰしました。");
inline const QString MsgRenameNamesMissing = QStringLiteral("ファイル名がそろっていません。");
inline const QString MsgRenameFailed = QStringLiteral("ファイル名を変更できませんでした。");
inline const QString MsgDeleteConfirm = QStringLiteral("選択したファイルを削除しますか ?");

// One line per data row: the three cells as stored (times packed), TAB between them,
// LF after each; no heading row.
QString ClipboardText(const ResultGrid &grid);

// The destination of a rename: the target path with ".csv" added, unless it already
// ends in ".csv" (in any case) and would otherwise end in it twice.
QString RenameDestination(const QString &targetPath);
// "ファイル名を変更しますか ?", the two file names, "を" and "へ", one per line.
QString RenameQuestion(const QString &source, const QString &destination);
// Renames without ever replacing an existing file; false when the file was not renamed.
bool RenameResultFile(const QString &source, const QString &destination);

// The names of the folder's files that end in ".csv" or ".txt", in any case, sorted by
// name; no folders and no hidden files. A folder that does not exist has none.
QStringList DeletableFiles(const QString &folder);
// Deletes the named files of the folder that exist; the others are skipped. Returns the
// names that could not be deleted.
QStringList DeleteFiles(const QString &folder, const QStringList &names);

} // namespace Ordavex
