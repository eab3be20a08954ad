#pragma once

#include "paths.h"
#include "records.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

#include <functional>

// The two log files of the communication monitor: the slit log file that holds a batch of
// received records as rows, and the monitor text file that holds the received lines as
// they are. Neither ever replaces an existing file.
namespace Ordavex {

inline const QString SlitLogHeading = QStringLiteral("\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\",\"ｾﾞｯｹﾝ\"");
inline const QString MsgLogFileFailed = QStringLiteral("Log Fileの作成に失敗しました。");
inline const QString MsgLogFileCreated = QStringLiteral("%1\nを作成しました。");

struct SlitLog
{
    QList<QByteArray> rows;
    int windCode = NoWindCode;
};
// The log of the received lines, each trimmed: a line that starts with a sign sets the
// wind code (the last such line wins), a line holding a comma gives a row, the others are
// left out.
SlitLog BuildSlitLog(const QList<QByteArray> &lines, const RecordColumns &columns);
// No rows and no wind: there is nothing to write.
bool SlitLogIsEmpty(const SlitLog &log);
// The file's bytes: the heading line and the rows, each ended by CR LF, code page 932.
QByteArray SlitLogBytes(const SlitLog &log);
// "hhmmssw_<code>.<ext>", or "hhmmss.<ext>" without a wind; ext "CSV" for 0, "TXT" for 1,
// and "CSV" for any other index.
QString SlitLogName(const QTime &time, int windCode, int cLogExtOpt);

// "yymmddhhmmss.TXT".
QString MonitorTextName(const QDateTime &when);
// The received lines, each ended by CR LF, bytes as received.
QByteArray MonitorTextBytes(const QList<QByteArray> &lines);
// "log" in the base folder of the program (beside the executable, or the user's data
// folder for an installed program).
QString MonitorTextFolder(const Paths::AppPaths &paths);
// The n-th name for a file when the name is taken: "_<n>" before its extension; n 1 is
// the name itself.
QString NumberedName(const QString &name, int n);
// Makes the folder when it is missing; false when it is not there afterwards.
bool EnsureFolder(const QString &folder);

// Writes bytes as a new file folder/name (a trailing separator on the folder is fine).
// When that name is taken, "_2", "_3", ... go before the extension. Written atomically:
// the name is taken only once the bytes are on the disk, and a failed write leaves no
// file behind, not even an empty one in a folder where files cannot be removed. On failure ok is false, path is empty and error
// is the text to show (MsgLogFileFailed).
struct LogWriteResult
{
    bool ok = false;
    QString path;
    QString error;
};
LogWriteResult WriteNewLogFile(const QString &folder, const QString &name, const QByteArray &bytes);

// The local time, injectable so that tests fix the names of the files.
using Clock = std::function<QDateTime()>;
Clock SystemClock();

} // namespace Ordavex
