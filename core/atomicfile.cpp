#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace Ordavex {

bool ReadWholeFile(const QString &path, qint64 limit, QByteArray *bytes)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
        && ReadWhole(file, limit, bytes);
}

bool ReadWhole(QIODevice &device, qint64 limit, QByteArray *bytes)
{
    const qint64 expected = device.isSequential() ? 0 : device.size();
    if (expected > limit)
        return false;
    // One byte more than promised, so that the read that meets the end needs no room.
    QByteArray data(qsizetype(expected + 1), Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        if (total == data.size()) {
            if (total > limit)
                return false;
            data.resize(qsizetype(std::min(limit + 1, 2 * total)));
        }
        const qint64 got = device.read(data.data() + total, data.size() - total);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        total += got;
    }
    if (total < expected || total > limit)
        return false;
    data.truncate(qsizetype(total));
    *bytes = std::move(data);
    return true;
}

#ifdef Q_OS_UNIX

namespace {

// In an append-only folder a temporary file could be made but neither renamed nor
// removed again: such a folder is refused before anything is made in it.
bool IsAppendOnlyFolder(const QByteArray &folder)
{
#ifdef STATX_ATTR_APPEND
    struct statx info;
    return ::statx(AT_FDCWD, folder.constData(), 0, 0, &info) == 0
        && (info.stx_attributes & info.stx_attributes_mask & STATX_ATTR_APPEND) != 0;
#else
    struct stat info;
    return ::stat(folder.constData(), &info) == 0 && (info.st_flags & (UF_APPEND | SF_APPEND)) != 0;
#endif
}

QByteArray FolderOf(const QByteArray &encoded)
{
    const qsizetype slash = encoded.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : encoded.left(slash);
}

bool WriteAll(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
#ifdef Q_OS_LINUX
    return ::fdatasync(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// Closes what it holds on every way out, and removes the temporary file unless the
// rename has taken it.
class TemporaryFile final
{
public:
    explicit TemporaryFile(const QByteArray &folder) : m_folder(folder) {}
    ~TemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // A short name of its own, whatever the length of the target's name, so that it
    // stays within the file system's limit of a name.
    bool create()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray path = m_folder + "/.ordavex-"
                + QByteArray::number(QRandomGenerator::global()->generate(), 16);
            // The mode before the umask, as for any file the program creates.
            m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_path = std::move(path);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // The replaced file's owner, where we may give it away, and its permissions carry
    // over. The mode is set whatever the umask gave the temporary file: that is the mode
    // of a new file, which need not be the old one's. It goes last, as a change of owner
    // may clear the set-ID bits.
    void takeOver(const struct stat &old)
    {
        static const uid_t user = ::geteuid();
        static const gid_t group = ::getegid();
        // Only root may give a file away (EPERM for anyone else, who keeps it as theirs).
        const int given = old.st_uid == user && old.st_gid == group ? 0 : ::fchown(m_fd, old.st_uid, old.st_gid);
        Q_UNUSED(given);
        ::fchmod(m_fd, old.st_mode & 07777);
    }

    bool write(QByteArrayView bytes)
    {
        const bool synced = WriteAll(m_fd, bytes);
        // A network file system may report a failed write only here.
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        return synced && closed;
    }

    bool renameOver(const QByteArray &target)
    {
        if (::rename(m_path.constData(), target.constData()) != 0)
            return false;
        m_path.clear();
        return true;
    }

private:
    QByteArray m_folder;
    QByteArray m_path;
    int m_fd = -1;
};

} // namespace

SaveError SaveFileAtomically(const QString &path, QByteArrayView bytes)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat old;
    const bool exists = ::lstat(encoded.constData(), &old) == 0;
    if (exists && S_ISLNK(old.st_mode)) {
        // The link stays a link; the file it names is replaced.
        const QString resolved = QFileInfo(path).canonicalFilePath();
        if (resolved.isEmpty())
            return SaveError::NotRegularFile;
        return SaveFileAtomically(resolved, bytes);
    }
    // Opening a FIFO or a device for writing would hang or write somewhere else.
    if (exists && !S_ISREG(old.st_mode))
        return SaveError::NotRegularFile;
    // A file the operator made read-only stays as it is, although the folder would let
    // it be replaced.
    if (exists && ::faccessat(AT_FDCWD, encoded.constData(), W_OK, AT_EACCESS) != 0)
        return SaveError::ReadOnly;

    const QByteArray folder = FolderOf(encoded);
    if (IsAppendOnlyFolder(folder))
        return SaveError::AppendOnlyFolder;
    TemporaryFile temporary(folder == "/" ? QByteArray() : folder);
    if (!temporary.create())
        return SaveError::CannotCreate;
    if (exists)
        temporary.takeOver(old);
    if (!temporary.write(bytes))
        return SaveError::WriteFailed;
    if (!temporary.renameOver(encoded))
        return SaveError::CannotReplace;
    return SaveError::None;
}

namespace {

enum class NewFileOutcome { Written, Failed, NoUnnamedFiles };

// The bytes in an unnamed file of the folder (O_TMPFILE), named by a hard link once they
// are on the disk; linking never replaces, so a taken name fails with EEXIST and the next
// is tried. Until the link nothing is in the folder, and closing the file without one
// leaves nothing.
NewFileOutcome SaveUnnamedThenLink(const std::function<QString(int)> &pathOf, int maxNames, QByteArrayView bytes,
                                   QString *written)
{
#ifdef O_TMPFILE
    const QByteArray folder = FolderOf(QFile::encodeName(pathOf(1)));
    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // Older kernels and some file systems have no unnamed files.
        return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? NewFileOutcome::NoUnnamedFiles
                                                                           : NewFileOutcome::Failed;
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (!WriteAll(fd, bytes))
        return NewFileOutcome::Failed;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int n = 1; n <= maxNames; ++n) {
        const QString path = pathOf(n);
        const QByteArray encoded = QFile::encodeName(path);
        // Through /proc for anyone; AT_EMPTY_PATH where /proc is missing needs a privilege.
        int linked = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, encoded.constData(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno != EEXIST)
            linked = ::linkat(fd, "", AT_FDCWD, encoded.constData(), AT_EMPTY_PATH);
        if (linked == 0) {
            *written = path;
            return NewFileOutcome::Written;
        }
        // No /proc and no privilege, or a file system without hard links: nothing is
        // left, and the other way may still work.
        if (errno != EEXIST)
            return NewFileOutcome::NoUnnamedFiles;
    }
    return NewFileOutcome::Failed;
#else
    Q_UNUSED(pathOf);
    Q_UNUSED(maxNames);
    Q_UNUSED(bytes);
    Q_UNUSED(written);
    return NewFileOutcome::NoUnnamedFiles;
#endif
}

} // namespace

QString SaveNewFileAtomically(const std::function<QString(int)> &pathOf, int maxNames, QByteArrayView bytes)
{
    QString written;
    const NewFileOutcome outcome = SaveUnnamedThenLink(pathOf, maxNames, bytes, &written);
    if (outcome != NewFileOutcome::NoUnnamedFiles)
        return written;
    // The claimed name could not be removed again after a failed write.
    if (IsAppendOnlyFolder(FolderOf(QFile::encodeName(pathOf(1)))))
        return {};
    for (int n = 1; n <= maxNames; ++n) {
        const QString path = pathOf(n);
        const QByteArray encoded = QFile::encodeName(path);
        // Made only when there is none, so that a second writer cannot take the name
        // between the check and the write.
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        ::close(fd);
        if (SaveFileAtomically(path, bytes) != SaveError::None) {
            ::unlink(encoded.constData());
            return {};
        }
        return path;
    }
    return {};
}

#else

SaveError SaveFileAtomically(const QString &path, QByteArrayView bytes)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return SaveError::NotRegularFile;
    if (info.exists() && !info.isWritable())
        return SaveError::ReadOnly;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return SaveError::CannotCreate;
    // Flushed by hand: commit() does not notice a failure of its own flush (QTBUG-75077).
    if (file.write(bytes.data(), bytes.size()) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return SaveError::WriteFailed;
    }
    return file.commit() ? SaveError::None : SaveError::CannotReplace;
}

QString SaveNewFileAtomically(const std::function<QString(int)> &pathOf, int maxNames, QByteArrayView bytes)
{
    for (int n = 1; n <= maxNames; ++n) {
        const QString path = pathOf(n);
        QFile claim(path);
        if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QFileInfo info(path);
            if (info.exists() || info.isSymLink())
                continue;
            return {};
        }
        claim.close();
        if (SaveFileAtomically(path, bytes) != SaveError::None) {
            QFile::remove(path);
            return {};
        }
        return path;
    }
    return {};
}

#endif

} // namespace Ordavex
