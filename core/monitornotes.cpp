#include "monitornotes.h"

namespace Ordavex {

namespace {

QString timeOfDay(const QDateTime &when)
{
    return when.isValid() ? when.time().toString(QStringLiteral("hh:mm:ss")) : QString();
}

} // namespace

QString MonitorNotes::format(const MonitorNote &note)
{
    switch (note.kind) {
    case MonitorNote::Kind::Link:
        return NoteLinkGap.arg(timeOfDay(note.from), timeOfDay(note.to));
    case MonitorNote::Kind::Capture:
        return NoteCaptureGap.arg(timeOfDay(note.from), timeOfDay(note.to));
    case MonitorNote::Kind::Overflow:
        break;
    }
    if (note.count <= 1)
        return NoteHeldOverflow.arg(timeOfDay(note.from));
    return NoteHeldOverflows.arg(timeOfDay(note.from), timeOfDay(note.to)).arg(note.count);
}

void MonitorNotes::open(MonitorNote::Kind kind, const QDateTime &now)
{
    if (kind == MonitorNote::Kind::Overflow) {
        if (!m_notes.isEmpty() && m_notes.last().kind == kind) {
            MonitorNote &last = m_notes.last();
            last.to = now;
            ++last.count;
            last.text = format(last);
            return;
        }
    } else {
        for (const MonitorNote &note : std::as_const(m_notes)) {
            if (note.kind == kind && note.isOpen())
                return;
        }
    }
    MonitorNote note{kind, now, {}, 1, {}};
    note.text = format(note);
    m_notes.append(std::move(note));
    bound();
}

void MonitorNotes::close(MonitorNote::Kind kind, const QDateTime &now)
{
    for (MonitorNote &note : m_notes) {
        if (note.kind == kind && note.isOpen()) {
            note.to = now;
            note.text = format(note);
        }
    }
}

void MonitorNotes::read()
{
    m_notes.removeIf([](const MonitorNote &note) { return !note.isOpen(); });
}

void MonitorNotes::bound()
{
    for (qsizetype i = 0; m_notes.size() > MaxNotes && i < m_notes.size();) {
        if (m_notes[i].isOpen())
            ++i;
        else
            m_notes.removeAt(i);
    }
}

QStringList MonitorNotes::texts() const
{
    QStringList texts;
    texts.reserve(m_notes.size());
    for (auto note = m_notes.crbegin(); note != m_notes.crend(); ++note)
        texts.append(note->text);
    return texts;
}

QString MonitorNotes::line() const
{
    if (m_notes.isEmpty())
        return {};
    const QString &newest = m_notes.last().text;
    return m_notes.size() > 1 ? newest + NoteMore.arg(m_notes.size() - 1) : newest;
}

QString MonitorNotes::toolTip() const
{
    return texts().join(QLatin1Char('\n'));
}

} // namespace Ordavex
