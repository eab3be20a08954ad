#include "mainformui.h"

#include "core/gridmodel.h"
#include "core/heatsheet.h"
#include "actionicons.h"
#include "fieldmenu.h"
#include "ime.h"
#include "inputgrid.h"
#include "sankaspin.h"
#include "windowfont.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace Ordavex {

namespace {

// A tool button whose action has no hint shows no tip: the action would otherwise
// offer its caption as one.
class NoToolTip final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip)
            return true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void MainFormUi::setupUi(QMainWindow *window, ResultGrid *grid)
{
    setupActions(window);
    setupControls(window, grid);
}

void MainFormUi::setupActions(QMainWindow *window)
{
    // No status tips: panel 0 of the status bar always shows the target path.
    QList<QAction *> withoutHint;
    auto make = [window, &withoutHint](const QString &name, const QString &caption, const QString &hint,
                                       ActionIconKind icon) {
        auto *action = new QAction(ActionIcon(icon), caption, window);
        action->setObjectName(name);
        if (hint.isEmpty())
            withoutHint << action;
        else
            action->setToolTip(hint);
        return action;
    };
    AC_OpenTTBL = make(QStringLiteral("AC_OpenTTBL"), QStringLiteral("ﾀｲﾑﾃｰﾌﾞﾙを開く"), QStringLiteral("ﾀｲﾑﾃｰﾌﾞﾙを開く"),
                       ActionIconKind::Timetable);
    AC_OpenFile = make(QStringLiteral("AC_OpenFile"), QStringLiteral("開く"), QStringLiteral("CSVを開く"),
                       ActionIconKind::OpenFile);
    FileSaveAS = make(QStringLiteral("FileSaveAS"), QStringLiteral("保存"), QStringLiteral("CSVを保存"),
                      ActionIconKind::Save);
    ClipCopy = make(QStringLiteral("ClipCopy"), QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰ"), {}, ActionIconKind::Clipboard);
    RenameCsvFile = make(QStringLiteral("RenameCsvFile"), QStringLiteral("ﾌｧｲﾙ名変更"), QStringLiteral("ﾌｧｲﾙ名変更"),
                         ActionIconKind::Rename);
    RS232COpen = make(QStringLiteral("RS232COpen"), QStringLiteral("RS232C通信"), QStringLiteral("RS232C通信"),
                      ActionIconKind::SerialLink);
    RS232CParamOpen = make(QStringLiteral("RS232CParamOpen"), QStringLiteral("RS232Cﾊﾟﾗﾒｰﾀ"), {}, ActionIconKind::LinkSettings);
    EraseInputGrid = make(QStringLiteral("EraseInputGrid"), QStringLiteral("画面ﾃﾞｰﾀｸﾘｱ"), QStringLiteral("画面ﾃﾞｰﾀｸﾘｱ"),
                          ActionIconKind::Erase);
    openDelForm = make(QStringLiteral("openDelForm"), QStringLiteral("openDelForm"), QStringLiteral("CSVﾌｧｲﾙの削除"),
                       ActionIconKind::Delete);
    AC_Close = make(QStringLiteral("AC_Close"), QStringLiteral("終了"), QStringLiteral("終了"), ActionIconKind::Close);
    // Menu only: the tool bar keeps its buttons.
    PrintHeatSheet = new QAction(ActionIcon(ActionIconKind::HeatSheet), QStringLiteral("組ｼｰﾄ印刷"), window);
    PrintHeatSheet->setObjectName(QStringLiteral("PrintHeatSheet"));
    PrintHeatSheet->setToolTip(QStringLiteral("組ｼｰﾄを印刷またはPDFに保存"));
    BoardOpen = new QAction(ActionIcon(ActionIconKind::Board), QStringLiteral("速報ﾎﾞｰﾄﾞ"), window);
    BoardOpen->setObjectName(QStringLiteral("BoardOpen"));
    BoardOpen->setToolTip(QStringLiteral("速報ﾎﾞｰﾄﾞの公開と設定"));

    ToolBar1 = window->addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->addAction(AC_OpenTTBL);
    ToolBar1->addSeparator();
    ToolBar1->addAction(AC_OpenFile);
    ToolBar1->addAction(FileSaveAS);
    ToolBar1->addSeparator();
    ToolBar1->addAction(EraseInputGrid);
    ToolBar1->addAction(openDelForm);
    ToolBar1->addSeparator();
    ToolBar1->addAction(RS232COpen);
    ToolBar1->addAction(ClipCopy);
    ToolBar1->addAction(AC_Close);
    for (QAction *action : std::as_const(withoutHint)) {
        if (QWidget *button = ToolBar1->widgetForAction(action))
            button->installEventFilter(new NoToolTip(button));
    }

    // The menu shows only tips that were given (a menu never falls back to captions).
    QMenu *menu = window->menuBar()->addMenu(QStringLiteral("ﾒﾆｭｰ"));
    menu->setToolTipsVisible(true);
    menu->addAction(AC_OpenTTBL);
    menu->addSeparator();
    menu->addAction(AC_OpenFile);
    menu->addAction(FileSaveAS);
    menu->addAction(ClipCopy);
    menu->addAction(RenameCsvFile);
    menu->addAction(PrintHeatSheet);
    menu->addAction(BoardOpen);
    menu->addSeparator();
    menu->addAction(RS232COpen);
    menu->addAction(RS232CParamOpen);
    menu->addAction(EraseInputGrid);
    menu->addAction(AC_Close);
}

void MainFormUi::setupControls(QMainWindow *window, ResultGrid *grid)
{
    window->resize(438, 541);
    if (const QScreen *screen = window->screen())
        window->move(screen->availableGeometry().center() - window->rect().center());

    auto *central = new QWidget(window);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *panel = new QWidget(central);
    panel->setFixedHeight(87);
    column->addWidget(panel);

    // A group of two radio buttons side by side; the second starts at split.
    auto radioGroup = [panel](const QString &title, QPoint at, int width, const QString &first,
                              const QString &second, int split, QRadioButton *&one, QRadioButton *&two) {
        auto *group = new QGroupBox(title, panel);
        group->setGeometry(at.x(), at.y(), width, 41);
        one = new QRadioButton(first, group);
        one->setGeometry(6, 17, split - 6, 18);
        two = new QRadioButton(second, group);
        two->setGeometry(split, 17, width - split - 2, 18);
        return group;
    };
    RaceKind = radioGroup(QStringLiteral("ﾚｰｽ種類"), {2, 0}, 112, QStringLiteral("ﾄﾗｯｸ"), QStringLiteral("道路"), 58,
                          RadioButton1, RadioButton2);
    AssigKind = radioGroup(QStringLiteral("割付名"), {2, 43}, 112, QStringLiteral("ﾚｰﾝ"), QStringLiteral("ﾅﾝﾊﾞｰ"), 52,
                           RadioButton5, RadioButton6);
    CurStyle = radioGroup(QStringLiteral("ｶｰｿﾙ移動"), {116, 0}, 124, QStringLiteral("横方向"), QStringLiteral("縦方向"), 64,
                          RadioButton3, RadioButton4);

    LblCurWay = new QLabel(QStringLiteral("→"), panel);
    LblCurWay->setFont(WindowFont(21));
    LblCurWay->setGeometry(244, 6, 24, 28);

    Label1 = new QLabel(QStringLiteral("行数"), panel);
    Label1->setGeometry(118, 54, 26, 16);
    SankaSpinNum = new SpinEdit(panel);
    SankaSpinNum->setRange(1, ResultGrid::MaxDataRows);
    SankaSpinNum->setText(QStringLiteral("8"));
    SankaSpinNum->setFont(WindowFont(17));
    SankaSpinNum->setGeometry(144, 47, 62, 30);
    SankaSpinNum->setFocusPolicy(Qt::ClickFocus);   // not a tab stop

    SwapFixRow = new QPushButton(QStringLiteral("⇔"), panel);
    SwapFixRow->setGeometry(212, 50, 28, 24);
    SwapFixRow->setFocusPolicy(Qt::NoFocus);

    QuickInput = new QCheckBox(QStringLiteral("簡易ｲﾝﾌﾟｯﾄ"), panel);
    validCheck = new QCheckBox(QStringLiteral("ﾀｲﾑ確認"), panel);
    sixtyFix = new QCheckBox(QStringLiteral("60秒補正"), panel);
    autoInc = new QCheckBox(QStringLiteral("自動行挿入"), panel);
    autoClear = new QCheckBox(QStringLiteral("自動画面ｸﾘｱ"), panel);
    int y = 2;
    for (QCheckBox *box : {QuickInput, validCheck, sixtyFix, autoInc, autoClear}) {
        box->setChecked(true);
        box->setGeometry(272, y, 96, 16);
        y += 17;
    }

    Label2 = new QLabel(QStringLiteral("風"), panel);
    Label2->setGeometry(372, 10, 14, 16);
    EditKaze = new QLineEdit(panel);
    EditKaze->setGeometry(386, 5, 48, 26);
    SwitchImeOff(EditKaze);
    OfferEditingMenuOnly(EditKaze);
    WindMarker = new QLabel(WindMarkerText, panel);
    WindMarker->setObjectName(QStringLiteral("WindMarker"));
    WindMarker->setFont(WindowFont(11));
    QPalette red = WindMarker->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    WindMarker->setPalette(red);
    WindMarker->setGeometry(372, 34, 64, 16);
    WindMarker->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    WindMarker->hide();

    NoticeStrip = new QFrame(central);
    NoticeStrip->setObjectName(QStringLiteral("NoticeStrip"));
    NoticeStrip->setFrameShape(QFrame::Box);
    NoticeStrip->setAutoFillBackground(true);
    QPalette notice = NoticeStrip->palette();
    notice.setColor(QPalette::Window, QColor::fromRgb(NoticeBackground));
    notice.setColor(QPalette::WindowText, QColor(0x80, 0, 0));
    NoticeStrip->setPalette(notice);
    NoticeStrip->setFocusPolicy(Qt::NoFocus);
    auto *noticeRow = new QHBoxLayout(NoticeStrip);
    noticeRow->setContentsMargins(4, 2, 4, 2);
    NoticeText = new QLabel(NoticeStrip);
    NoticeText->setObjectName(QStringLiteral("NoticeText"));
    NoticeText->setWordWrap(true);
    // A long path must not widen the window: the text is cut at the strip's edge.
    NoticeText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    NoticeText->setTextInteractionFlags(Qt::NoTextInteraction);
    NoticeText->setFocusPolicy(Qt::NoFocus);
    NoticeRead = new QPushButton(QStringLiteral("確認"), NoticeStrip);
    NoticeRead->setObjectName(QStringLiteral("NoticeRead"));
    NoticeRead->setFocusPolicy(Qt::NoFocus);
    NoticeRead->setAutoDefault(false);
    noticeRow->addWidget(NoticeText, 1);
    noticeRow->addWidget(NoticeRead, 0, Qt::AlignVCenter);
    NoticeStrip->hide();
    column->addWidget(NoticeStrip);

    auto *body = new QWidget(central);
    auto *row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    InputGrid = new InputGridView(grid, body);
    InputGrid->setFixedWidth(202);
    OfferEditingMenuOnly(InputGrid->editor());
    QFont gridFont = WindowFont(12);
    gridFont.setPointSize(10);
    InputGrid->setFont(gridFont);
    InputGrid->horizontalHeader()->setFont(gridFont);
    InputGrid->verticalHeader()->setFont(gridFont);
    ListDirBox = new QListWidget(body);
    ListDirBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ListDirBox->setFocusPolicy(Qt::ClickFocus);
    auto *side = new QVBoxLayout;
    side->setContentsMargins(0, 0, 0, 0);
    side->setSpacing(0);
    StarterLabel = new QLabel(body);
    StarterLabel->setObjectName(QStringLiteral("StarterLabel"));
    // Two lines of a fixed height: a new text never lays the window out again.
    StarterLabel->setContentsMargins(6, 2, 6, 2);
    StarterLabel->setFixedHeight(2 * StarterLabel->fontMetrics().lineSpacing() + 4);
    StarterLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    StarterLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    StarterLabel->setFocusPolicy(Qt::NoFocus);
    StarterLabel->hide();
    side->addWidget(StarterLabel);
    side->addWidget(ListDirBox, 1);
    row->addWidget(InputGrid);
    row->addLayout(side, 1);
    column->addWidget(body, 1);
    window->setCentralWidget(central);

    StatusBar1 = new QStatusBar(window);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setMinimumWidth(50);
    StatusPanel0->setAutoFillBackground(true);
    QPalette silver = StatusPanel0->palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    StatusPanel0->setPalette(silver);
    StatusBar1->addWidget(StatusPanel0, 1);
    BoardIndicator = new QLabel(QStringLiteral("速報ON"), StatusBar1);
    BoardIndicator->setObjectName(QStringLiteral("BoardIndicator"));
    BoardIndicator->setContentsMargins(4, 0, 4, 0);
    BoardIndicator->hide();
    StatusBar1->addPermanentWidget(BoardIndicator);
    window->setStatusBar(StatusBar1);
}

} // namespace Ordavex
