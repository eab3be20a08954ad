// Clipboard text of the grid, renaming a result file to the chosen race, and the files
// the delete dialog lists and deletes.

#include "core/gridmodel.h"
#include "core/workfolder.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Ordavex;
using namespace Qt::StringLiterals;

class TestWorkFolder final : public QObject
{
    Q_OBJECT

private slots:
    void clipboardText();
    void renameDestination_data();
    void renameDestination();
    void renameQuestion();
    void renameNeverReplaces();
    void deletableFiles();
    void deleteSkipsAndReports();

private:
    static bool touch(const QString &path, const QByteArray &bytes = "x")
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

void TestWorkFolder::clipboardText()
{
    ResultGrid grid;
    grid.setGridRowCount(4);
    grid.setCell(0, 0, u"順位"_s);
    grid.setCell(1, 0, u"ﾚｰﾝ"_s);
    grid.setCell(2, 0, u"ﾀｲﾑ"_s);
    for (int row = 1; row <= 3; ++row)
        grid.setCell(0, row, QString::number(row));
    grid.setCell(1, 1, u"4"_s);
    grid.setCell(2, 1, u"1052"_s);
    grid.setCell(1, 3, u"3"_s);
    grid.setCell(2, 3, u"10275"_s);
    // A hidden row is not copied.
    grid.setGridRowCount(5);
    grid.setCell(1, 4, u"9"_s);
    grid.setGridRowCount(4);
    QCOMPARE(ClipboardText(grid), u"1\t4\t1052\n2\t\t\n3\t3\t10275\n"_s);
}

void TestWorkFolder::renameDestination_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("destination");
    QTest::newRow("race") << u"/w/001)R1"_s << u"/w/001)R1.csv"_s;
    QTest::newRow("already .csv") << u"/w/Untitled.csv"_s << u"/w/Untitled.csv"_s;
    QTest::newRow("already .CSV") << u"/w/A.CSV"_s << u"/w/A.CSV"_s;
    QTest::newRow(".txt") << u"/w/A.txt"_s << u"/w/A.txt.csv"_s;
    QTest::newRow("empty") << QString() << u".csv"_s;
}

void TestWorkFolder::renameDestination()
{
    QFETCH(QString, target);
    QFETCH(QString, destination);
    QCOMPARE(RenameDestination(target), destination);
}

void TestWorkFolder::renameQuestion()
{
    QCOMPARE(RenameQuestion(u"/meet/work/heat1.csv"_s, u"/meet/work/001)男子100m予選1組.csv"_s),
             u"ファイル名を変更しますか ?\nheat1.csv\nを\n001)男子100m予選1組.csv\nへ"_s);
}

void TestWorkFolder::renameNeverReplaces()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(u"heat1.csv"_s);
    const QString taken = dir.filePath(u"taken.csv"_s);
    const QString fresh = dir.filePath(u"001)男子100m予選1組.csv"_s);
    QVERIFY(touch(source, "source"));
    QVERIFY(touch(taken, "taken"));

    QVERIFY(!RenameResultFile(source, taken));
    QCOMPARE(contents(source), QByteArray("source"));
    QCOMPARE(contents(taken), QByteArray("taken"));

    QVERIFY(!RenameResultFile(dir.filePath(u"missing.csv"_s), fresh));
    QVERIFY(!QFile::exists(fresh));
    QVERIFY(!RenameResultFile(dir.path(), fresh));   // a folder is not a result file

    QVERIFY(RenameResultFile(source, fresh));
    QVERIFY(!QFile::exists(source));
    QCOMPARE(contents(fresh), QByteArray("source"));
}

void TestWorkFolder::deletableFiles()
{
    QTemporaryDir dir;
    for (const char *name : {"b.csv", "A.CSV", "c.Txt", "timetable.txt", "notes.doc", "csv", ".hidden.csv"})
        QVERIFY(touch(dir.filePath(QString::fromLatin1(name))));
    QVERIFY(QDir(dir.path()).mkdir(u"folder.csv"_s));
    QCOMPARE(DeletableFiles(dir.path()), (QStringList{u"A.CSV"_s, u"b.csv"_s, u"c.Txt"_s, u"timetable.txt"_s}));
    QCOMPARE(DeletableFiles(dir.filePath(u"absent"_s)), QStringList());
    QCOMPARE(DeletableFiles(QString()), QStringList());
}

void TestWorkFolder::deleteSkipsAndReports()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"locked"_s));
    const QString locked = dir.filePath(u"locked"_s);
    QVERIFY(touch(dir.filePath(u"a.csv"_s)));
    QVERIFY(touch(dir.filePath(u"keep.csv"_s)));
    QVERIFY(touch(locked + u"/stuck.csv"_s));

    QCOMPARE(DeleteFiles(dir.path(), {u"a.csv"_s, u"gone.csv"_s}), QStringList());
    QCOMPARE(DeletableFiles(dir.path()), QStringList{u"keep.csv"_s});

    // A file that cannot be deleted stays, is reported, and is listed again.
    const QFile::Permissions permissions = QFile::permissions(locked);
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(locked, permissions); });
    if (touch(locked + u"/probe"_s))
        QSKIP("this user can write into a read-only folder");
    QCOMPARE(DeleteFiles(locked, {u"stuck.csv"_s}), QStringList{u"stuck.csv"_s});
    QCOMPARE(DeletableFiles(locked), QStringList{u"stuck.csv"_s});
}

QTEST_APPLESS_MAIN(TestWorkFolder)
#include "tst_workfolder.moc"
