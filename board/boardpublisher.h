#pragma once

#include "boardsnapshot.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

namespace Ordavex {

// Writes the board's pages and JSON into the publish folder, on a thread of its own so
// that a slow disk holds up neither the window nor the served board. Handed the newest
// state, it writes only that: states that arrive while it writes are coalesced.
//
// The folder is kept as the state says, whatever happened to it in between: a page
// removed or edited by hand is written again, pages of heats no longer listed go, and
// after a failure the whole folder is tried again every retry interval until it is
// written, without waiting for the next change.
class BoardPublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardPublisher)

public:
    static constexpr int DefaultRetryMs = 2000;

    explicit BoardPublisher(const QString &folder, int retryMs = DefaultRetryMs);

    // Queued from the server's thread.
    void publish(const BoardHeat &heat, const QList<SavedHeat> &heats, const QString &workFolder);

signals:
    // A file could not be written or a stale one removed. Said once when the folder
    // starts failing, not at every change or retry while it goes on failing.
    void publishFailed(const QString &message);
    // The folder is whole again after a publishFailed().
    void publishRecovered();

private:
    // What was last written at a path, and how the file looked on the disk right after.
    struct Written
    {
        QByteArray digest;
        qint64 size = -1;
        QDateTime modified;
    };

    void writeNewest();
    bool isOnDisk(const QString &path, const QByteArray &digest) const;
    // Removes the pages and JSON of heats not in kept (relative paths); false when one
    // could not be removed, with its path in *failed.
    bool removeStale(const QSet<QString> &kept, QString *failed);
    void finish(const QString &failure);

    QString m_folder;
    BoardSnapshot m_source;
    bool m_hasSource = false;
    bool m_scheduled = false;
    QHash<QString, Written> m_written;      // by absolute path
    QString m_lastFailure;                  // empty while the folder is whole
    QTimer m_retry;
};

} // namespace Ordavex
