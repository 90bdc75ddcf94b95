#include "ui/lists/CDBListModel.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/LanveyDoc.h"
#include "records/RecordColumns.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"
#include "ui/lists/ListIcons.h"

#include <QColor>

CDBListModel::CDBListModel(CLanveyDoc& doc, QObject* parent)
    : CRecordListModel(ColumnTitles(), parent), m_doc(doc)
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
        switch (index.column()) {
        case DbColIp:
            return FormatIpAddress(record->ip);
        case DbColMac:
            return FormatMacAddress(record->mac);
        // Texts typed, taken from a scan or read from a file are shown without their
        // control characters.
        case DbColHostName:
            return ReplaceControlChars(record->hostName);
        case DbColWorkgroup:
            return ReplaceControlChars(record->workgroup);
        case DbColUserName:
            return ReplaceControlChars(record->userName);
        case DbColLocation:
            return ReplaceControlChars(record->location);
        case DbColVendor: {
            const CNVOUI* oui = m_doc.GetVendorTable();
            return oui ? oui->GetManufacturer(FormatMacAddress(record->mac)) : QString();
        }
        case DbColComment:
            return ReplaceControlChars(record->comment);
        case DbColOtherNames:
            return ReplaceControlChars(OtherNamesText(record->otherNames));
        default:
            return QString();
        }
    case Qt::DecorationRole:
        if (index.column() == DbColIp)
            return GetListIcon(ListIcon::IpAddress);
        if (index.column() == DbColMac)
            return GetListIcon(ListIcon::MacAddress);
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
