// The start list in the window: the name of a lane as soon as it is typed, before the
// time; a lane not in the list and a lane typed twice marked in the grid and said
// beside it, never in a box; a refused list told in the strip.

#include "core/gridmodel.h"
#include "core/startlist.h"
#include "core/textcodec.h"
#include "ui/inputgrid.h"
#include "ui/mainform.h"
#include "uitest.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QTest>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

class TestStartListWindow final : public QObject
{
    Q_OBJECT

private slots:
    void namesAndMarksWhileTyping();
    void refusedListIsToldInTheStrip();

private:
    static void writeStartList(const ProgramFolder &folder, const QByteArray &bytes)
    {
        QVERIFY(QDir(folder.path()).mkpath(u"startlists"_s));
        QFile file(QDir(folder.path()).filePath(u"startlists/Untitled.csv"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static std::optional<QColor> mark(TForm1 &form, int row)
    {
        return form.InputGrid->cellDelegate()->markColour(1, row);
    }
};

void TestStartListWindow::namesAndMarksWhileTyping()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    QString list = u"ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属\r\n"_s;
    const QStringList names = {u"青木 一"_s, u"石井 二"_s, u"上田 三"_s, u"山田 太郎"_s,
                               u"遠藤 五"_s, u"小野 六"_s, u"加藤 七"_s, u"木村 八"_s};
    for (int lane = 1; lane <= 8; ++lane)
        list += u"%1,%2,%3,東京陸協\r\n"_s.arg(lane).arg(1000 + lane).arg(names[lane - 1]);
    writeStartList(folder, Cp932::encode(list));
    folder.writeSettings("[Params]\r\nCurStyle=3\r\nautoInc=1\r\n");
    TForm1 form(folder.appPaths());
    form.show();
    QApplication::setActiveWindow(&form);
    form.focusInputGrid();
    QVERIFY(form.startList().has_value());

    // The lane typed: its name at once, the time still to come.
    typeText(u"4\n"_s);
    QTRY_COMPARE_WITH_TIMEOUT(form.StarterLabel->text(), u"4 山田 太郎 (東京陸協)"_s, 200);
    QVERIFY(form.StarterLabel->isVisible());
    QCOMPARE(mark(form, 1), std::nullopt);
    typeText(u"1052\n9\n"_s);
    QTRY_COMPARE_WITH_TIMEOUT(form.StarterLabel->text(), StarterUnknown.arg(u"9"_s), 200);
    QTRY_COMPARE(mark(form, 2), std::optional<QColor>(TForm1::StarterUnknownColour));
    typeText(u"1061\n4\n"_s);
    QTRY_COMPARE(form.StarterLabel->text(), u"4 山田 太郎 (東京陸協)\n"_s + StarterTwice.arg(u"4"_s));
    QTRY_COMPARE(mark(form, 1), std::optional<QColor>(TForm1::StarterTwiceColour));
    QCOMPARE(mark(form, 3), std::optional<QColor>(TForm1::StarterTwiceColour));
    QCOMPARE(form.cellText(1, 3), u"4"_s);

    // Mended: the marks go.
    form.grid()->setCell(1, 3, u"5"_s);
    form.grid()->setCell(1, 2, u"6"_s);
    QTRY_COMPARE(mark(form, 1), std::nullopt);
    QCOMPARE(mark(form, 2), std::nullopt);
    QCOMPARE(mark(form, 3), std::nullopt);
    QCOMPARE(dialogs.shown, QStringList());
    QCOMPARE(dialogs.errors, QStringList());
    QVERIFY(!form.NoticeStrip->isVisible());
}

void TestStartListWindow::refusedListIsToldInTheStrip()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    writeStartList(folder, Cp932::encode(u"ﾚｰﾝ,氏名\r\n4,山田\r\n4,佐藤\r\n"_s));
    TForm1 form(folder.appPaths());
    form.show();
    QVERIFY(!form.startList().has_value());
    const QString path = QDir::toNativeSeparators(QDir(folder.path()).filePath(u"startlists/Untitled.csv"_s));
    QCOMPARE(form.NoticeText->text(),
             MsgStartListRefused.arg(path, StartListTwice.arg(3).arg(u"ﾚｰﾝ"_s).arg(4).arg(2)));
    QVERIFY(!form.StarterLabel->isVisible());
    QCOMPARE(dialogs.shown, QStringList());
}

QTEST_MAIN(TestStartListWindow)
#include "tst_ui_startlist.moc"
