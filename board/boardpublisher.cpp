#include "boardpublisher.h"
#include "boardtexts.h"

#include "core/atomicfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace Ordavex {

BoardPublisher::BoardPublisher(const QString &folder)
    : m_folder(QDir::cleanPath(folder))
{
}

void BoardPublisher::publish(const BoardHeat &heat, const QList<SavedHeat> &heats, const QString &workFolder)
{
    m_source.heat = heat;
    m_source.heats = heats;
    m_source.workFolder = workFolder;
    if (m_scheduled)
        return;
    m_scheduled = true;
    // After the calls already queued: only the newest of them is written.
    QTimer::singleShot(0, this, &BoardPublisher::writeNewest);
}

void BoardPublisher::writeNewest()
{
    m_scheduled = false;
    const QDir root(m_folder);
    QString failure;
    if (!root.exists() && !QDir().mkpath(m_folder))
        failure = MsgBoardPublishFolderMissing.arg(QDir::toNativeSeparators(m_folder));
    const QList<BoardFile> files =
        failure.isEmpty() ? BoardSiteFiles(m_source.heat, m_source.heats, m_source) : QList<BoardFile>{};
    for (const BoardFile &file : files) {
        // The paths come from the heats' own names: none may leave the folder.
        const QString relative = QDir::cleanPath(file.path);
        if (relative.isEmpty() || QDir::isAbsolutePath(relative) || relative == QStringLiteral("..")
            || relative.startsWith(QStringLiteral("../")))
            continue;
        const QString path = root.filePath(relative);
        const QByteArray digest = QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256);
        if (m_written.value(path) == digest)
            continue;
        const QString folder = QFileInfo(path).path();
        if (!QDir().mkpath(folder) || SaveFileAtomically(path, file.bytes) != SaveError::None) {
            m_written.remove(path);
            if (failure.isEmpty())
                failure = MsgBoardPublishFailed.arg(QDir::toNativeSeparators(path));
            continue;
        }
        m_written.insert(path, digest);
    }
    // One notice per failure, not one per change: it is said again once it has cleared.
    if (failure.isEmpty()) {
        m_lastFailure.clear();
    } else if (failure != m_lastFailure) {
        m_lastFailure = failure;
        emit publishFailed(failure);
    }
}

} // namespace Ordavex
