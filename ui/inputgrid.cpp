#include "inputgrid.h"

#include "core/gridmodel.h"
#include "core/keyfilter.h"
#include "guard.h"
#include "ime.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace Ordavex {

CellDelegate::CellDelegate(const ResultGrid *grid, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_grid(grid)
{
}

void CellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int col = index.column();
    const int row = ResultGrid::gridRow(index);
    const QPalette &palette = option.palette;
    QColor background = palette.color(QPalette::Base);
    QColor foreground = palette.color(QPalette::Text);
    if (option.state & QStyle::State_Selected) {
        background = palette.color(QPalette::Highlight);
        foreground = palette.color(QPalette::HighlightedText);
    } else if (markColour) {
        if (const std::optional<QColor> marked = markColour(col, row))
            background = *marked;
    }
    painter->fillRect(option.rect, background);

    QString text = m_grid->cell(col, row);
    const QFontMetrics metrics(option.font);
    const QRect &r = option.rect;
    const int top = r.top() + (r.height() - metrics.height()) / 2;
    int left = 0;
    if (col == 2) {
        if (!text.isEmpty() && timeText)
            text = timeText(text);
        left = r.right() + 1 - metrics.horizontalAdvance(text);
    } else {
        left = r.left() + (r.width() - metrics.horizontalAdvance(text)) / 2;
    }
    painter->save();
    painter->setClipRect(r);
    painter->setFont(option.font);
    painter->setPen(foreground);
    painter->drawText(left, top + metrics.ascent(), text);
    painter->restore();
}

namespace {

// The number column's header. Its width is the layout's, so it never measures the
// texts of all 500 rows to find one, which the view would ask for at every change of
// the row count.
class NumberHeader final : public QHeaderView
{
public:
    explicit NumberHeader(QWidget *parent)
        : QHeaderView(Qt::Vertical, parent)
    {
    }
    QSize sizeHint() const override { return {minimumWidth(), defaultSectionSize()}; }
};

} // namespace

InputGridView::InputGridView(ResultGrid *grid, QWidget *parent)
    : QTableView(parent)
    , m_grid(grid)
    , m_delegate(new CellDelegate(grid, this))
    , m_editor(new CellEditor(viewport()))
{
    setModel(grid);
    setItemDelegate(m_delegate);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(ContiguousSelection);
    setSelectionBehavior(SelectItems);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::NoFocus);    // the editor takes the focus instead
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setVerticalHeader(new NumberHeader(this));
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(24);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    setColumnHidden(0, true);
    m_corner = findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
    if (m_corner)
        m_corner->installEventFilter(this);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setFixedHeight(24);

    m_editor->setFrame(false);
    // Reached by the operator only inside the grid: Tab from the other controls never
    // lands in a cell.
    m_editor->setFocusPolicy(Qt::ClickFocus);
    m_editor->installEventFilter(this);
    SwitchImeOff(m_editor);
    connect(m_editor, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (ResultGrid::isEntryCell(col(), row()))
            m_grid->setCell(col(), row(), text);
    });
    connect(m_grid, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
        const QModelIndex current = currentIndex();
        if (current.isValid() && current.row() >= topLeft.row() && current.row() <= bottomRight.row()
            && current.column() >= topLeft.column() && current.column() <= bottomRight.column())
            syncEditorText();
    });
    // Rows come and go at the end only, after the cursor: the cursor keeps its place, and
    // the geometry update that follows moves the editor with it.
    connect(m_grid, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (!currentIndex().isValid() && m_grid->dataRowCount() > 0)
            setCurrentCell(1, m_grid->dataRowCount());
        placeEditor();
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { placeEditor(); });
    connect(m_grid, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation orientation, int first) {
        if (orientation == Qt::Horizontal && first == 0 && m_corner)
            m_corner->update();
    });
    setCurrentCell(1, 1);
}

int InputGridView::col() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : 1;
}

int InputGridView::row() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? ResultGrid::gridRow(current) : 1;
}

void InputGridView::setCurrentCell(int col, int row)
{
    col = std::clamp(col, 1, ResultGrid::ColCount - 1);
    row = std::clamp(row, 1, std::max(1, m_grid->gridRowCount() - 1));
    const QModelIndex target = m_grid->indexOf(col, row);
    if (!target.isValid())
        return;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
}

void InputGridView::setNumberColumnWidth(int width)
{
    verticalHeader()->setFixedWidth(width);
}

void InputGridView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid()) {
        syncEditorText();
        placeEditor();
        SwitchImeOff(m_editor);
        emit cellSelected(current.column(), ResultGrid::gridRow(current));
    }
}

void InputGridView::syncEditorText()
{
    const QString text = m_grid->cell(col(), row());
    if (m_editor->text() != text)
        m_editor->setText(text);
}

void InputGridView::placeEditor()
{
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        m_editor->hide();
        return;
    }
    if (isVisible())
        scrollTo(current);
    const QRect rect = visualRect(current);
    m_editor->setGeometry(rect.adjusted(1, 1, -1, -1));
    if (!m_editor->isVisible())
        m_editor->show();
}

void InputGridView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    const QModelIndex current = currentIndex();
    if (current.isValid())
        m_editor->setGeometry(visualRect(current).adjusted(1, 1, -1, -1));
}

void InputGridView::updateGeometries()
{
    QTableView::updateGeometries();
    const QModelIndex current = currentIndex();
    if (current.isValid())
        m_editor->setGeometry(visualRect(current).adjusted(1, 1, -1, -1));
}

void InputGridView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    placeEditor();
}

void InputGridView::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    m_editor->setFocus(event->reason());
}

void InputGridView::mousePressEvent(QMouseEvent *event)
{
    QTableView::mousePressEvent(event);
    m_editor->setFocus(Qt::MouseFocusReason);
    emit cellClicked();
}

void InputGridView::paintCorner(QWidget *corner)
{
    QStyleOptionHeader option;
    option.initFrom(corner);
    // The corner button is disabled so that a click selects nothing; its heading is
    // drawn as the other headings are, not greyed.
    option.state |= QStyle::State_Enabled;
    option.palette.setCurrentColorGroup(QPalette::Active);
    option.rect = corner->rect();
    option.text = m_grid->cell(0, 0);
    option.textAlignment = Qt::AlignCenter;
    option.position = QStyleOptionHeader::OnlyOneSection;
    option.orientation = Qt::Horizontal;
    option.fontMetrics = QFontMetrics(horizontalHeader()->font());
    QPainter painter(corner);
    painter.setFont(horizontalHeader()->font());
    corner->style()->drawControl(QStyle::CE_Header, &option, &painter, corner);
}

bool InputGridView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_corner && event->type() == QEvent::Paint) {
        paintCorner(m_corner);
        return true;
    }
    if (watched == m_editor) {
        if (event->type() == QEvent::KeyPress) {
            // A key whose handling failed is dropped with the rest of that action.
            bool consumed = true;
            Guarded(window(), [&] { consumed = handleEditorKeyPress(static_cast<QKeyEvent *>(event)); });
            return consumed;
        }
        if (event->type() == QEvent::KeyRelease && keyUpHandler) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (!key->isAutoRepeat())
                Guarded(window(), [&] { keyUpHandler(key->key()); });
        }
        if (event->type() == QEvent::MouseButtonPress)
            emit cellClicked();
    }
    return QTableView::eventFilter(watched, event);
}

bool InputGridView::handleEditorKeyPress(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        moveCursor(0, -1);
        return true;
    case Qt::Key_Down:
        moveCursor(0, 1);
        return true;
    case Qt::Key_Left:
        moveCursor(-1, 0);
        return true;
    case Qt::Key_Right:
        moveCursor(1, 0);
        return true;
    case Qt::Key_PageUp:
        moveCursor(0, -std::max(1, viewport()->height() / 24 - 1));
        return true;
    case Qt::Key_PageDown:
        moveCursor(0, std::max(1, viewport()->height() / 24 - 1));
        return true;
    case Qt::Key_Tab:
        tabTo(event->modifiers() & Qt::ShiftModifier);
        return true;
    case Qt::Key_Backtab:
        tabTo(true);
        return true;
    default:
        break;
    }

    QChar key = TypedCharacter(event->key(), event->text(), event->modifiers());
    if (key.isNull() && IsCommandChord(event->text(), event->modifiers()))
        return true;    // Alt+M and the like never put a letter in a cell
    if (key.isNull() || !keyPressHandler)
        return false;   // keys that type nothing (Delete, Home, Shift) are the editor's

    const QChar typed = key;
    keyPressHandler(key);
    if (key.isNull())
        return true;
    if (key == typed)
        return false;   // let the editor take it as typed
    m_editor->insert(QString(key));
    m_grid->setCell(col(), row(), m_editor->text());
    return true;
}

void InputGridView::moveCursor(int dCol, int dRow)
{
    const int newCol = std::clamp(col() + dCol, 1, ResultGrid::ColCount - 1);
    const int newRow = std::clamp(row() + dRow, 1, m_grid->gridRowCount() - 1);
    setCurrentCell(newCol, newRow);
}

void InputGridView::tabTo(bool backward)
{
    int c = col();
    int r = row();
    if (backward) {
        if (c > 1) {
            --c;
        } else if (r > 1) {
            c = ResultGrid::ColCount - 1;
            --r;
        }
    } else {
        if (c < ResultGrid::ColCount - 1) {
            ++c;
        } else if (r < m_grid->gridRowCount() - 1) {
            c = 1;
            ++r;
        }
    }
    setCurrentCell(c, r);
}

} // namespace Ordavex
