#include "resultfile.h"

#include "gridmodel.h"
#include "paths.h"
#include "runtimeerror.h"
#include "textcodec.h"
#include "timerules.h"
#include "windrules.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringTokenizer>

#include <bitset>
#include <iterator>
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
QString TidyCell(const QString &text)
{
    QString cell = TrimText(text);
    if (cell.startsWith(u'"') && cell.endsWith(u'"'))
        cell.replace(u'\t', u',');
    if (cell.startsWith(u'"'))
        cell[0] = u' ';
    if (cell.endsWith(u'"'))
        cell[cell.size() - 1] = u' ';
    return TrimText(cell);
}

// "%d" of a value that is never negative; QString::number goes through the locale
// machinery and is most of the cost of a long file.
QString DecimalText(int value)
{
    char16_t digits[10];
    qsizetype begin = std::size(digits);
    do {
        digits[--begin] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value > 0);
    return QString(reinterpret_cast<const QChar *>(digits + begin), qsizetype(std::size(digits)) - begin);
}

ReadOutcome Failed(ReadOutcome outcome, const QString &message)
{
    outcome.ok = false;
    outcome.messages.append(message);
    return outcome;
}

} // namespace

// ---- saving ----

QByteArray ResultFileBytes(const ResultGrid &grid, bool track, bool sixtyFix)
{
    const QString quoteComma = QStringLiteral("\",\"");
    QString text;
    text.reserve(grid.gridRowCount() * 24);
    for (int row = 0; row < grid.gridRowCount(); ++row) {
        const QString time = row == 0 ? grid.cell(2, 0) : TimeDisplayText(grid.cell(2, row), track, sixtyFix);
        text += u'"';
        text += grid.cell(0, row);
        text += quoteComma;
        text += grid.cell(1, row);
        text += quoteComma;
        text += time;
        text += u"\"\r\n";
    }
    return Cp932::encode(text);
}

bool WriteResultFile(const QString &path, const ResultGrid &grid, bool track, bool sixtyFix)
{
    return WriteResultBytes(path, ResultFileBytes(grid, track, sixtyFix));
}

bool WriteResultBytes(const QString &path, const QByteArray &bytes)
{
    // The save file would rename over a file that may not be written; refuse it as a
    // plain open for writing would, and leave it untouched.
    if (QFileInfo::exists(path)) {
        QFile existing(path);
        if (!existing.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Flushed by hand: commit() does not notice a failure of its own flush (QTBUG-75077)
    // and would rename a cut-off file over the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
    return StripWindCode(RemoveExtension(targetPath)) + WindMark + QString::number(*windCode)
        + CsvExtension;
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
    const ResultGrid::BulkEdit bulk(grid);
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        for (int col = 1; col < ResultGrid::ColCount; ++col)
            grid.setCell(col, row, {});
    }
}

NumberCheck CheckNumbers(const ResultGrid &grid)
{
    std::bitset<MaxNumber + 1> used;
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        const int number = StrToInt(grid.cell(1, row));
        // A typed "-" makes negative numbers possible; they are as unusable as large ones.
        if (number < 0 || number > MaxNumber)
            return {false, MsgNumberTooLarge.arg(MaxNumber), -1};
        if (used.test(size_t(number)))
            return {false, MsgDuplicateNumber, row};
        used.set(size_t(number));
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
    grid.setGridRowCount(2);

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

    QList<QStringView> lines;
    for (const QStringView line : QStringTokenizer(text, u'\n', Qt::SkipEmptyParts)) {
        if (lines.size() == MaxResultLines)
            return Failed(outcome, MsgTooManyLines.arg(MaxResultLines));
        lines.append(line);
    }

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
                return Failed(outcome, MsgTooManyColumns);
            if (field.size() > MaxFieldLength)
                return Failed(outcome, MsgReadFailure);

            if (grid.gridRowCount() <= row) {
                // The grid keeps the texts of rows it hides; a row read anew starts empty.
                for (int r = grid.gridRowCount(); r <= row; ++r)
                    grid.clearRow(r);
                grid.setGridRowCount(row + 1);
            }
            // One column past the grid is tolerated and dropped.
            if (col < ResultGrid::ColCount) {
                if (row == 0) {
                    grid.setCell(col, row, TidyCell(field.toString()));
                } else {
                    // Plain digits: trimming and unquoting would change nothing.
                    int value = 0;
                    if (!DigitsValue(field, &value))
                        return Failed(outcome, MsgReadFailure);
                    grid.setCell(col, row, DecimalText(value));
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
    grid.setGridRowCount(2);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failed({}, MsgReadFailure);
    const qint64 size = file.size();
    const QByteArray bytes = file.read(size);
    file.close();

    ReadOutcome outcome = ReadResultText(bytes, grid);
    if (bytes.size() < size)
        outcome.messages.prepend(MsgShortRead);
    return outcome;
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
