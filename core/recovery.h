#pragma once

#include "atomicfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

// The recovery file: a copy of the heat on the grid that has not been saved, rewritten
// shortly after every change, so that a heat survives the program being killed or the
// machine losing power. It is the program's own file; no other program reads it.
//
// Code page 932, CR LF, one item per line, fields separated by TAB, so that an official
// can read it in any editor:
//
//   ORDAVEX-RECOVERY<TAB>1<TAB><length><TAB><checksum>
//   target<TAB><target path>
//   wind<TAB><wind field>
//   options<TAB><RaceKind 1|2><TAB><AssigKind 5|6><TAB><NumColID 0|1><TAB><sixtyFix 0|1>
//   rows<TAB><n>
//   row<TAB><column 0><TAB><column 1><TAB><column 2>       (n lines)
//
// The first line gives the length in bytes of everything after it and its CRC-32 in
// 8 hex digits, so that a file cut short or changed on the disk is refused as a whole.
// Inside a field "%" is written "%25", TAB "%09", CR "%0D", LF "%0A", and a character
// that code page 932 cannot hold "%U+<hex>;": every text comes back exactly.
namespace Ordavex {

struct RecoveredHeat
{
    QString targetPath;
    QString wind;
    // The options that decide how the cells read and are saved: the race kind and the
    // 60-second correction change the times, the assignment and the place column the
    // headings.
    int raceKind = 1;
    int assigKind = 5;
    int numColID = 0;
    bool sixtyFix = true;
    // The data rows, 1 to 500 of them: column 0, column 1 and the packed time.
    QList<std::array<QString, 3>> rows;

    bool operator==(const RecoveredHeat &) const = default;
};

inline constexpr int RecoveryVersion = 1;
// No heat comes near this size; a larger file is not read.
inline constexpr qint64 MaxRecoveryFileSize = 4 * 1024 * 1024;

// The settings file's path with its extension replaced by ".recovery": beside it, and
// one per copy of the program.
QString RecoveryFilePath(const QString &settingsFile);
// Where a recovery file that could not be read is moved, out of the way of the next
// start but kept for a person to look at.
QString UnreadableRecoveryFilePath(const QString &recoveryFile);

QByteArray RecoveryBytes(const RecoveredHeat &heat);
// Nothing to offer: the file is gone, or emptied where it could not be removed (a folder
// that lets files be changed but not removed). False when it still holds a heat.
bool DiscardRecoveryFile(const QString &path);
// The heat, or nothing when the bytes are not a whole, unchanged recovery file of this
// version with 1 to 500 rows and known option values.
std::optional<RecoveredHeat> ReadRecovery(QByteArrayView bytes);

// The CRC-32 (ISO 3309, as zip and PNG use it) of the bytes.
quint32 Crc32(QByteArrayView bytes);

// What became of one job of the recovery writer.
struct RecoveryOutcome
{
    quint64 job = 0;          // the number write() or discard() gave
    bool discard = false;
    bool ok = true;           // the file holds the heat, or is gone
};

// Writes and removes the recovery file on a thread of its own, so that a disk whose
// sync takes long (a USB stick, a network folder) never holds up the window: the
// window hands over a copy of the heat and goes on.
//
// Only the latest state of the heat matters: a job that has not started yet is
// replaced by the next one. Jobs run one at a time in the order they were given, so a
// removal (the heat saved or erased) is never undone by an older write that was still
// on its way to the disk.
class RecoveryWriter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecoveryWriter)

public:
    using SaveFunction = std::function<SaveError(const QString &path, QByteArrayView bytes)>;

    // How long the writer is waited for when it goes: long enough for a slow disk to
    // take the last heat, short enough that a dead network folder does not keep the
    // program from ending.
    static constexpr int FinishWaitMs = 5000;

    explicit RecoveryWriter(const QString &path, QObject *parent = nullptr);
    // Waits up to FinishWaitMs for the job in hand and the one waiting, unless abandon()
    // was called; a disk that takes longer is left to finish on its own.
    ~RecoveryWriter() override;

    // Each gives the job's number, counted from 1.
    quint64 write(const RecoveredHeat &heat);
    quint64 discard();
    // True once every job given so far is done; waits at most ms.
    bool waitUntilDone(int ms);
    // The official chose to end without waiting for a disk that does not answer: the
    // writer is not waited for when it goes.
    void abandon() { m_abandoned = true; }
    // How the bytes reach the disk: SaveFileAtomically unless a test or a benchmark
    // stands in a slow or failing disk.
    void setSaveFunction(SaveFunction save);
    const QString &path() const { return m_path; }

signals:
    // On the thread the writer belongs to, after each job.
    void done(const Ordavex::RecoveryOutcome &outcome);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared> &shared, const QString &path);

    const QString m_path;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    bool m_abandoned = false;
};

} // namespace Ordavex
