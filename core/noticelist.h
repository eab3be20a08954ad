#pragma once

#include <QList>
#include <QString>

namespace Ordavex {

// What the main window's notice strip tells: one notice per cause, each until its cause
// is gone or the official dismisses it. The strip shows the newest and how many more;
// all of them, newest first, are in its tool tip.
class NoticeList final
{
public:
    enum class Cause {
        RecoveryWrite,    // the unsaved heat's copy cannot be written, or its write hangs
        RecoveryRemove,   // the copy of a saved or erased heat cannot be removed
        BoardStart,       // the board could not be started
        BoardLost,        // the board stopped by itself (and when it came back)
        BoardPublish,     // the publish folder takes no files
        StartList,        // the race's start list is refused
    };

    // The notice of the cause becomes the newest with this text. A notice the official
    // dismissed is not told again while its cause holds; false then.
    bool post(Cause cause, const QString &text);
    // The cause is gone: its notice goes, and a next one is news again.
    void withdraw(Cause cause);
    // The official read the newest notice: it goes until its cause has gone and come back.
    void dismissNewest();

    bool isEmpty() const { return m_notices.isEmpty(); }
    qsizetype size() const { return m_notices.size(); }
    bool holds(Cause cause) const;
    // The newest notice's text, followed by " 他N件" when there are more.
    QString line() const;
    // Every notice's text, newest first.
    QStringList texts() const;

private:
    struct Notice
    {
        Cause cause;
        QString text;
    };
    QList<Notice> m_notices;     // newest first
    QList<Cause> m_dismissed;
};

} // namespace Ordavex
