#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace Ordavex {

// The notes of the strip under the monitor's status text, with the local times
// ("hh:mm:ss"); the second time is empty while the gap goes on.
inline const QString NoteLinkGap = QStringLiteral("ﾎﾟｰﾄ切断 %1～%2");
inline const QString NoteCaptureGap = QStringLiteral("記録停止 %1～%2");
inline const QString NoteHeldOverflow = QStringLiteral("受信ﾃﾞｰﾀ破棄 %1");
// Held bytes let go again and again before the official read the note: the first time,
// the last and how many times.
inline const QString NoteHeldOverflows = QStringLiteral("受信ﾃﾞｰﾀ破棄 %1～%2 ×%3");
// After the newest note, when there are more (the tool tip lists them all).
inline const QString NoteMore = QStringLiteral(" 他%1件");

struct MonitorNote
{
    enum class Kind { Link, Capture, Overflow };

    Kind kind = Kind::Overflow;
    QDateTime from;
    QDateTime to;       // a gap: invalid while it goes on; held bytes: the last time, once there are more
    int count = 1;      // held bytes: the times they were let go
    QString text;       // as shown, made again only when the note changes

    // A gap that goes on; held bytes let go are done with once told.
    bool isOpen() const { return kind != Kind::Overflow && !to.isValid(); }
};

// The notes of the monitor until the official reads them. A reader that lets held bytes
// go read after read tells it as often: those that come one after another, with no other
// note between and none read, are one note with its count. The list is bounded, and each
// note's text is made when it changes, so that a flood of them costs the window little.
class MonitorNotes final
{
public:
    // The most notes kept. Past it the oldest finished notes go first; a gap that goes on
    // never goes (there is at most one of each kind), its end is still to be told.
    static constexpr qsizetype MaxNotes = 100;

    // A gap begins, or held bytes were let go. A gap of a kind that goes on already is not
    // begun again (a loss told twice).
    void open(MonitorNote::Kind kind, const QDateTime &now);
    // The gap of this kind that goes on ends now.
    void close(MonitorNote::Kind kind, const QDateTime &now);
    // The official has read the notes: the finished ones go.
    void read();

    qsizetype size() const { return m_notes.size(); }
    // Newest first.
    QStringList texts() const;
    // One line: the newest note, and how many more.
    QString line() const;
    // Every note, newest first, a line each.
    QString toolTip() const;

    static QString format(const MonitorNote &note);

private:
    void bound();

    QList<MonitorNote> m_notes;     // oldest first
};

} // namespace Ordavex
