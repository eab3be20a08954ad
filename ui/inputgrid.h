#pragma once

#include <QColor>

#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <optional>

namespace Ordavex {

class ResultGrid;

// The in-place editor: always open on the current cell, and the only part of the grid
// that ever holds the keyboard focus, so no typed key can land anywhere else.
class CellEditor final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CellEditor)

public:
    using QLineEdit::QLineEdit;
};

// Draws one cell: headings and columns 0 and 1 centred, the time column right-aligned
// in its display form. The background comes from the cell's state.
class CellDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CellDelegate)

public:
    CellDelegate(const ResultGrid *grid, QObject *parent);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    std::function<QString(const QString &)> timeText;
    // The background of a cell of a data row, when it is marked.
    std::function<std::optional<QColor>(int col, int row)> markColour;

private:
    const ResultGrid *m_grid;
};

// The results grid on screen: the data rows of a ResultGrid under a fixed heading row,
// with a cursor on the entry cells and an editor always open on it. The number column
// is the vertical header, so that it stays in view while the entry columns scroll
// sideways and can never hold the cursor; its heading is drawn in the corner.
class InputGridView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InputGridView)

public:
    InputGridView(ResultGrid *grid, QWidget *parent = nullptr);

    ResultGrid *grid() const { return m_grid; }
    CellEditor *editor() const { return m_editor; }
    CellDelegate *cellDelegate() const { return m_delegate; }

    // The cursor in grid coordinates (Col 1 or 2, Row 1 to RowCount - 1).
    int col() const;
    int row() const;
    void setCurrentCell(int col, int row);
    // Column 0 is drawn by the vertical header.
    void setNumberColumnWidth(int width);

    // Called for each typed character before it reaches the cell; it may replace the
    // character by the null character, which drops it.
    std::function<void(QChar &)> keyPressHandler;
    // Called when a key is released, after the grid has handled it.
    std::function<void(int key)> keyUpHandler;

signals:
    void cellClicked();
    void cellSelected(int col, int row);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleEditorKeyPress(QKeyEvent *event);
    void paintCorner(QWidget *corner);
    void moveCursor(int dCol, int dRow);
    void tabTo(bool backward);
    void placeEditor();
    void syncEditorText();

    ResultGrid *m_grid;
    CellDelegate *m_delegate;
    CellEditor *m_editor;
    QWidget *m_corner = nullptr;
};

} // namespace Ordavex
