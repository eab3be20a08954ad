#include "slitlog.h"

#include "atomicfile.h"
#include "textcodec.h"

#include <QDir>
#include <QFileInfo>

namespace Ordavex {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Names beyond this many of one second are not tried: the folder is not a log folder
// that can be written sensibly any more.
constexpr int MaxNumberedNames = 10000;

} // namespace

SlitLog BuildSlitLog(const QList<QByteArray> &lines, const RecordColumns &columns)
{
    SlitLog log;
    for (const QByteArray &line : lines) {
        const QByteArrayView trimmed = TrimmedLine(line);
        if (!trimmed.isEmpty() && (trimmed.front() == '+' || trimmed.front() == '-'))
            log.windCode = LogWindCode(trimmed);
        else if (trimmed.contains(','))
            log.rows.append(FormatLogRow(trimmed, columns));
    }
    return log;
}

bool SlitLogIsEmpty(const SlitLog &log)
{
    return log.rows.isEmpty() && log.windCode == NoWindCode;
}

QByteArray SlitLogBytes(const SlitLog &log)
{
    static const QByteArray heading = Cp932::encode(SlitLogHeading);
    QByteArray bytes = heading + LineEnd;
    for (const QByteArray &row : log.rows)
        bytes += row + LineEnd;
    return bytes;
}

QString SlitLogName(const QTime &time, int windCode, int cLogExtOpt)
{
    const QString extension = cLogExtOpt == 1 ? QStringLiteral("TXT") : QStringLiteral("CSV");
    const QString stamp = TwoDigits(time.hour()) + TwoDigits(time.minute()) + TwoDigits(time.second());
    if (windCode == NoWindCode)
        return stamp + u'.' + extension;
    return stamp + QStringLiteral("w_%1.").arg(windCode) + extension;
}

QString MonitorTextName(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    return TwoDigits(date.year() % 100) + TwoDigits(date.month()) + TwoDigits(date.day())
        + TwoDigits(time.hour()) + TwoDigits(time.minute()) + TwoDigits(time.second())
        + QStringLiteral(".TXT");
}

QByteArray MonitorTextBytes(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + LineEnd;
    return bytes;
}

QString NumberedName(const QString &name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString suffix = QStringLiteral("_%1").arg(n);
    return dot < 0 ? name + suffix : name.left(dot) + suffix + name.mid(dot);
}

QString MonitorTextFolder(const Paths::AppPaths &paths)
{
    return Paths::join(paths.baseFolder, QStringLiteral("log"));
}

bool EnsureFolder(const QString &folder)
{
    return QFileInfo(folder).isDir() || (QDir().mkpath(folder) && QFileInfo(folder).isDir());
}

LogWriteResult WriteNewLogFile(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = SaveNewFileAtomically(
        [&](int n) { return Paths::join(folder, NumberedName(name, n)); }, MaxNumberedNames, bytes);
    if (path.isEmpty())
        return LogWriteResult{false, QString(), MsgLogFileFailed};
    return LogWriteResult{true, path, QString()};
}

Clock SystemClock()
{
    return [] { return QDateTime::currentDateTime(); };
}

} // namespace Ordavex
