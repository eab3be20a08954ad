#include "boardsnapshot.h"

#include <QSet>

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

void BoardSnapshot::readListing()
{
    heats = ListSavedHeats(workFolder);
    QSet<QString> listed;
    for (const SavedHeat &saved : std::as_const(heats))
        listed.insert(saved.fileName);
    m_read.removeIf([&listed](const auto &entry) { return !listed.contains(entry.key()); });
}

} // namespace Ordavex
