#include "ui/lists/CRecordListModel.h"

CRecordListModel::CRecordListModel(QStringList titles, std::vector<bool> printed, QObject* parent)
    : QAbstractTableModel(parent), m_titles(std::move(titles)), m_printed(std::move(printed))
{
}

int CRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nCount;
}

int CRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

QVariant CRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_titles.size())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_titles.at(section);
    case Qt::InitialSortOrderRole:
        // A first click on a column sorts it ascending.
        return static_cast<int>(Qt::AscendingOrder);
    case Qt::TextAlignmentRole:
        return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
    case kColumnPrintedRole:
        return size_t(section) < m_printed.size() && m_printed[size_t(section)];
    default:
        return QVariant();
    }
}

void CRecordListModel::SetItemCount(int count)
{
    count = std::max(count, 0);
    if (count > m_nCount) {
        beginInsertRows(QModelIndex(), m_nCount, count - 1);
        m_nCount = count;
        endInsertRows();
    } else if (count < m_nCount) {
        beginRemoveRows(QModelIndex(), count, m_nCount - 1);
        m_nCount = count;
        endRemoveRows();
    }
}

void CRecordListModel::RemoveRows(int first, int last)
{
    if (first < 0 || last < first || last >= m_nCount)
        return;
    beginRemoveRows(QModelIndex(), first, last);
    for (int row = last; row >= first; --row)
        DeleteRecord(row);
    m_nCount -= last - first + 1;
    endRemoveRows();
}

void CRecordListModel::RefreshAll()
{
    if (m_nCount > 0 && !m_titles.isEmpty())
        emit dataChanged(index(0, 0), index(m_nCount - 1, static_cast<int>(m_titles.size()) - 1));
}

bool CRecordListModel::IsValidCell(const QModelIndex& index) const
{
    return checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid);
}
