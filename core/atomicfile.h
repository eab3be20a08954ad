#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QIODevice;

// Whole-file reads and the one writer for every file the program writes (settings,
// result files, logs).
namespace Ordavex {

// Reads the device to its end into bytes. False when a read fails, when more than
// limit bytes are there (a file larger than limit is refused before anything is read),
// or when fewer bytes arrive than its size promised: a file read only in part is no
// file at all.
bool ReadWhole(QIODevice &device, qint64 limit, QByteArray *bytes);
// ReadWhole of the file at path, which must be a regular file: a FIFO would wait for a
// writer, and a folder or a device is no file of the program's.
bool ReadWholeFile(const QString &path, qint64 limit, QByteArray *bytes);

enum class SaveError {
    None,
    NotRegularFile,   // the path names a folder, a FIFO, a device or a socket
    ReadOnly,         // the file exists and may not be written
    AppendOnlyFolder, // the folder lets files be made but not renamed or removed
    CannotCreate,     // no temporary file could be made in the folder
    WriteFailed,      // writing, syncing or closing the temporary file failed
    CannotReplace,    // the temporary file could not be renamed over the file
    // The new file could not be given the old one's mode, or an owner or group it must
    // keep (see SaveFileAtomically): saved, it would be open to others, or closed to
    // those it was meant for.
    CannotKeepPermissions,
};

// Replaces the file at path with bytes, or leaves it as it was: the bytes go to a
// temporary file in the same folder, are synced to the disk and the temporary file is
// renamed over the old one. On any failure the old file is untouched and the temporary
// file is gone. A symbolic link is followed: the file it names is replaced.
// The new file keeps the old one's mode, every bit of it. Root keeps its owner and group
// too. Anyone else may not give a file away: it becomes the saver's, as with any editor
// (the folder lets them replace it), but keeps its group where the saver is a member of
// it. In a group the saver is not in, it gets the group of the saver's new files: the
// bytes it holds now are the saver's anyway. What is to be kept and cannot be fails the
// save with CannotKeepPermissions.
// On Linux the temporary file has no name until its bytes are on the disk: a program
// killed while the disk does not answer leaves nothing behind in the folder.
// The folder itself is not synced: after a crash right after the rename the folder may
// still show the old file, whole, but never a cut-off new one.
SaveError SaveFileAtomically(const QString &path, QByteArrayView bytes);

// Writes bytes as a new file under the first free one of pathOf(1), pathOf(2), ...,
// pathOf(maxNames), all in one folder, and returns its path; an existing file is never
// replaced. The file appears under its name whole or not at all, and a failure leaves
// nothing behind, also in a folder where files can be made but not removed: on Linux the
// bytes go to a file of the folder that has no name yet, and it takes the name only once
// they are on the disk. Elsewhere the name is claimed by an empty file that the bytes
// then replace, and an append-only folder is refused with nothing made in it. An empty
// text on failure.
QString SaveNewFileAtomically(const std::function<QString(int n)> &pathOf, int maxNames, QByteArrayView bytes);

} // namespace Ordavex
