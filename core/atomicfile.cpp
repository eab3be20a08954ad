#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <optional>
#include <vector>

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

// What one look at a folder tells: whether files can be made in it but neither renamed
// nor removed again, so that a temporary file would stay behind (such a folder is
// refused before anything is made in it), and the group a new file gets there.
struct FolderFacts
{
    bool appendOnly = false;
    gid_t newGroup = 0;
};

FolderFacts LookAtFolder(const QByteArray &folder)
{
    static const gid_t ownGroup = ::getegid();
    FolderFacts facts{false, ownGroup};
#ifdef STATX_ATTR_APPEND
    struct statx info;
    if (::statx(AT_FDCWD, folder.constData(), 0, STATX_MODE | STATX_GID, &info) != 0)
        return facts;
    facts.appendOnly = (info.stx_attributes & info.stx_attributes_mask & STATX_ATTR_APPEND) != 0;
    // A folder with the set-group-ID bit gives new files its own group.
    if ((info.stx_mask & (STATX_MODE | STATX_GID)) == (STATX_MODE | STATX_GID) && (info.stx_mode & S_ISGID) != 0)
        facts.newGroup = info.stx_gid;
#else
    struct stat info;
    if (::stat(folder.constData(), &info) != 0)
        return facts;
    facts.appendOnly = (info.st_flags & (UF_APPEND | SF_APPEND)) != 0;
    // Here every new file gets the folder's group.
    facts.newGroup = info.st_gid;
#endif
    return facts;
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

// Asked only when a change of group was refused, which is rare. Where the groups cannot
// be read we count as a member, so that the refusal is a failure.
bool InGroup(gid_t group)
{
    if (group == ::getegid())
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count < 0)
        return true;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int read = ::getgroups(count, groups.data());
    return read < 0 || std::find(groups.begin(), groups.begin() + read, group) != groups.begin() + read;
}

// Closes what it holds on every way out, and removes the temporary file unless the
// rename has taken it.
class TemporaryFile final
{
public:
    enum class Outcome { Done, NotHere, Failed };

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

    // A file of the folder without a name (Linux): until it is linked nothing is in the
    // folder, and a program killed before that leaves nothing behind.
    Outcome createUnnamed()
    {
#ifdef O_TMPFILE
        // The mode before the umask, as for any file the program creates.
        m_fd = ::open(m_folder.isEmpty() ? "/" : m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            return Outcome::Done;
        // Older kernels and some file systems have no unnamed files.
        return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? Outcome::NotHere : Outcome::Failed;
#else
        return Outcome::NotHere;
#endif
    }

    bool create()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray path = newName();
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

    // Gives the unnamed file a name of its own; linking never replaces, so a taken name
    // fails with EEXIST and the next is tried.
    Outcome link()
    {
#ifdef O_TMPFILE
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray path = newName();
            // Through /proc for anyone; AT_EMPTY_PATH where /proc is missing needs a privilege.
            int linked = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW);
            if (linked != 0 && errno != EEXIST)
                linked = ::linkat(m_fd, "", AT_FDCWD, path.constData(), AT_EMPTY_PATH);
            if (linked == 0) {
                m_path = std::move(path);
                return Outcome::Done;
            }
            // No /proc and no privilege, or a file system without hard links.
            if (errno != EEXIST)
                return Outcome::NotHere;
        }
        return Outcome::Failed;
#else
        return Outcome::NotHere;
#endif
    }

    // The replaced file's owner, group and mode, as far as the saver may keep them (see
    // SaveFileAtomically). The mode goes last, as a change of owner or group clears the
    // set-ID bits.
    bool takeOver(const struct stat &old, gid_t newGroup)
    {
        static const uid_t user = ::geteuid();
        if ((old.st_uid != user || old.st_gid != newGroup) && !keepOwner(old, user, newGroup))
            return false;
        return keepMode(old);
    }

    bool keepMode(const struct stat &old)
    {
        const mode_t mode = old.st_mode & 07777;
        if (::fchmod(m_fd, mode) == 0)
            return true;
        // A file system that allows no change of mode may have given the file that one.
        struct stat now;
        return ::fstat(m_fd, &now) == 0 && (now.st_mode & 07777) == mode;
    }

    bool write(QByteArrayView bytes) { return WriteAll(m_fd, bytes); }

    // A network file system may report a failed write only here.
    bool close()
    {
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        return closed;
    }

    bool renameOver(const QByteArray &target)
    {
        if (::rename(m_path.constData(), target.constData()) != 0)
            return false;
        m_path.clear();
        return true;
    }

private:
    // A short name of its own, whatever the length of the target's name, so that it
    // stays within the file system's limit of a name.
    QByteArray newName() const
    {
        return m_folder + "/.ordavex-" + QByteArray::number(QRandomGenerator::global()->generate(), 16);
    }

    bool keepOwner(const struct stat &old, uid_t user, gid_t newGroup)
    {
        if (::fchown(m_fd, old.st_uid, old.st_gid) == 0)
            return true;
        // Root may give any file away: refused, the file would become root's.
        if (errno != EPERM || user == 0)
            return false;
        // Anyone else keeps the file as theirs, in its group where they belong to it.
        if (old.st_gid == newGroup)
            return true;
        if (old.st_uid != user) {
            if (::fchown(m_fd, uid_t(-1), old.st_gid) == 0)
                return true;
            if (errno != EPERM)
                return false;
        }
        return !InGroup(old.st_gid);
    }

    QByteArray m_folder;
    QByteArray m_path;
    int m_fd = -1;
};

// The bytes go on the disk in an unnamed file, which is named and renamed over the
// target only then: a program killed while the disk does not answer leaves nothing in
// the folder. No value where the folder has no unnamed files or they cannot be linked.
std::optional<SaveError> SaveThroughUnnamed(const QByteArray &folder, const QByteArray &target,
                                            const struct stat *old, gid_t newGroup, QByteArrayView bytes)
{
    TemporaryFile temporary(folder);
    switch (temporary.createUnnamed()) {
    case TemporaryFile::Outcome::Done:
        break;
    case TemporaryFile::Outcome::NotHere:
        return std::nullopt;
    case TemporaryFile::Outcome::Failed:
        return SaveError::CannotCreate;
    }
    if (!temporary.write(bytes))
        return SaveError::WriteFailed;
    // After the write, which clears the set-ID bits for anyone but root; nobody else can
    // open a file without a name in the meantime.
    if (old != nullptr && !temporary.takeOver(*old, newGroup))
        return SaveError::CannotKeepPermissions;
    switch (temporary.link()) {
    case TemporaryFile::Outcome::Done:
        break;
    case TemporaryFile::Outcome::NotHere:
        return std::nullopt;
    case TemporaryFile::Outcome::Failed:
        return SaveError::CannotCreate;
    }
    if (!temporary.close())
        return SaveError::WriteFailed;
    if (!temporary.renameOver(target))
        return SaveError::CannotReplace;
    return SaveError::None;
}

SaveError SaveThroughNamed(const QByteArray &folder, const QByteArray &target, const struct stat *old,
                           gid_t newGroup, QByteArrayView bytes)
{
    TemporaryFile temporary(folder);
    if (!temporary.create())
        return SaveError::CannotCreate;
    // Before the bytes, so that others never may read them where the old file kept them out.
    if (old != nullptr && !temporary.takeOver(*old, newGroup))
        return SaveError::CannotKeepPermissions;
    if (!temporary.write(bytes))
        return SaveError::WriteFailed;
    // The write cleared any set-ID bits (but for root).
    if (old != nullptr && (old->st_mode & (S_ISUID | S_ISGID)) != 0 && !temporary.keepMode(*old))
        return SaveError::CannotKeepPermissions;
    if (!temporary.close())
        return SaveError::WriteFailed;
    if (!temporary.renameOver(target))
        return SaveError::CannotReplace;
    return SaveError::None;
}

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
    const FolderFacts facts = LookAtFolder(folder);
    if (facts.appendOnly)
        return SaveError::AppendOnlyFolder;
    const QByteArray prefix = folder == "/" ? QByteArray() : folder;
    const struct stat *replaced = exists ? &old : nullptr;
    if (const std::optional<SaveError> error = SaveThroughUnnamed(prefix, encoded, replaced, facts.newGroup, bytes))
        return *error;
    return SaveThroughNamed(prefix, encoded, replaced, facts.newGroup, bytes);
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
    if (LookAtFolder(FolderOf(QFile::encodeName(pathOf(1)))).appendOnly)
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
