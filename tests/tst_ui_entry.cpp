// Typing heats at the keyboard: every key goes to whatever widget holds the focus, so
// a key the grid lets slip fails the test.

#include "core/gridmodel.h"
#include "core/timerules.h"
#include "ui/dialogs.h"
#include "ui/inputgrid.h"
#include "ui/mainform.h"
#include "ui/sankaspin.h"
#include "ui/toolkittext.h"
#include "uitest.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;

class TestEntry final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void horizontalHeat();
    void verticalHeat();
    void movementTable_data();
    void movementTable();
    void addedRowIsRemovedGoingUp();
    void eightCharacterLimit();
    void separatorsAreDropped();
    void controlCharactersAreDropped_data();
    void controlCharactersAreDropped();
    void tabMovesBetweenEntryCells_data();
    void tabMovesBetweenEntryCells();
    void gridIsNoTabStop();
    void windFieldKeepsNavigationKeys();
    void emptyRowCountFieldKeepsHeat();
    void contextMenusOfferEditingOnly();
    void toolkitSpeaksJapanese();
    void warningKeepsCursorAndStores();
    void conversionErrorStoresNothing();
    void realWarningBoxGivesFocusBack();
    void windEntry();
    void windErrorKeepsField();
    void windTypingLimit();
    void directionLabel();
    void drawnTimesFollowOptions();

private:
    TForm1 &form() { return *m_form; }
    QString cell(int col, int row) const { return m_form->grid()->cell(col, row); }
    QPoint cursor() const { return {m_form->InputGrid->col(), m_form->InputGrid->row()}; }
    void putCursor(int col, int row)
    {
        m_form->InputGrid->setCurrentCell(col, row);
        m_form->focusInputGrid();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_form->InputGrid->editor()));
    }

    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<TForm1> m_form;
};

void TestEntry::init()
{
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_folder = std::make_unique<ProgramFolder>();
    m_form = std::make_unique<TForm1>(m_folder->appPaths());
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_form->InputGrid->editor()));
}

void TestEntry::cleanup()
{
    m_form.reset();
    m_folder.reset();
    m_dialogs.reset();
}

void TestEntry::horizontalHeat()
{
    // Lane, Enter, time, Enter per competitor; later times typed short.
    typeText(QStringLiteral("4\n1052\n5\n61\n3\n10275\n6\n80\n"));
    QCOMPARE(cell(1, 1), QStringLiteral("4"));
    QCOMPARE(cell(2, 1), QStringLiteral("1052"));
    QCOMPARE(cell(1, 2), QStringLiteral("5"));
    QCOMPARE(cell(2, 2), QStringLiteral("1061"));
    QCOMPARE(cell(2, 3), QStringLiteral("10275"));
    QCOMPARE(cell(2, 4), QStringLiteral("10280"));
    QCOMPARE(cursor(), QPoint(1, 5));
    QCOMPARE(m_dialogs->shown, QStringList());
}

void TestEntry::verticalHeat()
{
    form().RadioButton4->setChecked(true);
    putCursor(1, 1);
    typeText(QStringLiteral("1\n2\n3\n"));
    QCOMPARE(cursor(), QPoint(1, 4));
    putCursor(2, 1);
    typeText(QStringLiteral("5523\n61\n7\n"));
    QCOMPARE(cell(2, 1), QStringLiteral("5523"));
    QCOMPARE(cell(2, 2), QStringLiteral("5561"));
    QCOMPARE(cell(2, 3), QStringLiteral("5567"));
    QCOMPARE(cursor(), QPoint(2, 4));
}

void TestEntry::movementTable_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("lastRow");
    QTest::addColumn<bool>("autoInc");
    QTest::addColumn<QPoint>("expected");
    QTest::addColumn<int>("dataRows");

    // Eight data rows; "not last" starts on row 3.
    QTest::newRow("horizontal 1 not last") << false << 1 << false << true << QPoint(2, 3) << 8;
    QTest::newRow("horizontal 1 last autoInc") << false << 1 << true << true << QPoint(2, 8) << 8;
    QTest::newRow("horizontal 1 last no autoInc") << false << 1 << true << false << QPoint(2, 8) << 8;
    QTest::newRow("horizontal 2 not last") << false << 2 << false << true << QPoint(1, 4) << 8;
    QTest::newRow("horizontal 2 last autoInc") << false << 2 << true << true << QPoint(2, 8) << 8;
    QTest::newRow("horizontal 2 last no autoInc") << false << 2 << true << false << QPoint(2, 8) << 8;
    QTest::newRow("vertical 1 not last") << true << 1 << false << true << QPoint(1, 4) << 8;
    QTest::newRow("vertical 1 last autoInc") << true << 1 << true << true << QPoint(1, 9) << 9;
    QTest::newRow("vertical 1 last no autoInc") << true << 1 << true << false << QPoint(1, 8) << 8;
    QTest::newRow("vertical 2 not last") << true << 2 << false << true << QPoint(2, 4) << 8;
    QTest::newRow("vertical 2 last autoInc") << true << 2 << true << true << QPoint(2, 8) << 8;
    QTest::newRow("vertical 2 last no autoInc") << true << 2 << true << false << QPoint(2, 8) << 8;
}

void TestEntry::movementTable()
{
    QFETCH(bool, vertical);
    QFETCH(int, col);
    QFETCH(bool, lastRow);
    QFETCH(bool, autoInc);
    QFETCH(QPoint, expected);
    QFETCH(int, dataRows);

    (vertical ? form().RadioButton4 : form().RadioButton3)->setChecked(true);
    form().autoInc->setChecked(autoInc);
    const int row = lastRow ? 8 : 3;
    putCursor(col, row);
    typeText(QStringLiteral("7\n"));
    QCOMPARE(cell(col, row), QStringLiteral("7"));
    QCOMPARE(cursor(), expected);
    QCOMPARE(form().grid()->dataRowCount(), dataRows);
    QCOMPARE(form().settings().Maxrunner, dataRows);
    QCOMPARE(cell(0, dataRows), QString::number(dataRows));
    // The next key lands in the new current cell.
    typeText(QStringLiteral("9"));
    QCOMPARE(cell(expected.x(), expected.y()), expected == QPoint(col, row) ? QStringLiteral("79") : QStringLiteral("9"));
}

void TestEntry::addedRowIsRemovedGoingUp()
{
    form().RadioButton4->setChecked(true);
    putCursor(1, 8);
    typeText(QStringLiteral("8\n"));
    QCOMPARE(form().grid()->dataRowCount(), 9);
    QCOMPARE(cursor(), QPoint(1, 9));
    pressKey(Qt::Key_Up);
    QCOMPARE(form().grid()->dataRowCount(), 8);
    QCOMPARE(cursor(), QPoint(1, 8));
    QCOMPARE(form().SankaSpinNum->text(), QStringLiteral("8"));

    // A row that got a text stays.
    typeText(QStringLiteral("\n3"));
    pressKey(Qt::Key_Up);
    QCOMPARE(form().grid()->dataRowCount(), 9);
    // Down at the last row adds nothing.
    putCursor(2, 9);
    pressKey(Qt::Key_Down);
    QCOMPARE(form().grid()->dataRowCount(), 9);
    QCOMPARE(cursor(), QPoint(2, 9));
}

void TestEntry::eightCharacterLimit()
{
    putCursor(2, 1);
    typeText(QStringLiteral("123456789"));
    QCOMPARE(cell(2, 1), QStringLiteral("12345678"));
    typeText(QStringLiteral("\n"));
    QCOMPARE(cursor(), QPoint(2, 1));
    pressKey(Qt::Key_Backspace);
    QCOMPARE(cell(2, 1), QStringLiteral("1234567"));
    typeText(QStringLiteral("\n"));
    QCOMPARE(cursor(), QPoint(1, 2));
}

void TestEntry::separatorsAreDropped()
{
    putCursor(2, 1);
    typeText(QStringLiteral("1.5\n"));
    QCOMPARE(cell(2, 1), QStringLiteral("15"));
    putCursor(2, 3);
    typeText(QStringLiteral("12:34a \n"));
    QCOMPARE(cell(2, 3), QStringLiteral("1234"));
}

void TestEntry::controlCharactersAreDropped_data()
{
    QTest::addColumn<bool>("wind");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");

    // The events a real keyboard sends: QTest would give Ctrl+A the text "a", which
    // the filter drops as a letter whether or not control characters get through.
    for (const bool wind : {false, true}) {
        const char *field = wind ? "wind " : "grid ";
        QTest::addRow("%sCtrl+A", field) << wind << int(Qt::Key_A) << QStringLiteral("\x01");
        QTest::addRow("%sCtrl+V", field) << wind << int(Qt::Key_V) << QStringLiteral("\x16");
        QTest::addRow("%sCtrl+X", field) << wind << int(Qt::Key_X) << QStringLiteral("\x18");
        QTest::addRow("%sCtrl+Z", field) << wind << int(Qt::Key_Z) << QStringLiteral("\x1a");
    }
}

void TestEntry::controlCharactersAreDropped()
{
    QFETCH(bool, wind);
    QFETCH(int, key);
    QFETCH(QString, text);
    QLineEdit *field = wind ? form().EditKaze : form().InputGrid->editor();
    if (wind) {
        field->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(field));
    } else {
        putCursor(1, 5);
    }
    typeText(QStringLiteral("12"));
    field->setSelection(1, 1);
    QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier, text);
    QApplication::sendEvent(QApplication::focusWidget(), &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::ControlModifier, text);
    QApplication::sendEvent(QApplication::focusWidget(), &release);
    // Nothing was cut, pasted, undone or inserted.
    QCOMPARE(field->text(), QStringLiteral("12"));
    if (!wind)
        QCOMPARE(cell(1, 5), QStringLiteral("12"));
}

// Tab ('T') and Shift+Tab ('S') walk the entry cells along the rows and stop at the
// first and the last: never onto a heading or a place number, never a new row.
void TestEntry::tabMovesBetweenEntryCells_data()
{
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QList<QPoint>>("cursors");

    QTest::newRow("middle of the grid") << QPoint(1, 2) << QStringLiteral("TTS")
                                        << QList<QPoint>{{2, 2}, {1, 3}, {2, 2}};
    QTest::newRow("Shift+Tab at the first entry cell") << QPoint(1, 1) << QStringLiteral("SS")
                                                       << QList<QPoint>{{1, 1}, {1, 1}};
    QTest::newRow("Shift+Tab onto the first entry cell") << QPoint(2, 1) << QStringLiteral("SS")
                                                         << QList<QPoint>{{1, 1}, {1, 1}};
    QTest::newRow("Tab at the last entry cell") << QPoint(2, 8) << QStringLiteral("TT") << QList<QPoint>{{2, 8}, {2, 8}};
    QTest::newRow("Tab onto the last entry cell and back") << QPoint(1, 8) << QStringLiteral("TTS")
                                                           << QList<QPoint>{{2, 8}, {2, 8}, {1, 8}};
}

void TestEntry::tabMovesBetweenEntryCells()
{
    QFETCH(QPoint, start);
    QFETCH(QString, keys);
    QFETCH(QList<QPoint>, cursors);

    putCursor(start.x(), start.y());
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys[i] == u'S')
            pressKey(Qt::Key_Backtab, Qt::ShiftModifier);
        else
            pressKey(Qt::Key_Tab);
        QCOMPARE(cursor(), cursors[i]);
    }
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().InputGrid->editor()));
    QCOMPARE(form().grid()->dataRowCount(), 8);
    // The next key lands in the cell the cursor shows.
    typeText(QStringLiteral("5"));
    QCOMPARE(cell(cursors.last().x(), cursors.last().y()), QStringLiteral("5"));
}

void TestEntry::gridIsNoTabStop()
{
    QWidget *editor = form().InputGrid->editor();
    for (const bool backward : {false, true}) {
        form().EditKaze->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
        QList<QWidget *> reached;
        for (int i = 0; i < 30; ++i) {
            pressKey(backward ? Qt::Key_Backtab : Qt::Key_Tab, backward ? Qt::ShiftModifier : Qt::NoModifier);
            reached << QApplication::focusWidget();
        }
        QVERIFY(!reached.contains(editor));
        // Tab does travel: the options and the wind field take turns.
        QVERIFY(reached.contains(form().EditKaze));
        QVERIFY(reached.contains(form().QuickInput));
    }
}

void TestEntry::windFieldKeepsNavigationKeys()
{
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("123"));
    pressKey(Qt::Key_Home);
    pressKey(Qt::Key_Delete);
    QCOMPARE(form().EditKaze->text(), QStringLiteral("23"));
    pressKey(Qt::Key_End);
    pressKey(Qt::Key_Left);
    typeText(QStringLiteral("5"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("253"));
    pressKey(Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != form().EditKaze);
    QCOMPARE(form().EditKaze->text(), QStringLiteral("253"));
}

void TestEntry::emptyRowCountFieldKeepsHeat()
{
    form().RadioButton4->setChecked(true);
    form().SankaSpinNum->setFocus();
    QTRY_VERIFY(form().SankaSpinNum->hasFocus());
    pressKey(Qt::Key_End);
    pressKey(Qt::Key_Backspace);
    QCOMPARE(form().SankaSpinNum->text(), QString());
    putCursor(1, 8);
    QCOMPARE(form().SankaSpinNum->text(), QString());
    typeText(QStringLiteral("8\n"));
    // The grid's eight rows count as the field's value: one row more, not 2.
    QCOMPARE(form().grid()->dataRowCount(), 9);
    QCOMPARE(cursor(), QPoint(1, 9));
    QCOMPARE(form().SankaSpinNum->text(), QStringLiteral("9"));
    form().SankaSpinNum->setText(QString());
    pressKey(Qt::Key_Up);
    QCOMPARE(form().grid()->dataRowCount(), 8);
    QCOMPARE(form().settings().Maxrunner, 8);
}

void TestEntry::warningKeepsCursorAndStores()
{
    putCursor(2, 1);
    typeText(QStringLiteral("5523\n"));
    putCursor(2, 2);
    typeText(QStringLiteral("10\n"));
    QCOMPARE(m_dialogs->shown, QStringList({TimeCheckMessage}));
    QCOMPARE(cell(2, 2), QStringLiteral("5510"));
    QCOMPARE(cursor(), QPoint(2, 2));
    // Without the check the same text is stored and the cursor moves on.
    form().validCheck->setChecked(false);
    putCursor(2, 3);
    typeText(QStringLiteral("05\n"));
    QCOMPARE(cell(2, 3), QStringLiteral("5505"));
    QCOMPARE(cursor(), QPoint(1, 4));
    QCOMPARE(m_dialogs->shown.size(), 1);
    // Quick input off: the typed text stays as typed.
    form().QuickInput->setChecked(false);
    putCursor(2, 4);
    typeText(QStringLiteral("61\n"));
    QCOMPARE(cell(2, 4), QStringLiteral("61"));
}

void TestEntry::conversionErrorStoresNothing()
{
    putCursor(2, 1);
    typeText(QStringLiteral("5523\n"));
    putCursor(2, 2);
    typeText(QStringLiteral("-\n"));
    QCOMPARE(m_dialogs->errors, QStringList({QStringLiteral("'-' は整数ではありません")}));
    QCOMPARE(cell(2, 2), QStringLiteral("-"));
    QCOMPARE(cursor(), QPoint(2, 2));
    // The operator corrects the cell and goes on typing.
    pressKey(Qt::Key_Backspace);
    typeText(QStringLiteral("60\n"));
    QCOMPARE(cell(2, 2), QStringLiteral("5560"));
    QCOMPARE(cursor(), QPoint(1, 3));
}

void TestEntry::realWarningBoxGivesFocusBack()
{
    m_dialogs.reset();   // the real boxes from here on
    putCursor(2, 1);
    typeText(QStringLiteral("5523\n"));
    putCursor(2, 2);
    QString seen;
    QTimer::singleShot(0, this, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    typeText(QStringLiteral("10\n"));
    QCOMPARE(seen, TimeCheckMessage);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().InputGrid->editor()));
    pressKey(Qt::Key_Backspace);
    pressKey(Qt::Key_Backspace);
    typeText(QStringLiteral("30\n"));
    QCOMPARE(cell(2, 2), QStringLiteral("5530"));
    QCOMPARE(cursor(), QPoint(1, 3));
}

void TestEntry::windEntry()
{
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("-05\n"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("-0.5"));
    // The focus is in the grid again: the next key lands in the current cell.
    typeText(QStringLiteral("4"));
    QCOMPARE(cell(1, 1), QStringLiteral("4"));

    // Enter in an empty field only moves the focus.
    form().EditKaze->clear();
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("\n"));
    QCOMPARE(form().EditKaze->text(), QString());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().InputGrid->editor()));

    // Letters never reach the field.
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("1x2\n"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+1.2"));
}

void TestEntry::windErrorKeepsField()
{
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("-\n"));
    QCOMPARE(m_dialogs->errors, QStringList({QStringLiteral("'-' は浮動小数点数ではありません")}));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("-"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
}

void TestEntry::windTypingLimit()
{
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("12345"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("1234"));
    pressKey(Qt::Key_Backspace);
    QCOMPARE(form().EditKaze->text(), QStringLiteral("123"));
    typeText(QStringLiteral("\n"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+1.2"));
    // A longer text set by the program is shown whole.
    form().EditKaze->setText(QStringLiteral("+10.0"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+10.0"));
}

void TestEntry::directionLabel()
{
    form().RadioButton4->setChecked(true);
    QCOMPARE(form().LblCurWay->text(), QStringLiteral("↓"));
    form().RadioButton3->setChecked(true);
    QCOMPARE(form().LblCurWay->text(), QStringLiteral("→"));
}

void TestEntry::drawnTimesFollowOptions()
{
    const auto &drawn = form().InputGrid->cellDelegate()->timeText;
    QCOMPARE(drawn(QStringLiteral("7523")), QStringLiteral(" 1:15.23"));
    form().sixtyFix->setChecked(false);
    QCOMPARE(drawn(QStringLiteral("7523")), QStringLiteral("75.23"));
    form().RadioButton2->setChecked(true);
    QCOMPARE(drawn(QStringLiteral("12345")), QStringLiteral(" 1:23:45"));
    QCOMPARE(drawn(QStringLiteral("DNF")), QString());
    // The current cell shows its stored digits in the editor.
    putCursor(2, 1);
    typeText(QStringLiteral("12345"));
    QCOMPARE(form().InputGrid->editor()->text(), QStringLiteral("12345"));
}

void TestEntry::contextMenusOfferEditingOnly()
{
    for (QLineEdit *field : {static_cast<QLineEdit *>(form().InputGrid->editor()), form().EditKaze}) {
        const std::unique_ptr<QMenu> standard(field->createStandardContextMenu());
        QStringList offered;
        // Owned here, so that it cannot fire into a later test when no menu came.
        QTimer answer;
        answer.setSingleShot(true);
        connect(&answer, &QTimer::timeout, this, [&offered] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *action : menu->actions())
                offered << (action->isSeparator() ? QStringLiteral("|") : action->text());
            menu->close();
        });
        answer.start(0);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(field, &event);
        // The toolkit's menu: undo, redo, |, cut, copy, paste, delete, |, select all.
        QStringList expected;
        for (QAction *action : standard->actions().mid(3))
            expected << (action->isSeparator() ? QStringLiteral("|") : action->text().section(u'\t', 0, 0));
        QCOMPARE(offered, expected);
        QCOMPARE(offered.size(), 6);
    }
}

void TestEntry::toolkitSpeaksJapanese()
{
    QVERIFY(InstallToolkitTranslation(*QCoreApplication::instance()));
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
}

QTEST_MAIN(TestEntry)
#include "tst_ui_entry.moc"
