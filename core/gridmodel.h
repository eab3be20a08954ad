#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <array>

namespace Ordavex {

// The results grid: a table of texts addressed by (column, row) with a heading row 0
// and a number column 0, as the program and its files see it. Texts of rows beyond
// the current row count are kept, so lowering the count hides rows without erasing them.
//
// As a Qt model it shows the data rows (grid row r + 1 is model row r); the headings
// of row 0 are its horizontal header.
class ResultGrid final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultGrid)

public:
    static constexpr int ColCount = 3;
    static constexpr int MaxDataRows = 500;
    static constexpr int MaxRows = MaxDataRows + 1;

    explicit ResultGrid(QObject *parent = nullptr);

    // RowCount of the grid, heading row included (1 to MaxRows).
    int gridRowCount() const { return m_rowCount; }
    void setGridRowCount(int rows);
    int dataRowCount() const { return m_rowCount - 1; }

    QString cell(int col, int row) const;
    // The cell's text without a copy, valid until the cell changes.
    QStringView cellView(int col, int row) const;
    void setCell(int col, int row, QString text);
    // Empties the three cells of a row (shown or hidden).
    void clearRow(int row);
    // Empties the entry cells of every row, the hidden ones too: the texts kept for a
    // raised row count belong to the heat that is being emptied or replaced.
    void clearEntries();

    static bool isEntryCell(int col, int row) { return col >= 1 && col < ColCount && row >= 1; }

    // The text of a row number from 0 to MaxRows, made once and shared: the number
    // column and the small numbers of an opened file take it without a string each.
    static const QString &numberText(int number);

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    static int gridRow(const QModelIndex &index) { return index.row() + 1; }

    // While one lives, cell changes are not announced one by one; when the last one
    // goes, the whole table is announced as changed once. Row-count changes are
    // announced as they happen.
    class BulkEdit final
    {
    public:
        explicit BulkEdit(ResultGrid &grid) : m_grid(grid) { ++m_grid.m_bulkEdits; }
        ~BulkEdit() { m_grid.endBulkEdit(); }
        BulkEdit(const BulkEdit &) = delete;
        BulkEdit &operator=(const BulkEdit &) = delete;

    private:
        ResultGrid &m_grid;
    };
    QModelIndex indexOf(int col, int row) const { return index(row - 1, col); }

private:
    void endBulkEdit();

    QList<std::array<QString, ColCount>> m_cells;
    int m_bulkEdits = 0;    // grows on demand, never shrinks
    int m_rowCount = 2;
};

// What a change of the row-count field's text does to the grid.
struct RowCountChange
{
    enum Action {
        Ignore,              // empty, or outside 1..500: nothing happens
        ReplaceWithMinimum,  // not an integer: the text becomes "1"
        Apply,               // the value becomes the number of data rows
    };
    Action action = Ignore;
    int value = 0;
};
RowCountChange InterpretRowCountText(const QString &text);

} // namespace Ordavex
