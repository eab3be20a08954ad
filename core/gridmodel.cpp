#include "gridmodel.h"

#include "runtimeerror.h"

#include <algorithm>

namespace Ordavex {

ResultGrid::ResultGrid(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_cells.resize(m_rowCount);
}

void ResultGrid::setGridRowCount(int rows)
{
    rows = std::clamp(rows, 1, MaxRows);
    if (rows == m_rowCount)
        return;
    if (rows > m_rowCount) {
        beginInsertRows({}, m_rowCount - 1, rows - 2);
        if (m_cells.size() < rows)
            m_cells.resize(rows);
        m_rowCount = rows;
        endInsertRows();
    } else {
        beginRemoveRows({}, rows - 1, m_rowCount - 2);
        m_rowCount = rows;
        endRemoveRows();
    }
}

QString ResultGrid::cell(int col, int row) const
{
    if (col < 0 || col >= ColCount || row < 0 || row >= m_cells.size())
        return {};
    return m_cells[row][col];
}

QStringView ResultGrid::cellView(int col, int row) const
{
    if (col < 0 || col >= ColCount || row < 0 || row >= m_cells.size())
        return {};
    return m_cells[row][col];
}

void ResultGrid::setCell(int col, int row, QString text)
{
    if (col < 0 || col >= ColCount || row < 0 || row >= MaxRows)
        return;
    if (row >= m_cells.size()) {
        if (text.isEmpty())
            return;
        m_cells.resize(row + 1);
    }
    QString &stored = m_cells[row][col];
    if (stored == text)
        return;
    stored = std::move(text);
    if (m_bulkEdits > 0)
        return;
    if (row == 0) {
        emit headerDataChanged(Qt::Horizontal, col, col);
    } else if (row < m_rowCount) {
        const QModelIndex changed = indexOf(col, row);
        emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    }
}

const QString &ResultGrid::numberText(int number)
{
    static const std::array<QString, MaxRows + 1> texts = [] {
        std::array<QString, MaxRows + 1> made;
        for (int n = 0; n <= MaxRows; ++n)
            made[n] = QString::number(n);
        return made;
    }();
    return texts[size_t(std::clamp(number, 0, MaxRows))];
}

void ResultGrid::endBulkEdit()
{
    if (--m_bulkEdits > 0)
        return;
    emit headerDataChanged(Qt::Horizontal, 0, ColCount - 1);
    if (m_rowCount > 1)
        emit dataChanged(index(0, 0), index(m_rowCount - 2, ColCount - 1), {Qt::DisplayRole, Qt::EditRole});
}

void ResultGrid::clearRow(int row)
{
    if (row < 0 || row >= m_cells.size())
        return;
    for (int col = 0; col < ColCount; ++col) {
        if (!m_cells[row][col].isEmpty())
            setCell(col, row, {});
    }
}

void ResultGrid::clearEntries()
{
    const BulkEdit bulk(*this);
    for (qsizetype row = 1; row < m_cells.size(); ++row) {
        std::array<QString, ColCount> &cells = m_cells[row];
        for (int col = 1; col < ColCount; ++col)
            cells[col].clear();
    }
}

int ResultGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rowCount - 1;
}

int ResultGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QVariant ResultGrid::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cell(index.column(), gridRow(index));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() == 2 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignCenter);
    return {};
}

bool ResultGrid::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)
        || !isEntryCell(index.column(), gridRow(index)))
        return false;
    setCell(index.column(), gridRow(index), value.toString());
    return true;
}

QVariant ResultGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < ColCount ? QVariant(cell(section, 0)) : QVariant();
    return section >= 0 && section < m_rowCount - 1 ? QVariant(cell(0, section + 1)) : QVariant();
}

Qt::ItemFlags ResultGrid::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (!isEntryCell(index.column(), gridRow(index)))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

RowCountChange InterpretRowCountText(const QString &text)
{
    if (text.isEmpty())
        return {};
    int value = 0;
    if (!TryStrToInt(text, &value))
        return {RowCountChange::ReplaceWithMinimum, 1};
    if (value < 1 || value > ResultGrid::MaxDataRows)
        return {RowCountChange::Ignore, value};
    return {RowCountChange::Apply, value};
}

} // namespace Ordavex
