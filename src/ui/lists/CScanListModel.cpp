#include "ui/lists/CScanListModel.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/CompareResult.h"
#include "records/IdentityFlags.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "ui/lists/ListIcons.h"

#include <QColor>
#include <mutex>

namespace
{

QColor ToQColor(ColorRef color)
{
    return QColor(ColorRefRed(color), ColorRefGreen(color), ColorRefBlue(color));
}

} // namespace

QVariant ScanCellData(const HostRecord& record, int column, int role, const CNVOUI* oui)
{
    switch (role) {
    case Qt::DisplayRole:
        // Names come from the network: no control character reaches the screen.
        return ReplaceControlChars(ScanCellText(record, column, oui));
    case Qt::DecorationRole:
        if (column == ScanColIp)
            return GetListIcon(ListIcon::IpAddress);
        if (column == ScanColMac)
            return GetListIcon(HasIdentityFlags(record) ? ListIcon::FlaggedMac
                                                        : ListIcon::MacAddress);
        if (column == ScanColCompare && record.overallState == CompareState::Different)
            return GetListIcon(ListIcon::Different);
        return QVariant();
    case Qt::ForegroundRole:
        return ToQColor(CompareCellColor(record, column));
    case Qt::ToolTipRole:
        if (column == ScanColMac && HasIdentityFlags(record))
            return IdentityFlagsText(record);
        return QVariant();
    default:
        return QVariant();
    }
}

namespace
{

bool NeedsComparison(int role)
{
    return role == Qt::DisplayRole || role == Qt::DecorationRole || role == Qt::ForegroundRole ||
           role == Qt::ToolTipRole;
}

} // namespace

CScanListModel::CScanListModel(CLanveyDoc& doc, QObject* parent)
    : CRecordListModel(ColumnTitles(), PrintedColumns(ScanColumns()), parent), m_doc(doc)
{
}

QStringList CScanListModel::ColumnTitles()
{
    return ScanColumnTitles();
}

QVariant CScanListModel::data(const QModelIndex& index, int role) const
{
    if (!IsValidCell(index) || !NeedsComparison(role))
        return QVariant();
    std::lock_guard guard(g_recordLock);
    HostRecord* record = m_doc.GetScanRecord(index.row());
    if (!record) // a row whose record is gone shows empty and black
        return role == Qt::ForegroundRole ? QVariant(QColor(Qt::black)) : QVariant();
    m_doc.CompareWithDatabase(record, index.row());
    return ScanCellData(*record, index.column(), role, m_doc.GetVendorTable());
}

void CScanListModel::multiData(const QModelIndex& index, QModelRoleDataSpan roleDataSpan) const
{
    // A cell is drawn from several roles at once: one lookup and one comparison for all.
    for (QModelRoleData& roleData : roleDataSpan)
        roleData.clearData();
    if (!IsValidCell(index))
        return;
    std::lock_guard guard(g_recordLock);
    HostRecord* record = m_doc.GetScanRecord(index.row());
    if (record)
        m_doc.CompareWithDatabase(record, index.row());
    for (QModelRoleData& roleData : roleDataSpan) {
        if (!NeedsComparison(roleData.role()))
            continue;
        if (record)
            roleData.setData(
                ScanCellData(*record, index.column(), roleData.role(), m_doc.GetVendorTable()));
        else if (roleData.role() == Qt::ForegroundRole)
            roleData.setData(QColor(Qt::black));
    }
}

void CScanListModel::DeleteRecord(int row)
{
    m_doc.DeleteScanRecord(row);
}
