#include "filesizelimit.h"
#include "core/atomicfile.h"
#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "core/runtimeerror.h"
#include "core/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <memory>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

// A device that hands out its bytes and then fails, as a disk that reports EIO part-way.
class FailDevice final : public QIODevice
{
public:
    FailDevice(QByteArray data, qint64 failAfter, qint64 claimedSize = -1)
        : m_data(std::move(data)), m_failAfter(failAfter), m_claimedSize(claimedSize)
    {
    }

    qint64 size() const override { return m_claimedSize >= 0 ? m_claimedSize : m_data.size(); }
    int reads() const { return m_reads; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        ++m_reads;
        const qint64 at = pos();
        if (at >= m_failAfter)
            return -1;
        const qint64 n = std::min({maxSize, m_failAfter - at, qint64(m_data.size()) - at});
        if (n <= 0)
            return 0;
        memcpy(data, m_data.constData() + at, size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_failAfter;
    qint64 m_claimedSize;
    int m_reads = 0;
};

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

const QByteArray OldBytes = "old contents\r\n";

} // namespace

class TestAtomicFile final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void createsAndReplaces();
    void keepsPermissions();
    void replacedFileKeepsMode_data();
    void replacedFileKeepsMode();
    void replacedFileKeepsOwner();
    void keepsOrRefusesPermissions_data();
    void keepsOrRefusesPermissions();
    void killedWhileSyncingLeavesNothing_data();
    void killedWhileSyncingLeavesNothing();
    void newFileGetsUsualMode_data();
    void newFileGetsUsualMode();
    void longFileName_data();
    void longFileName();
    void followsLink();
    void refusesWhatIsNoRegularFile_data();
    void refusesWhatIsNoRegularFile();
    void missingFolder();
    void readOnlyFile();
    void readOnlyFolder();
    void appendOnlyFolder();
    void partWayFailureLeavesOldFile();
    void fullDisk();

    void readWhole_data();
    void readWhole();
    void largeDeviceRefusedUnread();
    void failedReadOfResultFile();
    void failedReadOfSettings();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAtomicFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestAtomicFile::createsAndReplaces()
{
    const QString path = m_dir->filePath(u"R1w_112.csv"_s);
    QCOMPARE(SaveFileAtomically(path, "first"), SaveError::None);
    QCOMPARE(ReadBytes(path), "first");
    QCOMPARE(SaveFileAtomically(path, "second, longer"), SaveError::None);
    QCOMPARE(ReadBytes(path), "second, longer");
    QCOMPARE(SaveFileAtomically(path, ""), SaveError::None);
    QCOMPARE(ReadBytes(path), "");
    QCOMPARE(Entries(m_dir->path()), QStringList{u"R1w_112.csv"_s});
}

void TestAtomicFile::keepsPermissions()
{
    const QString path = m_dir->filePath(u"R1.csv"_s);
    QVERIFY(WriteBytes(path, OldBytes));
    const QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, permissions));
    QCOMPARE(SaveFileAtomically(path, "new"), SaveError::None);
    QCOMPARE(ReadBytes(path), "new");
    QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser), permissions);
}

#ifdef Q_OS_UNIX
namespace {

mode_t ModeOf(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : mode_t(-1);
}

// Each of the program's writers, given the path and new contents. The recovery file is
// written by the main window through the atomic writer itself.
bool Save(const QString &writer, const QString &path)
{
    if (writer == u"result"_s) {
        ResultGrid grid;
        grid.setGridRowCount(2);
        grid.setCell(0, 0, u"順位"_s);
        grid.setCell(1, 0, u"ﾚｰﾝ"_s);
        grid.setCell(2, 0, u"ﾀｲﾑ"_s);
        grid.setCell(0, 1, u"1"_s);
        grid.setCell(1, 1, u"4"_s);
        grid.setCell(2, 1, u"1052"_s);
        return WriteResultFile(path, grid, true, true);
    }
    if (writer == u"settings"_s) {
        Settings s;
        s.exFilePath = s.exLogFilePath = u"/meet/work"_s;
        try {
            return WriteSettings(path, s).isEmpty();
        } catch (const RuntimeError &) {
            return false;
        }
    }
    return SaveFileAtomically(path, "new") == SaveError::None;
}

} // namespace
#endif

// A file that only its owner, or its owner and group, may read stays so after every
// save over it, whatever the umask says a new file gets.
void TestAtomicFile::replacedFileKeepsMode_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("umask");

    QTest::newRow("result file 600") << u"result"_s << u"R1w_112.csv"_s << 0600 << 022;
    QTest::newRow("result file 640") << u"result"_s << u"R1w_112.csv"_s << 0640 << 022;
    QTest::newRow("settings file 600") << u"settings"_s << u"ORDAVEX.INI"_s << 0600 << 022;
    QTest::newRow("settings file 640") << u"settings"_s << u"ORDAVEX.INI"_s << 0640 << 022;
    QTest::newRow("recovery file 600") << u"atomic"_s << u"ORDAVEX.recovery"_s << 0600 << 022;
    QTest::newRow("recovery file 640") << u"atomic"_s << u"ORDAVEX.recovery"_s << 0640 << 022;
    QTest::newRow("600 under umask 077") << u"atomic"_s << u"R1.csv"_s << 0600 << 077;
    QTest::newRow("644 under umask 077") << u"result"_s << u"R1.csv"_s << 0644 << 077;
    QTest::newRow("664 under umask 002") << u"settings"_s << u"ORDAVEX.INI"_s << 0664 << 002;
    QTest::newRow("644 under umask 000") << u"atomic"_s << u"R1.csv"_s << 0644 << 0;
    QTest::newRow("604, readable by the others but not the group") << u"atomic"_s << u"R1.csv"_s << 0604 << 022;
}

void TestAtomicFile::replacedFileKeepsMode()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, writer);
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(int, umask);
    const mode_t previous = ::umask(mode_t(umask));
    const auto restore = qScopeGuard([&] { ::umask(previous); });
    const QString path = m_dir->filePath(name);
    QVERIFY(WriteBytes(path, OldBytes));
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);

    QVERIFY(Save(writer, path));
    QVERIFY(ReadBytes(path) != OldBytes);
    QCOMPARE(ModeOf(path), mode_t(mode));
    QVERIFY(Save(writer, path));
    QCOMPARE(ModeOf(path), mode_t(mode));
    QCOMPARE(Entries(m_dir->path()), QStringList{name});
#else
    QSKIP("permission bits are the platform's own");
#endif
}

// Root saving over a file of another user's gives the new file back to that user, with
// every bit of its mode.
void TestAtomicFile::replacedFileKeepsOwner()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        QSKIP("only root may give a file away");
    const QString path = m_dir->filePath(u"R1w_112.csv"_s);
    QVERIFY(WriteBytes(path, OldBytes));
    const QByteArray encoded = QFile::encodeName(path);
    QCOMPARE(::chown(encoded.constData(), 65534, 65534), 0);
    QCOMPARE(::chmod(encoded.constData(), 06750), 0);
    QVERIFY(Save(u"atomic"_s, path));
    struct stat info;
    QCOMPARE(::stat(encoded.constData(), &info), 0);
    QCOMPARE(info.st_uid, uid_t(65534));
    QCOMPARE(info.st_gid, gid_t(65534));
    QCOMPARE(info.st_mode & 07777, mode_t(06750));
#else
    QSKIP("owners are the platform's own");
#endif
}

#ifdef Q_OS_UNIX
namespace {

// The shim that makes a child's file calls fail (tests/filecalls_shim.cpp), or nothing
// where the child could not load it: as an unprivileged user the build tree may be
// closed to us.
QString FaultShim()
{
#ifdef ORDAVEX_FAULT_SHIM
    const QByteArray shim = ORDAVEX_FAULT_SHIM;
    return ::access(shim.constData(), R_OK) == 0 ? QFile::decodeName(shim) : QString();
#else
    return {};
#endif
}

// Starts "program --save path" (see main), the faults named made by the shim, as
// another user where setpriv is given.
void StartSave(QProcess &child, const QString &program, const QString &shim, const QString &faults,
               const QStringList &setpriv, const QString &path)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!faults.isEmpty()) {
        environment.insert(u"LD_PRELOAD"_s, shim);
        environment.insert(u"ORDAVEX_FAULTS"_s, faults);
        // Preloaded ahead of a sanitizer's runtime, which would refuse that.
        environment.insert(u"ASAN_OPTIONS"_s, environment.value(u"ASAN_OPTIONS"_s) + u":verify_asan_link_order=0"_s);
    }
    child.setProcessEnvironment(environment);
    const QStringList arguments{u"--save"_s, path};
    if (setpriv.isEmpty())
        child.start(program, arguments);
    else
        child.start(u"setpriv"_s, setpriv + QStringList{program} + arguments);
}

} // namespace
#endif

// Who saves (the test's own user, or as root: uid 65534 as a member of group 100 or of
// no group), over which file, with which file calls refused; -1 stands for the saver's
// own user or group.
void TestAtomicFile::keepsOrRefusesPermissions_data()
{
    QTest::addColumn<QString>("saver");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("owner");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("folderGroup");   // -1: no set-group-ID bit
    QTest::addColumn<SaveError>("error");
    QTest::addColumn<int>("newOwner");
    QTest::addColumn<int>("newGroup");

    const SaveError refused = SaveError::CannotKeepPermissions;
    QTest::newRow("600, mode refused")
        << u"self"_s << u"fchmod"_s << -1 << -1 << 0600 << -1 << refused << -1 << -1;
    QTest::newRow("644, mode refused but the new file has it")
        << u"self"_s << u"fchmod"_s << -1 << -1 << 0644 << -1 << SaveError::None << -1 << -1;
    QTest::newRow("no unnamed files, 640")
        << u"self"_s << u"tmpfile"_s << -1 << -1 << 0640 << -1 << SaveError::None << -1 << -1;
    QTest::newRow("no link to an unnamed file, 600")
        << u"self"_s << u"linkat"_s << -1 << -1 << 0600 << -1 << SaveError::None << -1 << -1;
    QTest::newRow("set-user-ID")
        << u"self"_s << QString() << -1 << -1 << 04744 << -1 << SaveError::None << -1 << -1;
    QTest::newRow("no unnamed files, set-user-ID")
        << u"self"_s << u"tmpfile"_s << -1 << -1 << 04744 << -1 << SaveError::None << -1 << -1;
    QTest::newRow("root, owner refused")
        << u"self"_s << u"fchown"_s << 1000 << 100 << 0640 << -1 << refused << 1000 << 100;
    QTest::newRow("own file in a set-group-ID folder of another group")
        << u"self"_s << QString() << -1 << -1 << 0644 << 100 << SaveError::None << -1 << -1;
    QTest::newRow("group member keeps the group")
        << u"member"_s << QString() << 1000 << 100 << 0664 << -1 << SaveError::None << 65534 << 100;
    QTest::newRow("group member, group refused")
        << u"member"_s << u"fchown"_s << 1000 << 100 << 0664 << -1 << refused << 1000 << 100;
    QTest::newRow("neither owner nor member takes the file")
        << u"stranger"_s << QString() << 1000 << 100 << 0666 << -1 << SaveError::None << 65534 << 65534;
}

void TestAtomicFile::keepsOrRefusesPermissions()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, saver);
    QFETCH(QString, faults);
    QFETCH(int, owner);
    QFETCH(int, group);
    QFETCH(int, mode);
    QFETCH(int, folderGroup);
    QFETCH(SaveError, error);
    QFETCH(int, newOwner);
    QFETCH(int, newGroup);
    const bool root = ::geteuid() == 0;
    const bool asAnother = saver != u"self"_s;
    if (!root && (asAnother || owner >= 0 || folderGroup >= 0))
        QSKIP("only root may give files away or save as another user");
    if (asAnother && QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
        QSKIP("setpriv is not installed");
    QString shim = FaultShim();
    if (!faults.isEmpty() && shim.isEmpty())
        QSKIP("the shim is out of this user's reach");
    const uid_t saverUser = asAnother ? 65534 : ::geteuid();
    const gid_t saverGroup = asAnother ? 65534 : ::getegid();
    const mode_t previous = ::umask(022);
    const auto restore = qScopeGuard([&] { ::umask(previous); });

    // The saver runs from a copy that it can reach, in a folder it may write in.
    QString program = QCoreApplication::applicationFilePath();
    QTemporaryDir place;
    if (asAnother) {
        QVERIFY(place.isValid());
        QCOMPARE(::chmod(QFile::encodeName(place.path()).constData(), 0755), 0);
        QVERIFY(QFile::copy(program, place.filePath(u"saver"_s)));
        program = place.filePath(u"saver"_s);
        if (!faults.isEmpty()) {
            QVERIFY(QFile::copy(shim, place.filePath(u"shim.so"_s)));
            shim = place.filePath(u"shim.so"_s);
        }
        QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777), 0);
    }
    const QByteArray folder = QFile::encodeName(m_dir->path());
    if (folderGroup >= 0) {
        QCOMPARE(::chown(folder.constData(), uid_t(-1), gid_t(folderGroup)), 0);
        QCOMPARE(::chmod(folder.constData(), 02700), 0);
    }
    const QString path = m_dir->filePath(u"R1w_112.csv"_s);
    const QByteArray encoded = QFile::encodeName(path);
    QVERIFY(WriteBytes(path, OldBytes));
    // Made in a set-group-ID folder, the old file has the folder's group until given its own.
    if (owner >= 0 || folderGroup >= 0) {
        const uid_t user = owner < 0 ? saverUser : uid_t(owner);
        QCOMPARE(::chown(encoded.constData(), user, group < 0 ? saverGroup : gid_t(group)), 0);
    }
    QCOMPARE(::chmod(encoded.constData(), mode_t(mode)), 0);

    QProcess child;
    const QStringList setpriv{u"--reuid=65534"_s, u"--regid=65534"_s,
                              saver == u"member"_s ? u"--groups=100"_s : u"--clear-groups"_s};
    StartSave(child, program, shim, faults, asAnother ? setpriv : QStringList(), path);
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    const QByteArray told = child.readAllStandardError();
    QCOMPARE(SaveError(child.exitCode()), error);
    for (const QString &fault : faults.split(u',', Qt::SkipEmptyParts))
        QVERIFY2(told.contains(fault.toUtf8() + " refused"), told.constData());

    struct stat info;
    QCOMPARE(::stat(encoded.constData(), &info), 0);
    QCOMPARE(info.st_uid, newOwner < 0 ? saverUser : uid_t(newOwner));
    QCOMPARE(info.st_gid, newGroup < 0 ? saverGroup : gid_t(newGroup));
    QCOMPARE(info.st_mode & 07777, mode_t(mode));
    QCOMPARE(ReadBytes(path), error == SaveError::None ? QByteArray("new") : OldBytes);
    QCOMPARE(Entries(m_dir->path()), QStringList{u"R1w_112.csv"_s});
#else
    QSKIP("owners and modes are the platform's own");
#endif
}

// A save whose sync never returns, as on a USB stick or a network folder that stops
// answering, and a program then killed: nothing of the save may be left in the folder.
void TestAtomicFile::killedWhileSyncingLeavesNothing_data()
{
    QTest::addColumn<bool>("exists");
    QTest::newRow("replacing a file") << true;
    QTest::newRow("new file") << false;
}

void TestAtomicFile::killedWhileSyncingLeavesNothing()
{
#ifdef Q_OS_LINUX
    QFETCH(bool, exists);
    const QString shim = FaultShim();
    if (shim.isEmpty())
        QSKIP("the shim is out of this user's reach");
    const QString path = m_dir->filePath(u"R1w_112.csv"_s);
    if (exists)
        QVERIFY(WriteBytes(path, OldBytes));
    const QStringList before = Entries(m_dir->path());

    QProcess child;
    StartSave(child, QCoreApplication::applicationFilePath(), shim, u"fdatasync"_s, {}, path);
    child.setReadChannel(QProcess::StandardError);
    QByteArray told;
    while (!told.contains("fdatasync hangs") && child.waitForReadyRead(10000))
        told += child.readAll();
    QVERIFY2(told.contains("fdatasync hangs"), told.constData());
    QCOMPARE(Entries(m_dir->path()), before);
    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(Entries(m_dir->path()), before);
    if (exists)
        QCOMPARE(ReadBytes(path), OldBytes);
#else
    QSKIP("no unnamed files here");
#endif
}

void TestAtomicFile::newFileGetsUsualMode_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("mode");

    QTest::newRow("result file, umask 022") << u"result"_s << 022 << 0644;
    QTest::newRow("result file, umask 077") << u"result"_s << 077 << 0600;
    QTest::newRow("settings file, umask 027") << u"settings"_s << 027 << 0640;
    QTest::newRow("atomic writer, umask 002") << u"atomic"_s << 002 << 0664;
}

void TestAtomicFile::newFileGetsUsualMode()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, writer);
    QFETCH(int, umask);
    QFETCH(int, mode);
    const mode_t previous = ::umask(mode_t(umask));
    const auto restore = qScopeGuard([&] { ::umask(previous); });
    const QString path = m_dir->filePath(u"new.csv"_s);
    QVERIFY(Save(writer, path));
    QCOMPARE(ModeOf(path), mode_t(mode));
#else
    QSKIP("permission bits are the platform's own");
#endif
}

// The temporary file's name does not grow with the target's: a name of 255 bytes, the
// limit of most file systems, is saved over as any other.
void TestAtomicFile::longFileName_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("249 bytes") << 249;
    QTest::newRow("255 bytes") << 255;
}

void TestAtomicFile::longFileName()
{
    QFETCH(int, length);
    const QString path = m_dir->filePath(QString(length - 4, u'a') + u".csv"_s);
    QVERIFY(WriteBytes(path, OldBytes));
    QCOMPARE(SaveFileAtomically(path, "new"), SaveError::None);
    QCOMPARE(ReadBytes(path), "new");
    QCOMPARE(Entries(m_dir->path()).size(), 1);
}

void TestAtomicFile::followsLink()
{
    const QString target = m_dir->filePath(u"target.INI"_s);
    const QString link = m_dir->filePath(u"link.INI"_s);
    QVERIFY(WriteBytes(target, OldBytes));
    QVERIFY(QFile::link(target, link));
    QCOMPARE(SaveFileAtomically(link, "new"), SaveError::None);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadBytes(target), "new");
}

// Opening a FIFO for writing waits for a reader: the save would hang.
void TestAtomicFile::refusesWhatIsNoRegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << u"fifo"_s;
    QTest::newRow("folder") << u"folder"_s;
    QTest::newRow("link to a device") << u"device"_s;
    QTest::newRow("dangling link") << u"dangling"_s;
}

void TestAtomicFile::refusesWhatIsNoRegularFile()
{
    QFETCH(QString, kind);
    const QString path = m_dir->filePath(u"R1.csv"_s);
    if (kind == u"fifo"_s) {
#ifdef Q_OS_UNIX
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#else
        QSKIP("no FIFOs here");
#endif
    } else if (kind == u"folder"_s) {
        QVERIFY(QDir(m_dir->path()).mkdir(u"R1.csv"_s));
    } else if (kind == u"device"_s) {
        QVERIFY(QFile::link(u"/dev/null"_s, path));
    } else {
        QVERIFY(QFile::link(m_dir->filePath(u"missing"_s), path));
    }
    const QStringList before = Entries(m_dir->path());
    QCOMPARE(SaveFileAtomically(path, "new"), SaveError::NotRegularFile);
    QCOMPARE(Entries(m_dir->path()), before);
}

void TestAtomicFile::missingFolder()
{
    QCOMPARE(SaveFileAtomically(m_dir->filePath(u"missing/R1.csv"_s), "new"), SaveError::CannotCreate);
    QCOMPARE(Entries(m_dir->path()), QStringList());
}

void TestAtomicFile::readOnlyFile()
{
    const QString path = m_dir->filePath(u"R1.csv"_s);
    QVERIFY(WriteBytes(path, OldBytes));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    if (QFile(path).open(QIODevice::Append))
        QSKIP("permissions are not enforced for this user");
    QCOMPARE(SaveFileAtomically(path, "new"), SaveError::ReadOnly);
    QCOMPARE(ReadBytes(path), OldBytes);
    QCOMPARE(Entries(m_dir->path()), QStringList{u"R1.csv"_s});
}

void TestAtomicFile::readOnlyFolder()
{
    const QString path = m_dir->filePath(u"R1.csv"_s);
    QVERIFY(WriteBytes(path, OldBytes));
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (QFile(m_dir->filePath(u"probe"_s)).open(QIODevice::WriteOnly))
        QSKIP("permissions are not enforced for this user");
    QCOMPARE(SaveFileAtomically(path, "new"), SaveError::CannotCreate);
    QCOMPARE(ReadBytes(path), OldBytes);
    QCOMPARE(Entries(m_dir->path()), QStringList{u"R1.csv"_s});
}

// In a folder where files can be made but neither renamed nor removed, a temporary file
// would stay behind: nothing is made there at all.
void TestAtomicFile::appendOnlyFolder()
{
    const QString chattr = QStandardPaths::findExecutable(u"chattr"_s);
    if (chattr.isEmpty())
        QSKIP("chattr is not installed");
    const QString path = m_dir->filePath(u"R1.csv"_s);
    QVERIFY(WriteBytes(path, OldBytes));
    if (QProcess::execute(chattr, {u"+a"_s, m_dir->path()}) != 0)
        QSKIP("the folder cannot be made append-only here");
    const auto restore = qScopeGuard([&] { QProcess::execute(chattr, {u"-a"_s, m_dir->path()}); });
    QCOMPARE(SaveFileAtomically(path, "new"), SaveError::AppendOnlyFolder);
    QCOMPARE(ReadBytes(path), OldBytes);
    QCOMPARE(Entries(m_dir->path()), QStringList{u"R1.csv"_s});
}

void TestAtomicFile::partWayFailureLeavesOldFile()
{
#ifdef Q_OS_UNIX
    // A file-size limit makes the write fail part-way, as a full disk would, even for root.
    const QString path = m_dir->filePath(u"ORDAVEX.INI"_s);
    QVERIFY(WriteBytes(path, OldBytes));
    SaveError error = SaveError::None;
    {
        const Testing::FileSizeLimit limit(100);
        QVERIFY(limit.isSet());
        error = SaveFileAtomically(path, QByteArray(414, 'x'));
    }

    QCOMPARE(error, SaveError::WriteFailed);
    QCOMPARE(ReadBytes(path), OldBytes);
    QCOMPARE(Entries(m_dir->path()), QStringList{u"ORDAVEX.INI"_s});
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestAtomicFile::fullDisk()
{
#ifdef Q_OS_LINUX
    if (geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    const QString folder = m_dir->filePath(u"small"_s);
    QVERIFY(QDir().mkdir(folder));
    const QByteArray mountPoint = QFile::encodeName(folder);
    if (mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("a tmpfs cannot be mounted here");
    const auto unmount = qScopeGuard([&] { umount(mountPoint.constData()); });

    const QString path = folder + u"/R1.csv"_s;
    QVERIFY(WriteBytes(path, OldBytes));
    QCOMPARE(SaveFileAtomically(path, QByteArray(256 * 1024, 'x')), SaveError::WriteFailed);
    QCOMPARE(ReadBytes(path), OldBytes);
    QCOMPARE(Entries(folder), QStringList{u"R1.csv"_s});
#else
    QSKIP("needs Linux mounts");
#endif
}

void TestAtomicFile::readWhole_data()
{
    QTest::addColumn<qint64>("failAfter");
    QTest::addColumn<qint64>("claimedSize");   // -1: the true size
    QTest::addColumn<bool>("ok");

    QTest::newRow("whole") << qint64(1000) << qint64(-1) << true;
    QTest::newRow("fails at once") << qint64(0) << qint64(-1) << false;
    QTest::newRow("fails part-way") << qint64(37) << qint64(-1) << false;
    QTest::newRow("fails at the last byte") << qint64(99) << qint64(-1) << false;
    QTest::newRow("shorter than its size") << qint64(1000) << qint64(150) << false;
    QTest::newRow("longer than its size") << qint64(1000) << qint64(50) << true;
}

void TestAtomicFile::readWhole()
{
    QFETCH(qint64, failAfter);
    QFETCH(qint64, claimedSize);
    QFETCH(bool, ok);

    const QByteArray data(100, 'd');
    FailDevice device(data, failAfter, claimedSize);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QByteArray bytes = "untouched";
    QCOMPARE(ReadWhole(device, 1000, &bytes), ok);
    QCOMPARE(bytes, ok ? data : QByteArray("untouched"));

    FailDevice limited(data, failAfter, claimedSize);
    QVERIFY(limited.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QVERIFY(!ReadWhole(limited, 99, &bytes));
}

void TestAtomicFile::largeDeviceRefusedUnread()
{
    FailDevice device(QByteArray(10, 'd'), 10, qint64(2) << 30);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QByteArray bytes;
    QVERIFY(!ReadWhole(device, 1024 * 1024, &bytes));
    QCOMPARE(device.reads(), 0);
}

// A read that fails part-way is a failed read, and the old heat is gone all the same.
void TestAtomicFile::failedReadOfResultFile()
{
    QByteArray bytes = "\"h\",\"l\",\"t\"\r\n";
    for (int row = 1; row <= 8; ++row)
        bytes += QByteArray::number(row) + ",4,1052\r\n";
    const qint64 never = bytes.size() + 1;
    for (const qint64 failAfter : {qint64(0), qint64(20), qint64(bytes.size() - 1), qint64(bytes.size()), never}) {
        ResultGrid grid;
        grid.setGridRowCount(9);
        for (int row = 1; row < 9; ++row) {
            grid.setCell(1, row, u"7"_s);
            grid.setCell(2, row, u"1234"_s);
        }
        FailDevice device(bytes, failAfter);
        QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        const ReadOutcome outcome = ReadResultFile(device, grid);
        const bool whole = failAfter == never;
        QCOMPARE(outcome.ok, whole);
        QVERIFY(outcome.entriesCleared);
        if (!whole) {
            QCOMPARE(outcome.messages, QStringList{MsgReadFailure});
            QCOMPARE(grid.gridRowCount(), 2);
            grid.setGridRowCount(9);
            QVERIFY(GridIsEmpty(grid));
        }
    }
}

void TestAtomicFile::failedReadOfSettings()
{
    const QByteArray bytes = "[Params]\r\nMaxrunner=20\r\ncComName=3\r\n";
    FailDevice failing(bytes, 12);
    QVERIFY(failing.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    const Settings failed = ReadSettings(failing, u"C:\\Work"_s);
    QVERIFY(failed.readFailed);
    Settings defaults;
    defaults.exFilePath = defaults.exLogFilePath = u"C:\\Work"_s;
    defaults.readFailed = true;
    QCOMPARE(failed, defaults);

    // The record holds defaults: it must not be written over the operator's file.
    const QString path = m_dir->filePath(u"ORDAVEX.INI"_s);
    QVERIFY(WriteBytes(path, bytes));
    QCOMPARE(WriteSettings(path, failed), SettingsKeys());
    QCOMPARE(ReadBytes(path), bytes);

    FailDevice whole(bytes, bytes.size() + 1);
    QVERIFY(whole.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    const Settings read = ReadSettings(whole, u"C:\\Work"_s);
    QVERIFY(!read.readFailed);
    QCOMPARE(read.Maxrunner, 20);
    QCOMPARE(read.cComName, 3);
}

// "tst_atomicfile --save PATH" saves "new" at PATH and ends with the SaveError as its
// exit code: the save of keepsOrRefusesPermissions and killedWhileSyncingLeavesNothing
// in a process of its own.
int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--save") == 0)
        return int(SaveFileAtomically(QString::fromLocal8Bit(argv[2]), "new"));
    QCoreApplication app(argc, argv);
    TestAtomicFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_atomicfile.moc"
