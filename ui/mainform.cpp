#include "mainform.h"

#include "core/gridmodel.h"
#include "core/keyfilter.h"
#include "core/resultfile.h"
#include "core/runtimeerror.h"
#include "core/windrules.h"
#include "actionicons.h"
#include "dialogs.h"
#include "guard.h"
#include "ime.h"
#include "inputgrid.h"
#include "sankaspin.h"
#include "windowfont.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include <algorithm>

namespace Ordavex {

TForm1 *Form1 = nullptr;

TForm1::TForm1(const Paths::AppPaths &paths, QWidget *parent)
    : QMainWindow(parent)
    , m_paths(paths)
    , m_grid(new ResultGrid(this))
{
    // Handlers fired while the window is built reach it through the global.
    Form1 = this;

    // The font first, so that every control is born with it instead of being told of
    // a change one by one.
    setFont(WindowFont(12));
    createActions();
    createControls();

    m_workFolder = m_paths.defaultWorkFolder;
    m_settingsPath = m_paths.settingsFile;
    m_settings = ReadSettings(m_settingsPath, m_workFolder);
    m_workFolder = m_settings.exFilePath;
    m_logFolder = m_settings.exLogFilePath;

    const Paths::LogFolderCheck logCheck = Paths::CheckLogFolder(m_logFolder, m_paths.baseFolder);
    m_logFolder = logCheck.logFolder;
    for (const QString &message : logCheck.messages)
        showMessage(message);

    QuickInput->setChecked(m_settings.QuickInput);
    validCheck->setChecked(m_settings.validCheck);
    sixtyFix->setChecked(m_settings.sixtyFix);
    autoInc->setChecked(m_settings.autoInc);
    autoClear->setChecked(m_settings.autoClear);

    (m_settings.RaceKind == 1 ? RadioButton1 : RadioButton2)->setChecked(true);
    (m_settings.AssigKind == 5 ? RadioButton5 : RadioButton6)->setChecked(true);
    (m_settings.CurStyle == 3 ? RadioButton3 : RadioButton4)->setChecked(true);

    // Only columns 0 and 1 can carry the place heading; any other stored value would
    // let it overwrite the time heading.
    if (m_settings.NumColID != 1)
        m_settings.NumColID = 0;
    if (m_settings.Maxrunner < 8)
        m_settings.Maxrunner = 8;
    SankaSpinNum->setValue(m_settings.Maxrunner);
    // The spin edit held the value to its range and its handler took it over.
    m_settings.Maxrunner = SankaSpinNum->value();

    setTargetPath(Paths::join(m_workFolder, QStringLiteral("Untitled.csv")));
    LayoutGrid();

    m_activeMachine = 0;
    m_activePort = m_settings.cComName;
    m_activeTimer = m_settings.cCheckTimerON;
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::createActions()
{
    auto make = [this](const QString &name, const QString &caption, const QString &hint, ActionIconKind icon) {
        auto *action = new QAction(ActionIcon(icon), caption, this);
        action->setObjectName(name);
        action->setToolTip(hint.isEmpty() ? caption : hint);
        action->setStatusTip(hint);
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

    ConnectHandler(AC_OpenFile, &QAction::triggered, this, &TForm1::AC_OpenFileExecute);
    ConnectHandler(FileSaveAS, &QAction::triggered, this, &TForm1::FileSaveASExecute);
    ConnectHandler(EraseInputGrid, &QAction::triggered, this, &TForm1::EraseInputGridExecute);
    ConnectHandler(AC_Close, &QAction::triggered, this, &TForm1::AC_CloseExecute);
    // Timetable, clipboard, renaming, deleting and the serial link come with their windows.
    for (QAction *pending : {AC_OpenTTBL, ClipCopy, RenameCsvFile, RS232COpen, RS232CParamOpen, openDelForm})
        pending->setEnabled(false);

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
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

    QMenu *menu = menuBar()->addMenu(QStringLiteral("ﾒﾆｭｰ"));
    menu->setToolTipsVisible(true);
    menu->addAction(AC_OpenTTBL);
    menu->addSeparator();
    menu->addAction(AC_OpenFile);
    menu->addAction(FileSaveAS);
    menu->addAction(ClipCopy);
    menu->addAction(RenameCsvFile);
    menu->addSeparator();
    menu->addAction(RS232COpen);
    menu->addAction(RS232CParamOpen);
    menu->addAction(EraseInputGrid);
    menu->addAction(AC_Close);
}

void TForm1::createControls()
{
    setWindowTitle(CaptionBuilding);
    resize(438, 541);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    auto *central = new QWidget(this);
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
    EditKaze->installEventFilter(this);
    SwitchImeOff(EditKaze);

    auto *body = new QWidget(central);
    auto *row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    InputGrid = new InputGridView(m_grid, body);
    InputGrid->setFixedWidth(202);
    QFont gridFont = WindowFont(12);
    gridFont.setPointSize(10);
    InputGrid->setFont(gridFont);
    InputGrid->horizontalHeader()->setFont(gridFont);
    ListDirBox = new QListWidget(body);
    ListDirBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ListDirBox->setFocusPolicy(Qt::ClickFocus);
    row->addWidget(InputGrid);
    row->addWidget(ListDirBox, 1);
    column->addWidget(body, 1);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setMinimumWidth(50);
    StatusPanel0->setAutoFillBackground(true);
    QPalette silver = StatusPanel0->palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    StatusPanel0->setPalette(silver);
    StatusBar1->addWidget(StatusPanel0, 1);
    setStatusBar(StatusBar1);

    // Handlers.
    ConnectHandler(SankaSpinNum, &SpinEdit::changed, this, &TForm1::SankaSpinNumChange);
    ConnectHandler(SankaSpinNum, &SpinEdit::clicked, this, &TForm1::SankaSpinNumClick);
    // A radio button's click handler runs when it becomes checked, by the operator or
    // by the program.
    auto onChecked = [this](QRadioButton *button, void (TForm1::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on)
                Guarded(this, [this, handler] { (this->*handler)(); });
        });
    };
    onChecked(RadioButton1, &TForm1::RadioButton2Click);
    onChecked(RadioButton2, &TForm1::RadioButton2Click);
    onChecked(RadioButton5, &TForm1::RadioButton5Click);
    onChecked(RadioButton6, &TForm1::RadioButton5Click);
    onChecked(RadioButton3, &TForm1::RadioButton3Click);
    onChecked(RadioButton4, &TForm1::RadioButton4Click);
    ConnectHandler(SwapFixRow, &QPushButton::clicked, this, &TForm1::SwapFixRowClick);
    for (QCheckBox *box : {sixtyFix, autoInc, autoClear})
        ConnectHandler(box, &QCheckBox::toggled, this, &TForm1::sixtyFixClick);

    InputGrid->keyPressHandler = [this](QChar &key) { InputGridKeyPress(key); };
    InputGrid->keyUpHandler = [this](int key) { InputGridKeyUp(key); };
    InputGrid->cellDelegate()->timeText = [this](const QString &text) {
        return Ordavex::TimeDisplayText(text, RaceKindIndex() == 0, sixtyFix->isChecked());
    };
    ConnectHandler(InputGrid, &InputGridView::cellClicked, this, &TForm1::InputGridClick);
    connect(InputGrid, &InputGridView::cellSelected, this, [this](int col, int row) {
        Guarded(this, [&] { InputGridSelectCell(col, row); });
    });
}

void TForm1::setTargetPath(const QString &path)
{
    m_targetPath = path;
    StatusPanel0->setText(path);
}

void TForm1::showMessage(const QString &text)
{
    Dialogs::instance().message(this, text);
}

// ---- grid layout and row count ----

void TForm1::LayoutGrid()
{
    m_grid->setCell(0, 0, QStringLiteral("順位"));
    UpdateHeadings();
    m_grid->setCell(2, 0, QStringLiteral("ﾀｲﾑ"));
    const QFontMetrics metrics(InputGrid->font());
    InputGrid->setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("XXXXX")));
    InputGrid->setColumnWidth(1, metrics.horizontalAdvance(QStringLiteral("XXXXXXX")));
    InputGrid->setColumnWidth(2, metrics.horizontalAdvance(QStringLiteral("XXX2:15:54.12")));
    // Where the fall-back font is wider than "ＭＳ Ｐゴシック" the grid widens to keep all
    // three columns in view instead of hiding the time column behind a scroll bar.
    const int columns = InputGrid->columnWidth(0) + InputGrid->columnWidth(1) + InputGrid->columnWidth(2);
    const int needed = columns + 2 * InputGrid->frameWidth() + InputGrid->verticalScrollBar()->sizeHint().width() + 2;
    InputGrid->setFixedWidth(std::max(202, needed));
    InputGrid->horizontalScrollBar()->setValue(0);
    ApplyRowCount();
}

void TForm1::ApplyRowCount()
{
    m_grid->setGridRowCount(m_settings.Maxrunner + 1);
    for (int i = 1; i <= m_settings.Maxrunner; ++i)
        m_grid->setCell(0, i, QString::number(i));
}

void TForm1::UpdateHeadings()
{
    const int other = m_settings.NumColID == 0 ? 1 : 0;
    m_grid->setCell(other, 0, RadioButton5->isChecked() ? QStringLiteral("ﾚｰﾝ") : QStringLiteral("ﾅﾝﾊﾞｰ"));
    m_grid->setCell(m_settings.NumColID, 0, QStringLiteral("順位"));
}

void TForm1::SankaSpinNumChange()
{
    const RowCountChange change = InterpretRowCountText(SankaSpinNum->text());
    switch (change.action) {
    case RowCountChange::Ignore:
        return;
    case RowCountChange::ReplaceWithMinimum:
        SankaSpinNum->setText(QString::number(SankaSpinNum->minimum()));
        return;
    case RowCountChange::Apply:
        m_settings.Maxrunner = change.value;
        ApplyRowCount();
        return;
    }
}

void TForm1::SankaSpinNumClick()
{
    SwitchImeOff(SankaSpinNum);
}

void TForm1::RadioButton2Click()
{
    InputGrid->viewport()->update();
}

void TForm1::RadioButton5Click()
{
    UpdateHeadings();
}

void TForm1::SwapFixRowClick()
{
    m_settings.NumColID = m_settings.NumColID == 0 ? 1 : 0;
    UpdateHeadings();
}

// ---- entry ----

bool TForm1::UpdateCursorWay()
{
    const bool vertical = !RadioButton3->isChecked();
    LblCurWay->setText(vertical ? QStringLiteral("↓") : QStringLiteral("→"));
    return vertical;
}

void TForm1::RadioButton3Click()
{
    UpdateCursorWay();
}

void TForm1::RadioButton4Click()
{
    UpdateCursorWay();
}

void TForm1::sixtyFixClick()
{
    InputGrid->viewport()->update();
}

int TForm1::RaceKindIndex() const
{
    return RadioButton1->isChecked() ? 0 : 1;
}

TimeSettings TForm1::timeSettings() const
{
    return {RaceKindIndex() == 0, sixtyFix->isChecked(), validCheck->isChecked()};
}

QString TForm1::TimeDisplayText(int col, int row) const
{
    return Ordavex::TimeDisplayText(m_grid->cell(col, row), RaceKindIndex() == 0, sixtyFix->isChecked());
}

Completion TForm1::CompleteTime(const QString &typed, const QString &above)
{
    const Completion completion = Ordavex::CompleteTime(typed, above, timeSettings());
    if (completion.needsCheck)
        showMessage(TimeCheckMessage);
    return completion;
}

void TForm1::InputGridKeyPress(QChar &key)
{
    const int col = InputGrid->col();
    const int row = InputGrid->row();
    const QString text = m_grid->cell(col, row);
    if (text.size() >= 8) {
        if (key != Backspace)
            key = QChar();
        return;
    }
    if (key == EnterKey) {
        key = QChar();
        bool warning = false;
        if (col == 2 && row >= 2 && QuickInput->isChecked()) {
            const Completion completion = CompleteTime(TrimText(text), TrimText(m_grid->cell(2, row - 1)));
            m_grid->setCell(col, row, completion.text);
            warning = completion.needsCheck;
        }
        if (warning)
            return;
        const bool vertical = UpdateCursorWay();
        if (!vertical && col == 1) {
            InputGrid->setCurrentCell(2, row);
            return;
        }
        if (autoInc->isChecked() && col == 1 && row + 1 == m_grid->gridRowCount())
            SankaSpinNum->setValue(SankaSpinNum->value() + 1);
        if (row + 1 < m_grid->gridRowCount())
            InputGrid->setCurrentCell(vertical ? col : 1, row + 1);
        return;
    }
    key = FilterNumericKey(key, false);
}

void TForm1::InputGridKeyUp(int key)
{
    if (!autoInc->isChecked() || key != Qt::Key_Up || InputGrid->col() != 1)
        return;
    const int below = InputGrid->row() + 1;
    if (below + 1 == m_grid->gridRowCount() && m_grid->cell(1, below).isEmpty() && m_grid->cell(2, below).isEmpty())
        SankaSpinNum->setValue(SankaSpinNum->value() - 1);
}

void TForm1::InputGridClick()
{
    SwitchImeOff(InputGrid->editor());
}

void TForm1::InputGridSelectCell(int, int)
{
    SwitchImeOff(InputGrid->editor());
}

void TForm1::focusInputGrid()
{
    InputGrid->editor()->setFocus(Qt::OtherFocusReason);
}

void TForm1::NormaliseWind()
{
    const QString text = EditKaze->text();
    if (text.isEmpty()) {
        focusInputGrid();
        return;
    }
    EditKaze->setText(NormaliseWindText(text));
}

void TForm1::EditKazeKeyPress(QChar &key)
{
    if (key == EnterKey) {
        NormaliseWind();
        focusInputGrid();
    }
    key = FilterNumericKey(key, true);
}

void TForm1::EditKazeClick()
{
    SwitchImeOff(EditKaze);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EditKaze) {
        if (event->type() == QEvent::MouseButtonPress)
            Guarded(this, [this] { EditKazeClick(); });
        if (event->type() == QEvent::KeyPress) {
            auto *keyEvent = static_cast<QKeyEvent *>(event);
            QString text = keyEvent->text();
            if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter)
                text = QStringLiteral("\r");
            else if (keyEvent->key() == Qt::Key_Backspace)
                text = QStringLiteral("\b");
            if (text.isEmpty())
                return false;
            QChar key = text.front();
            bool abandoned = true;
            Guarded(this, [&] {
                EditKazeKeyPress(key);
                abandoned = false;
            });
            if (abandoned || key.isNull())
                return true;
            // At most four characters are typed; the program may set longer texts.
            if (key != Backspace && EditKaze->text().size() - EditKaze->selectedText().size() >= 4)
                return true;
            return false;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- result files ----

bool TForm1::GridIsFilled() const
{
    return Ordavex::GridIsFilled(*m_grid);
}

bool TForm1::GridIsEmpty() const
{
    return Ordavex::GridIsEmpty(*m_grid);
}

bool TForm1::CheckNumbers()
{
    const NumberCheck check = Ordavex::CheckNumbers(*m_grid);
    if (check.ok)
        return true;
    showMessage(check.message);
    if (check.cursorRow > 0)
        InputGrid->setCurrentCell(1, check.cursorRow);
    return false;
}

bool TForm1::WriteResultFile(const QString &path)
{
    if (Ordavex::WriteResultFile(path, *m_grid, RaceKindIndex() == 0, sixtyFix->isChecked()))
        return true;
    showMessage(MsgCannotOpenFile);
    return false;
}

void TForm1::ClearEntries()
{
    Ordavex::ClearEntries(*m_grid);
    InputGrid->setCurrentCell(1, 1);
    if (!EditKaze->text().isEmpty())
        EditKaze->clear();
}

void TForm1::FileSaveASExecute()
{
    if (!GridIsFilled()) {
        showMessage(MsgGridNotFilled);
        return;
    }
    if (!CheckNumbers())
        return;
    std::optional<int> code;
    if (!EditKaze->text().isEmpty()) {
        NormaliseWind();
        // Held inside single precision first: a pasted giant wind must not overflow the
        // conversion; WindCode refuses such a wind itself.
        const double wind = std::clamp(StrToFloat(EditKaze->text()), -1e30, 1e30);
        const int windCode = WindCode(float(wind));
        if (windCode != int(NoWind))
            code = windCode;
    }
    const QString proposal = ProposedFileName(m_targetPath, code);
    const QString chosen = Dialogs::instance().saveFileName(this, {m_workFolder, proposal});
    if (chosen.isEmpty())
        return;
    m_targetPath = chosen;
    AC_SaveFileExecute();
    m_workFolder = Paths::folderOf(m_targetPath);
    setTargetPath(m_targetPath);
}

void TForm1::AC_SaveFileExecute()
{
    if (!WriteResultFile(m_targetPath)) {
        showMessage(MsgSaveFailed);
        return;
    }
    if (autoClear->isChecked()) {
        showMessage(MsgSavedClearing);
        ClearEntries();
    }
}

bool TForm1::ReadResultFile()
{
    const int firstColumn = InputGrid->horizontalScrollBar()->value();
    const int firstRow = InputGrid->verticalScrollBar()->value();
    const ReadOutcome outcome = Ordavex::ReadResultFile(m_targetPath, *m_grid);
    if (outcome.entriesCleared) {
        InputGrid->setCurrentCell(1, 1);
        EditKaze->clear();
    }
    for (const QString &message : outcome.messages)
        showMessage(message);
    if (outcome.ok) {
        InputGrid->horizontalScrollBar()->setValue(firstColumn);
        InputGrid->verticalScrollBar()->setValue(firstRow);
    }
    return outcome.ok;
}

void TForm1::TrimIncompleteRows()
{
    Ordavex::TrimIncompleteRows(*m_grid);
    InputGrid->setCurrentCell(1, 1);
}

void TForm1::AC_OpenFileExecute()
{
    const QString chosen = Dialogs::instance().openFileName(this, {m_workFolder, {}});
    if (chosen.isEmpty())
        return;
    m_targetPath = chosen;
    m_workFolder = Paths::folderOf(chosen);
    if (!ReadResultFile()) {
        showMessage(MsgOpenFailed);
        return;
    }
    const PathWind wind = WindFromPath(m_targetPath);
    if (wind.found) {
        EditKaze->setText(WindText(wind.wind));
        m_targetPath = wind.targetPath;
    }
    TrimIncompleteRows();
    SankaSpinNum->setValue(m_grid->gridRowCount() - 1);
    setTargetPath(m_targetPath);
}

void TForm1::EraseInputGridExecute()
{
    if (GridIsEmpty())
        return;
    if (!Dialogs::instance().confirm(this, MsgEraseConfirm))
        return;
    ClearEntries();
    EditKaze->clear();
}

// ---- showing and closing ----

void TForm1::AC_CloseExecute()
{
    close();
}

void TForm1::FormShow()
{
    setWindowTitle(CaptionShown);
}

void TForm1::FormActivate()
{
    focusInputGrid();
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        Guarded(this, [this] { FormShow(); });
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Guarded(this, [this] { FormActivate(); });
}

bool TForm1::FormClose()
{
    if (m_monitor && m_monitor->isVisible()) {
        showMessage(MsgCloseMonitorFirst);
        return false;
    }
    const bool close = Dialogs::instance().confirm(this, MsgConfirmExit);
    m_settings.RaceKind = RadioButton1->isChecked() ? 1 : 2;
    m_settings.AssigKind = RadioButton5->isChecked() ? 5 : 6;
    m_settings.CurStyle = RadioButton3->isChecked() ? 3 : 4;
    m_settings.exFilePath = m_workFolder;
    m_settings.exLogFilePath = m_logFolder;
    m_settings.QuickInput = QuickInput->isChecked();
    m_settings.validCheck = validCheck->isChecked();
    m_settings.sixtyFix = sixtyFix->isChecked();
    m_settings.autoInc = autoInc->isChecked();
    m_settings.autoClear = autoClear->isChecked();
    WriteSettings(m_settingsPath, m_settings);
    return close;
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // A failed write of the settings abandons the close as well: the window stays.
    bool close = false;
    Guarded(this, [&] { close = FormClose(); });
    if (close)
        event->accept();
    else
        event->ignore();
}

} // namespace Ordavex
