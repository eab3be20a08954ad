// The real program killed with a heat on its grid, on a virtual X server: started
// again, it offers the heat, and Yes brings back every cell, the wind and the target
// path, as saving it then shows. A recovery file cut short is set aside with a plain
// message, and the program starts as usual. With its folder on a full file system
// the official types on undisturbed: no box takes the keys, a strip in the window
// says that the heat is not kept.

#include "xdotool.h"
#include "core/recovery.h"
#include "core/textcodec.h"
#include "ui/mainformui.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;

class TestX11Recovery final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void killedHeatComesBack();
    void cutShortFileIsSetAside();
    void fullFolderOpensNoBox();
    void hungDiskIsToldAndClosingEndsOnRequest();

private:
    static QString xdotool(const QStringList &arguments) { return Xdotool::run(arguments); }
    // A shown window whose whole title is the text.
    static QString findWindow(const QString &title)
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                        u'^' + title + u'$'})
            .section(u'\n', 0, 0);
    }
    // A shown window of the program other than the main window: a dialog.
    QString findDialog(const QString &mainWindow) const
    {
        const QStringList windows = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--pid"), QString::number(m_program.processId())})
                                        .split(u'\n', Qt::SkipEmptyParts);
        for (const QString &window : windows) {
            if (window != mainWindow && !xdotool({QStringLiteral("getwindowname"), window}).isEmpty())
                return window;
        }
        return {};
    }
    static bool focusWindow(const QString &id) { return Xdotool::focusWindow(id, 500); }
    static bool keys(const QStringList &names) { return Xdotool::keys(names, 40); }
    static bool typeText(const QString &text) { return Xdotool::typeText(text, 40); }
    // Opens the menu and picks the entry that many steps down.
    static bool menuEntry(const QString &window, int down)
    {
        if (QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("15"),
                               QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("1")}) != 0)
            return false;
        QTest::qWait(500);
        QStringList names;
        for (int i = 0; i < down; ++i)
            names << QStringLiteral("Down");
        return keys(names << QStringLiteral("Return"));
    }

    // Starts the program and waits until the window with that title shows; retried
    // when the program could not reach the X server that has just started.
    QString start(const QString &title);
    QString waitFor(const std::function<QString()> &find, int ms = 30000);
    QString path(const QString &name) const { return QDir(m_dir->path()).filePath(name); }
    QByteArray fileBytes(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void closeNormally(const QString &window);

    // A small file system of its own at the path, or false where mounting is not allowed.
    bool mountSmallFileSystem(const QString &at, qint64 bytes);
    // The pixels of the window shown in the colour.
    static int pixelsOfColour(const QString &window, QRgb colour);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_binary;
    QProcess m_program;
    QString m_mounted;
};

const QString MainTitle = QStringLiteral("Ordavex_Version 3.2 by_quillon");

void TestX11Recovery::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_binary = path(QStringLiteral("ordavex"));
    QFile::remove(m_binary);
    QVERIFY(QFile::copy(QStringLiteral(ORDAVEX_APP_BINARY), m_binary));
    QDir(m_dir->path()).mkdir(QStringLiteral("log"));
    QFile settings(path(QStringLiteral("ordavex.INI")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[WorkFiles]\r\nexFilePath=" + QDir::toNativeSeparators(m_dir->path()).toLocal8Bit()
                   + "\r\nexLogFilePath=" + QDir::toNativeSeparators(path(QStringLiteral("log"))).toLocal8Bit()
                   + "\r\n[Params]\r\nMaxrunner=8\r\nCurStyle=4\r\nautoInc=1\r\nautoClear=0\r\n");
    settings.close();

    const QProcessEnvironment environment = Xdotool::programEnvironment(m_dir->path());
    QVERIFY(!environment.isEmpty());
    m_program.setProcessEnvironment(environment);
    m_program.setProcessChannelMode(QProcess::ForwardedChannels);
}

void TestX11Recovery::cleanup()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished();
    }
    if (!m_mounted.isEmpty()) {
        if (QProcess::execute(QStringLiteral("umount"), {m_mounted}) != 0)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_mounted});
        m_mounted.clear();
    }
}

bool TestX11Recovery::mountSmallFileSystem(const QString &at, qint64 bytes)
{
    if (!QDir().mkpath(at))
        return false;
    QProcess mount;
    mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=%1").arg(bytes), QStringLiteral("tmpfs"), at});
    if (!mount.waitForFinished(20000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
        return false;
    m_mounted = at;
    return true;
}

int TestX11Recovery::pixelsOfColour(const QString &window, QRgb colour)
{
    const QImage image = QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                ++count;
        }
    }
    return count;
}

QString TestX11Recovery::waitFor(const std::function<QString()> &find, int ms)
{
    QElapsedTimer waited;
    waited.start();
    QString found;
    while (found.isEmpty() && m_program.state() == QProcess::Running && waited.elapsed() < ms) {
        QTest::qWait(100);
        found = find();
    }
    return found;
}

QString TestX11Recovery::start(const QString &title)
{
    QString window;
    for (int attempt = 1; attempt <= 3 && window.isEmpty(); ++attempt) {
        m_program.start(m_binary, {});
        if (!m_program.waitForStarted())
            return {};
        window = waitFor([&] { return findWindow(title); });
        if (window.isEmpty() && m_program.state() == QProcess::Running)
            return {};
        if (window.isEmpty())
            qWarning("attempt %d: the program ended before showing a window (exit code %d)", attempt,
                     m_program.exitCode());
    }
    return window;
}

void TestX11Recovery::closeNormally(const QString &window)
{
    QVERIFY(focusWindow(window));
    // The menu's last entry, "終了".
    QVERIFY(QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("15"),
                               QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("1")}) == 0);
    QTest::qWait(500);
    QVERIFY(keys({QStringLiteral("Up"), QStringLiteral("Return")}));
    const QString box = waitFor([] { return findWindow(QStringLiteral("確認")); }, 20000);
    QVERIFY(!box.isEmpty());
    QVERIFY(focusWindow(box));
    QVERIFY(keys({QStringLiteral("Return")}));
    QVERIFY(m_program.waitForFinished(20000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

void TestX11Recovery::killedHeatComesBack()
{
    const QByteArray heading = Cp932::encode(QStringLiteral("\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\"\r\n"));
    QFile heat(path(QStringLiteral("R1w_112.csv")));
    QVERIFY(heat.open(QIODevice::WriteOnly));
    heat.write(heading + "\"1\",\"4\",\"10.52\"\r\n\"2\",\"5\",\"10.61\"\r\n\"3\",\"3\",\" 1:02.75\"\r\n");
    heat.close();

    QString window = start(MainTitle);
    QVERIFY2(!window.isEmpty(), "the program never showed its main window");
    QVERIFY(focusWindow(window));
    // Open the heat: cells, the wind +1.2 from its name, the target path R1.csv.
    QVERIFY(menuEntry(window, 2));
    QString dialog = waitFor([&] { return findDialog(window); });
    QVERIFY2(!dialog.isEmpty(), "no open dialog");
    QVERIFY(focusWindow(dialog));
    QVERIFY(typeText(QStringLiteral("R1w_112.csv")));
    QVERIFY(keys({QStringLiteral("Return")}));
    QTRY_VERIFY_WITH_TIMEOUT(findDialog(window).isEmpty(), 20000);
    QVERIFY(focusWindow(window));
    // Down the lane column to the row that Enter adds below the last, and a fourth
    // result typed there.
    QStringList names;
    for (int i = 0; i < 3; ++i)
        names << QStringLiteral("Return");
    names << QStringLiteral("6") << QStringLiteral("Right") << QStringLiteral("1") << QStringLiteral("0")
          << QStringLiteral("3") << QStringLiteral("0") << QStringLiteral("0");
    QVERIFY(keys(names));

    // The last key reaches the recovery file within a second.
    const QString recovery = path(QStringLiteral("ordavex.recovery"));
    std::optional<RecoveredHeat> onDisk;
    auto typedHeatOnDisk = [&] {
        onDisk = ReadRecovery(fileBytes(QStringLiteral("ordavex.recovery")));
        return onDisk && onDisk->rows.size() == 4 && onDisk->rows[3][2] == QStringLiteral("10300");
    };
    QElapsedTimer waited;
    waited.start();
    while (!typedHeatOnDisk() && waited.elapsed() < 5000)
        QTest::qWait(20);
    QVERIFY2(typedHeatOnDisk(), qPrintable(Cp932::decode(fileBytes(QStringLiteral("ordavex.recovery")))));
    QCOMPARE(onDisk->wind, QStringLiteral("+1.2"));
    QCOMPARE(onDisk->targetPath, QDir::toNativeSeparators(path(QStringLiteral("R1.csv"))));

    m_program.kill();   // SIGKILL: nothing of the program runs any more
    QVERIFY(m_program.waitForFinished(20000));
    QCOMPARE(m_program.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFileInfo::exists(recovery));
    // Gone, so that the save below cannot be confused with it.
    QVERIFY(QFile::remove(path(QStringLiteral("R1w_112.csv"))));

    const QString box = start(QStringLiteral("確認"));
    QVERIFY2(!box.isEmpty(), "the program did not offer the unsaved heat");
    QVERIFY(focusWindow(box));
    QVERIFY(keys({QStringLiteral("Return")}));   // Yes is the default button
    window = waitFor([] { return findWindow(MainTitle); });
    QVERIFY2(!window.isEmpty(), "no main window after the answer");
    QVERIFY(focusWindow(window));

    // Saving proposes the name from the target path and the wind; the file shows the cells.
    QVERIFY(menuEntry(window, 3));
    dialog = waitFor([&] { return findDialog(window); });
    QVERIFY2(!dialog.isEmpty(), "no save dialog");
    QVERIFY(focusWindow(dialog));
    QVERIFY(keys({QStringLiteral("Return")}));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path(QStringLiteral("R1w_112.csv"))), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(findDialog(window).isEmpty(), 20000);
    QCOMPARE(fileBytes(QStringLiteral("R1w_112.csv")),
             heading + "\"1\",\"4\",\"10.52\"\r\n\"2\",\"5\",\"10.61\"\r\n\"3\",\"3\",\" 1:02.75\"\r\n"
                       "\"4\",\"6\",\" 1:03.00\"\r\n");
    // Saved: nothing left to offer.
    QVERIFY(!QFileInfo::exists(recovery));
    closeNormally(window);
}

void TestX11Recovery::cutShortFileIsSetAside()
{
    RecoveredHeat heat;
    heat.targetPath = QDir::toNativeSeparators(path(QStringLiteral("R2")));
    heat.wind = QStringLiteral("-0.5");
    for (int r = 1; r <= 8; ++r)
        heat.rows.push_back({QString::number(r), QString::number(r), QString::number(1000 + r)});
    const QByteArray bytes = RecoveryBytes(heat);
    const QString recovery = path(QStringLiteral("ordavex.recovery"));
    QFile file(recovery);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes.left(bytes.size() - 20));
    file.close();

    const QString box = start(QStringLiteral("Ordavex"));
    QVERIFY2(!box.isEmpty(), "no message about the unreadable file");
    QVERIFY(focusWindow(box));
    QVERIFY(keys({QStringLiteral("Return")}));
    const QString window = waitFor([] { return findWindow(MainTitle); });
    QVERIFY2(!window.isEmpty(), "no main window after the message");
    QCOMPARE(findWindow(QStringLiteral("確認")), QString());
    QVERIFY(!QFileInfo::exists(recovery));
    QCOMPARE(fileBytes(QStringLiteral("ordavex.recovery.unreadable")), bytes.left(bytes.size() - 20));
    closeNormally(window);
    QVERIFY(!QFileInfo::exists(recovery));
}

// The official types a heat at a typing pace while the recovery file cannot be
// written: every key lands in its cell, no box opens, and the strip says so.
void TestX11Recovery::fullFolderOpensNoBox()
{
    // The program's folder, with its settings and recovery file, on a file system of
    // its own; the work folder elsewhere.
    const QString full = path(QStringLiteral("full"));
    const qint64 binarySize = QFileInfo(QStringLiteral(ORDAVEX_APP_BINARY)).size();
    if (!mountSmallFileSystem(full, (binarySize / 4096 + 64) * 4096))
        QSKIP("a small file system cannot be mounted here (not root, or not permitted)");
    m_binary = QDir(full).filePath(QStringLiteral("ordavex"));
    QVERIFY(QFile::copy(QStringLiteral(ORDAVEX_APP_BINARY), m_binary));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("work")));
    QFile settings(QDir(full).filePath(QStringLiteral("ordavex.INI")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[WorkFiles]\r\nexFilePath=" + QDir::toNativeSeparators(path(QStringLiteral("work"))).toLocal8Bit()
                   + "\r\nexLogFilePath=" + QDir::toNativeSeparators(path(QStringLiteral("log"))).toLocal8Bit()
                   + "\r\n[Params]\r\nMaxrunner=8\r\nCurStyle=3\r\nautoInc=1\r\nautoClear=0\r\n");
    settings.close();
    // Filled to the last byte.
    QFile filler(QDir(full).filePath(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    for (const qint64 chunk : {qint64(65536), qint64(4096), qint64(1)}) {
        const QByteArray bytes(chunk, 'x');
        while (filler.write(bytes) == chunk) {
        }
    }
    filler.close();
    {
        QFile probe(QDir(full).filePath(QStringLiteral("probe")));
        const bool written = probe.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && probe.write("x", 1) == 1;
        probe.close();
        probe.remove();
        QVERIFY2(!written, "the file system is not full");
    }

    const QString window = start(MainTitle);
    QVERIFY2(!window.isEmpty(), "the program never showed its main window");
    QVERIFY(focusWindow(window));
    QCOMPARE(pixelsOfColour(window, NoticeBackground), 0);

    // At a typing pace: the first write of the recovery file fails in the middle of it.
    const QStringList typed = {QStringLiteral("4"), QStringLiteral("Return"), QStringLiteral("1"), QStringLiteral("0"),
                               QStringLiteral("5"), QStringLiteral("2"), QStringLiteral("Return"), QStringLiteral("5"),
                               QStringLiteral("Return"), QStringLiteral("6"), QStringLiteral("1"),
                               QStringLiteral("Return"), QStringLiteral("3"), QStringLiteral("Return"),
                               QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("6"), QStringLiteral("8"),
                               QStringLiteral("Return")};
    QVERIFY(Xdotool::keys(typed, 150));
    // Long enough for the write that follows the last key to fail as well.
    QTest::qWait(1500);
    QCOMPARE(findDialog(window), QString());
    QVERIFY(!QFileInfo::exists(QDir(full).filePath(QStringLiteral("ordavex.recovery"))));

    // The rows as the grid holds them, through the clipboard, which answers with a box.
    QGuiApplication::clipboard()->clear();
    QVERIFY(focusWindow(window));
    QVERIFY(menuEntry(window, 4));
    const QString box = waitFor([&] { return findDialog(window); }, 20000);
    QVERIFY2(!box.isEmpty(), "no box after the copy");
    QString copied;
    QElapsedTimer waited;
    waited.start();
    while (copied.isEmpty() && waited.elapsed() < 10000) {
        QTest::qWait(100);
        copied = QGuiApplication::clipboard()->text();
    }
    const QStringList rows = copied.split(u'\n');
    QVERIFY2(rows.size() >= 3, qPrintable(copied));
    QCOMPARE(rows[0], QStringLiteral("1\t4\t1052"));
    QCOMPARE(rows[1], QStringLiteral("2\t5\t1061"));
    QCOMPARE(rows[2], QStringLiteral("3\t3\t1068"));
    QVERIFY(focusWindow(box));
    QVERIFY(keys({QStringLiteral("Return")}));
    QTRY_VERIFY_WITH_TIMEOUT(findDialog(window).isEmpty(), 20000);
    QVERIFY2(pixelsOfColour(window, NoticeBackground) > 1000, "no notice in the window");
}

QTEST_MAIN(TestX11Recovery)
#include "tst_x11_recovery.moc"

// Every sync of the disk never returns (a USB stick or a network folder that stopped
// answering): the strip says the copy is not written, and closing asks instead of
// freezing; 終了 ends the program at once and leaves no temporary file in the folder.
void TestX11Recovery::hungDiskIsToldAndClosingEndsOnRequest()
{
#ifndef ORDAVEX_FAULT_SHIM
    QSKIP("no shim to hold the disk's syncs on this platform");
#else
    QProcessEnvironment environment = m_program.processEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ORDAVEX_FAULT_SHIM));
    environment.insert(QStringLiteral("ORDAVEX_FAULTS"), QStringLiteral("fdatasync"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    m_program.setProcessEnvironment(environment);
    const QString window = start(MainTitle);
    QVERIFY2(!window.isEmpty(), "the program never showed its main window");
    QVERIFY(focusWindow(window));
    const int stripBefore = pixelsOfColour(window, NoticeBackground);
    QVERIFY(keys({QStringLiteral("4"), QStringLiteral("Return"), QStringLiteral("1"), QStringLiteral("0"),
                  QStringLiteral("5"), QStringLiteral("2"), QStringLiteral("Return"), QStringLiteral("5"),
                  QStringLiteral("Return"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("6"),
                  QStringLiteral("1"), QStringLiteral("Return")}));
    // Told within a few seconds of the write that did not come back.
    QTRY_VERIFY_WITH_TIMEOUT(pixelsOfColour(window, NoticeBackground) > stripBefore + 1000, 8000);

    // The menu's last entry, 終了, and はい.
    QVERIFY(QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("15"),
                               QStringLiteral("10"), QStringLiteral("click"), QStringLiteral("1")}) == 0);
    QTest::qWait(500);
    QVERIFY(keys({QStringLiteral("Up"), QStringLiteral("Return")}));
    const QString confirm = waitFor([] { return findWindow(QStringLiteral("確認")); }, 20000);
    QVERIFY(!confirm.isEmpty());
    QVERIFY(focusWindow(confirm));
    QVERIFY(keys({QStringLiteral("Return")}));
    // The box that offers to wait or to end, within a few seconds, never a frozen window.
    QElapsedTimer asked;
    asked.start();
    const QString box = waitFor([&] { return findDialog(window); }, 10000);
    QVERIFY2(!box.isEmpty(), "no box about the copy that could not be written");
    QVERIFY2(asked.elapsed() < 4000, qPrintable(QString::number(asked.elapsed())));
    QCOMPARE(xdotool({QStringLiteral("getwindowname"), box}), QStringLiteral("Ordavex"));
    QVERIFY(focusWindow(box));
    // 待つ has the focus; 終了 is the other button.
    QElapsedTimer ending;
    ending.start();
    QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("space")}));
    QVERIFY2(m_program.waitForFinished(5000), "the program did not end after 終了");
    QVERIFY2(ending.elapsed() < 2000, qPrintable(QString::number(ending.elapsed())));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    const QStringList left = QDir(m_dir->path()).entryList({QStringLiteral(".ordavex-*")}, QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
#endif
}
