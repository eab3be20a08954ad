// Where the communication monitor goes on a real desktop: an X server with a window
// manager, which gives the windows their frames only once they are shown and may take a
// moment to put them where they were asked to go.

#include "linkwindows.h"
#include "core/settings.h"
#include "serial/pseudoterminal.h"
#include "ui/frameplacer.h"
#include "ui/frameplacer.h"

#include <QAction>
#include <QCheckBox>
#include <QScreen>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

class TestX11Placement final : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();

private:
    static QRect workArea(const QWidget &window) { return window.screen()->availableGeometry(); }
};

void TestX11Placement::placement_data()
{
    QTest::addColumn<bool>("comOnly");
    // A window never shown before is the case its frame is unknown for; the manager's
    // timing varies, so each case runs with new windows several times.
    for (int run = 1; run <= 6; ++run) {
        QTest::addRow("COM-only, then normal, run %d", run) << true;
        QTest::addRow("normal, then COM-only, run %d", run) << false;
    }
}

// Each showing puts the monitor's frame, title bar and close box included, at the work
// area's top right in COM-only mode and at the main window's top right otherwise; a
// switch of COMのみ in the showing moves it to the other place.
void TestX11Placement::placement()
{
    QFETCH(bool, comOnly);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    LinkWindows windows;
    TForm1 &main = *windows.main;
    TForm3 &monitor = *windows.monitor;
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    // The manager puts the main window where it likes, at each showing; the monitor
    // follows it wherever it is.
    QTRY_VERIFY(ManagerFrame(main));
    main.settings().ports[0] = pty.slavePath();
    main.settings().cCheckAutoLog = comOnly;

    // The frames as the window system has them: what the operator sees.
    const auto atWorkArea = [&] { return ManagedFrameGeometry(monitor).topRight() == workArea(monitor).topRight(); };
    const auto atMainWindow = [&] {
        return ManagedFrameGeometry(monitor).topRight() == ManagedFrameGeometry(main).topRight();
    };
    const auto where = [&] {
        const QRect shown = ManagedFrameGeometry(monitor);
        const QRect beside = ManagedFrameGeometry(main);
        return QStringLiteral("monitor frame %1,%2 %3x%4; main frame %5,%6 %7x%8; work area right %9")
            .arg(shown.x())
            .arg(shown.y())
            .arg(shown.width())
            .arg(shown.height())
            .arg(beside.x())
            .arg(beside.y())
            .arg(beside.width())
            .arg(beside.height())
            .arg(workArea(monitor).right())
            .toUtf8();
    };

    main.RS232COpen->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(&monitor));
    // A frame is there once the manager has put it round the window.
    QTRY_VERIFY(ManagerFrame(monitor));
    if (comOnly)
        QTRY_VERIFY2(atWorkArea(), where());
    else
        QTRY_VERIFY2(atMainWindow(), where());
    // Nothing moves it later: what the operator sees after a moment stays.
    QTest::qWait(300);
    QVERIFY2(comOnly ? atWorkArea() : atMainWindow(), where());
    QVERIFY(ManagedFrameGeometry(monitor).top() >= workArea(monitor).top());

    monitor.CheckAutoLog->click();
    QCOMPARE(monitor.CheckAutoLog->isChecked(), !comOnly);
    if (comOnly) {
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTRY_VERIFY2(atMainWindow(), where());
    } else {
        QTRY_VERIFY(main.isHidden());
        QTRY_VERIFY2(atWorkArea(), where());
    }
    QTest::qWait(300);
    QVERIFY2(comOnly ? atMainWindow() : atWorkArea(), where());
    QVERIFY(monitor.close());
}

QTEST_MAIN(TestX11Placement)
#include "tst_x11_wm_placement.moc"
