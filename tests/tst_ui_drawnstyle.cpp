// The program's style: what it draws in code instead of decoding the platform style's
// images must look the same and must keep the image-format plug-ins out of the start.

#include "ui/actionicons.h"
#include "ui/mainform.h"
#include "uitest.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QStyleFactory>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;

namespace {

// The image-format plug-ins mapped into this process so far.
QStringList loadedImagePlugins()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no /proc/self/maps)")};
    QStringList plugins;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        if (line.contains("/imageformats/"))
            plugins << QString::fromLocal8Bit(line.mid(line.lastIndexOf(' ') + 1));
    }
    plugins.removeDuplicates();
    return plugins;
}

bool hasVisiblePixels(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0x80)
                return true;
        }
    }
    return false;
}

} // namespace

class TestDrawnStyle final : public QObject
{
    Q_OBJECT

private slots:
    // First: any image decoded before would have loaded the plug-ins already.
    void mainWindowLoadsNoImagePlugin();
    void groupBoxFrameAsFusionDrawsIt_data();
    void groupBoxFrameAsFusionDrawsIt();
};

void TestDrawnStyle::mainWindowLoadsNoImagePlugin()
{
#ifndef Q_OS_LINUX
    QSKIP("reads /proc/self/maps");
#endif
    QVERIFY2(loadedImagePlugins().isEmpty(), qPrintable(loadedImagePlugins().join(u' ')));
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    // As the program starts: its style first, then the main window, shown and painted.
    auto *style = new DrawnStyle;
    if (!style->baseStyle()->inherits("QFusionStyle"))
        QSKIP("the platform's style is not Fusion");
    QApplication::setStyle(style);
    TForm1 form(folder.appPaths());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.grab().isNull());
    // The menu's icons as the open menu draws them, the heat sheet's among them.
    QMenu *menu = form.menuBar()->actions().constFirst()->menu();
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator())
            QVERIFY2(hasVisiblePixels(action->icon().pixmap(16).toImage()), qPrintable(action->text()));
    }
    QVERIFY(menu->actions().contains(form.PrintHeatSheet));
    QVERIFY(!menu->grab().isNull());
    QVERIFY2(loadedImagePlugins().isEmpty(), qPrintable(loadedImagePlugins().join(u' ')));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
}

void TestDrawnStyle::groupBoxFrameAsFusionDrawsIt_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("flat");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QSize>("size");

    // The main window's boxes: a title in the window font, 41 pixels high.
    QTest::newRow("main window") << QStringLiteral("ﾚｰｽ種類") << false << false << 12 << QSize(112, 41);
    QTest::newRow("parameter dialog") << QStringLiteral("ﾎﾟｰﾄ設定") << false << false << 12 << QSize(200, 160);
    QTest::newRow("untitled") << QString() << false << false << 12 << QSize(80, 50);
    QTest::newRow("checkable") << QStringLiteral("取込位置") << true << false << 12 << QSize(150, 70);
    QTest::newRow("checkable untitled") << QString() << true << false << 12 << QSize(90, 60);
    QTest::newRow("large title") << QStringLiteral("ﾀｲﾏｰ値") << false << false << 21 << QSize(120, 80);
    QTest::newRow("smaller than the tile") << QStringLiteral("拡張子") << false << false << 12 << QSize(40, 30);
    QTest::newRow("flat") << QStringLiteral("拡張子") << false << true << 12 << QSize(120, 60);
}

void TestDrawnStyle::groupBoxFrameAsFusionDrawsIt()
{
    QFETCH(QString, title);
    QFETCH(bool, checkable);
    QFETCH(bool, flat);
    QFETCH(int, pixelSize);
    QFETCH(QSize, size);

    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("fusion")));
    DrawnStyle drawn;
    if (!drawn.baseStyle()->inherits("QFusionStyle"))
        QSKIP("the platform's style is not Fusion");
    auto render = [&](QStyle *style) {
        QGroupBox box(title);
        box.setStyle(style);
        QFont font = box.font();
        font.setPixelSize(pixelSize);
        box.setFont(font);
        box.setCheckable(checkable);
        box.setFlat(flat);
        box.resize(size);
        return box.grab().toImage();
    };
    const QImage expected = render(fusion.get());
    const QImage actual = render(&drawn);
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(actual, expected);
}

QTEST_MAIN(TestDrawnStyle)
#include "tst_ui_drawnstyle.moc"
