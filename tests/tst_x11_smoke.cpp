// One start of the real program, from a folder of its own, on a virtual X server: it
// must reach its shown window, take a heat typed at the keyboard and close through its
// menu, writing its settings.

#include "xdotool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Ordavex::Testing;

class TestSmoke final : public QObject
{
    Q_OBJECT

private slots:
    void startTypeAndClose();

private:
    static QString xdotool(const QStringList &arguments) { return Xdotool::run(arguments); }
    static QString findWindow(const QString &title)
    {
        const QString found = xdotool({QStringLiteral("search"), QStringLiteral("--name"), title});
        return found.section(u'\n', 0, 0);
    }
    static bool focusWindow(const QString &id) { return Xdotool::focusWindow(id); }
    static bool keys(const QStringList &names) { return Xdotool::keys(names, 30); }
};

void TestSmoke::startTypeAndClose()
{
    QTemporaryDir dir;
    const QString binary = dir.filePath(QStringLiteral("ordavex"));
    QVERIFY(QFile::copy(QStringLiteral(ORDAVEX_APP_BINARY), binary));
    // A log folder that exists: start-up shows no box.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("log")));
    const QString settingsPath = dir.filePath(QStringLiteral("ordavex.INI"));
    QFile settings(settingsPath);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[WorkFiles]\r\nexLogFilePath=" + QDir::toNativeSeparators(dir.filePath(QStringLiteral("log"))).toLocal8Bit()
                   + "\r\n[Params]\r\nMaxrunner=8\r\nCurStyle=4\r\nautoClear=0\r\n");
    settings.close();
    const QDateTime written = QFileInfo(settingsPath).lastModified();

    const QProcessEnvironment environment = Xdotool::programEnvironment(dir.path());
    QVERIFY(!environment.isEmpty());

    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    auto stop = qScopeGuard([&program] {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
    });

    // In the sanitizer build, now and then the program's first connection to a server
    // that has just started is refused, and the program ends at once ("could not
    // connect to display"). That says nothing about the program: it is started again,
    // twice at most. A program that runs and shows no window still fails.
    QString window;
    for (int attempt = 1; attempt <= 3 && window.isEmpty(); ++attempt) {
        program.start(binary, {});
        QVERIFY(program.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (window.isEmpty() && program.state() == QProcess::Running && waited.elapsed() < 30000) {
            QTest::qWait(100);
            window = findWindow(QStringLiteral("Ordavex_Version 3.2 by_quillon"));
        }
        if (window.isEmpty() && program.state() == QProcess::Running)
            QFAIL("the program runs but shows no main window");
        if (window.isEmpty())
            qWarning("attempt %d: the program ended before showing its window (exit code %d)", attempt,
                     program.exitCode());
    }
    QVERIFY2(!window.isEmpty(), "the program never showed its main window");
    QVERIFY(focusWindow(window));
    // Eight lanes down the lane column: Enter in the last row adds a ninth, which the
    // settings written at the end show.
    QStringList lanes;
    for (int lane = 1; lane <= 8; ++lane)
        lanes << QString::number(lane) << QStringLiteral("Return");
    QVERIFY(keys(lanes));

    // No window manager closes it: the menu's last entry, "終了", does.
    QVERIFY(QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("15"),
                               QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("1")}) == 0);
    QTest::qWait(500);
    QVERIFY(keys({QStringLiteral("Up"), QStringLiteral("Return")}));

    QString box;
    QTRY_VERIFY_WITH_TIMEOUT(!(box = findWindow(QStringLiteral("確認"))).isEmpty(), 20000);
    QVERIFY(program.state() == QProcess::Running);
    QVERIFY(focusWindow(box));
    // Yes is the box's default button.
    QVERIFY(keys({QStringLiteral("Return")}));

    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QFile result(settingsPath);
    QVERIFY(result.open(QIODevice::ReadOnly));
    const QByteArray bytes = result.readAll();
    QVERIFY(QFileInfo(settingsPath).lastModified() >= written);
    QVERIFY(bytes.contains("Maxrunner=9\r\n"));
    QVERIFY(bytes.contains("CurStyle=4\r\n"));
    QVERIFY(bytes.contains("autoClear=0\r\n"));
    QVERIFY(bytes.contains("exFilePath="));
    QVERIFY(bytes.contains("MinBuffLen=0\r\n"));
}

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_x11_smoke.moc"
