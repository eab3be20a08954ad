// The program's windows as the program builds them: the main window and the monitor at
// once, the dialogs the main window opens on first use, each with what it shows.

#include "uitest.h"
#include "core/settings.h"
#include "ui/mainform.h"
#include "ui/programwindows.h"
#include "ui/rs232cfunc.h"
#include "ui/unit2.h"
#include "ui/unit4.h"
#include "ui/unit5.h"

#include <QAction>
#include <QPushButton>
#include <QLineEdit>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

namespace {

// The dialog's global pointer, and what it must show once it is up.
using Shown = std::function<QDialog *()>;
using Check = std::function<bool(TForm1 &, QDialog *)>;
using Trigger = std::function<QAction *(TForm1 &)>;

} // namespace

Q_DECLARE_METATYPE(Shown)
Q_DECLARE_METATYPE(Check)
Q_DECLARE_METATYPE(Trigger)

class TestProgramWindows final : public QObject
{
    Q_OBJECT

private slots:
    void dialogBuiltOnFirstUse_data();
    void dialogBuiltOnFirstUse();
};

void TestProgramWindows::dialogBuiltOnFirstUse_data()
{
    QTest::addColumn<Trigger>("trigger");
    QTest::addColumn<Shown>("shown");
    QTest::addColumn<Check>("check");

    QTest::newRow("delete dialog: the work folder")
        << Trigger([](TForm1 &main) { return main.openDelForm; })
        << Shown([]() -> QDialog * { return Form2; })
        << Check([](TForm1 &main, QDialog *) { return Form2->folder() == main.workFolder(); });
    QTest::newRow("link settings: the log folder in use")
        << Trigger([](TForm1 &main) {
               main.setLogFolder(u"/var/tmp/ordavex-logs"_s);
               return main.RS232CParamOpen;
           })
        << Shown([]() -> QDialog * { return Form4; })
        << Check([](TForm1 &, QDialog *) { return Form4->EditLogFilePath->text() == u"/var/tmp/ordavex-logs"_s; });
    QTest::newRow("machine choice: asked with two machines")
        << Trigger([](TForm1 &main) {
               main.settings().cUseSubCom = true;
               return main.RS232COpen;
           })
        << Shown([]() -> QDialog * { return Form5; })
        << Check([](TForm1 &, QDialog *dialog) { return dialog->focusWidget() == Form5->Button1; });
}

// The program starts with the main window and the monitor only; a dialog is built when
// first wanted, with what it shows then; the same window the next time; gone with the
// others.
void TestProgramWindows::dialogBuiltOnFirstUse()
{
    QFETCH(Trigger, trigger);
    QFETCH(Shown, shown);
    QFETCH(Check, check);

    ScriptedDialogs dialogs;
    ProgramFolder folder;
    {
        ProgramWindows windows(folder.appPaths());
        TForm1 &main = windows.main();
        QCOMPARE(Form3, &windows.monitor());
        QCOMPARE(shown(), nullptr);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));

        QList<QDialog *> seen;
        QList<bool> checked;
        for (int time = 0; time < 2; ++time) {
            QAction *action = trigger(main);
            QTimer::singleShot(0, &main, [&] {
                QDialog *dialog = shown();
                seen.append(dialog && dialog->isVisible() ? dialog : nullptr);
                checked.append(dialog && check(main, dialog));
                if (dialog)
                    dialog->reject();
            });
            action->trigger();
            QTRY_COMPARE(seen.size(), time + 1);
        }
        QVERIFY(seen[0] != nullptr);
        QCOMPARE(seen[1], seen[0]);
        QCOMPARE(checked, QList<bool>({true, true}));
        QVERIFY(!windows.monitor().isVisible());
    }
    QCOMPARE(shown(), nullptr);
    QCOMPARE(Form3, nullptr);
}

QTEST_MAIN(TestProgramWindows)
#include "tst_ui_programwindows.moc"
