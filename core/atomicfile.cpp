#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#else
#include <QSaveFile>
#endif

namespace Ordavex {

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

// Closes what it holds on every way out, and removes the temporary file unless the
// rename has taken it.
class TemporaryFile final
{
public:
    TemporaryFile() = default;
    ~TemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_name.isEmpty())
            ::unlinkat(m_folder, m_name.constData(), 0);
        if (m_folder >= 0)
            ::close(m_folder);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool openFolder(const QByteArray &folder)
    {
        m_folder = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return m_folder >= 0;
    }

    // In an append-only folder the temporary file could be made but neither renamed nor
    // removed again: refuse before anything is made there.
    bool folderIsAppendOnly() const
    {
#ifdef Q_OS_LINUX
        int flags = 0;
        return ::ioctl(m_folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
#else
        struct stat info;
        return ::fstat(m_folder, &info) == 0 && (info.st_flags & (UF_APPEND | SF_APPEND)) != 0;
#endif
    }

    // A short name of its own, whatever the length of the target's name, so that it
    // stays within the file system's limit of a name.
    bool create()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray name = ".ordavex-" + QByteArray::number(QRandomGenerator::global()->generate(), 16);
            // The mode before the umask, as for any file the program creates.
            m_fd = ::openat(m_folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_name = std::move(name);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // The replaced file's permissions and, where we may, its owner carry over.
    void takeOver(const struct stat &old)
    {
        ::fchmod(m_fd, old.st_mode & 07777);
        // Only root may give a file away; anyone else keeps the new file as theirs.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(m_fd, old.st_uid, old.st_gid) != 0)
            return;
    }

    bool write(QByteArrayView bytes)
    {
        const char *data = bytes.data();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(m_fd, data, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            data += written;
            left -= written;
        }
#ifdef Q_OS_LINUX
        const bool synced = ::fdatasync(m_fd) == 0;
#else
        const bool synced = ::fsync(m_fd) == 0;
#endif
        // A network file system may report a failed write only here.
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        return synced && closed;
    }

    bool renameOver(const QByteArray &target)
    {
        if (::renameat(m_folder, m_name.constData(), m_folder, target.constData()) != 0)
            return false;
        m_name.clear();
        return true;
    }

private:
    int m_folder = -1;
    int m_fd = -1;
    QByteArray m_name;
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

    const qsizetype slash = encoded.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : encoded.left(slash);
    const QByteArray name = encoded.mid(slash + 1);

    TemporaryFile temporary;
    if (!temporary.openFolder(folder))
        return SaveError::CannotCreate;
    if (temporary.folderIsAppendOnly())
        return SaveError::AppendOnlyFolder;
    if (!temporary.create())
        return SaveError::CannotCreate;
    if (exists)
        temporary.takeOver(old);
    if (!temporary.write(bytes))
        return SaveError::WriteFailed;
    if (!temporary.renameOver(name))
        return SaveError::CannotReplace;
    return SaveError::None;
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

#endif

} // namespace Ordavex
