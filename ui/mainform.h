#pragma once

#include "core/noticelist.h"
#include "core/paths.h"
#include "core/recovery.h"
#include "core/settings.h"
#include "core/startlist.h"
#include "core/timerules.h"
#include "boardprocess.h"
#include "dialogs.h"
#include "heataccess.h"
#include "mainformui.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace Ordavex {

inline const QString CaptionBuilding = QStringLiteral("Ordavex(RS232C_version) by_quillon");
inline const QString CaptionShown = QStringLiteral("Ordavex_Version 3.2 by_quillon");
inline const QString MsgCloseMonitorFirst = QStringLiteral("先にRS232Cフォームを閉じて下さい。");
inline const QString MsgPortOpenFailed = QStringLiteral("RS232Cﾎﾟｰﾄがｵｰﾌﾟﾝできませんでした。");
inline const QString MsgEraseBeforeLink = QStringLiteral("画面ﾃﾞｰﾀを消去して先に進んでもいいですか？");
inline const QString MsgConfirmExit = QStringLiteral("終了しますか ?");
inline const QString MsgSettingsUnreadable =
    QStringLiteral("設定ファイル %1 を読み込めませんでした。\n既定の設定で続けます。この設定ファイルは書き換えません。");
inline const QString MsgRestoreHeat =
    QStringLiteral("保存されていない組のデータが残っています。\n復元しますか ?");
inline const QString MsgRecoveryUnreadable =
    QStringLiteral("保存されていない組のデータ %1 は壊れているため復元できません。\n%2 に移しました。");
inline const QString MsgRecoveryNotWritten =
    QStringLiteral("保存されていない組の控え %1 を書けません。\n保存するまでにプログラムが止まると、入力したデータは失われます。");
inline const QString MsgRecoveryHung =
    QStringLiteral("保存されていない組の控え %1 の書き込みが終わりません。\n保存するまでにプログラムが止まると、入力したデータは失われます。");
inline const QString MsgRecoveryNotRemoved =
    QStringLiteral("保存または消去した組の控え %1 を消せません。\n次の起動で復元を勧められたら「いいえ」を選んで下さい。");
inline const QString MsgRecoveryHungAtClose =
    QStringLiteral("保存されていない組の控え %1 を書き込めていません。\n書き込みが終わるまで待ちますか ?\n待たずに終了すると、入力したデータは失われます。");
inline const QString MsgSettingsHungAtClose =
    QStringLiteral("設定ファイル %1 を書き込めていません。\n書き込みが終わるまで待ちますか ?\n待たずに終了すると、今回の設定は失われます。");
inline const QString MsgCannotKeepPermissions =
    QStringLiteral("%1 の所有者や読み書きの権限を元のとおりに保てないため、書き換えませんでした。\n元のファイルはそのままです。");
inline const QString MsgSheetEmpty = QStringLiteral("印刷するﾃﾞｰﾀがありません。");
inline const QString MsgSheetNotPrinted = QStringLiteral("組ｼｰﾄを印刷できませんでした。");
inline const QString MsgBoardNotStarted = QStringLiteral("速報ﾎﾞｰﾄﾞを公開できませんでした。\n%1");
inline const QString MsgSettingsNotStored =
    QStringLiteral("設定ファイルに書けない文字を含むため、次の設定は前回の値のままにしました。\n%1");

// The main window: results grid, entry options, wind, file list, tool bar and menu.
// It owns the settings record, the work and log folders and the target path. Its
// controls are those of MainFormUi; the other windows reach it through HeatAccess.
//
// Construction, settings, grid shape and closing: mainform.cpp; keyboard entry:
// mainformentry.cpp; result files: mainformfiles.cpp; timetable, rename, delete and
// clipboard: mainformworkfolder.cpp; the serial link: mainformlink.cpp; the heat sheet:
// mainformprint.cpp; the live results board: mainformboard.cpp.
class SerialLink;
class TForm3;

class TForm1 final : public QMainWindow, public MainFormUi, public HeatAccess
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    explicit TForm1(const Paths::AppPaths &paths, QWidget *parent = nullptr);
    ~TForm1() override;

    ResultGrid *grid() const { return m_grid; }
    const QString &settingsPath() const { return m_settingsPath; }
    int activeMachine() const { return m_activeMachine; }
    int activePort() const { return m_activePort; }
    bool activeTimer() const { return m_activeTimer; }
    // The communication monitor, whose visibility forbids closing.
    void setMonitor(TForm3 *monitor);
    SerialLink &link() { return *m_link; }

    // HeatAccess
    void setRows(const QList<Row> &rows) override;
    void setLaneTimeRows(const QList<std::array<QString, 2>> &rows) override;
    void setRowCount(int dataRows) override;
    int rowCount() const override;
    QString cellText(int col, int row) const override;
    QString TimeDisplayText(int col, int row) const override;
    bool sixtyFixChecked() const override;
    QString windText() const override;
    void setWindText(const QString &text) override;
    void ClearEntries() override;
    bool GridIsEmpty() const override;
    void forceTrackAndLane() override;
    void setOptionGroupsEnabled(bool enabled) override;
    void setLinkActionsEnabled(bool enabled) override;
    QString targetPath() const override { return m_targetPath; }
    void setTargetPath(const QString &path) override;
    QString workFolder() const override { return m_workFolder; }
    QString logFolder() const override { return m_logFolder; }
    void setLogFolder(const QString &folder) override { m_logFolder = folder; }
    void setActiveTimer(bool on) override { m_activeTimer = on; }
    Settings &settings() override { return m_settings; }
    const Settings &settings() const override { return m_settings; }

    // Grid layout and row count.
    void LayoutGrid();
    void ApplyRowCount();
    void UpdateHeadings();
    // The row-count field's value; while it holds no number, the grid's rows.
    int rowCountFieldValue() const;

    // Entry.
    bool UpdateCursorWay();
    int RaceKindIndex() const;
    TimeSettings timeSettings() const;
    Completion CompleteTime(const QString &typed, const QString &above);
    void NormaliseWind();
    void focusInputGrid();

    // Result files.
    bool GridIsFilled() const;
    bool CheckNumbers();
    // Every time must reopen as it is saved: no sign, no text that is not a number.
    bool CheckTimes();
    bool WriteResultFile(const QString &path);
    bool ReadResultFile();
    void TrimIncompleteRows();

    // The recovery file: the unsaved heat, handed to its writer's thread at most
    // RecoveryDelayMs after a change; gone once the heat is saved or erased. A write
    // that fails, or has not finished RecoveryHangMs after it was handed over, is told
    // in the notice strip, never in a box.
    static constexpr int RecoveryDelayMs = 500;
    static constexpr int RecoveryHangMs = 3000;
    // At close, the settings and the last heat are waited for this long with the
    // window painting; then the official chooses to wait or to end without them.
    static constexpr int CloseWaitMs = 1000;
    RecoveredHeat currentHeat() const;
    const QString &recoveryPath() const { return m_recoveryPath; }
    // Off, no recovery file is written or removed (to measure what it costs).
    void setRecoveryJournal(bool on);
    // Hands a pending change to the writer now.
    void flushRecovery();
    // Another delay than RecoveryDelayMs, to measure what frequent writes cost.
    void setRecoveryDelay(int ms);
    // A slow or failing disk under the recovery file, for tests and benchmarks.
    void setRecoverySaveFunction(RecoveryWriter::SaveFunction save);
    // True once the writer has done every change handed to it; waits at most ms.
    bool waitForRecoveryWriter(int ms);

    // The race's start list, read when the target changes: beside the grid the name of
    // the current row's lane or number, and in the grid the lanes or numbers that are
    // not in it or are twice in the heat marked; never a box, never in the way of a save.
    const std::optional<StartList> &startList() const { return m_startList; }
    void loadStartList();
    static inline const QColor StarterUnknownColour = QColor(0xFF, 0xC8, 0xC8);
    static inline const QColor StarterTwiceColour = QColor(0xFF, 0xD8, 0x80);
    static constexpr int StarterMarkDelayMs = 100;
    static constexpr int StarterShowDelayMs = 30;

    // The notice strip: every notice that holds, the newest shown with how many more;
    // 確認 dismisses the newest.
    void postNotice(NoticeList::Cause cause, const QString &text);
    void withdrawNotice(NoticeList::Cause cause);
    const NoticeList &notices() const { return m_notices; }
    void NoticeReadClick();

    // Handlers.
    void SankaSpinNumChange();
    void SankaSpinNumClick();
    void RadioButton2Click();
    void RadioButton5Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void SwapFixRowClick();
    void sixtyFixClick();
    void InputGridKeyPress(QChar &key);
    void InputGridKeyUp(int key);
    void InputGridClick();
    void InputGridSelectCell(int col, int row);
    void EditKazeKeyPress(QChar &key);
    void EditKazeClick();
    // Every change of the wind text, by the operator or the program: the marker follows.
    void EditKazeChange();
    void FileSaveASExecute();
    bool AC_SaveFileExecute();
    void AC_OpenFileExecute();
    void EraseInputGridExecute();
    void AC_CloseExecute();
    // Timetable and the work folder.
    void AC_OpenTTBLExecute();
    void ListDirBoxClick();
    void ListDirBoxDblClick();
    void RenameCsvFileExecute();
    void ClipCopyExecute();
    void openDelFormExecute();
    // The heat sheet for the board, on paper or as a PDF file.
    void PrintHeatSheetExecute();
    // The live results board: the heat goes to it at once after a change that follows
    // a quiet BoardDelayMs, else at most BoardDelayMs after the last hand-off, and only
    // while it is on. Its service is made by the factory (the board's program beside
    // this one unless a test gives another) when the board is first used.
    static constexpr int BoardDelayMs = 100;
    void setBoardServiceFactory(BoardServiceFactory factory);
    BoardService *boardService() const { return m_board.get(); }
    bool boardIsOn() const;
    void BoardOpenExecute();
    // Called once the window is shown: a board left on in the settings starts again,
    // told in the notice strip when it cannot.
    void boardWindowShown();
    // The heat handed to the board now, not after the delay.
    void flushBoard();
    void closeBoard();

    // The serial link.
    int OpenComPort();
    void RS232COpenExecute();
    void RS232CParamOpenExecute();
    enum class TimingMachine { First, Second, None };
    TimingMachine ChooseTimingMachine();

    // The one open dialog of the window, shared by every use of it.
    Dialogs::OpenDialogState OpenDialog1;

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectHandlers();
    void connectEntryHandlers();
    void connectWorkFolderHandlers();
    void connectLinkHandlers();
    void connectPrintHandlers();
    void connectBoardHandlers();
    // The settings record into the controls at start, and back at close.
    void putSettingsIntoControls();
    void takeSettingsFromControls();
    bool editKazeKeyPressEvent(QKeyEvent *event);
    // The window's part of emptying the entries: cursor to the first cell, no wind.
    void showClearedEntries();
    void FormShow();
    void FormActivate();
    bool FormClose();
    void showMessage(const QString &text);
    void offerRecovery();
    void restoreHeat(const RecoveredHeat &heat);
    void connectRecovery();
    void heatChanged();
    void writeRecovery();
    void discardRecovery();
    void recoveryDone(const RecoveryOutcome &outcome);
    void recoveryHangCheck();
    void showNotices();
    void showStarters();
    void showStarterNow();
    void markStarters();
    void connectStartList();
    void startSettingsWrite();
    // Runs the window's events but the official's keys and clicks until settled() or
    // ms have passed; true when settled.
    static bool waitPainting(int ms, const std::function<bool()> &settled);
    // The writes a close leaves behind are done, or the official chose to end without
    // them; false to keep the window.
    bool closingWritesDone();
    bool heatIsEmpty() const;
    bool makeBoardService(QString *error);
    bool boardWanted() const;
    void startBoardAtLaunch();
    void boardStarted();
    void boardHeatChanged();
    void scheduleBoardHandOff();
    // The heat as it goes into its file, kept for the board when the save clears the grid.
    void boardHeatSaving();
    // The heat on the grid is the one in its file (saved or opened); a save changes
    // the work folder's listing as well.
    void boardHeatSaved(bool listingChanged);
    void boardListingChanged();
    BoardHeat makeBoardHeat() const;
    void handBoardHeat();
    void handBoardWorkFolder();
    void showBoardState();
    void boardPublishFailed(const QString &message);
    void boardPublishRecovered();
    void boardStartFailed(const QString &message);
    void boardLost(const QString &message);

    Paths::AppPaths m_paths;
    Settings m_settings;
    ResultGrid *m_grid = nullptr;
    QString m_settingsPath;
    QString m_workFolder;
    QString m_logFolder;
    QString m_targetPath;
    int m_activeMachine = 0;
    int m_activePort = 0;
    bool m_activeTimer = true;
    QString m_portNote;
    std::unique_ptr<SerialLink> m_link;
    TForm3 *m_monitor = nullptr;
    // The window lost the activation to a modal box of the program's own: when it
    // comes back, the box has put the focus where it was, and it stays there.
    bool m_leftForOwnBox = false;
    // The operator has been told once that some settings cannot be stored.
    bool m_toldNotStored = false;
    QString m_recoveryPath;
    QTimer *m_recoveryTimer = nullptr;
    bool m_recoveryOn = true;
    std::unique_ptr<RecoveryWriter> m_recoveryWriter;
    // The number of the last removal handed to the writer: a write given before it
    // belonged to a heat that has been saved or erased since.
    quint64 m_recoveryHeatStart = 0;
    QTimer *m_recoveryHangTimer = nullptr;
    // The last write handed to the writer, the one the hang timer waits for, and the
    // last job the writer finished.
    quint64 m_recoveryLastWrite = 0;
    quint64 m_recoveryWatched = 0;
    quint64 m_recoveryLastDone = 0;
    NoticeList m_notices;
    std::optional<StartList> m_startList;
    QString m_startListPath;
    QList<StarterMark> m_starterMarks;
    // The marks follow the typing at most every StarterMarkDelayMs: the grid is checked
    // whole, which is too much for every key.
    QTimer *m_starterMarkTimer = nullptr;
    // The name beside the grid follows within StarterShowDelayMs; keys that come faster
    // than that are shown together.
    QTimer *m_starterShowTimer = nullptr;
    // The settings as a close writes them, on a thread of its own: a disk that does not
    // answer must not freeze the window.
    struct SettingsWrite;
    std::shared_ptr<SettingsWrite> m_settingsWrite;
    bool m_closing = false;
    BoardServiceFactory m_boardFactory;
    std::unique_ptr<BoardService> m_board;
    QTimer *m_boardTimer = nullptr;
    // Since the last hand-off: a change after a quiet moment goes at once.
    QElapsedTimer m_sinceBoardHandOff;
    // The dialog is open: it tells a refused start itself.
    bool m_boardDialogOpen = false;
    quint64 m_boardVersion = 0;
    bool m_boardSaved = false;
    // The heat as the save in progress writes it.
    std::optional<BoardHeat> m_boardSavingHeat;
    // The heat just saved, while the save has left the grid empty (自動画面ｸﾘｱ) and
    // nothing has changed since.
    std::optional<BoardHeat> m_boardSavedHeat;
    bool m_boardLaunched = false;
    // The strip has said when the board came back after it stopped.
    bool m_boardRestoredTold = false;
    // The work folder the service was last told of.
    QString m_boardWorkFolder;
};

// The main window, reachable by the other windows.
extern TForm1 *Form1;

} // namespace Ordavex
