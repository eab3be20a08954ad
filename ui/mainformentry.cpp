// Keyboard entry on the main window: the results grid, the direction of movement and
// the wind field.

#include "mainform.h"

#include "core/entryrules.h"
#include "core/gridmodel.h"
#include "core/heatsheet.h"
#include "core/keyfilter.h"
#include "core/runtimeerror.h"
#include "core/windrules.h"
#include "guard.h"
#include "ime.h"
#include "inputgrid.h"
#include "sankaspin.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace Ordavex {

void TForm1::connectEntryHandlers()
{
    EditKaze->installEventFilter(this);
    // textChanged, not textEdited: a file opened, an import or a clearing changes it too.
    ConnectHandler(EditKaze, &QLineEdit::textChanged, this, &TForm1::EditKazeChange);
    connectPrintHandlers();
    connectBoardHandlers();
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

bool TForm1::sixtyFixChecked() const
{
    return sixtyFix->isChecked();
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
    const CellPosition at{InputGrid->col(), InputGrid->row()};
    const QString text = m_grid->cell(at.col, at.row);
    if (text.size() >= 8) {
        if (key != Backspace)
            key = QChar();
        return;
    }
    if (key == EnterKey) {
        key = QChar();
        if (at.col == 2 && at.row >= 2 && QuickInput->isChecked()) {
            const Completion completion = CompleteTime(TrimText(text), TrimText(m_grid->cell(2, at.row - 1)));
            m_grid->setCell(at.col, at.row, completion.text);
            if (completion.needsCheck)
                return;
        }
        const EnterMove move = PlanEnter(at, m_grid->gridRowCount(), UpdateCursorWay(), autoInc->isChecked(),
                                         ResultGrid::MaxDataRows);
        if (move.addRow)
            SankaSpinNum->setValue(rowCountFieldValue() + 1);
        InputGrid->setCurrentCell(move.cursor.col, move.cursor.row);
        return;
    }
    key = FilterNumericKey(key, false);
}

void TForm1::InputGridKeyUp(int key)
{
    if (key != Qt::Key_Up)
        return;
    const CellPosition at{InputGrid->col(), InputGrid->row()};
    if (UpRemovesLastRow(at, m_grid->gridRowCount(), autoInc->isChecked(), m_grid->cell(1, at.row + 1),
                         m_grid->cell(2, at.row + 1)))
        SankaSpinNum->setValue(rowCountFieldValue() - 1);
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

void TForm1::EditKazeChange()
{
    WindMarker->setVisible(WindAboveRecordLimit(EditKaze->text()));
}

void TForm1::EditKazeClick()
{
    SwitchImeOff(EditKaze);
}

bool TForm1::editKazeKeyPressEvent(QKeyEvent *event)
{
    QChar key = TypedCharacter(event->key(), event->text(), event->modifiers());
    if (key.isNull() && IsCommandChord(event->text(), event->modifiers()))
        return true;    // Alt+M and the like never put a letter in the field
    if (key.isNull())
        return false;   // Tab, Delete, arrows: the field's and the window's own
    bool abandoned = true;
    Guarded(this, [&] {
        EditKazeKeyPress(key);
        abandoned = false;
    });
    if (abandoned || key.isNull())
        return true;
    // At most four characters are typed; the program may set longer texts.
    return key != Backspace && EditKaze->text().size() - EditKaze->selectedText().size() >= 4;
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EditKaze) {
        if (event->type() == QEvent::MouseButtonPress)
            Guarded(this, [this] { EditKazeClick(); });
        if (event->type() == QEvent::KeyPress)
            return editKazeKeyPressEvent(static_cast<QKeyEvent *>(event));
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace Ordavex
