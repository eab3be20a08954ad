#include "importdiff.h"

#include <algorithm>

namespace Ordavex {

namespace {

const QString Nothing = QStringLiteral("(なし)");
const QString EmptyField = QStringLiteral("-");
const QString Ellipsis = QStringLiteral("…");

// A field as one short piece of one line: a received or opened text may be long, and a
// line break in it would add lines the bound does not count.
QString ShownField(const QString &text)
{
    QString shown = text.size() > MaxShownFieldLength ? text.left(MaxShownFieldLength - 1) : text;
    // Never half of a character outside the basic plane.
    if (shown.size() < text.size()) {
        if (shown.back().isHighSurrogate())
            shown.chop(1);
        shown += Ellipsis;
    }
    for (QChar &c : shown) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = u' ';
    }
    return shown;
}

QString ShownSide(const QString &lane, const QString &time)
{
    if (lane.isEmpty() && time.isEmpty())
        return Nothing;
    return (lane.isEmpty() ? EmptyField : ShownField(lane)) + u' ' + (time.isEmpty() ? EmptyField : ShownField(time));
}

ShownRow TrimmedRow(const QList<ShownRow> &rows, qsizetype i)
{
    if (i >= rows.size())
        return {};
    return {rows[i].lane.trimmed(), rows[i].time.trimmed()};
}

} // namespace

QStringList ImportDifferences(const ShownHeat &typed, const ShownHeat &received)
{
    QStringList lines;
    qsizetype count = 0;
    const auto add = [&](const QString &line) {
        if (++count <= MaxDifferenceLines)
            lines.append(line);
    };

    const QString typedWind = typed.wind.trimmed();
    const QString receivedWind = received.wind.trimmed();
    if (typedWind != receivedWind) {
        add(QStringLiteral("風: %1 → %2")
                .arg(typedWind.isEmpty() ? Nothing : ShownField(typedWind),
                     receivedWind.isEmpty() ? Nothing : ShownField(receivedWind)));
    }

    const qsizetype rows = std::max(typed.rows.size(), received.rows.size());
    for (qsizetype i = 0; i < rows; ++i) {
        const ShownRow before = TrimmedRow(typed.rows, i);
        const ShownRow after = TrimmedRow(received.rows, i);
        if (before.lane == after.lane && before.time == after.time)
            continue;
        // One arg() for all three: a field holding "%2" must not take the next one.
        add(QStringLiteral("%1位: %2 → %3")
                .arg(QString::number(i + 1), ShownSide(before.lane, before.time), ShownSide(after.lane, after.time)));
    }

    if (count == 0)
        return {MsgImportSame};
    if (count > MaxDifferenceLines)
        lines.append(MsgImportMoreDifferences.arg(count - MaxDifferenceLines));
    return lines;
}

} // namespace Ordavex
