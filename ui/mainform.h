#pragma once

#include "core/paths.h"
#include "core/settings.h"
#include "core/timerules.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QToolBar;

namespace Ordavex {

class InputGridView;
class ResultGrid;
class SpinEdit;

inline const QString CaptionBuilding = QStringLiteral("Ordavex(RS232C_version) by_quillon");
inline const QString CaptionShown = QStringLiteral("Ordavex_Version 3.2 by_quillon");
inline const QString MsgCloseMonitorFirst = QStringLiteral("先にRS232Cフォームを閉じて下さい。");
inline const QString MsgConfirmExit = QStringLiteral("終了しますか ?");

// The main window: results grid, entry options, wind, file list, tool bar and menu.
// It owns the settings record, the work and log folders and the target path.
class TForm1 final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    explicit TForm1(const Paths::AppPaths &paths, QWidget *parent = nullptr);
    ~TForm1() override;

    // Controls, named as the operator's documentation names them.
    InputGridView *InputGrid = nullptr;
    QListWidget *ListDirBox = nullptr;
    QLabel *Label1 = nullptr;
    SpinEdit *SankaSpinNum = nullptr;
    QCheckBox *QuickInput = nullptr;
    QCheckBox *validCheck = nullptr;
    QCheckBox *sixtyFix = nullptr;
    QCheckBox *autoInc = nullptr;
    QCheckBox *autoClear = nullptr;
    QGroupBox *RaceKind = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QGroupBox *AssigKind = nullptr;
    QRadioButton *RadioButton5 = nullptr;
    QRadioButton *RadioButton6 = nullptr;
    QGroupBox *CurStyle = nullptr;
    QRadioButton *RadioButton3 = nullptr;
    QRadioButton *RadioButton4 = nullptr;
    QLabel *LblCurWay = nullptr;
    QPushButton *SwapFixRow = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *EditKaze = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *StatusPanel0 = nullptr;
    QToolBar *ToolBar1 = nullptr;

    QAction *AC_OpenTTBL = nullptr;
    QAction *AC_OpenFile = nullptr;
    QAction *FileSaveAS = nullptr;
    QAction *ClipCopy = nullptr;
    QAction *RenameCsvFile = nullptr;
    QAction *RS232COpen = nullptr;
    QAction *RS232CParamOpen = nullptr;
    QAction *EraseInputGrid = nullptr;
    QAction *openDelForm = nullptr;
    QAction *AC_Close = nullptr;

    // State shared with the other windows.
    Settings &settings() { return m_settings; }
    const Settings &settings() const { return m_settings; }
    ResultGrid *grid() const { return m_grid; }
    const QString &workFolder() const { return m_workFolder; }
    const QString &logFolder() const { return m_logFolder; }
    void setLogFolder(const QString &folder) { m_logFolder = folder; }
    const QString &targetPath() const { return m_targetPath; }
    void setTargetPath(const QString &path);
    const QString &settingsPath() const { return m_settingsPath; }
    int activeMachine() const { return m_activeMachine; }
    int activePort() const { return m_activePort; }
    bool activeTimer() const { return m_activeTimer; }
    // The communication monitor, whose visibility forbids closing.
    void setMonitor(QWidget *monitor) { m_monitor = monitor; }

    // Grid layout and row count.
    void LayoutGrid();
    void ApplyRowCount();
    void UpdateHeadings();

    // Entry.
    bool UpdateCursorWay();
    int RaceKindIndex() const;
    TimeSettings timeSettings() const;
    QString TimeDisplayText(int col, int row) const;
    Completion CompleteTime(const QString &typed, const QString &above);
    void NormaliseWind();
    void focusInputGrid();

    // Result files.
    bool GridIsFilled() const;
    bool GridIsEmpty() const;
    bool CheckNumbers();
    bool WriteResultFile(const QString &path);
    void ClearEntries();
    bool ReadResultFile();
    void TrimIncompleteRows();

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
    void FileSaveASExecute();
    void AC_SaveFileExecute();
    void AC_OpenFileExecute();
    void EraseInputGridExecute();
    void AC_CloseExecute();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createActions();
    void createControls();
    void FormShow();
    void FormActivate();
    bool FormClose();
    void showMessage(const QString &text);

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
    QWidget *m_monitor = nullptr;
};

// The main window, reachable by the other windows.
extern TForm1 *Form1;

} // namespace Ordavex
