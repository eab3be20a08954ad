#include "timetable.h"

#include "atomicfile.h"
#include "paths.h"
#include "textcodec.h"

#include <algorithm>

namespace Ordavex {

namespace {

bool isBelow33(QChar c)
{
    return c.unicode() < 33;
}

QString trimBelow33(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBelow33(text[begin]))
        ++begin;
    while (end > begin && isBelow33(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool isPathSeparator(QChar c)
{
    // Both on every platform: a timetable written on Windows names "\" folders, and a
    // race name never names a folder anywhere.
    return c == u'/' || c == u'\\' || Paths::isSeparator(c);
}

} // namespace

QStringList DecodeTimetable(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes = bytes.first(nul);
    // No trail byte of a double-byte character is CR or LF, so the text can be decoded whole.
    const QString text = Cp932::decode(bytes);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.sliced(start));
    return lines;
}

qsizetype CountTimetableLines(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes = bytes.first(nul);
    // Decoding never joins a CR or an LF to the byte before it, so the bytes tell.
    qsizetype lines = 0;
    const qsizetype size = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        ++lines;
        if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return start < size ? lines + 1 : lines;
}

qsizetype LongestTimetableLine(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes = bytes.first(nul);
    qsizetype longest = 0;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        longest = std::max(longest, i - start);
        start = i + 1;
    }
    return std::max(longest, size - start);
}

QStringList ReadTimetableFile(const QString &path)
{
    // A timetable is a page of text; anything far larger was chosen by mistake.
    constexpr qint64 MaxTimetableBytes = 16 * 1024 * 1024;
    QByteArray bytes;
    if (!ReadWholeFile(path, MaxTimetableBytes, &bytes) || CountTimetableLines(bytes) > MaxTimetableLines
        || LongestTimetableLine(bytes) > MaxTimetableLineBytes)
        return {};
    return DecodeTimetable(bytes);
}

QStringList NumberTimetableLines(const QStringList &lines)
{
    QStringList items;
    items.reserve(lines.size());
    int number = 1;
    for (const QString &line : lines) {
        if (line.contains(u'<')) {
            items.append(line);
            continue;
        }
        items.append(QString::number(number).rightJustified(3, u'0') + QStringLiteral(") ") + line);
        ++number;
    }
    return items;
}

std::optional<QString> MakeRaceName(const QString &item)
{
    if (item.contains(u'<'))
        return std::nullopt;
    QString name = trimBelow33(item);
    for (QChar &c : name) {
        if (c == u':' || isPathSeparator(c))
            c = u'_';
    }
    name.remove(u' ');
    name = trimBelow33(name);
    if (name.isEmpty())
        return std::nullopt;
    // "." and ".." would name the work folder or the one above it.
    if (name.count(u'.') == name.size())
        name.fill(u'_');
    return name;
}

QString RaceTargetPath(const QString &workFolder, const QString &raceName)
{
    return Paths::join(workFolder, raceName);
}

} // namespace Ordavex
