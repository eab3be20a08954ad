#include "rs232cfunc.h"

#include "actionicons.h"
#include "core/lineframer.h"
#include "core/settings.h"
#include "core/textcodec.h"
#include "dialogs.h"
#include "frameplacer.h"
#include "guard.h"
#include "heataccess.h"
#include "serial/seriallink.h"
#include "serial/serialtexts.h"
#include "windowfont.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

namespace Ordavex {

TForm3 *Form3 = nullptr;

namespace {

constexpr int ClientWidth = 230;
// One line more than the controls need, for the notes under them.
constexpr int ClientHeight = 191;
// How often a status held back behind a notice is looked at.
constexpr int NoticeCheckMs = 250;

} // namespace

TForm3::TForm3(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_clock(SystemClock())
    , m_counters(std::make_shared<ReceiveCounters>())
    , m_placer(new FramePlacer(this))
{
    Form3 = this;
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(CaptionMonitor);
    setFont(WindowFont(12));
    // Closing the monitor while the main window is hidden must not end the program: the
    // close shows the main window again.
    setAttribute(Qt::WA_QuitOnClose, false);
    buildControls();
    connectHandlers();
    setFixedSize(ClientWidth, ClientHeight);
}

TForm3::~TForm3()
{
    if (Form3 == this)
        Form3 = nullptr;
}

void TForm3::buildControls()
{
    auto named = [](QWidget *widget, const char *name) {
        widget->setObjectName(QLatin1StringView(name));
        return widget;
    };

    Label2 = new QLabel(QStringLiteral("監視中"), this);
    named(Label2, "Label2");
    Label2->setFont(WindowFont(27));
    Label2->setStyleSheet(QStringLiteral("color: red;"));
    Label2->setGeometry(4, 2, 92, 34);

    bStopThread = new QPushButton(QStringLiteral("取込"), this);
    named(bStopThread, "bStopThread");
    bStopThread->setGeometry(100, 7, 50, 25);
    bStopThread->setEnabled(false);

    sEraseBuff = new QToolButton(this);
    named(sEraseBuff, "sEraseBuff");
    sEraseBuff->setIcon(ActionIcon(ActionIconKind::Erase));
    sEraseBuff->setToolTip(QStringLiteral("画面ｸﾘｱ"));
    sEraseBuff->setAutoRaise(true);
    sEraseBuff->setGeometry(152, 7, 25, 25);

    bLog = new QPushButton(QStringLiteral("ﾛｸﾞ"), this);
    named(bLog, "bLog");
    bLog->setGeometry(179, 7, 47, 25);

    LabelBigLog = new QLabel(this);
    named(LabelBigLog, "LabelBigLog");
    LabelBigLog->setFont(WindowFont(24));
    LabelBigLog->setStyleSheet(QStringLiteral("color: navy;"));
    LabelBigLog->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelBigLog->setGeometry(100, 4, 126, 30);

    Memo1 = new QPlainTextEdit(this);
    named(Memo1, "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::ClickFocus);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { color: blue; background: white; }"));
    Memo1->setGeometry(4, 38, 222, 72);
    Memo1->viewport()->installEventFilter(this);
    Memo1->installEventFilter(this);

    Label1 = new QLabel(QStringLiteral("idle:"), this);
    named(Label1, "Label1");
    Label1->setGeometry(4, 111, 222, 16);

    CheckAutoLog = new QCheckBox(QStringLiteral("COMのみ"), this);
    named(CheckAutoLog, "CheckAutoLog");
    CheckAutoLog->setChecked(true);
    CheckAutoLog->setGeometry(4, 128, 76, 20);

    CheckTimerON = new QCheckBox(QStringLiteral("ﾀｲﾏｰON"), this);
    named(CheckTimerON, "CheckTimerON");
    CheckTimerON->setChecked(true);
    CheckTimerON->setGeometry(82, 128, 70, 20);

    bLogWrite = new QPushButton(QStringLiteral("書き込み"), this);
    named(bLogWrite, "bLogWrite");
    bLogWrite->setGeometry(154, 126, 72, 24);

    CheckMustComma = new QCheckBox(QStringLiteral("ｶﾝﾏ必須"), this);
    named(CheckMustComma, "CheckMustComma");
    CheckMustComma->setChecked(true);
    CheckMustComma->setGeometry(4, 151, 76, 20);

    LabelMinBuffLen = new QLabel(QStringLiteral("最少列文字数"), this);
    named(LabelMinBuffLen, "LabelMinBuffLen");
    LabelMinBuffLen->setGeometry(82, 151, 84, 20);

    MinBuffLen = new QSpinBox(this);
    named(MinBuffLen, "MinBuffLen");
    MinBuffLen->setRange(0, 10);
    MinBuffLen->setGeometry(168, 150, 58, 22);
    // The value changes with the spin buttons only.
    MinBuffLen->installEventFilter(this);
    MinBuffLen->findChild<QLineEdit *>()->installEventFilter(this);
    MinBuffLen->setContextMenuPolicy(Qt::NoContextMenu);

    LabelNotice = new QLabel(this);
    named(LabelNotice, "LabelNotice");
    LabelNotice->setStyleSheet(QStringLiteral("color: red;"));
    LabelNotice->setGeometry(4, 173, 222, 16);
    LabelNotice->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setInterval(NoticeCheckMs);

    m_showTimer = new QTimer(this);
    m_showTimer->setSingleShot(true);
    m_showTimer->setInterval(ShowIntervalMs);

    for (QPushButton *button : {bStopThread, bLog, bLogWrite})
        button->setAutoDefault(false);
}

void TForm3::connectHandlers()
{
    ConnectHandler(bStopThread, &QPushButton::clicked, this, &TForm3::bStopThreadClick);
    ConnectHandler(sEraseBuff, &QToolButton::clicked, this, &TForm3::sEraseBuffClick);
    ConnectHandler(bLog, &QPushButton::clicked, this, &TForm3::bLogClick);
    ConnectHandler(bLogWrite, &QPushButton::clicked, this, &TForm3::bLogWriteClick);
    // A box's click handler runs on every change of its state, by the operator or the program.
    ConnectHandler(CheckAutoLog, &QCheckBox::toggled, this, &TForm3::CheckAutoLogClick);
    ConnectHandler(CheckTimerON, &QCheckBox::toggled, this, &TForm3::CheckTimerONClick);
    ConnectHandler(Memo1, &QPlainTextEdit::textChanged, this, &TForm3::Memo1Change);
    ConnectHandler(Timer1, &QTimer::timeout, this, &TForm3::Timer1Timer);
    ConnectHandler(m_noticeTimer, &QTimer::timeout, this, &TForm3::releaseStatus);
    ConnectHandler(m_showTimer, &QTimer::timeout, this, &TForm3::showPendingLines);
}

void TForm3::attach(HeatAccess *heat, QWidget *mainWindow, SerialLink *link, const Paths::AppPaths &paths)
{
    m_heat = heat;
    m_mainWindow = mainWindow;
    m_link = link;
    m_paths = paths;
}

void TForm3::prepareShowing(const LinkShowing &showing)
{
    m_showing = showing;
    m_threadStarted = false;
}

void TForm3::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Guarded(this, [this] { FormShow(); });
}

void TForm3::closeEvent(QCloseEvent *event)
{
    Guarded(this, [this] { FormClose(); });
    event->accept();
}

bool TForm3::eventFilter(QObject *watched, QEvent *event)
{
    // Whatever the operator does in Memo1 is done on every line kept so far.
    if (watched == Memo1 || watched == Memo1->viewport()) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::Drop:
        case QEvent::FocusIn:
            showPendingLines();
            break;
        default:
            break;
        }
    }
    if (watched == Memo1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        Guarded(this, [this] { Memo1DblClick(); });
        return true;
    }
    if (watched == LabelNotice && event->type() == QEvent::MouseButtonPress) {
        Guarded(this, [this] { LabelNoticeClick(); });
        return true;
    }
    if ((watched == MinBuffLen || watched->parent() == MinBuffLen) && event->type() == QEvent::KeyPress)
        return MinBuffLenKeyPress(static_cast<QKeyEvent *>(event)->key());
    return QWidget::eventFilter(watched, event);
}

void TForm3::message(const QString &text)
{
    Dialogs::instance().message(this, text);
}

// --- Showing and closing ---

void TForm3::FormShow()
{
    StartReader();
    if (m_heat)
        m_heat->setLinkActionsEnabled(false);
    const Settings *settings = m_heat ? &m_heat->settings() : nullptr;
    const bool comOnly = settings ? settings->cCheckAutoLog : true;
    CheckAutoLog->setChecked(comOnly);
    CheckTimerON->setChecked(m_showing.activeTimer);
    SetComOnlyMode(comOnly);
    LabelBigLog->setText(slitLogCountText(m_slitLogCount));
    if (settings) {
        CheckMustComma->setChecked(settings->MustComma);
        MinBuffLen->setValue(settings->MinBuffLen);
    }
    setWindowTitle(m_showing.activeMachine == 1 ? CaptionMonitorMachine2 : CaptionMonitorMachine1);
    if (!m_showing.portNote.isEmpty())
        showNotice(m_showing.portNote);
}

void TForm3::FormClose()
{
    if (m_link)
        m_link->requestStop();
    Timer1->stop();
    if (m_mainWindow)
        m_mainWindow->show();
    bStopThread->setEnabled(true);
    if (m_heat) {
        m_heat->setOptionGroupsEnabled(true);
        m_heat->setLinkActionsEnabled(true);
    }
    Settings *settings = m_heat ? &m_heat->settings() : nullptr;
    if (settings)
        settings->cCheckAutoLog = CheckAutoLog->isChecked();
    SetComOnlyMode(false);
    const bool timerOn = CheckTimerON->isChecked();
    if (settings) {
        if (m_showing.activeMachine == 1)
            settings->cCheckTimerON2 = timerOn;
        else
            settings->cCheckTimerON = timerOn;
        settings->MustComma = CheckMustComma->isChecked();
        settings->MinBuffLen = MinBuffLen->value();
    }
    m_showing.activeTimer = timerOn;
    if (m_heat)
        m_heat->setActiveTimer(timerOn);
}

// --- Reception ---

void TForm3::StartReader()
{
    if (!m_threadStarted && m_link) {
        // The port was opened anew for this showing, and a new capture is made: gaps
        // left open by the last showing end here; the new reader tells its own.
        closeNote(Note::Kind::Link);
        closeNote(Note::Kind::Capture);
        m_counters->keptBytes = 0;
        m_counters->receivedBytes = 0;
        // Every byte read is kept in a capture beside the monitor text files.
        m_reader = m_link->startReader(m_counters, CaptureTarget{MonitorTextFolder(m_paths), m_clock()});
        if (m_reader) {
            // The reader's signals come from its own thread: queued, carrying values.
            connect(m_reader, &TMyThread::linesReceived, this,
                    [this](const QList<QByteArray> &lines) { appendReceivedLines(lines); }, Qt::QueuedConnection);
            // None of them opens a box: what a thread tells goes where it takes no keys.
            connect(m_reader, &TMyThread::statusChanged, this, &TForm3::showStatus, Qt::QueuedConnection);
            connect(m_reader, &TMyThread::portLost, this, &TForm3::linkLost, Qt::QueuedConnection);
            connect(m_reader, &TMyThread::portBack, this, &TForm3::linkBack, Qt::QueuedConnection);
            connect(m_reader, &TMyThread::captureFailed, this, &TForm3::captureFailed, Qt::QueuedConnection);
            connect(m_reader, &TMyThread::captureBack, this, &TForm3::captureBack, Qt::QueuedConnection);
            connect(m_reader, &TMyThread::heldOverflow, this, &TForm3::heldOverflow, Qt::QueuedConnection);
        }
    }
    m_threadStarted = true;
}

void TForm3::appendReceivedLines(const QList<QByteArray> &lines)
{
    // A closed monitor has discarded its lines; what its reader still sends goes too.
    if (isHidden()) {
        letGo(lines.size());
        return;
    }
    // The lines are kept at once; laying them out one by one as they come would hold the
    // windows while a machine floods the port.
    m_lines.append(lines);
    if (!m_showTimer->isActive())
        m_showTimer->start();
    setReceptionButtons();
    setWriteButton();
}

void TForm3::showPendingLines()
{
    m_showTimer->stop();
    if (m_shownCount >= m_lines.size())
        return;
    QString text;
    for (qsizetype i = m_shownCount; i < m_lines.size(); ++i) {
        if (i > m_shownCount)
            text += QLatin1Char('\n');
        text += Cp932::decode(m_lines[i]);
    }
    m_shownCount = m_lines.size();
    m_settingMemo = true;
    Memo1->appendPlainText(text);
    m_settingMemo = false;
}

void TForm3::setReceptionButtons()
{
    const bool any = !m_lines.isEmpty();
    bStopThread->setEnabled(any);
    sEraseBuff->setEnabled(any);
    bLog->setEnabled(any);
}

void TForm3::letGo(qsizetype count)
{
    // Never below 0: lines put in by hand were never counted by a reader.
    std::atomic<qint32> &waiting = m_counters->waiting;
    qint32 now = waiting.load();
    while (!waiting.compare_exchange_weak(now, std::max<qint32>(0, now - qint32(count)))) {
    }
}

void TForm3::ClearMonitor()
{
    letGo(m_lines.size());
    m_lines.clear();
    showLines();
    showStatus(QString());
    bStopThread->setEnabled(false);
    sEraseBuff->setEnabled(false);
    bLog->setEnabled(false);
    bLogWrite->setEnabled(false);
    m_counters->line = qint32(m_lines.size());
    m_counters->keptBytes = 0;
    m_counters->receivedBytes = 0;
}

void TForm3::dropWrittenLines(qsizetype count)
{
    if (count >= m_lines.size()) {
        ClearMonitor();
        return;
    }
    letGo(count);
    m_lines.remove(0, count);
    showLines();
    showStatus(QString());
    setReceptionButtons();
    Memo1Change();
    m_counters->line = qint32(m_lines.size());
    m_counters->keptBytes = 0;
    m_counters->receivedBytes = 0;
}

void TForm3::showLines()
{
    m_showTimer->stop();
    m_shownCount = m_lines.size();
    QStringList shown;
    shown.reserve(m_lines.size());
    for (const QByteArray &line : std::as_const(m_lines))
        shown.append(Cp932::decode(line));
    m_settingMemo = true;
    Memo1->setPlainText(shown.join(QLatin1Char('\n')));
    m_settingMemo = false;
}

void TForm3::takeLinesFromMemo()
{
    // With the timer off the operator may edit the lines before writing them. A line left
    // as it was keeps its bytes as received; an edited one is taken as typed. Lines not
    // shown yet follow as they came.
    const QString text = Memo1->toPlainText();
    const QStringList shown = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    const qsizetype before = m_lines.size();
    QList<QByteArray> lines;
    lines.reserve(shown.size() + before - m_shownCount);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (i < m_shownCount && Cp932::decode(m_lines[i]) == shown[i])
            lines.append(m_lines[i]);
        else
            lines.append(Cp932::encode(shown[i]));
    }
    const qsizetype shownNow = lines.size();
    lines.append(m_lines.mid(m_shownCount));
    if (lines.size() < before)
        letGo(before - lines.size());
    else
        m_counters->waiting.fetch_add(qint32(lines.size() - before));
    m_lines = lines;
    m_shownCount = shownNow;
}

void TForm3::Memo1Change()
{
    if (!m_settingMemo && !Memo1->isReadOnly())
        takeLinesFromMemo();
    setWriteButton();
}

void TForm3::setWriteButton()
{
    bLogWrite->setEnabled(bLogWrite->isVisibleTo(this) && !m_lines.isEmpty());
}

// --- Modes ---

void TForm3::SetComOnlyMode(bool on)
{
    UpdateWriteControls();
    if (on)
        Timer1->start();
    else
        Timer1->stop();
    if (m_mainWindow)
        m_mainWindow->setVisible(!on);
    bStopThread->setVisible(!on);
    bLog->setVisible(!on);
    sEraseBuff->setVisible(!on);
    LabelBigLog->setVisible(on);
    CheckTimerON->setVisible(on);
    PlaceMonitor(on);
    ClearMonitor();
}

void TForm3::UpdateWriteControls()
{
    const bool timerOn = CheckTimerON->isChecked();
    Memo1->setReadOnly(timerOn);
    bLogWrite->setVisible(!timerOn);
    MinBuffLen->setVisible(bLogWrite->isHidden() && CheckAutoLog->isChecked());
    LabelMinBuffLen->setVisible(!MinBuffLen->isHidden() && CheckAutoLog->isChecked());
}

void TForm3::PlaceMonitor(bool on)
{
    // The frame's top right corner: what the operator sees is the frame, and a window
    // manager gives it only once the window shows (see FramePlacer).
    if (on) {
        m_placer->place([this] {
            const QScreen *where = screen();
            return where ? where->availableGeometry().topRight() : ManagedFrameGeometry(*this).topRight();
        });
    } else if (m_mainWindow) {
        m_placer->place([this] { return ManagedFrameGeometry(*m_mainWindow).topRight(); }, m_mainWindow);
    }
}

void TForm3::CheckAutoLogClick()
{
    SetComOnlyMode(CheckAutoLog->isChecked());
    ClearMonitor();
}

void TForm3::CheckTimerONClick()
{
    UpdateWriteControls();
}

} // namespace Ordavex
