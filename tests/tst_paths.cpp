// Where the running program keeps its files: beside itself when it may, in the user's
// folders when it was installed for the whole system.

#include "core/paths.h"

#include <QTest>

using namespace Ordavex;
using namespace Qt::StringLiterals;

class TestPaths final : public QObject
{
    Q_OBJECT

private slots:
    void systemFolder_data();
    void systemFolder();
};

void TestPaths::systemFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("system");
#ifdef Q_OS_WIN
    QTest::newRow("program files") << u"C:\\Program Files\\Ordavex"_s << false;
#else
    // Root, or sudo for a serial port, can write there: the settings must still not go there.
    QTest::newRow("package") << u"/usr/bin"_s << true;
    QTest::newRow("cmake --install") << u"/usr/local/bin"_s << true;
    QTest::newRow("/usr itself") << u"/usr"_s << true;
    // Portable copies keep everything beside them.
    QTest::newRow("home") << u"/home/u/ordavex"_s << false;
    QTest::newRow("opt") << u"/opt/ordavex"_s << false;
    QTest::newRow("prefix of a name") << u"/usrdata/ordavex"_s << false;
    QTest::newRow("under another folder") << u"/home/u/usr/bin"_s << false;
#endif
}

void TestPaths::systemFolder()
{
    QFETCH(QString, folder);
    QFETCH(bool, system);
    QCOMPARE(Paths::isSystemFolder(folder), system);
}

QTEST_APPLESS_MAIN(TestPaths)
#include "tst_paths.moc"
