#include "records.h"

#include "runtimeerror.h"
#include "settings.h"
#include "windrules.h"

#include <algorithm>
#include <cmath>

namespace Ordavex {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsSeparator(char c)
{
    return c == ',' || c == '\t';
}

bool IsSign(char c)
{
    return c == '+' || c == '-';
}

// The fields of a line, keeping the bytes that keep() accepts, each cut to
// MaxRecordFieldLength; the scan ends after the last field that is read.
template<typename Keep>
std::array<QByteArray, MaxRecordFields> SplitFields(QByteArrayView line, Keep keep)
{
    std::array<QByteArray, MaxRecordFields> fields;
    int field = 0;
    for (const char c : line) {
        if (IsSeparator(c)) {
            if (++field == MaxRecordFields)
                break;
        } else if (keep(c) && fields[size_t(field)].size() < MaxRecordFieldLength) {
            fields[size_t(field)] += c;
        }
    }
    return fields;
}

QByteArray Field(const std::array<QByteArray, MaxRecordFields> &fields, int number)
{
    return number >= 0 && number < MaxRecordFields ? fields[size_t(number)] : QByteArray();
}

} // namespace

QByteArrayView TrimmedLine(QByteArrayView line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && quint8(line[begin]) <= 0x20)
        ++begin;
    while (end > begin && quint8(line[end - 1]) <= 0x20)
        --end;
    return line.sliced(begin, end - begin);
}

RecordColumns RecordColumnsFrom(const Settings &s)
{
    return RecordColumns{s.cPlace, s.cLane, s.cTime, s.cZekken};
}

GridRow SplitRecordToRow(QByteArrayView line, const RecordColumns &columns)
{
    const auto fields = SplitFields(line, IsDigit);
    return GridRow{QString::fromLatin1(Field(fields, columns.place)),
                   QString::fromLatin1(Field(fields, columns.lane)),
                   QString::fromLatin1(Field(fields, columns.time))};
}

QString ParseWind(QByteArrayView line)
{
    QByteArray head = line.first(std::min<qsizetype>(line.size(), 5)).toByteArray();
    head.replace(' ', QByteArrayView());
    double read = 0;
    if (!TryStrToFloat(QString::fromLatin1(head), &read))
        return {};
    // Beyond the range of a float the wind is far out of bounds anyway; the conversion
    // itself would not be defined.
    if (!(std::fabs(read) < 1e30))
        return {};
    const float wind = float(read);
    const QString text = WindText(double(wind));
    double back = 0;
    if (!TryStrToFloat(text, &back))
        return {};
    const float checked = float(back);
    return checked < 99 && checked > -99 ? text : QString();
}

QByteArray FormatLogRow(QByteArrayView line, const RecordColumns &columns)
{
    const QByteArrayView copy = line.first(std::min<qsizetype>(line.size(), MaxRecordFieldLength));
    const auto fields = SplitFields(copy, [](char c) { return IsDigit(c) || c == '.'; });
    QByteArray row;
    for (const int number : {columns.place, columns.lane, columns.time, columns.zekken}) {
        if (!row.isEmpty())
            row += ',';
        row += '"';
        row += TrimmedLine(Field(fields, number));
        row += '"';
    }
    return row;
}

int LogWindCode(QByteArrayView line)
{
    QByteArray digits;
    for (const char c : line.first(std::min<qsizetype>(line.size(), 5))) {
        if (c == '+')
            digits += '1';
        else if (c == '-')
            digits += '9';
        else if (IsDigit(c))
            digits += c;
    }
    int code = 0;
    return TryStrToInt(QString::fromLatin1(digits), &code) ? code : NoWindCode;
}

bool NoLineQualifies(const QList<QByteArray> &lines, int rule, int minBuffLen)
{
    for (const QByteArray &line : lines) {
        const QByteArrayView trimmed = TrimmedLine(line);
        if (rule == 0 && trimmed.contains(','))
            return false;
        if (rule == 1 && trimmed.size() > minBuffLen)
            return false;
    }
    return true;
}

ImportedHeat ImportLines(const QList<QByteArray> &lines, const RecordColumns &columns)
{
    ImportedHeat heat;
    qsizetype first = 0;
    if (!lines.isEmpty() && !lines.front().isEmpty() && IsSign(lines.front().front())) {
        heat.wind = ParseWind(lines.front());
        first = 1;
    }
    for (qsizetype i = first; i < lines.size(); ++i) {
        if (!TrimmedLine(lines[i]).isEmpty())
            heat.rows.append(SplitRecordToRow(lines[i], columns));
    }
    return heat;
}

} // namespace Ordavex
