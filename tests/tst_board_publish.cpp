// The publish folder and the work folder's listing over time: a folder changed by hand
// or by another program, a disk that fails and comes back, names too long for a file.

#include "board/boardlisting.h"
#include "board/boardpublisher.h"
#include "board/boardworker.h"
#include "filesizelimit.h"
#include "hangingfilesystem.h"
#include "smallfilesystem.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

using Tree = QMap<QString, QByteArray>;

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every file under the folder by its relative path, hidden ones too (a temporary file
// left behind is a fault), leaving out the given ones.
Tree treeOf(const QString &folder, const QStringList &leftOut = {})
{
    Tree tree;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = root.relativeFilePath(it.next());
        if (leftOut.contains(relative))
            continue;
        QFile file(it.filePath());
        tree.insert(relative, file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)"_ba);
    }
    return tree;
}

// What a publish folder must hold for the heat and the work folder as they are now.
Tree expectedTree(const BoardHeat &heat, const QString &workFolder)
{
    BoardSnapshot source;
    source.heat = heat;
    source.setWorkFolder(workFolder);
    source.readListing();
    Tree tree;
    for (const BoardFile &file : BoardSiteFiles(heat, source.heats, source))
        tree.insert(file.path, file.bytes);
    return tree;
}

// Empty when the trees are the same, else the first difference.
QString difference(const Tree &actual, const Tree &expected)
{
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            return u"missing "_s + it.key();
        if (actual.value(it.key()) != it.value())
            return u"other bytes in "_s + it.key();
    }
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (!expected.contains(it.key()))
            return u"left over "_s + it.key();
    }
    return {};
}

BoardHeat heatWithRace(const QString &race, quint64 version)
{
    BoardHeat heat;
    heat.race = race;
    heat.version = version;
    heat.updatedAt = QDateTime::currentDateTimeUtc();
    heat.rows = {{u"1"_s, u"4"_s, u"10.52"_s, u"1052"_s}, {u"2"_s, u"5"_s, u"10.75"_s, u"1075"_s}};
    return heat;
}

const QByteArray ResultLines = "1,4,1052\r\n2,5,1075\r\n";

// Files of the publish folder that are not the board's: never touched.
const QStringList ForeignFiles{u"notes.txt"_s, u"heats/readme.txt"_s, u"heats/.keep.html"_s,
                               u"other/R1w_112.html"_s, u"api/heats/sub/x.json"_s, u"api/R1w_112.json"_s};

} // namespace

class TestBoardPublish final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void folderFollowsTheState_data();
    void folderFollowsTheState();
    void writtenAgainOnceWritable_data();
    void writtenAgainOnceWritable();
    void longNamesPublished();
    void listingNotices_data();
    void listingNotices();
    void workFolderWatched_data();
    void workFolderWatched();
    void hangingDiskHoldsNothing();

private:
    QString work() const { return m_root->filePath(u"work"_s); }
    QString publish() const { return m_root->filePath(u"publish"_s); }
    void publishNow(BoardPublisher &publisher, const BoardHeat &heat)
    {
        publisher.publish(heat, ListSavedHeats(work()), work());
    }

    std::unique_ptr<QTemporaryDir> m_root;
};

void TestBoardPublish::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QVERIFY(QDir(m_root->path()).mkpath(u"work"_s));
    QVERIFY(writeFile(m_root->filePath(u"work/R1w_112.csv"_s), ResultLines));
    QVERIFY(writeFile(m_root->filePath(u"work/R2w_-05.csv"_s), ResultLines));
}

void TestBoardPublish::cleanup()
{
    m_root.reset();
}

enum class Change { RemovePage, EditPage, RemoveListPage, RemoveHeat, RenameHeat, StalePages };

void TestBoardPublish::folderFollowsTheState_data()
{
    QTest::addColumn<Change>("change");
    QTest::newRow("page removed by hand") << Change::RemovePage;
    QTest::newRow("page edited by hand") << Change::EditPage;
    QTest::newRow("list page removed by hand") << Change::RemoveListPage;
    QTest::newRow("heat removed from the work folder") << Change::RemoveHeat;
    QTest::newRow("heat renamed in the work folder") << Change::RenameHeat;
    QTest::newRow("pages of an earlier meet") << Change::StalePages;
}

// Whatever happened to the folder, the next publish leaves it holding the board's
// files for the state as it is, and nothing of the board's beyond them; files that are
// not the board's stay as they were.
void TestBoardPublish::folderFollowsTheState()
{
    QFETCH(Change, change);
    for (const QString &foreign : ForeignFiles) {
        QVERIFY(QDir(publish()).mkpath(QFileInfo(foreign).path()));
        QVERIFY(writeFile(QDir(publish()).filePath(foreign), foreign.toUtf8()));
    }
    BoardPublisher publisher(publish(), 100);
    QSignalSpy failed(&publisher, &BoardPublisher::publishFailed);
    const BoardHeat heat = heatWithRace(u"R1"_s, 1);
    publishNow(publisher, heat);
    QTRY_COMPARE_WITH_TIMEOUT(difference(treeOf(publish(), ForeignFiles), expectedTree(heat, work())), QString(), 5000);

    const QDir folder(publish());
    switch (change) {
    case Change::RemovePage:
        QVERIFY(QFile::remove(folder.filePath(u"heats/R1w_112.html"_s)));
        break;
    case Change::EditPage:
        QVERIFY(writeFile(folder.filePath(u"heats/R1w_112.html"_s), "edited"));
        break;
    case Change::RemoveListPage:
        QVERIFY(QFile::remove(folder.filePath(u"heats/index.html"_s)));
        break;
    case Change::RemoveHeat:
        QVERIFY(QFile::remove(m_root->filePath(u"work/R1w_112.csv"_s)));
        break;
    case Change::RenameHeat:
        QVERIFY(QFile::rename(m_root->filePath(u"work/R1w_112.csv"_s), m_root->filePath(u"work/R3w_112.csv"_s)));
        break;
    case Change::StalePages:
        QVERIFY(writeFile(folder.filePath(u"heats/R9.html"_s), "old"));
        QVERIFY(writeFile(folder.filePath(u"api/heats/R9.json"_s), "{}"));
        break;
    }
    publishNow(publisher, heat);
    QTRY_COMPARE_WITH_TIMEOUT(difference(treeOf(publish(), ForeignFiles), expectedTree(heat, work())), QString(), 5000);
    for (const QString &foreign : ForeignFiles) {
        QFile file(folder.filePath(foreign));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(foreign));
        QCOMPARE(file.readAll(), foreign.toUtf8());
    }
    QCOMPARE(failed.size(), 0);
}

enum class Fault { FullDisk, FilesMayNotGrow, FolderIsAFile };

void TestBoardPublish::writtenAgainOnceWritable_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("full disk") << Fault::FullDisk;
    QTest::newRow("files may not grow") << Fault::FilesMayNotGrow;
    QTest::newRow("folder replaced by a file") << Fault::FolderIsAFile;
}

// A change published while the folder cannot be written reaches it whole once it can
// again, without another change: every file, none kept from before the failure. The
// failure is told once, however often it is tried, and its end once.
void TestBoardPublish::writtenAgainOnceWritable()
{
    QFETCH(Fault, fault);
    std::unique_ptr<Testing::SmallFileSystem> disk;
    if (fault == Fault::FullDisk) {
        disk = std::make_unique<Testing::SmallFileSystem>(publish());
        if (!disk->isMounted())
            QSKIP("a small file system cannot be mounted here");
    }
    BoardPublisher publisher(publish(), 100);
    QSignalSpy failed(&publisher, &BoardPublisher::publishFailed);
    QSignalSpy recovered(&publisher, &BoardPublisher::publishRecovered);
    const BoardHeat before = heatWithRace(u"R1"_s, 1);
    publishNow(publisher, before);
    QTRY_COMPARE_WITH_TIMEOUT(difference(treeOf(publish()), expectedTree(before, work())), QString(), 5000);

    std::unique_ptr<Testing::FileSizeLimit> limit;
    switch (fault) {
    case Fault::FullDisk:
        QVERIFY(disk->fill());
        break;
    case Fault::FilesMayNotGrow:
        // Small JSON still fits, the pages do not.
        limit = std::make_unique<Testing::FileSizeLimit>(400);
        QVERIFY(limit->isSet());
        break;
    case Fault::FolderIsAFile:
        QVERIFY(QDir(publish()).removeRecursively());
        QVERIFY(writeFile(publish(), {}));
        break;
    }
    // Another heat, another saved heat: every file of the folder changes.
    const BoardHeat after = heatWithRace(u"R1 決勝"_s, 2);
    QVERIFY(writeFile(m_root->filePath(u"work/R4w_112.csv"_s), ResultLines));
    publishNow(publisher, after);
    QVERIFY(failed.wait(5000));
    // Tried again and again, told once.
    QTest::qWait(500);
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.constFirst().constFirst().toString().startsWith(u"公開ﾌｫﾙﾀﾞ"_s));
    QCOMPARE(recovered.size(), 0);

    switch (fault) {
    case Fault::FullDisk:
        QVERIFY(disk->free());
        break;
    case Fault::FilesMayNotGrow:
        limit.reset();
        break;
    case Fault::FolderIsAFile:
        QVERIFY(QFile::remove(publish()));
        break;
    }
    QTRY_COMPARE_WITH_TIMEOUT(difference(treeOf(publish()), expectedTree(after, work())), QString(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(recovered.size(), 1, 5000);
    QCOMPARE(failed.size(), 1);
}

// Heats whose names with ".html" pass a file name's 255 bytes still get their pages,
// and the list page links to them.
void TestBoardPublish::longNamesPublished()
{
    // The longest names a result file can have: 251 bytes and ".csv".
    const QStringList names{QString(250, u'a'), QString(251, u'a'), QString(250, u'a') + u'b',
                            QString(83, u'あ') + u"xx"_s};
    for (const QString &name : names)
        QVERIFY2(writeFile(QDir(work()).filePath(name + u".csv"_s), ResultLines), qPrintable(name));
    QCOMPARE(ListSavedHeats(work()).size(), names.size() + 2);

    BoardPublisher publisher(publish(), 100);
    QSignalSpy failed(&publisher, &BoardPublisher::publishFailed);
    const BoardHeat heat = heatWithRace(u"R1"_s, 1);
    publishNow(publisher, heat);
    QTRY_COMPARE_WITH_TIMEOUT(difference(treeOf(publish()), expectedTree(heat, work())), QString(), 5000);
    QCOMPARE(failed.size(), 0);
    QCOMPARE(QDir(QDir(publish()).filePath(u"heats"_s)).entryList(QDir::Files).size(), names.size() + 3);

    QFile list(QDir(publish()).filePath(u"heats/index.html"_s));
    QVERIFY(list.open(QIODevice::ReadOnly));
    int links = 0;
    const QRegularExpression href(u"href=\"\\.\\./heats/([^\"/]+\\.html)\""_s);
    for (const QRegularExpressionMatch &match : href.globalMatch(QString::fromUtf8(list.readAll()))) {
        const QString target = QUrl::fromPercentEncoding(match.captured(1).toUtf8());
        QVERIFY2(QFileInfo::exists(QDir(publish()).filePath(u"heats/"_s + target)), qPrintable(target));
        ++links;
    }
    QCOMPARE(links, names.size() + 2);
}

void TestBoardPublish::listingNotices_data()
{
    QTest::addColumn<int>("pollMs");
    QTest::addColumn<bool>("addFile");
    QTest::newRow("a file added is seen") << 3'600'000 << true;
    QTest::newRow("a folder that says nothing is looked at") << 100 << false;
}

// The listing hears of a file another program adds without waiting for the poll, and
// looks at the folder by itself when nothing is heard.
void TestBoardPublish::listingNotices()
{
    QFETCH(int, pollMs);
    QFETCH(bool, addFile);
    BoardListing listing(nullptr, 50, pollMs);
    QSignalSpy notices(&listing, &BoardListing::mayHaveChanged);
    listing.setFolder(work());
    if (addFile)
        QVERIFY(writeFile(QDir(work()).filePath(u"R5.csv"_s), ResultLines));
    QVERIFY(notices.wait(5000));
    if (!addFile)
        QTRY_VERIFY_WITH_TIMEOUT(notices.size() >= 3, 5000);
    // Another folder: the old one is no longer heard.
    listing.setFolder(m_root->filePath(u"other"_s));
    notices.clear();
    if (addFile) {
        QVERIFY(writeFile(QDir(work()).filePath(u"R6.csv"_s), ResultLines));
        QVERIFY(!notices.wait(500));
    }
}

void TestBoardPublish::workFolderWatched_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");     // empty: removed
    QTest::newRow("added") << QString() << u"R7w_112.csv"_s;
    QTest::newRow("removed") << u"R1w_112.csv"_s << QString();
    QTest::newRow("renamed") << u"R1w_112.csv"_s << u"R8w_+21.csv"_s;
    QTest::newRow("saved again") << u"R1w_112.csv"_s << u"R1w_112.csv"_s;
}

// A result file that another program adds, removes, renames or writes again reaches
// the publish folder within a few seconds, without the program saving anything.
void TestBoardPublish::workFolderWatched()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    BoardWorker worker(BoardLimits{});
    const BoardHeat heat = heatWithRace(u"R1"_s, 1);
    worker.setHeat(heat);
    worker.setWorkFolder(work());
    worker.setPublishFolder(publish());
    QTRY_COMPARE_WITH_TIMEOUT(difference(treeOf(publish()), expectedTree(heat, work())), QString(), 5000);

    const QDir folder(work());
    if (from.isEmpty())
        QVERIFY(writeFile(folder.filePath(to), ResultLines));
    else if (to.isEmpty())
        QVERIFY(QFile::remove(folder.filePath(from)));
    else if (from == to)
        QVERIFY(writeFile(folder.filePath(to), "1,6,999\r\n"));
    else
        QVERIFY(QFile::rename(folder.filePath(from), folder.filePath(to)));
    const Tree expected = expectedTree(heat, work());
    QVERIFY(difference(treeOf(publish()), expected) != QString());
    QTRY_COMPARE_WITH_TIMEOUT(difference(treeOf(publish()), expected), QString(), 10000);
}

// A publish folder whose disk does not answer holds up neither the board nor its end:
// the board goes at once, and the writer's thread ends when the disk lets it go.
void TestBoardPublish::hangingDiskHoldsNothing()
{
    Testing::HangingFileSystem disk(publish());
    if (!disk.isMounted())
        QSKIP("a FUSE file system cannot be mounted here");
    // Lets the disk go after a while whatever happens, so that a board that waits for
    // its writer fails the test rather than hanging it.
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::seconds(20), [&] { return done; });
        disk.release();
    });
    const auto finish = qScopeGuard([&] {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        wake.notify_all();
        watchdog.join();
    });

    auto worker = std::make_unique<BoardWorker>(BoardLimits{});
    worker->setHeat(heatWithRace(u"R1"_s, 1));
    worker->setWorkFolder(work());
    worker->setPublishFolder(publish());
    QTRY_VERIFY_WITH_TIMEOUT(disk.requestsHeld() > 0, 5000);
    worker->setHeat(heatWithRace(u"R1"_s, 2));

    QElapsedTimer going;
    going.start();
    worker.reset();
    QVERIFY2(going.elapsed() < 2000, qPrintable(QString::number(going.elapsed())));
    // The writer, let go, fails and ends; its thread goes with the next events.
    disk.release();
    QTest::qWait(300);
}

QTEST_GUILESS_MAIN(TestBoardPublish)
#include "tst_board_publish.moc"
