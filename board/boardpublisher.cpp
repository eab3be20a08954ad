#include "boardpublisher.h"
#include "boardtexts.h"

#include "core/atomicfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Ordavex {

namespace {

const QString HeatPages = QStringLiteral("heats");
const QString HeatJsons = QStringLiteral("api/heats");
const QString ListPage = QStringLiteral("index.html");

} // namespace

BoardPublisher::BoardPublisher(const QString &folder, int retryMs)
    : m_folder(QDir::cleanPath(folder))
    , m_retry(this)
{
    m_retry.setInterval(retryMs);
    connect(&m_retry, &QTimer::timeout, this, &BoardPublisher::writeNewest);
}

void BoardPublisher::publish(const BoardHeat &heat, const QList<SavedHeat> &heats, const QString &workFolder)
{
    m_source.heat = heat;
    if (workFolder != m_source.workFolder)
        m_source.setWorkFolder(workFolder);
    m_source.setListing(heats);
    m_hasSource = true;
    if (m_scheduled)
        return;
    m_scheduled = true;
    // After the calls already queued: only the newest of them is written.
    QTimer::singleShot(0, this, &BoardPublisher::writeNewest);
}

// The digest alone would trust a file that someone has since removed or edited: the
// file must also still be the one written, as its size and modification time show.
// (Not the change time: a backup's hard link or a sync tool's chmod changes that.)
bool BoardPublisher::isOnDisk(const QString &path, const QByteArray &digest) const
{
    const auto it = m_written.constFind(path);
    if (it == m_written.cend() || it->digest != digest)
        return false;
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink() && info.size() == it->size && info.lastModified() == it->modified;
}

bool BoardPublisher::removeStale(const QSet<QString> &kept, QString *failed)
{
    bool ok = true;
    const QDir root(m_folder);
    const std::pair<QString, QString> owned[] = {{HeatPages, QStringLiteral("*.html")},
                                                 {HeatJsons, QStringLiteral("*.json")}};
    for (const auto &[folder, pattern] : owned) {
        // Regular files only, and no hidden ones: the writer's temporary files are hidden,
        // and anything else someone put here is not the publisher's.
        const QFileInfoList entries = QDir(root.filePath(folder))
                                          .entryInfoList({pattern}, QDir::Files | QDir::NoSymLinks | QDir::CaseSensitive);
        for (const QFileInfo &entry : entries) {
            const QString relative = folder + u'/' + entry.fileName();
            if ((folder == HeatPages && entry.fileName() == ListPage) || kept.contains(relative))
                continue;
            const QString path = root.filePath(relative);
            m_written.remove(path);
            if (!QFile::remove(path) && QFileInfo::exists(path)) {
                if (ok)
                    *failed = path;
                ok = false;
            }
        }
    }
    return ok;
}

void BoardPublisher::writeNewest()
{
    m_scheduled = false;
    if (!m_hasSource)
        return;
    const QDir root(m_folder);
    if (!QFileInfo(m_folder).isDir() && !QDir().mkpath(m_folder)) {
        finish(MsgBoardPublishFolderMissing.arg(QDir::toNativeSeparators(m_folder)));
        return;
    }
    QString failure;
    QSet<QString> kept;
    // A listed heat that cannot be read just now (another program still writing it)
    // keeps the pages it has.
    for (const SavedHeat &heat : std::as_const(m_source.heats)) {
        const QString name = PublishedHeatName(heat.name);
        kept.insert(HeatPages + u'/' + name + QStringLiteral(".html"));
        kept.insert(HeatJsons + u'/' + name + QStringLiteral(".json"));
    }
    const QList<BoardFile> files = BoardSiteFiles(m_source.heat, m_source.heats, m_source);
    for (const BoardFile &file : files) {
        // The paths come from the heats' own names: none may leave the folder.
        const QString relative = QDir::cleanPath(file.path);
        if (relative.isEmpty() || QDir::isAbsolutePath(relative) || relative == QStringLiteral("..")
            || relative.startsWith(QStringLiteral("../")))
            continue;
        kept.insert(relative);
        const QString path = root.filePath(relative);
        const QByteArray digest = QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256);
        if (isOnDisk(path, digest))
            continue;
        // Forgotten first: a file is known as written only once its write has succeeded.
        m_written.remove(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || SaveFileAtomically(path, file.bytes) != SaveError::None) {
            if (failure.isEmpty())
                failure = MsgBoardPublishFailed.arg(QDir::toNativeSeparators(path));
            continue;
        }
        const QFileInfo info(path);
        m_written.insert(path, Written{digest, info.size(), info.lastModified()});
    }
    QString stale;
    if (!removeStale(kept, &stale) && failure.isEmpty())
        failure = MsgBoardPublishFailed.arg(QDir::toNativeSeparators(stale));
    finish(failure);
}

void BoardPublisher::finish(const QString &failure)
{
    if (failure.isEmpty()) {
        m_retry.stop();
        if (!m_lastFailure.isEmpty()) {
            m_lastFailure.clear();
            emit publishRecovered();
        }
        return;
    }
    // Tried again on the timer: a disk that has room again, a share that is back, is
    // written without waiting for the next change.
    if (!m_retry.isActive())
        m_retry.start();
    if (m_lastFailure.isEmpty())
        emit publishFailed(failure);
    m_lastFailure = failure;
}

} // namespace Ordavex
