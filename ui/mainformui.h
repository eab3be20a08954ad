#pragma once

#include <QColor>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QToolBar;

namespace Ordavex {

class InputGridView;
class ResultGrid;
class SpinEdit;

// The background of the notice strip: no other control of the window has it.
inline constexpr QRgb NoticeBackground = 0xFFFFE08A;

// The controls of the main window under the names the operator's documentation uses,
// and their construction and geometry; the window adds the handlers.
struct MainFormUi
{
    InputGridView *InputGrid = nullptr;
    QListWidget *ListDirBox = nullptr;
    // Beside the grid, while the race has a start list: who runs in the current row's
    // lane or with its number.
    QLabel *StarterLabel = nullptr;
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
    // Shown beside the wind while it is above the limit for records.
    QLabel *WindMarker = nullptr;
    // A notice that comes without the operator asking for it (the recovery file cannot
    // be written): a strip above the grid, kept until 確認 is clicked. Nothing in it takes
    // the focus or a key, so typing goes on into the grid; panel 0 keeps the target path.
    QFrame *NoticeStrip = nullptr;
    QLabel *NoticeText = nullptr;
    QPushButton *NoticeRead = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *StatusPanel0 = nullptr;
    // "速報ON" at the right of the status bar while the live board is on; panel 0 keeps
    // the target path.
    QLabel *BoardIndicator = nullptr;
    QToolBar *ToolBar1 = nullptr;

    QAction *AC_OpenTTBL = nullptr;
    QAction *AC_OpenFile = nullptr;
    QAction *FileSaveAS = nullptr;
    QAction *ClipCopy = nullptr;
    QAction *RenameCsvFile = nullptr;
    QAction *PrintHeatSheet = nullptr;
    QAction *BoardOpen = nullptr;
    QAction *RS232COpen = nullptr;
    QAction *RS232CParamOpen = nullptr;
    QAction *EraseInputGrid = nullptr;
    QAction *openDelForm = nullptr;
    QAction *AC_Close = nullptr;

    void setupUi(QMainWindow *window, ResultGrid *grid);

private:
    void setupActions(QMainWindow *window);
    void setupControls(QMainWindow *window, ResultGrid *grid);
};

} // namespace Ordavex
