// One start of the real program, from a folder of its own.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSmoke final : public QObject
{
    Q_OBJECT

private slots:
    void startsAndKeepsRunning();
};

void TestSmoke::startsAndKeepsRunning()
{
    QTemporaryDir dir;
    const QString binary = dir.filePath(QStringLiteral("ordavex"));
    QVERIFY(QFile::copy(QStringLiteral(ORDAVEX_APP_BINARY), binary));
    QFile settings(dir.filePath(QStringLiteral("ordavex.INI")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    // An empty log folder makes the program create "log" beside itself while it builds
    // its window: a sign from outside that start-up got that far.
    settings.write("[WorkFiles]\r\nexLogFilePath=\r\n[Params]\r\nMaxrunner=20\r\n");
    settings.close();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(binary, {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dir.filePath(QStringLiteral("log"))).isDir(), 20000);
    // It is waiting on the operator now (the "Created" message); it must still be there.
    QVERIFY(!program.waitForFinished(1000));
    QCOMPARE(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished();
}

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_ui_smoke.moc"
