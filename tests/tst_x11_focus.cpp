// Focus and keys on a real X server: the activation that follows a message box, and
// the control characters a real keyboard types. The offscreen platform has neither.

#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "ui/inputgrid.h"
#include "ui/mainform.h"
#include "uitest.h"

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;

// Read by the leak checker of the sanitizer build only. The xcb platform asks for a
// session bus, which the virtual X server's session does not run; libdbus keeps the
// error it built for that answer.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

class TestX11Focus final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windErrorBoxLeavesFocusInField();
    void timeWarningBoxLeavesFocusInGrid();
    void declinedEraseLeavesFocusInField();
    void operatorActivationFocusesGrid();
    void realControlKeysAreDropped_data();
    void realControlKeysAreDropped();

private:
    TForm1 &form() { return *m_form; }
    QWidget *focus() const { return QApplication::focusWidget(); }
    void focusWind()
    {
        form().EditKaze->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(focus(), static_cast<QWidget *>(form().EditKaze));
    }
    // Answers the next message box once it has taken the activation from the main
    // window, as the operator's click would; records its text.
    void answerNextBox(QMessageBox::StandardButton button)
    {
        m_seen.clear();
        auto *poll = new QTimer(this);
        auto waited = std::make_shared<int>(0);
        connect(poll, &QTimer::timeout, this, [this, poll, waited, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (!box->isActiveWindow() && ++*waited < 100)
                return;
            poll->stop();
            poll->deleteLater();
            m_seen = box->text();
            box->button(button)->click();
        });
        poll->start(20);
    }
    // The main window has its activation back and every event of it was handled.
    void settle()
    {
        QTRY_VERIFY(form().isActiveWindow());
        QTest::qWait(300);
    }
    // Keys through the X server, to the window that holds the X input focus.
    static void xdotoolKey(const QString &keys)
    {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}), 0);
    }

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<TForm1> m_form;
    QString m_seen;
};

void TestX11Focus::init()
{
    // The real boxes: nothing scripted.
    m_folder = std::make_unique<ProgramFolder>();
    m_form = std::make_unique<TForm1>(m_folder->appPaths());
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTRY_COMPARE(focus(), static_cast<QWidget *>(m_form->InputGrid->editor()));
}

void TestX11Focus::cleanup()
{
    m_form.reset();
    m_folder.reset();
}

void TestX11Focus::windErrorBoxLeavesFocusInField()
{
    focusWind();
    typeText(QStringLiteral("-"));
    answerNextBox(QMessageBox::Ok);
    typeText(QStringLiteral("\n"));
    QCOMPARE(m_seen, QStringLiteral("'-' は浮動小数点数ではありません"));
    settle();
    QCOMPARE(focus(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("5"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("-5"));
    QCOMPARE(form().grid()->cell(1, 1), QString());
}

void TestX11Focus::timeWarningBoxLeavesFocusInGrid()
{
    typeText(QStringLiteral("4\n5523\n5\n"));
    answerNextBox(QMessageBox::Ok);
    typeText(QStringLiteral("10\n"));
    QCOMPARE(m_seen, TimeCheckMessage);
    settle();
    QCOMPARE(focus(), static_cast<QWidget *>(form().InputGrid->editor()));
    QCOMPARE(form().InputGrid->col(), 2);
    QCOMPARE(form().InputGrid->row(), 2);
}

void TestX11Focus::declinedEraseLeavesFocusInField()
{
    form().grid()->setCell(1, 1, QStringLiteral("4"));
    focusWind();
    typeText(QStringLiteral("1"));
    answerNextBox(QMessageBox::No);
    form().EraseInputGrid->trigger();
    QCOMPARE(m_seen, MsgEraseConfirm);
    settle();
    QCOMPARE(focus(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("2"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("12"));
    QCOMPARE(form().grid()->cell(1, 1), QStringLiteral("4"));
}

void TestX11Focus::operatorActivationFocusesGrid()
{
    // A box first, so that a mark it left behind would show here.
    focusWind();
    typeText(QStringLiteral("-"));
    answerNextBox(QMessageBox::Ok);
    typeText(QStringLiteral("\n"));
    settle();
    QCOMPARE(focus(), static_cast<QWidget *>(form().EditKaze));

    // The operator goes to another window and comes back.
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTRY_COMPARE(focus(), static_cast<QWidget *>(form().InputGrid->editor()));
}

void TestX11Focus::realControlKeysAreDropped_data()
{
    QTest::addColumn<bool>("wind");
    QTest::addColumn<QString>("keys");
    QTest::newRow("grid paste") << false << QStringLiteral("ctrl+v");
    QTest::newRow("grid cut") << false << QStringLiteral("ctrl+x");
    QTest::newRow("grid undo") << false << QStringLiteral("ctrl+z");
    QTest::newRow("wind paste") << true << QStringLiteral("ctrl+v");
    QTest::newRow("wind cut") << true << QStringLiteral("ctrl+x");
    QTest::newRow("wind undo") << true << QStringLiteral("ctrl+z");
    QTest::newRow("grid Alt+letter") << false << QStringLiteral("alt+m");
    QTest::newRow("wind Alt+letter") << true << QStringLiteral("alt+m");
}

void TestX11Focus::realControlKeysAreDropped()
{
    QFETCH(bool, wind);
    QFETCH(QString, keys);
    QGuiApplication::clipboard()->setText(QStringLiteral("99"));
    QLineEdit *field = wind ? form().EditKaze : form().InputGrid->editor();
    if (wind)
        focusWind();
    typeText(QStringLiteral("12"));
    field->setSelection(1, 1);
    xdotoolKey(keys);
    // The key has arrived once a plain digit typed after it has.
    xdotoolKey(QStringLiteral("End"));
    xdotoolKey(QStringLiteral("3"));
    QTRY_VERIFY(field->text().endsWith(u'3'));
    QCOMPARE(field->text(), QStringLiteral("123"));
    if (!wind)
        QCOMPARE(form().grid()->cell(1, 1), QStringLiteral("123"));
}

QTEST_MAIN(TestX11Focus)
#include "tst_x11_focus.moc"
