#include "unit4.h"

#include "core/paths.h"
#include "core/settings.h"
#include "guard.h"
#include "windowfont.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <iterator>
#include <utility>

namespace Ordavex {

TForm4 *Form4 = nullptr;

RadioGroup::RadioGroup(const QString &title, const QStringList &items, QWidget *parent)
    : QGroupBox(title, parent)
    , m_buttons(new QButtonGroup(this))
{
    auto *column = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        m_buttons->addButton(button, i);
        column->addWidget(button);
    }
    column->addStretch(1);
}

RadioGroup::~RadioGroup() = default;

int RadioGroup::itemIndex() const
{
    return m_buttons->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *button = m_buttons->button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps its checked button; no index, no checked button.
    m_buttons->setExclusive(false);
    for (QAbstractButton *button : m_buttons->buttons())
        button->setChecked(false);
    m_buttons->setExclusive(true);
}

QRadioButton *RadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton *>(m_buttons->button(index));
}

int RadioGroup::count() const
{
    return int(m_buttons->buttons().size());
}

namespace {

QComboBox *newCombo(const char *name, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    // A choice from the list only: a typed text would be no entry of it.
    combo->setEditable(false);
    combo->setMaxVisibleItems(12);
    return combo;
}

QLabel *newLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

void fill(QComboBox *combo, const QStringList &entries)
{
    combo->clear();
    combo->addItems(entries);
}

} // namespace

TForm4::TForm4(QWidget *parent)
    : QDialog(parent)
{
    Form4 = this;
    setFont(WindowFont(12));
    setWindowTitle(CaptionParamDialog);
    setModal(true);

    Page1 = new QTabWidget(this);
    Page1->setObjectName(QStringLiteral("Page1"));
    buildSlitDataTab();
    buildPortTab();
    Page1->addTab(TabSheet1, QStringLiteral("ｽﾘｯﾄﾃﾞｰﾀ"));
    Page1->addTab(TabSheet2, QStringLiteral("ﾎﾟｰﾄ設定"));

    auto *whole = new QVBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->addWidget(Page1);
    setFixedSize(348, 310);

    ConnectHandler(bLogPathClear, &QPushButton::clicked, this, &TForm4::bLogPathClearClick);
    ConnectHandler(bGetPath, &QPushButton::clicked, this, &TForm4::bGetPathClick);
}

void TForm4::buildSlitDataTab()
{
    TabSheet1 = new QWidget(this);
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));

    LabelLogPath = newLabel("LabelLogPath", QStringLiteral("ﾌｧｲﾙの格納場所"), TabSheet1);
    bGetPath = new QPushButton(QStringLiteral("参照"), TabSheet1);
    bGetPath->setObjectName(QStringLiteral("bGetPath"));
    bLogPathClear = new QPushButton(QStringLiteral("ｸﾘｱ"), TabSheet1);
    bLogPathClear->setObjectName(QStringLiteral("bLogPathClear"));
    for (QPushButton *button : {bGetPath, bLogPathClear}) {
        // No default button: Enter in the folder box does not browse or clear.
        button->setAutoDefault(false);
    }
    EditLogFilePath = new QLineEdit(TabSheet1);
    EditLogFilePath->setObjectName(QStringLiteral("EditLogFilePath"));

    RadioWaitTime = new RadioGroup(QStringLiteral("ﾀｲﾏｰ値"), LinkDialog::WaitTimeEntries(), TabSheet1);
    RadioWaitTime->setObjectName(QStringLiteral("RadioWaitTime"));
    RadioExtName = new RadioGroup(QStringLiteral("拡張子"), LinkDialog::LogExtEntries(), TabSheet1);
    RadioExtName->setObjectName(QStringLiteral("RadioExtName"));

    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(LabelLogPath);
    pathRow->addStretch(1);
    pathRow->addWidget(bGetPath);
    pathRow->addWidget(bLogPathClear);
    auto *groups = new QHBoxLayout;
    groups->addWidget(RadioWaitTime, 1);
    groups->addWidget(RadioExtName, 1);

    auto *column = new QVBoxLayout(TabSheet1);
    column->addLayout(pathRow);
    column->addWidget(EditLogFilePath);
    column->addSpacing(6);
    column->addLayout(groups, 1);
}

void TForm4::buildPortTab()
{
    TabSheet2 = new QWidget(this);
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));

    GroupPort = new QGroupBox(QStringLiteral("ﾎﾟｰﾄ設定"), TabSheet2);
    GroupPort->setObjectName(QStringLiteral("GroupPort"));
    Label1 = newLabel("Label1", QStringLiteral("COM ﾎﾟｰﾄ"), GroupPort);
    ComboComName = newCombo("ComboComName", GroupPort);
    Label2 = newLabel("Label2", QStringLiteral("ﾋﾞｯﾄﾚｰﾄ/秒"), GroupPort);
    ComboBauRate = newCombo("ComboBauRate", GroupPort);
    Label3 = newLabel("Label3", QStringLiteral("ﾃﾞｰﾀﾋﾞｯﾄ"), GroupPort);
    ComboBiteSize = newCombo("ComboBiteSize", GroupPort);
    Label4 = newLabel("Label4", QStringLiteral("ﾊﾟﾘﾃｨﾁｪｯｸ"), GroupPort);
    ComboParity = newCombo("ComboParity", GroupPort);
    Label5 = newLabel("Label5", QStringLiteral("ｽﾄｯﾌﾟﾋﾞｯﾄ"), GroupPort);
    ComboStopBits = newCombo("ComboStopBits", GroupPort);
    auto *portGrid = new QGridLayout(GroupPort);
    const std::pair<QLabel *, QComboBox *> portRows[] = {
        {Label1, ComboComName}, {Label2, ComboBauRate}, {Label3, ComboBiteSize},
        {Label4, ComboParity}, {Label5, ComboStopBits},
    };
    for (int row = 0; const auto &[label, combo] : portRows) {
        portGrid->addWidget(label, row, 0);
        portGrid->addWidget(combo, row++, 1);
    }

    GroupColumns = new QGroupBox(QStringLiteral("取込位置"), TabSheet2);
    GroupColumns->setObjectName(QStringLiteral("GroupColumns"));
    Label7 = newLabel("Label7", QStringLiteral("順位ｶﾗﾑ"), GroupColumns);
    ComboPlace = newCombo("ComboPlace", GroupColumns);
    Label8 = newLabel("Label8", QStringLiteral("ﾚｰﾝｶﾗﾑ"), GroupColumns);
    ComboLane = newCombo("ComboLane", GroupColumns);
    Label12 = newLabel("Label12", QStringLiteral("ｾﾞｯｹﾝｶﾗﾑ"), GroupColumns);
    ComboZekken = newCombo("ComboZekken", GroupColumns);
    Label9 = newLabel("Label9", QStringLiteral("ﾀｲﾑｶﾗﾑ"), GroupColumns);
    ComboTime = newCombo("ComboTime", GroupColumns);
    auto *columnGrid = new QGridLayout(GroupColumns);
    const std::pair<QLabel *, QComboBox *> columnRows[] = {
        {Label7, ComboPlace}, {Label8, ComboLane}, {Label12, ComboZekken}, {Label9, ComboTime},
    };
    for (int row = 0; const auto &[label, combo] : columnRows) {
        columnGrid->addWidget(label, row, 0);
        columnGrid->addWidget(combo, row++, 1);
    }
    columnGrid->setRowStretch(int(std::size(columnRows)), 1);

    Label13 = newLabel("Label13", QStringLiteral("2号機COM ﾎﾟｰﾄ"), TabSheet2);
    ComboComName2 = newCombo("ComboComName2", TabSheet2);
    UseSubCom = new QCheckBox(QStringLiteral("2号機を使用する"), TabSheet2);
    UseSubCom->setObjectName(QStringLiteral("UseSubCom"));
    CheckTimerON2 = new QCheckBox(QStringLiteral("2号機　ﾀｲﾏｰON"), TabSheet2);
    CheckTimerON2->setObjectName(QStringLiteral("CheckTimerON2"));
    // The caption left of the box.
    CheckTimerON2->setLayoutDirection(Qt::RightToLeft);

    auto *groups = new QHBoxLayout;
    groups->addWidget(GroupPort, 1);
    groups->addWidget(GroupColumns, 1);
    auto *secondMachine = new QHBoxLayout;
    secondMachine->addWidget(Label13);
    secondMachine->addWidget(ComboComName2);
    secondMachine->addSpacing(12);
    secondMachine->addWidget(UseSubCom);
    secondMachine->addStretch(1);
    auto *timerRow = new QHBoxLayout;
    timerRow->addWidget(CheckTimerON2);
    timerRow->addStretch(1);

    auto *column = new QVBoxLayout(TabSheet2);
    column->addLayout(groups, 1);
    column->addLayout(secondMachine);
    column->addLayout(timerRow);
}

TForm4::~TForm4()
{
    if (Form4 == this)
        Form4 = nullptr;
}

void TForm4::setSettings(Settings *settings, QString *logFolder)
{
    m_settings = settings;
    m_logFolder = logFolder;
}

void TForm4::setOpenDialog(Dialogs::OpenDialogState *openDialog)
{
    m_openDialog = openDialog;
}

void TForm4::setVisible(bool visible)
{
    // Centred on the desktop whatever window it belongs to.
    if (visible && !isVisible())
        if (const QScreen *desktop = screen())
            move(desktop->availableGeometry().center() - rect().center());
    QDialog::setVisible(visible);
}

void TForm4::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded(this, [this] { FormShow(); });
}

void TForm4::done(int result)
{
    Guarded(this, [this] { FormClose(); });
    QDialog::done(result);
}

void TForm4::FormShow()
{
    fill(ComboComName, LinkDialog::PortEntries());
    fill(ComboComName2, LinkDialog::PortEntries());
    fill(ComboBauRate, LinkDialog::RateEntries());
    fill(ComboBiteSize, LinkDialog::BitSizeEntries());
    fill(ComboParity, LinkDialog::ParityEntries());
    fill(ComboStopBits, LinkDialog::StopBitsEntries());
    const QStringList columns = LinkDialog::ColumnEntries();
    for (QComboBox *combo : {ComboPlace, ComboLane, ComboTime, ComboZekken})
        fill(combo, columns);

    if (m_settings) {
        const QString &logFolder = m_logFolder ? *m_logFolder : m_settings->exLogFilePath;
        showChoices(LinkDialog::ChoicesFromSettings(*m_settings, logFolder));
    } else {
        showChoices(LinkDialog::ChoicesFromSettings(Settings(), QString()));
    }
    Page1->setCurrentIndex(0);
}

void TForm4::FormClose()
{
    if (!m_settings)
        return;
    QString &logFolder = m_logFolder ? *m_logFolder : m_settings->exLogFilePath;
    LinkDialog::StoreChoices(currentChoices(), *m_settings, logFolder);
}

void TForm4::showChoices(const LinkDialog::Choices &c)
{
    RadioWaitTime->setItemIndex(c.cWaitTime);
    ComboComName->setCurrentIndex(c.cComName);
    ComboComName2->setCurrentIndex(c.cComName2);
    ComboBauRate->setCurrentIndex(c.cBauRate);
    ComboBiteSize->setCurrentIndex(c.cBitSize);
    ComboParity->setCurrentIndex(c.cParity);
    ComboStopBits->setCurrentIndex(c.cStopBits);
    ComboPlace->setCurrentIndex(c.cPlace);
    ComboLane->setCurrentIndex(c.cLane);
    ComboTime->setCurrentIndex(c.cTime);
    ComboZekken->setCurrentIndex(c.cZekken);
    EditLogFilePath->setText(c.logFolder);
    RadioExtName->setItemIndex(c.cLogExtOpt);
    UseSubCom->setChecked(c.cUseSubCom);
    CheckTimerON2->setChecked(c.cCheckTimerON2);
}

LinkDialog::Choices TForm4::currentChoices() const
{
    LinkDialog::Choices c;
    c.cComName = ComboComName->currentIndex();
    c.cBauRate = ComboBauRate->currentIndex();
    c.cBitSize = ComboBiteSize->currentIndex();
    c.cParity = ComboParity->currentIndex();
    c.cStopBits = ComboStopBits->currentIndex();
    c.cPlace = ComboPlace->currentIndex();
    c.cLane = ComboLane->currentIndex();
    c.cTime = ComboTime->currentIndex();
    c.cZekken = ComboZekken->currentIndex();
    c.cWaitTime = RadioWaitTime->itemIndex();
    c.logFolder = EditLogFilePath->text();
    c.cLogExtOpt = RadioExtName->itemIndex();
    c.cComName2 = ComboComName2->currentIndex();
    c.cUseSubCom = UseSubCom->isChecked();
    c.cCheckTimerON2 = CheckTimerON2->isChecked();
    return c;
}

void TForm4::bLogPathClearClick()
{
    if (Dialogs::instance().confirm(this, LinkDialog::MsgClearLogPath))
        EditLogFilePath->clear();
}

void TForm4::bGetPathClick()
{
    Dialogs::OpenDialogState &state = m_openDialog ? *m_openDialog : m_ownOpenDialog;
    // "*.txt"; the file name and folder stay as the last use left them.
    state.filterIndex = 2;
    QString chosen;
    try {
        chosen = Dialogs::instance().openFileName(this, state);
    } catch (...) {
        // A file dialog that fails changes nothing and says nothing: the box is kept.
        return;
    }
    if (!chosen.isEmpty())
        EditLogFilePath->setText(Paths::folderOf(chosen));
}

} // namespace Ordavex
