#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QFileSystemWatcher;

namespace Ordavex {

// Says when the work folder's result files may have changed behind the program's back:
// another program added, removed or renamed one. The folder is watched, and the notices
// of a burst are settled into one; it is also looked at again every poll interval, for
// network folders that send no notices and for a folder that was removed and made again.
// Reading the listing and telling whether it changed is the receiver's business.
class BoardListing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardListing)

public:
    static constexpr int DefaultSettleMs = 200;
    static constexpr int DefaultPollMs = 3000;

    explicit BoardListing(QObject *parent = nullptr, int settleMs = DefaultSettleMs, int pollMs = DefaultPollMs);

    // Watches this folder from now on, none when empty. Says nothing by itself.
    void setFolder(const QString &folder);

signals:
    void mayHaveChanged();

private:
    void watch();

    QString m_folder;
    // Made on first use, on the thread the listing lives on by then.
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_settle;
    QTimer m_poll;
};

} // namespace Ordavex
