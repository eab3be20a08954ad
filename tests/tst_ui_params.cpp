// The parameter dialog on a settings record of its own: what it shows, what each way of
// closing stores, the log folder's clear and browse buttons, and indexes outside a list.

#include "uitest.h"
#include "core/linkdialog.h"
#include "core/settings.h"
#include "ui/unit4.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <climits>
#include <memory>
#include <stdexcept>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

namespace {

// Open dialogs that fail while they run.
class FailingDialogs final : public Dialogs
{
public:
    FailingDialogs() { Dialogs::setInstance(this); }
    ~FailingDialogs() override { Dialogs::setInstance(nullptr); }
    FailingDialogs(const FailingDialogs &) = delete;
    FailingDialogs &operator=(const FailingDialogs &) = delete;

    void message(QWidget *, const QString &text) override { shown << text; }
    bool confirm(QWidget *, const QString &text) override { shown << text; return false; }
    void error(QWidget *, const QString &text) override { shown << text; }
    QString saveFileName(QWidget *, const FileRequest &) override { return {}; }
    QString openFileName(QWidget *, OpenDialogState &) override
    {
        throw std::runtime_error("no file dialog");
    }

    QStringList shown;
};

// The record's list settings by name, for the data tables.
int &field(Settings &s, const QString &name)
{
    static const QHash<QString, int Settings::*> fields = {
        {u"cComName"_s, &Settings::cComName},   {u"cBauRate"_s, &Settings::cBauRate},
        {u"cBitSize"_s, &Settings::cBitSize},   {u"cParity"_s, &Settings::cParity},
        {u"cStopBits"_s, &Settings::cStopBits}, {u"cPlace"_s, &Settings::cPlace},
        {u"cLane"_s, &Settings::cLane},         {u"cTime"_s, &Settings::cTime},
        {u"cZekken"_s, &Settings::cZekken},     {u"cWaitTime"_s, &Settings::cWaitTime},
        {u"cLogExtOpt"_s, &Settings::cLogExtOpt}, {u"cComName2"_s, &Settings::cComName2},
    };
    Q_ASSERT(fields.contains(name));
    return s.*fields.value(name);
}

// Every value other than the defaults, each inside its list.
Settings unusualSettings()
{
    Settings s;
    s.cComName = 2;
    s.cBauRate = 14;
    s.cBitSize = 1;
    s.cParity = 2;
    s.cStopBits = 2;
    s.cPlace = 0;
    s.cLane = 8;
    s.cTime = 6;
    s.cZekken = 5;
    s.cWaitTime = 3;
    s.cLogExtOpt = 1;
    s.cComName2 = 4;
    s.cUseSubCom = true;
    s.cCheckTimerON2 = true;
    s.Maxrunner = 30;
    s.cCheckTimerON = false;
    return s;
}

QStringList items(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

} // namespace

class TestParamDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void window();
    void controls_data();
    void controls();
    void defaultsShown();
    void listsFilledOnEveryShowing();
    void choosingStores_data();
    void choosingStores();
    void radioGroupsAndCheckBoxesStore();
    void everyWayOfClosingStores_data();
    void everyWayOfClosingStores();
    void untouchedStoresWhatItShowed();
    void indexOutsideList_data();
    void indexOutsideList();
    void clearLogFolder_data();
    void clearLogFolder();
    void browse_data();
    void browse();
    void failingFileDialogIsIgnored();
    void recordWithoutMainWindowLogFolder();
    void noRecord();

private:
    TForm4 &form() { return *m_form; }
    void closeBox()
    {
        QVERIFY(m_form->isVisible());
        m_form->windowHandle()->close();
        QVERIFY(!m_form->isVisible());
    }
    // A click on the box itself: a radio button takes clicks on its circle and caption only.
    static void clickBox(QAbstractButton *button)
    {
        const int x = button->layoutDirection() == Qt::RightToLeft ? button->width() - 6 : 6;
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(x, button->height() / 2));
    }
    void choose(QComboBox *combo, const QString &text)
    {
        const int index = combo->findText(text, Qt::MatchExactly);
        QVERIFY2(index >= 0, qPrintable(text));
        combo->setCurrentIndex(index);
    }

    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm4> m_form;
    Settings m_settings;
    QString m_logFolder;
    Dialogs::OpenDialogState m_open;
};

void TestParamDialog::init()
{
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_form = std::make_unique<TForm4>();
    m_settings = Settings();
    m_settings.exLogFilePath = u"/record's own"_s;
    m_logFolder = u"/logs"_s;
    m_open = Dialogs::OpenDialogState();
    m_form->setSettings(&m_settings, &m_logFolder);
    m_form->setOpenDialog(&m_open);
}

void TestParamDialog::cleanup()
{
    m_form.reset();
    m_dialogs.reset();
}

void TestParamDialog::window()
{
    QCOMPARE(Form4, m_form.get());
    QCOMPARE(form().windowTitle(), u"RS232Cﾊﾟﾗﾒｰﾀ設定"_s);
    QCOMPARE(form().Page1->count(), 2);
    QCOMPARE(form().Page1->widget(0), form().TabSheet1);
    QCOMPARE(form().Page1->tabText(0), u"ｽﾘｯﾄﾃﾞｰﾀ"_s);
    QCOMPARE(form().Page1->widget(1), form().TabSheet2);
    QCOMPARE(form().Page1->tabText(1), u"ﾎﾟｰﾄ設定"_s);
    QCOMPARE(form().GroupPort->title(), u"ﾎﾟｰﾄ設定"_s);
    QCOMPARE(form().GroupColumns->title(), u"取込位置"_s);
    // No OK or Cancel: the only buttons are those of the log folder.
    const QList<QPushButton *> buttons = form().findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 2);
    QVERIFY(buttons.contains(form().bGetPath));
    QVERIFY(buttons.contains(form().bLogPathClear));

    // Left on the second tab, the next showing starts on the first.
    form().Page1->setCurrentIndex(1);
    form().show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QCOMPARE(form().Page1->currentIndex(), 0);
    QCOMPARE(form().size(), QSize(348, 310));
    QCOMPARE(form().minimumSize(), QSize(348, 310));
    QCOMPARE(form().maximumSize(), QSize(348, 310));
    const QPoint offCentre = form().geometry().center() - form().screen()->availableGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 8, qPrintable(u"%1,%2"_s.arg(offCentre.x()).arg(offCentre.y())));

    // Everything on both tabs inside the fixed window.
    for (QWidget *tab : {form().TabSheet1, form().TabSheet2}) {
        form().Page1->setCurrentWidget(tab);
        for (QWidget *child : tab->findChildren<QWidget *>()) {
            if (!child->isVisible() || qobject_cast<QRadioButton *>(child->parentWidget()))
                continue;
            const QRect inTab(child->mapTo(tab, QPoint(0, 0)), child->size());
            QVERIFY2(tab->rect().contains(inTab), qPrintable(child->objectName()));
            QVERIFY2(child->width() >= child->minimumSizeHint().width() || child->minimumSizeHint().width() < 0,
                     qPrintable(child->objectName()));
        }
    }
    // Folder row above the box, the radio groups below and side by side.
    QVERIFY(form().bGetPath->geometry().bottom() < form().EditLogFilePath->geometry().top());
    QVERIFY(form().EditLogFilePath->geometry().bottom() < form().RadioWaitTime->geometry().top());
    QVERIFY(form().RadioWaitTime->geometry().right() < form().RadioExtName->geometry().left());
    // The port group left of the column group, the second machine below both.
    QVERIFY(form().GroupPort->geometry().right() < form().GroupColumns->geometry().left());
    QVERIFY(form().GroupPort->geometry().bottom() < form().ComboComName2->geometry().top());
    QVERIFY(form().ComboComName2->geometry().right() < form().UseSubCom->geometry().left());
    QVERIFY(form().UseSubCom->geometry().bottom() < form().CheckTimerON2->geometry().top());
    form().close();
}

void TestParamDialog::controls_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("group");

    QTest::newRow("log folder") << u"LabelLogPath"_s << u"ﾌｧｲﾙの格納場所"_s << u"EditLogFilePath"_s << u"TabSheet1"_s;
    QTest::newRow("port") << u"Label1"_s << u"COM ﾎﾟｰﾄ"_s << u"ComboComName"_s << u"GroupPort"_s;
    QTest::newRow("rate") << u"Label2"_s << u"ﾋﾞｯﾄﾚｰﾄ/秒"_s << u"ComboBauRate"_s << u"GroupPort"_s;
    QTest::newRow("data bits") << u"Label3"_s << u"ﾃﾞｰﾀﾋﾞｯﾄ"_s << u"ComboBiteSize"_s << u"GroupPort"_s;
    QTest::newRow("parity") << u"Label4"_s << u"ﾊﾟﾘﾃｨﾁｪｯｸ"_s << u"ComboParity"_s << u"GroupPort"_s;
    QTest::newRow("stop bits") << u"Label5"_s << u"ｽﾄｯﾌﾟﾋﾞｯﾄ"_s << u"ComboStopBits"_s << u"GroupPort"_s;
    QTest::newRow("place") << u"Label7"_s << u"順位ｶﾗﾑ"_s << u"ComboPlace"_s << u"GroupColumns"_s;
    QTest::newRow("lane") << u"Label8"_s << u"ﾚｰﾝｶﾗﾑ"_s << u"ComboLane"_s << u"GroupColumns"_s;
    QTest::newRow("bib") << u"Label12"_s << u"ｾﾞｯｹﾝｶﾗﾑ"_s << u"ComboZekken"_s << u"GroupColumns"_s;
    QTest::newRow("time") << u"Label9"_s << u"ﾀｲﾑｶﾗﾑ"_s << u"ComboTime"_s << u"GroupColumns"_s;
    QTest::newRow("machine 2 port") << u"Label13"_s << u"2号機COM ﾎﾟｰﾄ"_s << u"ComboComName2"_s << u"TabSheet2"_s;
}

void TestParamDialog::controls()
{
    QFETCH(QString, label);
    QFETCH(QString, text);
    QFETCH(QString, control);
    QFETCH(QString, group);

    form().show();
    const auto *labelWidget = form().findChild<QLabel *>(label);
    QVERIFY(labelWidget);
    QCOMPARE(labelWidget->text(), text);
    QWidget *controlWidget = form().findChild<QWidget *>(control);
    QVERIFY(controlWidget);
    QWidget *groupWidget = form().findChild<QWidget *>(group);
    QVERIFY(groupWidget);
    QVERIFY(groupWidget->isAncestorOf(labelWidget));
    QVERIFY(groupWidget->isAncestorOf(controlWidget));
    form().Page1->setCurrentWidget(form().TabSheet1->isAncestorOf(controlWidget) ? form().TabSheet1
                                                                                 : form().TabSheet2);
    // A list box takes a choice from its list only.
    if (const auto *combo = qobject_cast<QComboBox *>(controlWidget))
        QVERIFY(!combo->isEditable());
    // The label beside its box: on its row, to its left, or (the folder) above it.
    const QRect l(labelWidget->mapTo(&form(), QPoint(0, 0)), labelWidget->size());
    const QRect c(controlWidget->mapTo(&form(), QPoint(0, 0)), controlWidget->size());
    QVERIFY((l.right() < c.left() && l.center().y() >= c.top() && l.center().y() <= c.bottom())
            || l.bottom() < c.top());
    form().close();
}

void TestParamDialog::defaultsShown()
{
    form().show();
    QCOMPARE(form().ComboComName->currentText(), u"COM1"_s);
    QCOMPARE(form().ComboBauRate->currentText(), u"9600"_s);
    QCOMPARE(form().ComboBiteSize->currentText(), u"8"_s);
    QCOMPARE(form().ComboParity->currentText(), u"No"_s);
    QCOMPARE(form().ComboStopBits->currentText(), u"1"_s);
    QCOMPARE(form().ComboPlace->currentText(), u"2"_s);
    QCOMPARE(form().ComboLane->currentText(), u"3"_s);
    QCOMPARE(form().ComboZekken->currentText(), u"4"_s);
    QCOMPARE(form().ComboTime->currentText(), u"5"_s);
    QCOMPARE(form().RadioWaitTime->title(), u"ﾀｲﾏｰ値"_s);
    QCOMPARE(form().RadioWaitTime->itemIndex(), 1);
    QCOMPARE(form().RadioWaitTime->button(1)->text(), u"2秒"_s);
    QCOMPARE(form().RadioExtName->title(), u"拡張子"_s);
    QCOMPARE(form().RadioExtName->itemIndex(), 0);
    QCOMPARE(form().RadioExtName->button(0)->text(), u"CSV"_s);
    QCOMPARE(form().ComboComName2->currentText(), u"COM1"_s);
    QCOMPARE(form().UseSubCom->text(), u"2号機を使用する"_s);
    QVERIFY(!form().UseSubCom->isChecked());
    QCOMPARE(form().CheckTimerON2->text(), u"2号機　ﾀｲﾏｰON"_s);
    QCOMPARE(form().CheckTimerON2->layoutDirection(), Qt::RightToLeft);
    QVERIFY(!form().CheckTimerON2->isChecked());
    // The main window's log folder, not the record's copy from the start.
    QCOMPARE(form().EditLogFilePath->text(), u"/logs"_s);
    QCOMPARE(form().bGetPath->text(), u"参照"_s);
    QCOMPARE(form().bLogPathClear->text(), u"ｸﾘｱ"_s);
    form().close();
}

void TestParamDialog::listsFilledOnEveryShowing()
{
    const QStringList columns = LinkDialog::ColumnEntries();
    for (int showing = 0; showing < 2; ++showing) {
        form().show();
        QCOMPARE(items(form().ComboComName), LinkDialog::PortEntries());
        QCOMPARE(items(form().ComboComName2), LinkDialog::PortEntries());
        QCOMPARE(items(form().ComboBauRate), LinkDialog::RateEntries());
        QCOMPARE(items(form().ComboBiteSize), LinkDialog::BitSizeEntries());
        QCOMPARE(items(form().ComboParity), LinkDialog::ParityEntries());
        QCOMPARE(items(form().ComboStopBits), LinkDialog::StopBitsEntries());
        for (const QComboBox *combo : {form().ComboPlace, form().ComboLane, form().ComboZekken, form().ComboTime})
            QCOMPARE(items(combo), columns);
        QCOMPARE(form().RadioWaitTime->count(), 5);
        QCOMPARE(form().RadioExtName->count(), 2);
        QCOMPARE(form().RadioExtName->button(1)->text(), u"TXT"_s);
        form().close();
    }
}

void TestParamDialog::choosingStores_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("stored");

    QTest::newRow("rate 2000000") << u"ComboBauRate"_s << u"2000000"_s << u"cBauRate"_s << 22;
    QTest::newRow("rate 110") << u"ComboBauRate"_s << u"110"_s << u"cBauRate"_s << 0;
    QTest::newRow("rate 115200") << u"ComboBauRate"_s << u"115200"_s << u"cBauRate"_s << 14;
    QTest::newRow("parity Even") << u"ComboParity"_s << u"Even"_s << u"cParity"_s << 1;
    QTest::newRow("parity Odd") << u"ComboParity"_s << u"Odd"_s << u"cParity"_s << 2;
    QTest::newRow("stop bits 1.5") << u"ComboStopBits"_s << u"1.5"_s << u"cStopBits"_s << 1;
    QTest::newRow("stop bits 2") << u"ComboStopBits"_s << u"2"_s << u"cStopBits"_s << 2;
    QTest::newRow("data bits 5") << u"ComboBiteSize"_s << u"5"_s << u"cBitSize"_s << 0;
    QTest::newRow("port COM5") << u"ComboComName"_s << u"COM5"_s << u"cComName"_s << 4;
    QTest::newRow("machine 2 port COM3") << u"ComboComName2"_s << u"COM3"_s << u"cComName2"_s << 2;
    QTest::newRow("place column 1") << u"ComboPlace"_s << u"1"_s << u"cPlace"_s << 0;
    QTest::newRow("lane column 9") << u"ComboLane"_s << u"9"_s << u"cLane"_s << 8;
    QTest::newRow("time column 3") << u"ComboTime"_s << u"3"_s << u"cTime"_s << 2;
    QTest::newRow("bib column 7") << u"ComboZekken"_s << u"7"_s << u"cZekken"_s << 6;
    // The dialog checks nothing: two columns may share a field.
    QTest::newRow("bib on the place column") << u"ComboZekken"_s << u"2"_s << u"cZekken"_s << 1;
}

void TestParamDialog::choosingStores()
{
    QFETCH(QString, combo);
    QFETCH(QString, entry);
    QFETCH(QString, setting);
    QFETCH(int, stored);

    const Settings before = m_settings;
    Settings expected = m_settings;
    field(expected, setting) = stored;
    form().show();
    choose(form().findChild<QComboBox *>(combo), entry);
    // Nothing is stored while the dialog is open.
    QCOMPARE(m_settings, before);
    closeBox();
    // Only the changed setting differs.
    QCOMPARE(m_settings, expected);
    QCOMPARE(m_logFolder, u"/logs"_s);
}

void TestParamDialog::radioGroupsAndCheckBoxesStore()
{
    form().show();
    clickBox(form().RadioWaitTime->button(4));
    clickBox(form().RadioExtName->button(1));
    form().Page1->setCurrentIndex(1);
    clickBox(form().UseSubCom);
    clickBox(form().CheckTimerON2);
    QVERIFY(form().CheckTimerON2->isChecked());
    closeBox();
    QCOMPARE(m_settings.cWaitTime, 4);
    QCOMPARE(m_settings.cLogExtOpt, 1);
    QCOMPARE(m_settings.cUseSubCom, true);
    QCOMPARE(m_settings.cCheckTimerON2, true);

    // And back.
    form().show();
    QCOMPARE(form().RadioWaitTime->button(4)->isChecked(), true);
    clickBox(form().RadioWaitTime->button(0));
    clickBox(form().RadioExtName->button(0));
    form().Page1->setCurrentIndex(1);
    clickBox(form().UseSubCom);
    closeBox();
    QCOMPARE(m_settings.cWaitTime, 0);
    QCOMPARE(m_settings.cLogExtOpt, 0);
    QCOMPARE(m_settings.cUseSubCom, false);
    QCOMPARE(m_settings.cCheckTimerON2, true);
}

void TestParamDialog::everyWayOfClosingStores_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("close box") << 0;
    QTest::newRow("Escape in a list") << 1;
    QTest::newRow("Escape in the folder box") << 2;
    QTest::newRow("modal, close box") << 3;
    QTest::newRow("modal, Escape") << 4;
}

void TestParamDialog::everyWayOfClosingStores()
{
    QFETCH(int, how);

    const auto edit = [this] {
        choose(form().ComboBauRate, u"38400"_s);
        form().EditLogFilePath->setText(u" /elsewhere "_s);
    };
    const auto escapeIn = [](QWidget *widget) {
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Escape);
    };
    if (how < 3) {
        form().show();
        edit();
        if (how == 0)
            closeBox();
        else
            escapeIn(how == 1 ? static_cast<QWidget *>(form().ComboBauRate) : form().EditLogFilePath);
    } else {
        bool ran = false;
        QTimer::singleShot(0, m_form.get(), [&] {
            ran = true;
            edit();
            if (how == 3)
                form().windowHandle()->close();
            else
                escapeIn(form().ComboParity);
            if (form().isVisible())
                form().done(-1);
        });
        QCOMPARE(form().exec(), int(QDialog::Rejected));
        QVERIFY(ran);
    }
    QVERIFY(!form().isVisible());
    QCOMPARE(m_settings.cBauRate, 11);
    QCOMPARE(m_logFolder, u" /elsewhere "_s);
    QCOMPARE(m_settings.exLogFilePath, u"/record's own"_s);
    QCOMPARE(m_dialogs->errors, QStringList());
}

void TestParamDialog::untouchedStoresWhatItShowed()
{
    const Settings unusual = unusualSettings();
    m_settings = unusual;
    m_logFolder = u"  \\\\server\\share  "_s;
    form().show();
    QCOMPARE(form().ComboComName->currentText(), u"COM3"_s);
    QCOMPARE(form().ComboBauRate->currentText(), u"115200"_s);
    QCOMPARE(form().ComboBiteSize->currentText(), u"6"_s);
    QCOMPARE(form().ComboParity->currentText(), u"Odd"_s);
    QCOMPARE(form().ComboStopBits->currentText(), u"2"_s);
    QCOMPARE(form().ComboPlace->currentText(), u"1"_s);
    QCOMPARE(form().ComboLane->currentText(), u"9"_s);
    QCOMPARE(form().ComboTime->currentText(), u"7"_s);
    QCOMPARE(form().ComboZekken->currentText(), u"6"_s);
    QCOMPARE(form().RadioWaitTime->itemIndex(), 3);
    QCOMPARE(form().RadioExtName->itemIndex(), 1);
    QCOMPARE(form().ComboComName2->currentText(), u"COM5"_s);
    QVERIFY(form().UseSubCom->isChecked());
    QVERIFY(form().CheckTimerON2->isChecked());
    QCOMPARE(form().EditLogFilePath->text(), u"  \\\\server\\share  "_s);
    closeBox();
    QCOMPARE(m_settings, unusual);
    QCOMPARE(m_logFolder, u"  \\\\server\\share  "_s);
}

void TestParamDialog::indexOutsideList_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("stored");

    QTest::newRow("cBauRate 23") << u"cBauRate"_s << 23 << u"ComboBauRate"_s << u"9600"_s << 8;
    QTest::newRow("cBauRate -1") << u"cBauRate"_s << -1 << u"ComboBauRate"_s << u"9600"_s << 8;
    QTest::newRow("cBauRate INT_MIN") << u"cBauRate"_s << INT_MIN << u"ComboBauRate"_s << u"9600"_s << 8;
    QTest::newRow("cComName 5") << u"cComName"_s << 5 << u"ComboComName"_s << u"COM1"_s << 0;
    QTest::newRow("cComName2 99") << u"cComName2"_s << 99 << u"ComboComName2"_s << u"COM1"_s << 0;
    QTest::newRow("cBitSize 4") << u"cBitSize"_s << 4 << u"ComboBiteSize"_s << u"8"_s << 3;
    QTest::newRow("cParity 3") << u"cParity"_s << 3 << u"ComboParity"_s << u"No"_s << 0;
    QTest::newRow("cStopBits -2") << u"cStopBits"_s << -2 << u"ComboStopBits"_s << u"1"_s << 0;
    QTest::newRow("cPlace 9") << u"cPlace"_s << 9 << u"ComboPlace"_s << u"2"_s << 1;
    QTest::newRow("cLane INT_MAX") << u"cLane"_s << INT_MAX << u"ComboLane"_s << u"3"_s << 2;
    QTest::newRow("cTime 10") << u"cTime"_s << 10 << u"ComboTime"_s << u"5"_s << 4;
    QTest::newRow("cZekken -1") << u"cZekken"_s << -1 << u"ComboZekken"_s << u"4"_s << 3;
    QTest::newRow("cWaitTime 5") << u"cWaitTime"_s << 5 << u"RadioWaitTime"_s << u"2秒"_s << 1;
    QTest::newRow("cLogExtOpt 2") << u"cLogExtOpt"_s << 2 << u"RadioExtName"_s << u"CSV"_s << 0;
}

void TestParamDialog::indexOutsideList()
{
    QFETCH(QString, setting);
    QFETCH(int, index);
    QFETCH(QString, control);
    QFETCH(QString, shown);
    QFETCH(int, stored);

    field(m_settings, setting) = index;
    form().show();
    if (const auto *combo = form().findChild<QComboBox *>(control)) {
        QCOMPARE(combo->currentText(), shown);
    } else {
        const auto *group = form().findChild<RadioGroup *>(control);
        QVERIFY(group);
        QVERIFY(group->itemIndex() >= 0);
        QCOMPARE(group->button(group->itemIndex())->text(), shown);
    }
    closeBox();
    QCOMPARE(field(m_settings, setting), stored);
}

void TestParamDialog::clearLogFolder_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("stored");
    QTest::newRow("Yes") << true << QString();
    QTest::newRow("No") << false << u"/logs"_s;
}

void TestParamDialog::clearLogFolder()
{
    QFETCH(bool, answer);
    QFETCH(QString, stored);

    form().show();
    m_dialogs->answers = {answer};
    QTest::mouseClick(form().bLogPathClear, Qt::LeftButton);
    QCOMPARE(m_dialogs->confirmations,
             QStringList{u"ﾛｸﾞﾌｧｲﾙの格納場所をｸﾘｱしてもいいですか ?\n空白の場合はデフォルトが使用されます。"_s});
    QCOMPARE(form().EditLogFilePath->text(), stored);
    // The setting itself changes only when the dialog closes.
    QCOMPARE(m_logFolder, u"/logs"_s);
    closeBox();
    QCOMPARE(m_logFolder, stored);
    QCOMPARE(m_settings.exLogFilePath, u"/record's own"_s);
}

void TestParamDialog::browse_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("folder");

    QTest::newRow("cancelled") << QString() << u"/logs"_s;
    QTest::newRow("file in a folder") << u"/data/logs/slit.txt"_s << u"/data/logs/"_s;
    QTest::newRow("typed name, no such file") << u"/data/new/none.csv"_s << u"/data/new/"_s;
    QTest::newRow("file at the root") << u"/slit.txt"_s << u"/"_s;
#ifdef Q_OS_WIN
    QTest::newRow("drive folder") << u"D:\\data\\logs\\slit.txt"_s << u"D:\\data\\logs\\"_s;
    QTest::newRow("drive root") << u"D:\\slit.txt"_s << u"D:\\"_s;
#endif
}

void TestParamDialog::browse()
{
    QFETCH(QString, chosen);
    QFETCH(QString, folder);

    // What the last use of the shared open dialog left.
    m_open.folder = u"/timetables"_s;
    m_open.fileName = u"/timetables/meet.txt"_s;
    m_open.filterIndex = 1;
    form().show();
    m_dialogs->files = {chosen};
    QTest::mouseClick(form().bGetPath, Qt::LeftButton);
    QCOMPARE(m_dialogs->openRequests.size(), 1);
    QCOMPARE(m_dialogs->openRequests.front().filterIndex, 2);
    QCOMPARE(m_dialogs->openRequests.front().folder, u"/timetables"_s);
    QCOMPARE(m_dialogs->openRequests.front().fileName, u"/timetables/meet.txt"_s);
    QCOMPARE(form().EditLogFilePath->text(), folder);
    QCOMPARE(m_logFolder, u"/logs"_s);
    closeBox();
    QCOMPARE(m_logFolder, folder);
    QCOMPARE(m_dialogs->errors, QStringList());
    QCOMPARE(m_dialogs->shown, QStringList());
}

void TestParamDialog::failingFileDialogIsIgnored()
{
    m_dialogs.reset();
    FailingDialogs failing;
    form().show();
    QTest::mouseClick(form().bGetPath, Qt::LeftButton);
    QCOMPARE(failing.shown, QStringList());
    QCOMPARE(form().EditLogFilePath->text(), u"/logs"_s);
    QVERIFY(form().isVisible());
    closeBox();
    QCOMPARE(m_logFolder, u"/logs"_s);
}

void TestParamDialog::recordWithoutMainWindowLogFolder()
{
    // Told of a record only, the dialog edits the record's own log folder.
    m_form->setSettings(&m_settings);
    form().show();
    QCOMPARE(form().EditLogFilePath->text(), u"/record's own"_s);
    form().EditLogFilePath->setText(u"/new"_s);
    closeBox();
    QCOMPARE(m_settings.exLogFilePath, u"/new"_s);
    QCOMPARE(m_logFolder, u"/logs"_s);
}

void TestParamDialog::noRecord()
{
    m_form->setSettings(nullptr);
    m_form->setOpenDialog(nullptr);
    form().show();
    QCOMPARE(form().ComboBauRate->currentText(), u"9600"_s);
    QCOMPARE(form().EditLogFilePath->text(), QString());
    m_dialogs->files = {u"/data/x.txt"_s};
    QTest::mouseClick(form().bGetPath, Qt::LeftButton);
    QCOMPARE(m_dialogs->openRequests.size(), 1);
    QCOMPARE(m_dialogs->openRequests.front().filterIndex, 2);
    QCOMPARE(form().EditLogFilePath->text(), u"/data/"_s);
    closeBox();
    QCOMPARE(m_settings.exLogFilePath, u"/record's own"_s);
    QCOMPARE(m_logFolder, u"/logs"_s);
    QCOMPARE(m_dialogs->errors, QStringList());
}

QTEST_MAIN(TestParamDialog)
#include "tst_ui_params.moc"
