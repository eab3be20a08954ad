#include "boardlisting.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

namespace Ordavex {

BoardListing::BoardListing(QObject *parent, int settleMs, int pollMs)
    : QObject(parent)
    , m_settle(this)
    , m_poll(this)
{
    // From the first notice, not the last: a folder that never stays still is still read.
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &BoardListing::mayHaveChanged);
    m_poll.setInterval(pollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        watch();
        emit mayHaveChanged();
    });
}

void BoardListing::setFolder(const QString &folder)
{
    m_settle.stop();
    if (m_watcher && !m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_folder = folder;
    if (m_folder.isEmpty()) {
        m_poll.stop();
        return;
    }
    watch();
    m_poll.start();
}

// A watched folder that goes away is no longer watched: taken up again once it is back.
void BoardListing::watch()
{
    if (m_folder.isEmpty() || !QFileInfo(m_folder).isDir())
        return;
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
            if (!m_settle.isActive())
                m_settle.start();
        });
    }
    if (m_watcher->directories().isEmpty())
        m_watcher->addPath(m_folder);
}

} // namespace Ordavex
