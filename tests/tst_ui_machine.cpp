// The machine selection dialog: its window, and the result of every way of closing it,
// driven through exec() as the main window runs it.

#include "uitest.h"
#include "ui/unit5.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::function<void(TForm5 *)>)

using Action = std::function<void(TForm5 *)>;

class TestMachineDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void window();
    void results_data();
    void results();
    void button1FocusedOnEveryShowing();

private:
    // Runs the dialog modally; the action runs once it is shown.
    int execWith(const Action &action)
    {
        bool ran = false;
        QTimer::singleShot(0, m_form.get(), [&] {
            ran = true;
            QVERIFY(m_form->isVisible());
            QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
            action(m_form.get());
            // A dialog that did not close would hang the test: close it, and fail below.
            if (m_form->isVisible()) {
                m_stillOpen = true;
                m_form->done(-1);
            }
        });
        const int result = m_form->exec();
        [&] { QVERIFY(ran); }();
        return result;
    }

    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm5> m_form;
    bool m_stillOpen = false;
};

namespace {

// A key as the operator presses it: to the widget that has the focus in the dialog.
void key(TForm5 *form, Qt::Key k)
{
    QWidget *target = form->focusWidget() ? form->focusWidget() : form;
    QTest::keyClick(target, k);
}

} // namespace

void TestMachineDialog::init()
{
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_form = std::make_unique<TForm5>();
    m_stillOpen = false;
}

void TestMachineDialog::cleanup()
{
    m_form.reset();
    m_dialogs.reset();
}

void TestMachineDialog::window()
{
    QCOMPARE(Form5, m_form.get());
    QCOMPARE(m_form->windowTitle(), u"判定機選択"_s);
    QCOMPARE(m_form->Label1->text(), u"使用する判定機を選んで下さい。"_s);
    QCOMPARE(m_form->Button1->text(), u"1号機"_s);
    QCOMPARE(m_form->Button2->text(), u"2号機"_s);

    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    // Not resizable.
    QCOMPARE(m_form->size(), QSize(202, 85));
    QCOMPARE(m_form->minimumSize(), QSize(202, 85));
    QCOMPARE(m_form->maximumSize(), QSize(202, 85));
    QVERIFY(m_form->Label1->isVisible());
    QVERIFY(m_form->Button1->geometry().bottom() < 85);
    QVERIFY(m_form->Button2->geometry().right() < 202);
    // Centred on the desktop, as the main window is: to the width of the window frame.
    const QPoint offCentre = m_form->geometry().center() - m_form->screen()->availableGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 8, qPrintable(u"%1,%2"_s.arg(offCentre.x()).arg(offCentre.y())));
    m_form->reject();
    QVERIFY(!m_form->isVisible());
}

void TestMachineDialog::results_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("result");

    QTest::newRow("click 1号機") << Action([](TForm5 *f) { QTest::mouseClick(f->Button1, Qt::LeftButton); })
                                 << int(QMessageBox::Yes);
    QTest::newRow("click 2号機") << Action([](TForm5 *f) { QTest::mouseClick(f->Button2, Qt::LeftButton); })
                                 << int(QMessageBox::No);
    QTest::newRow("Enter on the focused 1号機") << Action([](TForm5 *f) { key(f, Qt::Key_Return); })
                                                << int(QMessageBox::Yes);
    QTest::newRow("Space on the focused 1号機") << Action([](TForm5 *f) { key(f, Qt::Key_Space); })
                                                << int(QMessageBox::Yes);
    // No default button: Enter presses whichever button has the focus.
    QTest::newRow("Tab, then Enter on 2号機") << Action([](TForm5 *f) {
        key(f, Qt::Key_Tab);
        QCOMPARE(f->focusWidget(), f->Button2);
        key(f, Qt::Key_Enter);
    }) << int(QMessageBox::No);
    QTest::newRow("Escape") << Action([](TForm5 *f) { key(f, Qt::Key_Escape); }) << int(QMessageBox::Cancel);
    QTest::newRow("Escape with 2号機 focused") << Action([](TForm5 *f) {
        key(f, Qt::Key_Tab);
        key(f, Qt::Key_Escape);
    }) << int(QMessageBox::Cancel);
    QTest::newRow("close box") << Action([](TForm5 *f) { f->windowHandle()->close(); })
                               << int(QMessageBox::Cancel);
}

void TestMachineDialog::results()
{
    QFETCH(Action, action);
    QFETCH(int, result);
    QCOMPARE(execWith(action), result);
    QVERIFY(!m_stillOpen);
    QVERIFY(!m_form->isVisible());
    // A second use starts afresh and gives its own result.
    QCOMPARE(execWith([](TForm5 *f) { QTest::mouseClick(f->Button2, Qt::LeftButton); }), int(QMessageBox::No));
    QCOMPARE(m_dialogs->errors, QStringList());
}

void TestMachineDialog::button1FocusedOnEveryShowing()
{
    for (int showing = 0; showing < 2; ++showing) {
        const int result = execWith([](TForm5 *f) {
            QCOMPARE(f->focusWidget(), f->Button1);
            QCOMPARE(QApplication::focusWidget(), f->Button1);
            // Leave with the focus on 2号機: the next showing starts on 1号機 again.
            key(f, Qt::Key_Tab);
            QCOMPARE(f->focusWidget(), f->Button2);
            key(f, Qt::Key_Escape);
        });
        QCOMPARE(result, int(QMessageBox::Cancel));
        QVERIFY(!m_stillOpen);
    }
}

QTEST_MAIN(TestMachineDialog)
#include "tst_ui_machine.moc"
