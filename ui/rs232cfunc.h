#pragma once

#include "core/lineframer.h"
#include "core/monitornotes.h"
#include "core/paths.h"
#include "core/records.h"
#include "core/slitlog.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QWidget>

#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;

namespace Ordavex {

class FramePlacer;
class HeatAccess;
class SerialLink;
class TMyThread;
struct ReceiveCounters;

inline const QString CaptionMonitor = QStringLiteral("RS232C通信");
inline const QString CaptionMonitorMachine1 = QStringLiteral("RS232C通信(1号機)");
inline const QString CaptionMonitorMachine2 = QStringLiteral("RS232C通信(2号機)");
inline const QString MsgImportOverwrite =
    QStringLiteral("記録ｸﾞﾘｯﾄﾞにﾃﾞｰﾀが残っています\n上書きしてもいいですか？");
inline const QString MsgClearBuffer = QStringLiteral("ﾊﾞｯﾌｧをｸﾘｱしても良いですか ?\n元には戻せません。");
// The received lines are kept when the log folder cannot be reached, and written once it can.
inline const QString MsgLogFolderMissing = QStringLiteral("アクセス出来ません！\n%1\nﾛｸﾞﾃﾞｰﾀは保持されています。");
// More records than the grid has rows: nothing is imported and nothing is lost.
inline const QString MsgTooManyRecords =
    QStringLiteral("記録が%1行を超えているため取込めません。\n受信ﾃﾞｰﾀはそのまま残っています。");
inline const QString MsgCannotCreate = QStringLiteral("Cannot create %1");

// What the monitor needs to know of the link while it is shown: set by the main window
// before every showing, and the timer state handed back when it closes.
struct LinkShowing
{
    int activeMachine = 0;      // 0 "1号機", 1 "2号機"
    bool activeTimer = true;    // CheckTimerON of that machine
    QString portNote;           // what the port could not take of the settings, for Label1
};

// The communication monitor of the timing machine's serial link. Created once at start with
// the other windows and hidden between uses. It holds the received lines as they came from
// the port, shows them, imports them into the heat, and in COM-only mode writes them as slit
// log files unattended while the main window is hidden.
//
// The window, its modes and the reception: rs232cfunc.cpp; the import, the log files and
// the timer: rs232cfunclogs.cpp; the notices and notes: rs232cfuncnotices.cpp.
class TForm3 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)

public:
    // A notice in Label1 (the link lost or back, a capture or a log file that failed)
    // stays at least this long before the counters' text may take its place.
    static constexpr int NoticeHoldMs = 3000;
    // In COM-only mode, lines that wait for a line that makes them ready are let go to a
    // monitor text file when this many have gathered, well before the line limit would
    // hold the stream: they can never be part of a slit log as they are.
    static constexpr int ReleaseLineCount = LineLimit / 2;

    explicit TForm3(QWidget *parent = nullptr);
    ~TForm3() override;

    // The main window and the link, set once before the first showing.
    void attach(HeatAccess *heat, QWidget *mainWindow, SerialLink *link, const Paths::AppPaths &paths);
    // Before each showing: a new showing starts one new reader.
    void prepareShowing(const LinkShowing &showing);
    const LinkShowing &showing() const { return m_showing; }
    // Tests fix the time that names the log files.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    const QList<QByteArray> &receivedLines() const { return m_lines; }
    int slitLogCount() const { return m_slitLogCount; }
    int tickCount() const { return m_tickCount; }
    bool threadStarted() const { return m_threadStarted; }
    ReceiveCounters &counters() { return *m_counters; }
    TMyThread *reader() const { return m_reader; }

    // Lines as the reader hands them over: appended whole, in order. They are kept at
    // once; Memo1 shows them at the next frame, all that came meanwhile in one go.
    void appendReceivedLines(const QList<QByteArray> &lines);
    // Memo1 shows every line kept so far.
    void showPendingLines();
    // How often at most Memo1 takes the lines that came.
    static constexpr int ShowIntervalMs = 16;

    // What the reader tells, on the window thread. The counters' text, held back while a
    // notice is fresh:
    void showStatus(const QString &text);
    // A notice: in Label1 for at least NoticeHoldMs.
    void showNotice(const QString &text);
    // Each a notice, and a note with its time in LabelNotice until the official reads it.
    void linkLost();
    void linkBack();
    void captureFailed();
    void captureBack();
    void heldOverflow();
    // The notes of LabelNotice, newest first.
    QStringList notes() const;

    QLabel *Label2 = nullptr;
    QPushButton *bStopThread = nullptr;
    QToolButton *sEraseBuff = nullptr;
    QPushButton *bLog = nullptr;
    QLabel *LabelBigLog = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QLabel *Label1 = nullptr;
    QCheckBox *CheckAutoLog = nullptr;
    QCheckBox *CheckTimerON = nullptr;
    QPushButton *bLogWrite = nullptr;
    QCheckBox *CheckMustComma = nullptr;
    QSpinBox *MinBuffLen = nullptr;
    QLabel *LabelMinBuffLen = nullptr;
    // The notes of gaps and failures, with their times, until clicked (read).
    QLabel *LabelNotice = nullptr;
    QTimer *Timer1 = nullptr;

    // Handlers.
    void FormShow();
    void FormClose();
    void bStopThreadClick();
    void sEraseBuffClick();
    void bLogClick();
    void Memo1DblClick();
    void Memo1Change();
    void CheckAutoLogClick();
    void CheckTimerONClick();
    void bLogWriteClick();
    void Timer1Timer();
    // The official has read the notes: the finished ones go.
    void LabelNoticeClick();
    // True when the key is discarded.
    bool MinBuffLenKeyPress(int key);

    // Operations.
    void StartReader();
    void ClearMonitor();
    void ImportLines();
    void SetComOnlyMode(bool on);
    void UpdateWriteControls();
    void PlaceMonitor(bool on);
    // True when the lines are done with: written, or nothing in them to write.
    bool WriteSlitLog();
    enum class SaveOutcome { Written, NothingToWrite, FolderMissing, Failed };
    SaveOutcome SaveSlitLogFile(const SlitLog &log);
    void SaveMonitorText();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Note = MonitorNote;

    static QString slitLogCountText(int count);
    void buildControls();
    void connectHandlers();
    void setReceptionButtons();
    void setWriteButton();
    // The first count lines were written: they go, the lines that came meanwhile stay.
    void dropWrittenLines(qsizetype count);
    void showLines();
    void takeLinesFromMemo();
    QString logFolder() const;
    RecordColumns columns() const;
    void message(const QString &text);
    // From the timer a box must not wait for OK: the logger goes on while it is open.
    void logMessage(const QString &text);
    // The lines are let go: the line limit no longer counts them.
    void letGo(qsizetype count);
    void releaseWaitingLines();
    bool noticeHeld() const;
    void releaseStatus();
    void openNote(Note::Kind kind);
    void closeNote(Note::Kind kind);
    void showNotes();

    HeatAccess *m_heat = nullptr;
    QWidget *m_mainWindow = nullptr;
    SerialLink *m_link = nullptr;
    Paths::AppPaths m_paths;
    LinkShowing m_showing;
    Clock m_clock;

    // Valid until the link starts the next reader or closes the port.
    TMyThread *m_reader = nullptr;
    bool m_threadStarted = false;
    std::shared_ptr<ReceiveCounters> m_counters;
    // The received lines, bytes as they came; Memo1 shows them decoded.
    QList<QByteArray> m_lines;
    // Memo1's text is being set by the program, not edited by the operator.
    bool m_settingMemo = false;
    // The first this many of m_lines are in Memo1; the rest wait for m_showTimer.
    qsizetype m_shownCount = 0;
    QTimer *m_showTimer = nullptr;

    int m_tickCount = 0;
    int m_slitLogCount = 0;
    // A failed automatic write has been reported; the next one that succeeds clears it.
    bool m_folderError = false;
    bool m_writeError = false;
    // The timer's handler is running.
    bool m_inTimer = false;

    QDateTime m_noticeShownAt;
    std::optional<QString> m_heldStatus;
    QTimer *m_noticeTimer = nullptr;
    MonitorNotes m_notes;

    // Puts the monitor where PlaceMonitor says once its frame is known.
    FramePlacer *const m_placer;
};

extern TForm3 *Form3;

} // namespace Ordavex
