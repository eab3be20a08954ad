// The key translation shared by the grid editor and the wind field, and the numeric
// filter behind it.

#include "core/keyfilter.h"

#include <QTest>

using namespace Ordavex;

class TestKeyFilter final : public QObject
{
    Q_OBJECT

private slots:
    void typedCharacter_data();
    void typedCharacter();
    void filter_data();
    void filter();
};

void TestKeyFilter::typedCharacter_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("typed");   // empty: the key keeps its usual meaning

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("digit") << int(Qt::Key_5) << QStringLiteral("5") << none << QStringLiteral("5");
    QTest::newRow("keypad digit") << int(Qt::Key_5) << QStringLiteral("5") << int(Qt::KeypadModifier) << QStringLiteral("5");
    QTest::newRow("letter") << int(Qt::Key_A) << QStringLiteral("a") << none << QStringLiteral("a");
    QTest::newRow("point") << int(Qt::Key_Period) << QStringLiteral(".") << none << QStringLiteral(".");
    QTest::newRow("Return") << int(Qt::Key_Return) << QStringLiteral("\r") << none << QStringLiteral("\r");
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << QStringLiteral("\r") << int(Qt::KeypadModifier) << QStringLiteral("\r");
    QTest::newRow("Enter without text") << int(Qt::Key_Return) << QString() << none << QStringLiteral("\r");
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << QStringLiteral("\b") << none << QStringLiteral("\b");
    QTest::newRow("Backspace without text") << int(Qt::Key_Backspace) << QString() << none << QStringLiteral("\b");
    QTest::newRow("Ctrl+Backspace") << int(Qt::Key_Backspace) << QStringLiteral("\x7f") << ctrl << QString();
    // What a real keyboard sends for the shortcuts: control characters, for the filter
    // to drop.
    QTest::newRow("Ctrl+A") << int(Qt::Key_A) << QStringLiteral("\x01") << ctrl << QStringLiteral("\x01");
    QTest::newRow("Ctrl+V") << int(Qt::Key_V) << QStringLiteral("\x16") << ctrl << QStringLiteral("\x16");
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << QStringLiteral("\x03") << ctrl << QStringLiteral("\x03");
    QTest::newRow("Tab") << int(Qt::Key_Tab) << QStringLiteral("\t") << none << QString();
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << QStringLiteral("\t") << int(Qt::ShiftModifier) << QString();
    QTest::newRow("Delete") << int(Qt::Key_Delete) << QStringLiteral("\x7f") << none << QString();
    QTest::newRow("Escape") << int(Qt::Key_Escape) << QStringLiteral("\x1b") << none << QString();
    QTest::newRow("Left") << int(Qt::Key_Left) << QString() << none << QString();
    QTest::newRow("Up") << int(Qt::Key_Up) << QString() << none << QString();
    QTest::newRow("Home") << int(Qt::Key_Home) << QString() << none << QString();
    QTest::newRow("End") << int(Qt::Key_End) << QString() << none << QString();
    QTest::newRow("PageDown") << int(Qt::Key_PageDown) << QString() << none << QString();
    QTest::newRow("F2") << int(Qt::Key_F2) << QString() << none << QString();
    QTest::newRow("Shift") << int(Qt::Key_Shift) << QString() << int(Qt::ShiftModifier) << QString();
    QTest::newRow("Alt+1") << int(Qt::Key_1) << QStringLiteral("1") << int(Qt::AltModifier) << QString();
    QTest::newRow("full-width digit") << int(Qt::Key_unknown) << QStringLiteral("５") << none << QStringLiteral("５");
}

void TestKeyFilter::typedCharacter()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(int, modifiers);
    QFETCH(QString, typed);
    const QChar result = TypedCharacter(key, text, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(result.isNull() ? QString() : QString(result), typed);
}

void TestKeyFilter::filter_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("point");
    QTest::addColumn<bool>("passes");

    QTest::newRow("0") << QStringLiteral("0") << false << true;
    QTest::newRow("9") << QStringLiteral("9") << false << true;
    QTest::newRow("+") << QStringLiteral("+") << false << true;
    QTest::newRow("-") << QStringLiteral("-") << false << true;
    QTest::newRow("Backspace") << QStringLiteral("\b") << false << true;
    QTest::newRow("point in the grid") << QStringLiteral(".") << false << false;
    QTest::newRow("point in the wind") << QStringLiteral(".") << true << true;
    QTest::newRow("colon") << QStringLiteral(":") << true << false;
    QTest::newRow("letter") << QStringLiteral("a") << true << false;
    QTest::newRow("blank") << QStringLiteral(" ") << true << false;
    QTest::newRow("Enter") << QStringLiteral("\r") << true << false;
    QTest::newRow("Ctrl+A") << QStringLiteral("\x01") << true << false;
    QTest::newRow("Ctrl+V") << QStringLiteral("\x16") << false << false;
    QTest::newRow("full-width digit") << QStringLiteral("５") << true << false;
    QTest::newRow("Arabic-Indic digit") << QStringLiteral("\u0663") << true << false;
}

void TestKeyFilter::filter()
{
    QFETCH(QString, key);
    QFETCH(bool, point);
    QFETCH(bool, passes);
    const QChar result = FilterNumericKey(key.front(), point);
    QCOMPARE(result, passes ? key.front() : QChar());
}

QTEST_APPLESS_MAIN(TestKeyFilter)
#include "tst_keyfilter.moc"
