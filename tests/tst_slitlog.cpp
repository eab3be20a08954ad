#include "filesizelimit.h"
#include "core/paths.h"
#include "core/records.h"
#include "core/slitlog.h"
#include "core/textcodec.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace Ordavex;

namespace {

const QByteArray HeadingLine = QByteArray::fromHex("228F8788CA222C22DAB0DD222C22C0B2D1222C22BEDEAFB9DD220D0A");

// A slit log of some 8 KiB: more than a write cut at 1 KiB takes.
QByteArray LogBytes()
{
    QByteArray bytes = HeadingLine;
    while (bytes.size() < 8192)
        bytes += "\"1\",\"3\",\"12.34\",\"123\"\r\n";
    return bytes;
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

QDateTime Afternoon()
{
    return QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));
}

} // namespace

class TestSlitLog final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void buildSlitLog_data();
    void buildSlitLog();
    void headingBytes();
    void slitLogBytes();
    void slitLogName_data();
    void slitLogName();
    void monitorTextName_data();
    void monitorTextName();
    void monitorText();
    void monitorTextFolder_data();
    void monitorTextFolder();
    void ensureFolder();

    void writesNewFile();
    void neverReplaces();
    void numberedNames_data();
    void numberedNames();
    void trailingSeparatorOnFolder();
    void missingFolder();
    void readOnlyFolder();
    void writeCutShort();
    void appendOnlyFolder_data();
    void appendOnlyFolder();
    void batchesWithinOneSecond();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSlitLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSlitLog::buildSlitLog_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("windCode");
    QTest::addColumn<QList<QByteArray>>("rows");
    QTest::addColumn<bool>("empty");

    QTest::newRow("nothing") << QList<QByteArray>() << 9999 << QList<QByteArray>() << true;
    QTest::newRow("only a wind line") << QList<QByteArray>{"+1.2"} << 112 << QList<QByteArray>() << false;
    QTest::newRow("records and wind")
        << QList<QByteArray>{"-0.3", "R,1,3,123,12.34", "R,2,5,124,12.56"} << 903
        << QList<QByteArray>{"\"1\",\"3\",\"12.34\",\"123\"", "\"2\",\"5\",\"12.56\",\"124\""} << false;
    QTest::newRow("later wind line wins")
        << QList<QByteArray>{"+1.2", "R,1,3,123,12.34", "-0.5"} << 905
        << QList<QByteArray>{"\"1\",\"3\",\"12.34\",\"123\""} << false;
    QTest::newRow("wind line trimmed first") << QList<QByteArray>{"  \t+1.2\r"} << 112 << QList<QByteArray>() << false;
    QTest::newRow("wind line with a comma is no row")
        << QList<QByteArray>{"+1.2,3,4"} << 112 << QList<QByteArray>() << false;
    QTest::newRow("wind line without a wind")
        << QList<QByteArray>{"+1.2", "+x"} << 1 << QList<QByteArray>() << false;
    QTest::newRow("no comma, no wind: nothing")
        << QList<QByteArray>{"R\t1\t3\t123\t12.34", "12.34", "", "   "} << 9999 << QList<QByteArray>() << true;
    QTest::newRow("leading blanks do not count toward 254")
        << QList<QByteArray>{QByteArray(" ").repeated(300) + "R,1,3,4,5"} << 9999
        << QList<QByteArray>{"\"1\",\"3\",\"5\",\"4\""} << false;
}

void TestSlitLog::buildSlitLog()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, windCode);
    QFETCH(QList<QByteArray>, rows);
    QFETCH(bool, empty);
    const SlitLog log = Ordavex::BuildSlitLog(lines, RecordColumns());
    QCOMPARE(log.windCode, windCode);
    QCOMPARE(log.rows, rows);
    QCOMPARE(SlitLogIsEmpty(log), empty);
}

void TestSlitLog::headingBytes()
{
    QCOMPARE(SlitLogBytes(SlitLog{{}, 112}), HeadingLine);
    QCOMPARE(Cp932::encode(SlitLogHeading) + "\r\n", HeadingLine);
}

// Heading and rows each end in CR LF; nothing before the heading, nothing after the
// last line end.
void TestSlitLog::slitLogBytes()
{
    const SlitLog log = BuildSlitLog({"+1.2", "R,1,3,123,12.34", "R,2,5,124,12.56"}, RecordColumns());
    QCOMPARE(SlitLogBytes(log),
             HeadingLine + "\"1\",\"3\",\"12.34\",\"123\"\r\n\"2\",\"5\",\"12.56\",\"124\"\r\n");
}

void TestSlitLog::slitLogName_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("windCode");
    QTest::addColumn<int>("extension");
    QTest::addColumn<QString>("name");

    QTest::newRow("w_112") << QTime(14, 5, 9) << 112 << 0 << u"140509w_112.CSV"_s;
    QTest::newRow("no wind") << QTime(14, 5, 9) << 9999 << 0 << u"140509.CSV"_s;
    QTest::newRow("TXT") << QTime(14, 5, 9) << 905 << 1 << u"140509w_905.TXT"_s;
    QTest::newRow("four digits") << QTime(9, 0, 0) << 1125 << 1 << u"090000w_1125.TXT"_s;
    QTest::newRow("five digits") << QTime(23, 59, 59) << 91919 << 0 << u"235959w_91919.CSV"_s;
    QTest::newRow("midnight") << QTime(0, 0, 0) << 100 << 0 << u"000000w_100.CSV"_s;
    QTest::newRow("extension 2") << QTime(14, 5, 9) << 112 << 2 << u"140509w_112.CSV"_s;
    QTest::newRow("extension -1") << QTime(14, 5, 9) << 9999 << -1 << u"140509.CSV"_s;
}

void TestSlitLog::slitLogName()
{
    QFETCH(QTime, time);
    QFETCH(int, windCode);
    QFETCH(int, extension);
    QFETCH(QString, name);
    QCOMPARE(SlitLogName(time, windCode, extension), name);
}

void TestSlitLog::monitorTextName_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("name");

    QTest::newRow("afternoon") << Afternoon() << u"261206140509.TXT"_s;
    QTest::newRow("year 2000") << QDateTime(QDate(2000, 1, 2), QTime(3, 4, 5)) << u"000102030405.TXT"_s;
    QTest::newRow("last second of 2099") << QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59))
                                         << u"991231235959.TXT"_s;
}

void TestSlitLog::monitorTextName()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, name);
    QCOMPARE(MonitorTextName(when), name);
}

// The lines as received, code page 932 bytes untouched, each ended by CR LF.
void TestSlitLog::monitorText()
{
    const QByteArray japanese = Cp932::encode(u"ﾁｰﾑ名 山田"_s);
    QCOMPARE(MonitorTextBytes({"+1.2", "R,1,3," + japanese, "", "  x  "}),
             "+1.2\r\nR,1,3," + japanese + "\r\n\r\n  x  \r\n");
    QCOMPARE(MonitorTextBytes({}), QByteArray());
}

void TestSlitLog::monitorTextFolder_data()
{
    QTest::addColumn<bool>("exeFolderWritable");
    QTest::addColumn<QString>("folder");

    QTest::newRow("portable") << true << u"/opt/ordavex/log"_s;
    QTest::newRow("installed") << false << u"/home/u/.local/share/ordavex/log"_s;
}

void TestSlitLog::monitorTextFolder()
{
    QFETCH(bool, exeFolderWritable);
    QFETCH(QString, folder);
    const Paths::AppPaths paths = Paths::resolveAppPaths(u"/opt/ordavex/ordavex"_s, exeFolderWritable,
                                                         u"/home/u/.config/ordavex"_s,
                                                         u"/home/u/.local/share/ordavex/"_s);
    QCOMPARE(MonitorTextFolder(paths), QDir::toNativeSeparators(folder));
}

void TestSlitLog::ensureFolder()
{
    const QString folder = m_dir->filePath(u"base/log"_s);
    QVERIFY(EnsureFolder(folder));
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(EnsureFolder(folder));

    const QString file = m_dir->filePath(u"file"_s);
    QFile made(file);
    QVERIFY(made.open(QIODevice::WriteOnly));
    made.close();
    QVERIFY(!EnsureFolder(file));
    QVERIFY(!EnsureFolder(file + u"/log"_s));
}

void TestSlitLog::writesNewFile()
{
    const QByteArray bytes = HeadingLine + "\"1\",\"3\",\"12.34\",\"123\"\r\n";
    const LogWriteResult result = WriteNewLogFile(m_dir->path(), u"140509w_112.CSV"_s, bytes);
    QVERIFY(result.ok);
    QCOMPARE(result.path, m_dir->filePath(u"140509w_112.CSV"_s));
    QCOMPARE(result.error, QString());
    QCOMPARE(ReadBytes(result.path), bytes);
    QCOMPARE(Entries(m_dir->path()), QStringList{u"140509w_112.CSV"_s});
}

// A second file of the same name goes beside the first, never over it.
void TestSlitLog::neverReplaces()
{
    const QString name = u"140509w_112.CSV"_s;
    QStringList paths;
    for (const QByteArray &bytes : {QByteArray("first"), QByteArray("second"), QByteArray("third")}) {
        const LogWriteResult result = WriteNewLogFile(m_dir->path(), name, bytes);
        QVERIFY(result.ok);
        paths << result.path;
    }
    QCOMPARE(paths, (QStringList{m_dir->filePath(name), m_dir->filePath(u"140509w_112_2.CSV"_s),
                                 m_dir->filePath(u"140509w_112_3.CSV"_s)}));
    QCOMPARE(ReadBytes(paths[0]), "first");
    QCOMPARE(ReadBytes(paths[1]), "second");
    QCOMPARE(ReadBytes(paths[2]), "third");
    QCOMPARE(Entries(m_dir->path()), (QStringList{u"140509w_112.CSV"_s, u"140509w_112_2.CSV"_s, u"140509w_112_3.CSV"_s}));
}

// Whatever holds the name counts as taken: a file, a folder, a link that leads nowhere.
void TestSlitLog::numberedNames_data()
{
    QTest::addColumn<QString>("taken");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written");

    QTest::newRow("file") << u"file"_s << u"140509.CSV"_s << u"140509_2.CSV"_s;
    QTest::newRow("folder") << u"folder"_s << u"140509.CSV"_s << u"140509_2.CSV"_s;
    QTest::newRow("dangling link") << u"link"_s << u"140509.CSV"_s << u"140509_2.CSV"_s;
    QTest::newRow("read-only file") << u"readonly"_s << u"261206140509.TXT"_s << u"261206140509_2.TXT"_s;
    QTest::newRow("no extension") << u"file"_s << u"log"_s << u"log_2"_s;
}

void TestSlitLog::numberedNames()
{
    QFETCH(QString, taken);
    QFETCH(QString, name);
    QFETCH(QString, written);
    const QString path = m_dir->filePath(name);
    if (taken == u"folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (taken == u"link") {
        QVERIFY(QFile::link(m_dir->filePath(u"nowhere"_s), path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("old");
        file.close();
        if (taken == u"readonly")
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    }

    const LogWriteResult result = WriteNewLogFile(m_dir->path(), name, "new");
    QVERIFY(result.ok);
    QCOMPARE(result.path, m_dir->filePath(written));
    QCOMPARE(ReadBytes(result.path), "new");
    if (taken == u"file" || taken == u"readonly")
        QCOMPARE(ReadBytes(path), "old");
    QCOMPARE(Entries(m_dir->path()).size(), 2);
}

void TestSlitLog::trailingSeparatorOnFolder()
{
    const QString folder = m_dir->path() + QDir::separator();
    const LogWriteResult result = WriteNewLogFile(folder, u"140509w_112.CSV"_s, HeadingLine);
    QVERIFY(result.ok);
    QCOMPARE(result.path, folder + u"140509w_112.CSV"_s);
    QCOMPARE(ReadBytes(m_dir->filePath(u"140509w_112.CSV"_s)), HeadingLine);
}

void TestSlitLog::missingFolder()
{
    const QString folder = m_dir->filePath(u"missing"_s);
    const LogWriteResult result = WriteNewLogFile(folder, u"140509.CSV"_s, HeadingLine);
    QVERIFY(!result.ok);
    QCOMPARE(result.path, QString());
    QCOMPARE(result.error, u"Log Fileの作成に失敗しました。"_s);
    QVERIFY(!QFileInfo::exists(folder));
}

void TestSlitLog::readOnlyFolder()
{
    const QString folder = m_dir->filePath(u"readonly"_s);
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    QFile probe(folder + u"/probe"_s);
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QSKIP("permissions are not enforced for this user");
    }
    const LogWriteResult result = WriteNewLogFile(folder, u"140509w_112.CSV"_s, HeadingLine);
    QVERIFY(!result.ok);
    QCOMPARE(result.path, QString());
    QCOMPARE(result.error, MsgLogFileFailed);
    QCOMPARE(Entries(folder), QStringList());
}

// A write that fails part-way, as on a full disk, is reported and leaves nothing behind:
// no cut-off file, no claimed name, and a file of that name as it was.
void TestSlitLog::writeCutShort()
{
#ifdef Q_OS_UNIX
    const QString name = u"140509w_112.CSV"_s;
    QVERIFY(WriteNewLogFile(m_dir->path(), name, "earlier").ok);
    QByteArray bytes = HeadingLine;
    while (bytes.size() < 8192)
        bytes += "\"1\",\"3\",\"12.34\",\"123\"\r\n";

    LogWriteResult result;
    {
        const Testing::FileSizeLimit limit(1024);
        QVERIFY(limit.isSet());
        result = WriteNewLogFile(m_dir->path(), name, bytes);
    }
    QVERIFY(!result.ok);
    QCOMPARE(result.path, QString());
    QCOMPARE(result.error, MsgLogFileFailed);
    QCOMPARE(Entries(m_dir->path()), QStringList{name});
    QCOMPARE(ReadBytes(m_dir->filePath(name)), "earlier");

    // The same batch goes through once there is room again.
    const LogWriteResult retried = WriteNewLogFile(m_dir->path(), name, bytes);
    QVERIFY(retried.ok);
    QCOMPARE(ReadBytes(retried.path), bytes);
#else
    QSKIP("needs a file-size limit");
#endif
}

// A log folder where files can be made but not removed (append-only): a batch is written
// whole under its name, and a failed write leaves nothing, not even an empty file whose
// name the next batch would have to step over.
void TestSlitLog::appendOnlyFolder_data()
{
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("cutShort");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("another");      // written by a user without privileges, as an official is

    const QString name = u"101500w_112.CSV"_s;
    for (const bool another : {false, true}) {
        const char *const by = another ? ", by another user" : "";
        QTest::addRow("written%s", by) << false << false << QStringList{name} << another;
        QTest::addRow("name taken%s", by) << true << false << QStringList{name, u"101500w_112_2.CSV"_s} << another;
        QTest::addRow("write cut short%s", by) << false << true << QStringList() << another;
        QTest::addRow("write cut short, name taken%s", by) << true << true << QStringList{name} << another;
    }
}

void TestSlitLog::appendOnlyFolder()
{
#ifdef Q_OS_UNIX
    QFETCH(bool, taken);
    QFETCH(bool, cutShort);
    QFETCH(QStringList, entries);
    QFETCH(bool, another);
    const QString chattr = QStandardPaths::findExecutable(u"chattr"_s);
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
    // Only root makes a folder append-only; the write then goes as nobody, for whom the
    // unnamed file's link must go through /proc, followed.
    if (another && (::geteuid() != 0 || setpriv.isEmpty()))
        QSKIP("needs root and setpriv to write as another user");
    if (chattr.isEmpty())
        QSKIP("chattr is not installed");
    const QString folder = m_dir->filePath(u"logs"_s);
    QVERIFY(QDir().mkdir(folder));
    const QString name = u"101500w_112.CSV"_s;
    if (taken)
        QVERIFY(WriteNewLogFile(folder, name, "earlier").ok);
    QTemporaryDir programPlace;
    QString program;
    if (another) {
        // Reachable by nobody: the folder and a copy of this program outside root's home.
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                         | QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                                  | QFile::WriteOther | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(programPlace.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                               | QFile::ReadOther | QFile::ExeOther));
        program = programPlace.filePath(u"tst_slitlog"_s);
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
#ifdef ORDAVEX_LINKAT_SHIM
        QVERIFY(QFile::copy(QStringLiteral(ORDAVEX_LINKAT_SHIM), programPlace.filePath(u"linkat.so"_s)));
        QVERIFY(QFile::setPermissions(programPlace.filePath(u"linkat.so"_s),
                                      QFile::ReadOwner | QFile::ReadOther | QFile::ExeOwner | QFile::ExeOther));
#endif
    }
    if (QProcess::execute(chattr, {u"+a"_s, folder}) != 0)
        QSKIP("the folder cannot be made append-only here");
    const auto restore = qScopeGuard([&] { QProcess::execute(chattr, {u"-a"_s, folder}); });
    if (taken)
        QVERIFY2(!QFile::remove(Paths::join(folder, name)), "the folder lets files be removed");

    const QByteArray bytes = LogBytes();
    for (int attempt = 0; attempt < 3; ++attempt) {
        LogWriteResult result;
        if (another) {
            QProcess writer;
#ifdef ORDAVEX_LINKAT_SHIM
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"LD_PRELOAD"_s, programPlace.filePath(u"linkat.so"_s));
            // Preloaded ahead of a sanitizer's runtime, which would refuse that.
            environment.insert(u"ASAN_OPTIONS"_s,
                               environment.value(u"ASAN_OPTIONS"_s) + u":verify_asan_link_order=0"_s);
            writer.setProcessEnvironment(environment);
#endif
            writer.start(setpriv, {u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s, program,
                                   u"--write-log"_s, folder, name, QString::number(cutShort ? 1024 : 0)});
            QVERIFY(writer.waitForFinished(10000));
            QCOMPARE(writer.exitCode(), 0);
            const QString said = QString::fromLocal8Bit(writer.readAllStandardOutput()).trimmed();
            result.ok = said.startsWith(u"ok "_s);
            (result.ok ? result.path : result.error) = said.mid(said.indexOf(u' ') + 1);
        } else {
            // As on a full disk.
            std::optional<Testing::FileSizeLimit> limit;
            if (cutShort)
                QVERIFY(limit.emplace(1024).isSet());
            result = WriteNewLogFile(folder, name, bytes);
        }
        QCOMPARE(result.ok, !cutShort);
        if (cutShort) {
            QCOMPARE(result.error, MsgLogFileFailed);
        } else {
            QCOMPARE(result.path, Paths::join(folder, entries.last()));
            QCOMPARE(ReadBytes(result.path), bytes);
            break;
        }
    }
    QCOMPARE(Entries(folder), entries);
    if (taken)
        QCOMPARE(ReadBytes(Paths::join(folder, name)), "earlier");
#else
    QSKIP("needs chattr and a file-size limit");
#endif
}

// Two batches with the same wind within one second, and the monitor saved twice in that
// second: four files, none lost.
void TestSlitLog::batchesWithinOneSecond()
{
    const Clock clock = [] { return Afternoon(); };
    const QList<QByteArray> first{"+1.2", "R,1,3,123,12.34"};
    const QList<QByteArray> second{"+1.2", "R,1,6,200,13.01"};
    QStringList written;
    for (const QList<QByteArray> &lines : {first, second}) {
        const SlitLog log = BuildSlitLog(lines, RecordColumns());
        const LogWriteResult result =
            WriteNewLogFile(m_dir->path(), SlitLogName(clock().time(), log.windCode, 0), SlitLogBytes(log));
        QVERIFY(result.ok);
        written << Paths::fileNameOf(result.path);
        QCOMPARE(ReadBytes(result.path), SlitLogBytes(log));
    }
    for (const QList<QByteArray> &lines : {first, second}) {
        const LogWriteResult result =
            WriteNewLogFile(m_dir->path(), MonitorTextName(clock()), MonitorTextBytes(lines));
        QVERIFY(result.ok);
        written << Paths::fileNameOf(result.path);
        QCOMPARE(ReadBytes(result.path), MonitorTextBytes(lines));
    }
    QCOMPARE(written, (QStringList{u"140509w_112.CSV"_s, u"140509w_112_2.CSV"_s, u"261206140509.TXT"_s,
                                   u"261206140509_2.TXT"_s}));
    QCOMPARE(ReadBytes(m_dir->filePath(u"140509w_112.CSV"_s)),
             HeadingLine + "\"1\",\"3\",\"12.34\",\"123\"\r\n");
}

// The write of appendOnlyFolder as another user: tst_slitlog --write-log FOLDER NAME LIMIT,
// which prints "ok PATH" or "failed ERROR".
int writeLogAsAnother(char **argv)
{
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);
    const long limitBytes = std::atol(argv[4]);
    LogWriteResult result;
    {
        std::optional<Testing::FileSizeLimit> limit;
        if (limitBytes > 0 && !limit.emplace(rlim_t(limitBytes)).isSet())
            return 2;
        result = WriteNewLogFile(folder, name, LogBytes());
    }
    std::printf("%s %s\n", result.ok ? "ok" : "failed", qPrintable(result.ok ? result.path : result.error));
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc == 5 && std::strcmp(argv[1], "--write-log") == 0)
        return writeLogAsAnother(argv);
    QCoreApplication app(argc, argv);
    TestSlitLog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_slitlog.moc"
