#pragma once

#include "core/board.h"

#include <QHash>

namespace Ordavex {

// What the board answers from on its own thread: the newest heat handed to it, the
// work folder's listing as last read, and the saved heats read back once per version
// of their file.
class BoardSnapshot final : public BoardSource
{
public:
    BoardHeat heat;
    QList<SavedHeat> heats;
    QString workFolder;

    BoardHeat currentHeat() const override { return heat; }
    QList<SavedHeat> savedHeats() const override { return heats; }
    std::optional<BoardHeat> savedHeat(const SavedHeat &saved) const override;

    // Another folder: its saved heats are read afresh. The listing is not read yet.
    void setWorkFolder(const QString &folder);
    // Reads the listing again, and forgets saved heats that are no longer in it. True
    // when a heat was added, removed, renamed or saved again since the last read.
    bool readListing();
    // The same with a listing read elsewhere.
    bool setListing(QList<SavedHeat> listed);

private:
    struct Read
    {
        QDateTime modified;
        std::optional<BoardHeat> heat;
    };
    mutable QHash<QString, Read> m_read;
};

} // namespace Ordavex
