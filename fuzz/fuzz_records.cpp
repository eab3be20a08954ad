// Feeds arbitrary received lines to the record parsing, the import and the slit log,
// and checks what every line must give: digits only in the grid, rows of four quoted
// fields of digits and points, winds within bounds.
#include "check.h"
#include "core/records.h"
#include "core/slitlog.h"
#include "core/textcodec.h"

#include <cstdint>

using namespace Ordavex;

namespace {

bool IsBlank(QByteArrayView line)
{
    for (const char c : line) {
        if (quint8(c) > 0x20)
            return false;
    }
    return true;
}

bool AllDigits(const QString &text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// The four fields of a log row, or false when the row does not have the format: four
// fields of digits and points, each in double quotes, separated by commas.
bool ParseLogRow(const QByteArray &row, QList<QByteArray> *fields)
{
    fields->clear();
    qsizetype i = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0 && (i >= row.size() || row[i++] != ','))
            return false;
        if (i >= row.size() || row[i++] != '"')
            return false;
        QByteArray text;
        while (i < row.size() && ((row[i] >= '0' && row[i] <= '9') || row[i] == '.'))
            text += row[i++];
        if (i >= row.size() || row[i++] != '"')
            return false;
        *fields << text;
    }
    return i == row.size();
}

// A wind text: a sign, one or two digits, a point and one digit.
bool IsWindText(const QString &text)
{
    const qsizetype point = text.size() - 2;
    if (point < 2 || point > 3 || (text[0] != u'+' && text[0] != u'-') || text[point] != u'.')
        return false;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (i != point && (text[i] < u'0' || text[i] > u'9'))
            return false;
    }
    return true;
}

QString WithoutPoints(QByteArray field)
{
    return QString::fromLatin1(field.replace('.', QByteArray()));
}

void CheckLine(const QByteArray &line, const RecordColumns &columns)
{
    const GridRow row = SplitRecordToRow(line, columns);
    for (const QString &cell : row) {
        Check(cell.size() <= MaxRecordFieldLength, "grid field within 254 digits");
        Check(AllDigits(cell), "grid field digits only");
    }

    const QByteArray logRow = FormatLogRow(line, columns);
    QList<QByteArray> fields;
    Check(ParseLogRow(logRow, &fields), "log row parses back");
    for (const QByteArray &field : fields)
        Check(field.size() <= MaxRecordFieldLength, "log field within 254 characters");
    // Within the first 254 bytes the grid and the log read the same fields.
    if (line.size() <= MaxRecordFieldLength) {
        for (size_t i = 0; i < 3; ++i)
            Check(WithoutPoints(fields[qsizetype(i)]) == row[i], "grid field is the log field without points");
        const GridRow bib = SplitRecordToRow(line, RecordColumns{columns.zekken, 0, 0, 0});
        Check(WithoutPoints(fields[3]) == bib[0], "bib field as in the grid");
    }

    const QString wind = ParseWind(line);
    if (!wind.isEmpty()) {
        Check(IsWindText(wind), "wind text signed with one decimal");
        const float value = wind.toFloat();
        Check(value < 99 && value > -99, "wind below 99 in size");
        Check(ParseWind(wind.toLatin1()) == wind, "wind text reads back as itself");
    }

    const int code = LogWindCode(line);
    Check(code == NoWindCode || (code >= 0 && code <= 99999), "wind code of at most five digits");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    // The first four bytes choose the fields, some outside the fields a line has.
    const auto column = [&](size_t i) { return int(data[i] % 13) - 1; };
    const RecordColumns columns{column(0), column(1), column(2), column(3)};
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 4, qsizetype(size - 4));
    // Lines as the reader cuts them: no line end inside.
    const QList<QByteArray> lines = bytes.split('\n');

    for (const QByteArray &line : lines)
        CheckLine(line, columns);

    const ImportedHeat heat = ImportLines(lines, columns);
    const bool windFirst = !lines.front().isEmpty() && (lines.front().front() == '+' || lines.front().front() == '-');
    Check(heat.wind == (windFirst ? ParseWind(lines.front()) : QString()), "wind only from a first line with a sign");
    qsizetype records = 0;
    for (qsizetype i = windFirst ? 1 : 0; i < lines.size(); ++i) {
        if (IsBlank(lines[i]))
            continue;
        Check(records < heat.rows.size() && heat.rows[records] == SplitRecordToRow(lines[i], columns),
              "one row per record line, in order");
        ++records;
    }
    Check(records == heat.rows.size(), "no row without a record line");

    const SlitLog log = BuildSlitLog(lines, columns);
    Check(log.rows.size() <= lines.size(), "at most one log row per line");
    QList<QByteArray> fields;
    for (const QByteArray &row : log.rows)
        Check(ParseLogRow(row, &fields), "slit log row parses back");
    if (!log.rows.isEmpty())
        Check(!NoLineQualifies(lines, 0, 0), "a line with a comma qualifies");
    Check(SlitLogIsEmpty(log) == (log.rows.isEmpty() && log.windCode == NoWindCode), "empty log");

    const QByteArray file = SlitLogBytes(log);
    Check(file.startsWith(Cp932::encode(SlitLogHeading) + "\r\n"), "heading line first");
    Check(file.endsWith("\r\n") && file.count("\r\n") == log.rows.size() + 1, "one CR LF per line");
    Check(MonitorTextBytes(lines).size() == bytes.size() + 2 * lines.size() - (lines.size() - 1),
          "monitor text is the lines with CR LF");
    return 0;
}
