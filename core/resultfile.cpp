#include "resultfile.h"

#include "atomicfile.h"
#include "gridmodel.h"
#include "paths.h"
#include "runtimeerror.h"
#include "textcodec.h"
#include "timerules.h"
#include "windrules.h"

#include <QStringTokenizer>

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
        if (grid.cell(col, row).isEmpty())
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
bool IsSavableHeading(const QString &cell)
{
    if (cell.size() > MaxFieldLength || TrimmedView(cell).size() != cell.size())
        return false;
    return std::none_of(cell.begin(), cell.end(), [](QChar c) {
        return c == u'"' || c == u'\t' || c == u'\n' || c == Undecodable;
    });
}

// A number of column 0 or 1 that reopens as the same number: "05" as "5".
bool IsSavableNumber(const QString &cell)
{
    int value = 0;
    return cell.size() <= MaxFieldLength && TryStrToInt(cell, &value) && value >= 0;
}

// The display text of a time that reopens into the same display text: a time that is
// an integer (not empty), not negative, whose digits fit into 32 bits.
bool IsSavableDisplayTime(const QString &display)
{
    int reopened = 0;
    return !display.isEmpty() && !display.startsWith(u'-') && DigitsValue(display, &reopened);
}

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

// The file's bytes in one pass; when checking, nothing as soon as a cell would not reopen
// as it is.
// Appends a cell's bytes: ASCII as it is, anything else through code page 932.
void AppendCell(QByteArray &bytes, const QString &cell, bool *lossless)
{
    const qsizetype size = cell.size();
    const char16_t *chars = reinterpret_cast<const char16_t *>(cell.constData());
    for (qsizetype i = 0; i < size; ++i) {
        if (chars[i] >= 0x80) {
            bool ok = true;
            bytes += Cp932::encode(cell, &ok);
            *lossless = *lossless && ok;
            return;
        }
    }
    const qsizetype at = bytes.size();
    bytes.resize(at + size);
    char *out = bytes.data() + at;
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(chars[i]);
}

std::optional<QByteArray> FormatResult(const ResultGrid &grid, bool track, bool sixtyFix, bool check)
{
    QByteArray bytes;
    bytes.reserve(grid.gridRowCount() * 28);
    bool lossless = true;
    for (int row = 0; row < grid.gridRowCount(); ++row) {
        const QString first = grid.cell(0, row);
        const QString second = grid.cell(1, row);
        const QString time = row == 0 ? grid.cell(2, 0) : TimeDisplayText(grid.cell(2, row), track, sixtyFix);
        if (check) {
            if (row == 0 ? !IsSavableHeading(first) || !IsSavableHeading(second) || !IsSavableHeading(time)
                         : !IsSavableNumber(first) || !IsSavableNumber(second) || !IsSavableDisplayTime(time))
                return std::nullopt;
        }
        bytes += '"';
        AppendCell(bytes, first, &lossless);
        bytes += "\",\"";
        AppendCell(bytes, second, &lossless);
        bytes += "\",\"";
        AppendCell(bytes, time, &lossless);
        bytes += "\"\r\n";
    }
    // Only a heading can hold a character that code page 932 has no form for.
    if (check && !lossless)
        return std::nullopt;
    return bytes;
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

bool WriteResultFile(const QString &path, const ResultGrid &grid, bool track, bool sixtyFix)
{
    const std::optional<QByteArray> bytes = SavableResultBytes(grid, track, sixtyFix);
    return bytes && WriteResultBytes(path, *bytes);
}

bool WriteResultBytes(const QString &path, const QByteArray &bytes)
{
    return SaveFileAtomically(path, bytes) == SaveError::None;
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
            if (!grid.cell(col, row).isEmpty())
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
        const QString text = grid.cell(2, row);
        // "-1052" would be saved as "-10.52" and reopen as 10.52, a "-" left alone as
        // "" and reopen as 00.00.
        if (!IsSavableDisplayTime(TimeDisplayText(text, track, sixtyFix)))
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

ReadOutcome ReadResultText(const QByteArray &bytes, ResultGrid &grid)
{
    ReadOutcome outcome;
    const ResultGrid::BulkEdit bulk(grid);

    // Decoding first is safe: no trail byte of a double-byte character is a quote, a
    // comma, a line feed or a digit.
    QString text = Cp932::decode(bytes);

    // Commas inside quotes become TABs so that they do not split the field; the flag
    // runs on across line ends.
    bool quoted = false;
    for (QChar *c = text.data(), *end = c + text.size(); c != end; ++c) {
        if (*c == u'"')
            quoted = !quoted;
        else if (quoted && *c == u',')
            *c = u'\t';
    }

    ClearEntries(grid);
    outcome.entriesCleared = true;

    // The rows the file fills are known before the grid grows, so that a view sees one
    // insertion and not one per line: a line of commas alone fills no row.
    QList<QStringView> lines;
    int rowsFilled = 2;
    for (const QStringView line : QStringTokenizer(text, u'\n', Qt::SkipEmptyParts)) {
        if (lines.size() == MaxResultLines) {
            grid.setGridRowCount(2);
            return Failed(outcome, MsgTooManyLines.arg(MaxCompetitors));
        }
        if (std::any_of(line.begin(), line.end(), [](QChar c) { return c != u','; }))
            rowsFilled = std::max(rowsFilled, int(lines.size()) + 1);
        lines.append(line);
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
        const QStringView line = lines[row];
        const qsizetype length = line.size();
        int col = line.startsWith(u',') ? 1 : 0;
        qsizetype pos = 0;
        for (;;) {
            while (pos < length && line[pos] == u',')
                ++pos;
            if (pos == length)
                break;
            qsizetype end = line.indexOf(u',', pos);
            if (end < 0)
                end = length;
            const QStringView field = line.sliced(pos, end - pos);

            if (col > ResultGrid::ColCount)
                return failed(MsgTooManyColumns);
            // The limit is on the text inside the quotes, as the writer keeps it.
            QStringView inner = TrimmedView(field);
            if (inner.startsWith(u'"'))
                inner = inner.sliced(1);
            if (inner.endsWith(u'"'))
                inner.chop(1);
            if (inner.size() > MaxFieldLength)
                return failed(MsgReadFailure);
            rowsReached = std::max(rowsReached, row + 1);

            // One column past the grid is tolerated and dropped.
            if (col < ResultGrid::ColCount) {
                if (row == 0) {
                    grid.setCell(col, row, HeadingCell(field));
                } else {
                    // Plain digits: trimming and unquoting would change nothing.
                    int value = 0;
                    if (!DigitsValue(field, &value))
                        return failed(MsgReadFailure);
                    grid.setCell(col, row, IntToStr(value));
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
        if (grid.cell(0, row).isEmpty())
            grid.setCell(0, row, IntToStr(row));
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
