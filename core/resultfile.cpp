#include "resultfile.h"

#include "atomicfile.h"
#include "gridmodel.h"
#include "paths.h"
#include "runtimeerror.h"
#include "textcodec.h"
#include "timerules.h"
#include "windrules.h"

#include <QVarLengthArray>

#include <algorithm>
#include <bitset>
#include <limits>

namespace Ordavex {

namespace {

const QString WindMark = QStringLiteral("w_");
const QString CsvExtension = QStringLiteral(".csv");

bool IsEntryRowEmpty(const ResultGrid &grid, int row)
{
    for (int col = 1; col < ResultGrid::ColCount; ++col) {
        if (grid.cellView(col, row).isEmpty())
            return true;
    }
    return false;
}

// A cell as read is trimmed and loses the quotes it was saved with; the commas that the
// quote pass hid as TABs come back only inside a quoted text.
QString TidyCell(QStringView text)
{
    QString cell = TrimmedView(text).toString();
    if (cell.startsWith(u'"') && cell.endsWith(u'"'))
        cell.replace(u'\t', u',');
    if (cell.startsWith(u'"'))
        cell[0] = u' ';
    if (cell.endsWith(u'"'))
        cell[cell.size() - 1] = u' ';
    return TrimText(cell);
}

constexpr char16_t Undecodable = 0xFFFD;

// A heading comes back from a save only without what the format cannot carry: a double
// quote inside would flip the quote pass for the rest of the file, a TAB comes back as
// a comma and an undecodable byte is saved as "?". The heading shows at once what a
// save and a reopening would make of it.
QString HeadingCell(QStringView field)
{
    QString cell = TidyCell(field);
    for (QChar &c : cell) {
        if (c == u'"')
            c = u' ';
        else if (c == u'\t')
            c = u',';
        else if (c == Undecodable)
            c = u'?';
    }
    return TrimText(cell);
}

// What HeadingCell would leave as it is, with no line break.
bool IsSavableHeading(QStringView cell)
{
    if (cell.size() > MaxFieldLength || TrimmedView(cell).size() != cell.size())
        return false;
    return std::none_of(cell.begin(), cell.end(), [](QChar c) {
        return c == u'"' || c == u'\t' || c == u'\n' || c == Undecodable;
    });
}

// The display text of a time that reopens into the same display text: a time that is
// an integer (not empty), not negative, whose digits fit into 32 bits.
bool IsSavableDisplayTime(QLatin1StringView display)
{
    qint64 value = 0;
    if (display.isEmpty() || display.front() == '-')
        return false;
    for (const char c : display) {
        if (c < '0' || c > '9')
            continue;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max())
            return false;
    }
    return true;
}

// The display text of a time cell, as the save writes it.
class TimeChars final
{
public:
    TimeChars(QStringView cell, bool track, bool sixtyFix)
        : m_length(TimeDisplayChars(cell, track, sixtyFix, m_chars))
    {
    }
    QLatin1StringView text() const { return {m_chars, m_length}; }

private:
    char m_chars[MaxTimeTextLength];
    int m_length;
};

ReadOutcome Failed(ReadOutcome outcome, const QString &message)
{
    outcome.ok = false;
    outcome.messages.append(message);
    return outcome;
}

// A read that fails before the text is known still replaces the heat: an empty one.
ReadOutcome FailedRead(ResultGrid &grid)
{
    grid.setGridRowCount(2);
    ClearEntries(grid);
    ReadOutcome outcome;
    outcome.entriesCleared = true;
    return Failed(outcome, MsgReadFailure);
}

} // namespace

// ---- saving ----

namespace {

// The file's bytes, written straight into one buffer that grows as needed.
class ByteWriter final
{
public:
    explicit ByteWriter(qsizetype capacity) : m_bytes(capacity, Qt::Uninitialized), m_end(m_bytes.data()) {}

    // Room for at least count more bytes.
    void reserve(qsizetype count)
    {
        const qsizetype used = m_end - m_bytes.data();
        if (m_bytes.size() - used >= count)
            return;
        m_bytes.resize(std::max(2 * m_bytes.size(), used + count));
        m_end = m_bytes.data() + used;
    }
    // The bytes below go into reserved room.
    void put(char c) { *m_end++ = c; }
    template<qsizetype N>
    void put(const char (&text)[N])
    {
        m_end = std::copy(text, text + N - 1, m_end);
    }
    void put(QLatin1StringView text) { m_end = std::copy(text.begin(), text.end(), m_end); }
    // A cell: ASCII as it is, anything else through code page 932; at most two bytes a
    // character.
    void putCell(QStringView cell, bool *lossless)
    {
        const char16_t *chars = cell.utf16();
        const qsizetype size = cell.size();
        char *out = m_end;
        for (qsizetype i = 0; i < size; ++i) {
            if (chars[i] >= 0x80) {
                bool ok = true;
                const QByteArray encoded = Cp932::encode(cell, &ok);
                m_end = std::copy(encoded.begin(), encoded.end(), m_end);
                *lossless = *lossless && ok;
                return;
            }
            out[i] = char(chars[i]);
        }
        m_end += size;
    }
    // A number of column 0 or 1 that reopens as the same number ("05" as "5"), as
    // TryStrToInt reads it: an optional sign, digits, within 32 bits, not negative, and
    // no longer than MaxFieldLength. False, with nothing written, for any other text.
    bool putNumber(QStringView cell)
    {
        const qsizetype size = cell.size();
        if (size > MaxFieldLength)
            return false;
        const char16_t *chars = cell.utf16();
        qsizetype i = 0;
        const bool minus = size > 0 && chars[0] == u'-';
        if (size > 0 && (minus || chars[0] == u'+'))
            ++i;
        if (i == size)
            return false;
        qint64 magnitude = 0;
        for (; i < size; ++i) {
            const char16_t c = chars[i];
            if (c < u'0' || c > u'9')
                return false;
            magnitude = magnitude * 10 + (c - u'0');
            if (magnitude > std::numeric_limits<int>::max())
                return false;
        }
        // "-0" is zero, any other negative number is refused.
        if (minus && magnitude != 0)
            return false;
        for (i = 0; i < size; ++i)
            m_end[i] = char(chars[i]);
        m_end += size;
        return true;
    }
    QByteArray take()
    {
        m_bytes.truncate(m_end - m_bytes.data());
        return std::move(m_bytes);
    }

private:
    QByteArray m_bytes;
    char *m_end;
};

// The file's bytes in one pass; when checking, nothing as soon as a cell would not reopen
// as it is.
std::optional<QByteArray> FormatResult(const ResultGrid &grid, bool track, bool sixtyFix, bool check)
{
    // Room for the quotes, commas and line end of a row and its cells, each at most two
    // bytes a character.
    const auto rowRoom = [](QStringView first, QStringView second, qsizetype third) {
        return 10 + 2 * (first.size() + second.size() + third);
    };
    ByteWriter bytes(qsizetype(grid.gridRowCount()) * 32);
    bool lossless = true;
    for (int row = 0; row < grid.gridRowCount(); ++row) {
        const QStringView first = grid.cellView(0, row);
        const QStringView second = grid.cellView(1, row);
        if (row == 0) {
            const QStringView heading = grid.cellView(2, 0);
            if (check && (!IsSavableHeading(first) || !IsSavableHeading(second) || !IsSavableHeading(heading)))
                return std::nullopt;
            bytes.reserve(rowRoom(first, second, heading.size()));
            bytes.put('"');
            bytes.putCell(first, &lossless);
            bytes.put("\",\"");
            bytes.putCell(second, &lossless);
            bytes.put("\",\"");
            bytes.putCell(heading, &lossless);
            bytes.put("\"\r\n");
            continue;
        }
        const TimeChars time(grid.cellView(2, row), track, sixtyFix);
        if (check && !IsSavableDisplayTime(time.text()))
            return std::nullopt;
        bytes.reserve(rowRoom(first, second, time.text().size()));
        bytes.put('"');
        if (!check)
            bytes.putCell(first, &lossless);
        else if (!bytes.putNumber(first))
            return std::nullopt;
        bytes.put("\",\"");
        if (!check)
            bytes.putCell(second, &lossless);
        else if (!bytes.putNumber(second))
            return std::nullopt;
        bytes.put("\",\"");
        bytes.put(time.text());
        bytes.put("\"\r\n");
    }
    // Only a heading can hold a character that code page 932 has no form for.
    if (check && !lossless)
        return std::nullopt;
    return bytes.take();
}

} // namespace

QByteArray ResultFileBytes(const ResultGrid &grid, bool track, bool sixtyFix)
{
    return *FormatResult(grid, track, sixtyFix, false);
}

std::optional<QByteArray> SavableResultBytes(const ResultGrid &grid, bool track, bool sixtyFix)
{
    return FormatResult(grid, track, sixtyFix, true);
}

bool WriteResultFile(const QString &path, const ResultGrid &grid, bool track, bool sixtyFix, SaveError *error)
{
    const std::optional<QByteArray> bytes = SavableResultBytes(grid, track, sixtyFix);
    return bytes && WriteResultBytes(path, *bytes, error);
}

bool WriteResultBytes(const QString &path, const QByteArray &bytes, SaveError *error)
{
    const SaveError outcome = SaveFileAtomically(path, bytes);
    if (error)
        *error = outcome;
    return outcome == SaveError::None;
}

QString RemoveExtension(const QString &path)
{
    const QString folder = Paths::folderOf(path);
    const qsizetype point = Paths::fileNameOf(path).lastIndexOf(u'.');
    return point < 0 ? path : path.left(folder.size() + point);
}

QString StripWindCode(const QString &pathWithoutExtension)
{
    const QString folder = Paths::folderOf(pathWithoutExtension);
    const QString name = Paths::fileNameOf(pathWithoutExtension);
    const qsizetype mark = name.indexOf(WindMark);
    return mark < 0 ? pathWithoutExtension : folder + name.left(mark);
}

QString ProposedFileName(const QString &targetPath, std::optional<int> windCode)
{
    // 9999 is the code of -99.9, which also means "no wind" when read back.
    if (!windCode || *windCode == int(NoWind))
        return targetPath;
    return StripWindCode(RemoveExtension(targetPath)) + WindMark + IntToStr(*windCode) + CsvExtension;
}

bool GridIsFilled(const ResultGrid &grid)
{
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        if (IsEntryRowEmpty(grid, row))
            return false;
    }
    return true;
}

bool GridIsEmpty(const ResultGrid &grid)
{
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        for (int col = 1; col < ResultGrid::ColCount; ++col) {
            if (!grid.cellView(col, row).isEmpty())
                return false;
        }
    }
    return true;
}

void ClearEntries(ResultGrid &grid)
{
    grid.clearEntries();
}

NumberCheck CheckNumbers(const ResultGrid &grid)
{
    std::bitset<MaxNumber + 1> used;
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        const QString text = grid.cell(1, row);
        const int number = StrToInt(text);
        // A typed "-" makes negative numbers possible; they are as unusable as large ones.
        if (number < 0 || number > MaxNumber)
            return {false, MsgNumberTooLarge.arg(MaxNumber), -1};
        // Typed with enough leading zeros the number would be saved as a field that the
        // reader refuses.
        if (text.size() > MaxFieldLength)
            return {false, MsgNumberTooLarge.arg(MaxNumber), row};
        if (used.test(size_t(number)))
            return {false, MsgDuplicateNumber, row};
        used.set(size_t(number));
    }
    return {};
}

NumberCheck CheckTimes(const ResultGrid &grid, bool track, bool sixtyFix)
{
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        const QStringView text = grid.cellView(2, row);
        // "-1052" would be saved as "-10.52" and reopen as 10.52, a "-" left alone as
        // "" and reopen as 00.00.
        if (!IsSavableDisplayTime(TimeChars(text, track, sixtyFix).text()))
            return {false, MsgNotAnInteger.arg(text), row, 2};
    }
    return {};
}

// ---- opening ----

bool DigitsValue(QStringView field, int *value)
{
    qint64 result = 0;
    for (const QChar c : field) {
        if (c < u'0' || c > u'9')
            continue;
        result = result * 10 + (c.unicode() - u'0');
        if (result > std::numeric_limits<int>::max())
            return false;
    }
    *value = int(result);
    return true;
}

namespace {

// The digits of a field as they go by: the integer of all of them in order (see
// DigitsValue) and its text without leading zeros, as the grid keeps a number.
class FieldNumber final
{
public:
    void add(char16_t c)
    {
        if (c < u'0' || c > u'9' || m_overflow)
            return;
        m_value = m_value * 10 + (c - u'0');
        if (m_value > std::numeric_limits<int>::max())
            m_overflow = true;
        else if (m_value != 0)
            m_digits[m_count++] = c;
    }
    // False beyond the 32-bit range.
    bool text(QString *text) const
    {
        if (m_overflow)
            return false;
        if (m_value <= ResultGrid::MaxRows)
            *text = ResultGrid::numberText(int(m_value));
        else
            *text = QString(reinterpret_cast<const QChar *>(m_digits), m_count);
        return true;
    }

private:
    qint64 m_value = 0;
    bool m_overflow = false;
    // A value within 32 bits has at most ten digits after its leading zeros.
    char16_t m_digits[10];
    int m_count = 0;
};

} // namespace

ReadOutcome ReadResultText(const QByteArray &bytes, ResultGrid &grid)
{
    ReadOutcome outcome;
    const ResultGrid::BulkEdit bulk(grid);

    // Decoding first is safe: no trail byte of a double-byte character is a quote, a
    // comma, a line feed or a digit.
    QString text = Cp932::decode(bytes);

    ClearEntries(grid);
    outcome.entriesCleared = true;

    // The rows the file fills are known before the grid grows, so that a view sees one
    // insertion and not one per line: a line of commas alone fills no row. Empty lines
    // are skipped.
    // In the same pass commas inside quotes become TABs so that they do not split the
    // field; the flag runs on across line ends.
    QVarLengthArray<QStringView, MaxResultLines> lines;
    int rowsFilled = 2;
    bool quoted = false;
    char16_t *const textStart = reinterpret_cast<char16_t *>(text.data());
    char16_t *const textEnd = textStart + text.size();
    for (char16_t *c = textStart; c != textEnd; ++c) {
        const char16_t *const lineStart = c;
        bool filled = false;
        for (; c != textEnd && *c != u'\n'; ++c) {
            if (*c == u'"')
                quoted = !quoted;
            else if (*c == u',' && quoted)
                *c = u'\t';
            filled = filled || *c != u',';
        }
        if (c == lineStart)
            continue;
        if (lines.size() == MaxResultLines) {
            grid.setGridRowCount(2);
            return Failed(outcome, MsgTooManyLines.arg(MaxCompetitors));
        }
        if (filled)
            rowsFilled = std::max(rowsFilled, int(lines.size()) + 1);
        lines.append(QStringView(lineStart, c));
        if (c == textEnd)
            break;
    }
    // Rows from 2 on are new to this heat, number column included.
    for (int row = 2; row < rowsFilled; ++row)
        grid.clearRow(row);
    grid.setGridRowCount(rowsFilled);

    // On a failure the grid ends after the last row that a field reached.
    int rowsReached = 2;
    const auto failed = [&](const QString &message) {
        grid.setGridRowCount(rowsReached);
        return Failed(outcome, message);
    };

    for (int row = 0; row < lines.size(); ++row) {
        const char16_t *const line = lines[row].utf16();
        const qsizetype length = lines[row].size();
        int col = line[0] == u',' ? 1 : 0;
        qsizetype pos = 0;
        for (;;) {
            while (pos < length && line[pos] == u',')
                ++pos;
            if (pos == length)
                break;
            // The digits are taken on the way to the field's end.
            FieldNumber number;
            qsizetype end = pos;
            for (; end < length && line[end] != u','; ++end)
                number.add(line[end]);
            const QStringView field(line + pos, end - pos);

            if (col > ResultGrid::ColCount)
                return failed(MsgTooManyColumns);
            // The limit is on the text inside the quotes, as the writer keeps it.
            if (field.size() > MaxFieldLength) {
                QStringView inner = TrimmedView(field);
                if (inner.startsWith(u'"'))
                    inner = inner.sliced(1);
                if (inner.endsWith(u'"'))
                    inner.chop(1);
                if (inner.size() > MaxFieldLength)
                    return failed(MsgReadFailure);
            }
            rowsReached = std::max(rowsReached, row + 1);

            // One column past the grid is tolerated and dropped.
            if (col < ResultGrid::ColCount) {
                if (row == 0) {
                    grid.setCell(col, row, HeadingCell(field));
                } else {
                    // Plain digits: trimming and unquoting would change nothing.
                    QString text;
                    if (!number.text(&text))
                        return failed(MsgReadFailure);
                    grid.setCell(col, row, std::move(text));
                }
            }

            ++col;
            // One empty field between two commas is counted; longer runs count the same.
            if (end + 1 < length && line[end + 1] == u',')
                ++col;
            pos = end;
        }
    }

    outcome.ok = true;
    return outcome;
}

ReadOutcome ReadResultFile(const QString &path, ResultGrid &grid)
{
    QByteArray bytes;
    if (!ReadWholeFile(path, MaxResultFileSize, &bytes))
        return FailedRead(grid);
    return ReadResultText(bytes, grid);
}

ReadOutcome ReadResultFile(QIODevice &device, ResultGrid &grid)
{
    QByteArray bytes;
    if (!ReadWhole(device, MaxResultFileSize, &bytes))
        return FailedRead(grid);
    return ReadResultText(bytes, grid);
}

void NumberEmptyPlaces(ResultGrid &grid)
{
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        if (grid.cellView(0, row).isEmpty())
            grid.setCell(0, row, ResultGrid::numberText(row));
    }
}

void TrimIncompleteRows(ResultGrid &grid)
{
    for (int row = grid.gridRowCount() - 1; row >= 3; --row) {
        if (IsEntryRowEmpty(grid, row))
            grid.setGridRowCount(row);
    }
}

PathWind WindFromPath(const QString &path)
{
    PathWind result;
    const qsizetype mark = path.indexOf(WindMark);
    if (mark < 0)
        return result;
    int code = 0;
    if (!TryStrToInt(QStringView(path).mid(mark + WindMark.size(), 3), &code))
        return result;
    const double wind = WindFromCode(code);
    if (wind == NoWind)
        return result;
    result.found = true;
    result.wind = wind;
    result.targetPath = path.left(mark) + CsvExtension;
    return result;
}

} // namespace Ordavex
