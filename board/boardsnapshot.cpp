#include "boardsnapshot.h"

#include <QSet>

#include <algorithm>

namespace Ordavex {

std::optional<BoardHeat> BoardSnapshot::savedHeat(const SavedHeat &saved) const
{
    const auto it = m_read.constFind(saved.fileName);
    if (it != m_read.cend() && it->modified == saved.modified)
        return it->heat;
    std::optional<BoardHeat> read = ReadSavedHeat(workFolder, saved);
    m_read.insert(saved.fileName, Read{saved.modified, read});
    return read;
}

void BoardSnapshot::setWorkFolder(const QString &folder)
{
    workFolder = folder;
    m_read.clear();
}

bool BoardSnapshot::readListing()
{
    return setListing(ListSavedHeats(workFolder));
}

bool BoardSnapshot::setListing(QList<SavedHeat> read)
{
    const bool changed = !std::equal(read.cbegin(), read.cend(), heats.cbegin(), heats.cend(),
                                     [](const SavedHeat &a, const SavedHeat &b) {
                                         return a.name == b.name && a.fileName == b.fileName && a.modified == b.modified;
                                     });
    heats = std::move(read);
    QSet<QString> listed;
    for (const SavedHeat &saved : std::as_const(heats))
        listed.insert(saved.fileName);
    m_read.removeIf([&listed](const auto &entry) { return !listed.contains(entry.key()); });
    return changed;
}

} // namespace Ordavex
