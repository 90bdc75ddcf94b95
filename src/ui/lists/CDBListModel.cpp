#include "ui/lists/CDBListModel.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/LanveyDoc.h"
#include "records/RecordColumns.h"
#include "ui/lists/ListIcons.h"

#include <QColor>

CDBListModel::CDBListModel(CLanveyDoc& doc, QObject* parent)
    : CRecordListModel(ColumnTitles(), PrintedColumns(DatabaseColumns()), parent), m_doc(doc)
{
}

QStringList CDBListModel::ColumnTitles()
{
    return DatabaseColumnTitles();
}

QVariant CDBListModel::data(const QModelIndex& index, int role) const
{
    if (!IsValidCell(index))
        return QVariant();
    const DatabaseRecord* record = m_doc.GetDatabaseRecord(index.row());
    if (!record)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        // Texts typed, taken from a scan or read from a file are shown without their
        // control characters.
        return ReplaceControlChars(DatabaseColumns()[size_t(index.column())].text(
            *record, {m_doc.GetVendorTable(), CellUse::List, &m_doc.Sightings()}));
    case Qt::DecorationRole:
        if (index.column() == DbColIp)
            return GetListIcon(m_doc.IsNotSeen(*record) ? ListIcon::NotSeen : ListIcon::IpAddress);
        if (index.column() == DbColMac)
            return GetListIcon(ListIcon::MacAddress);
        return QVariant();
    case Qt::ToolTipRole:
        if (index.column() == DbColIp && m_doc.IsNotSeen(*record))
            return FormatLangStringA(0xF302, "Not seen by the latest scan of its subnet");
        return QVariant();
    case Qt::ForegroundRole:
        return QColor(ColorRefRed(record->color), ColorRefGreen(record->color),
                      ColorRefBlue(record->color));
    default:
        return QVariant();
    }
}

void CDBListModel::DeleteRecord(int row)
{
    m_doc.DeleteDatabaseRecord(row);
}
