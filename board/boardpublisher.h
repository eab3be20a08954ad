#pragma once

#include "boardsnapshot.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

namespace Ordavex {

// Writes the board's pages and JSON into the publish folder, on a thread of its own so
// that a slow disk holds up neither the window nor the served board. Handed the newest
// state, it writes only that: states that arrive while it writes are coalesced.
class BoardPublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardPublisher)

public:
    explicit BoardPublisher(const QString &folder);

    // Queued from the server's thread.
    void publish(const BoardHeat &heat, const QList<SavedHeat> &heats, const QString &workFolder);

signals:
    void publishFailed(const QString &message);

private:
    void writeNewest();

    QString m_folder;
    BoardSnapshot m_source;
    bool m_scheduled = false;
    QHash<QString, QByteArray> m_written;   // path -> digest of the bytes last written there
    QString m_lastFailure;
};

} // namespace Ordavex
