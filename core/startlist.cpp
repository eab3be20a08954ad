#include "startlist.h"

#include "atomicfile.h"
#include "gridmodel.h"
#include "paths.h"
#include "resultfile.h"
#include "runtimeerror.h"
#include "textcodec.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>

namespace Ordavex {

namespace {

// The fields of one line: commas separate them except inside double quotes, "" inside
// quotes is one quote, and blanks around a field go.
QStringList SplitFields(QStringView line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == u',' && !quoted) {
            fields.append(TrimText(field));
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(TrimText(field));
    return fields;
}

int ColumnOf(const QStringList &heading, std::initializer_list<const char16_t *> names)
{
    for (qsizetype i = 0; i < heading.size(); ++i) {
        for (const char16_t *name : names) {
            if (heading[i] == QStringView(name))
                return int(i);
        }
    }
    return -1;
}

// An empty field is none (-1); digits alone within the range are the value; anything
// else is no value at all.
std::optional<int> ValueOf(QStringView field)
{
    if (field.isEmpty())
        return -1;
    if (field.size() > 4)
        return std::nullopt;
    int value = 0;
    for (const QChar c : field) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

StartListRead Refused(const QString &why)
{
    StartListRead read;
    read.error = why;
    return read;
}

} // namespace

const Starter *StartList::byLane(int lane) const
{
    const auto found = lanes.constFind(lane);
    return found == lanes.cend() ? nullptr : &starters[*found];
}

const Starter *StartList::byNumber(int number) const
{
    const auto found = numbers.constFind(number);
    return found == numbers.cend() ? nullptr : &starters[*found];
}

const Starter *FindStarter(const StartList &list, QStringView typed, bool byNumber)
{
    const std::optional<int> value = ValueOf(typed);
    if (!value || *value < 0)
        return nullptr;
    return byNumber ? list.byNumber(*value) : list.byLane(*value);
}

QList<StarterMark> MarkStarters(const ResultGrid &grid, int column, const StartList &list, bool byNumber)
{
    QList<StarterMark> marks(grid.dataRowCount(), StarterMark::None);
    QHash<const Starter *, int> firstRow;
    for (int row = 1; row <= grid.dataRowCount(); ++row) {
        const QStringView typed = grid.cellView(column, row);
        if (typed.isEmpty())
            continue;
        const Starter *starter = FindStarter(list, typed, byNumber);
        if (!starter) {
            marks[row - 1] = StarterMark::Unknown;
            continue;
        }
        const auto first = firstRow.constFind(starter);
        if (first == firstRow.cend()) {
            firstRow.insert(starter, row);
            marks[row - 1] = StarterMark::Known;
        } else {
            marks[row - 1] = StarterMark::Twice;
            marks[*first - 1] = StarterMark::Twice;
        }
    }
    return marks;
}

StartListRead ParseStartList(QByteArrayView bytes)
{
    if (bytes.size() > MaxStartListBytes)
        return Refused(StartListTooLarge);
    static constexpr char Bom[] = "\xEF\xBB\xBF";
    const QString text = bytes.startsWith(Bom) ? QString::fromUtf8(bytes.sliced(3)) : Cp932::decode(bytes);

    QList<QStringView> lines;
    for (QStringView line : QStringView(text).tokenize(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (TrimmedView(line).isEmpty())
            continue;
        if (lines.size() == MaxStartListLines)
            return Refused(StartListTooManyLines.arg(MaxStartListLines));
        lines.append(line);
    }
    if (lines.isEmpty())
        return Refused(StartListNoHeading);

    const QStringList heading = SplitFields(lines[0]);
    const int laneColumn = ColumnOf(heading, {u"ﾚｰﾝ", u"レーン"});
    const int numberColumn = ColumnOf(heading, {u"ﾅﾝﾊﾞｰ", u"ナンバー"});
    const int nameColumn = ColumnOf(heading, {u"氏名"});
    const int teamColumn = ColumnOf(heading, {u"所属"});
    if (nameColumn < 0 || (laneColumn < 0 && numberColumn < 0))
        return Refused(StartListNoHeading);

    StartList list;
    QHash<int, int> laneLines;      // value -> line number, counted from 1
    QHash<int, int> numberLines;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const int lineNumber = int(i) + 1;
        const QStringList fields = SplitFields(lines[i]);
        for (const QString &field : fields) {
            if (field.size() > MaxStartListFieldLength)
                return Refused(StartListFieldTooLong.arg(lineNumber).arg(MaxStartListFieldLength));
        }
        const auto field = [&fields](int column) { return column < 0 ? QString() : fields.value(column); };
        const std::optional<int> lane = ValueOf(field(laneColumn));
        const std::optional<int> number = ValueOf(field(numberColumn));
        if (!lane || !number)
            return Refused(StartListBadValue.arg(lineNumber).arg(MaxStartListValue));
        if (*lane < 0 && *number < 0)
            return Refused(StartListNoLaneOrNumber.arg(lineNumber));
        // The same lane or number twice would put two names beside one result.
        if (*lane >= 0 && laneLines.contains(*lane))
            return Refused(StartListTwice.arg(lineNumber).arg(heading[laneColumn]).arg(*lane).arg(laneLines[*lane]));
        if (*number >= 0 && numberLines.contains(*number))
            return Refused(
                StartListTwice.arg(lineNumber).arg(heading[numberColumn]).arg(*number).arg(numberLines[*number]));
        if (*lane >= 0) {
            laneLines.insert(*lane, lineNumber);
            list.lanes.insert(*lane, list.starters.size());
        }
        if (*number >= 0) {
            numberLines.insert(*number, lineNumber);
            list.numbers.insert(*number, list.starters.size());
        }
        list.starters.append({*lane, *number, field(nameColumn), field(teamColumn)});
    }
    StartListRead read;
    read.list = std::move(list);
    return read;
}

StartListRead ReadStartListFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.size() > MaxStartListBytes)
        return Refused(StartListTooLarge);
    QByteArray bytes;
    if (!ReadWholeFile(path, MaxStartListBytes, &bytes))
        return Refused(StartListUnreadable);
    return ParseStartList(bytes);
}

QString StartListPath(const QString &targetPath)
{
    const QString bare = StripWindCode(RemoveExtension(targetPath));
    return Paths::join(Paths::join(Paths::folderOf(bare), QStringLiteral("startlists")), Paths::fileNameOf(bare))
           + QStringLiteral(".csv");
}

QString StarterText(int value, const Starter &starter)
{
    QString text = QString::number(value) + u' ' + starter.name;
    if (!starter.team.isEmpty())
        text += QStringLiteral(" (%1)").arg(starter.team);
    return text;
}

} // namespace Ordavex
