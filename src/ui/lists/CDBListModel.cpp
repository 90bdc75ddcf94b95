#include "CDBListModel.h"

#include "AddressText.h"
#include "LangString.h"
#include "LanveyDoc.h"
#include "ListIcons.h"
#include "NVOUI.h"

#include <QColor>

CDBListModel::CDBListModel(CLanveyDoc& doc, QObject* parent)
    : CRecordListModel(ColumnTitles(), parent), m_doc(doc)
{
}

QStringList CDBListModel::ColumnTitles()
{
    return {FormatLangString(165, QStringLiteral("IP Address")),
            FormatLangString(167, QStringLiteral("MAC Address")),
            FormatLangString(168, QStringLiteral("Host Name")),
            FormatLangString(229, QStringLiteral("WorkGroup")),
            FormatLangString(173, QStringLiteral("User Name")),
            FormatLangString(174, QStringLiteral("Location")),
            FormatLangString(169, QStringLiteral("Manufacture")),
            FormatLangString(171, QStringLiteral("Comment"))};
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
        case DbColHostName:
            return record->hostName;
        case DbColWorkgroup:
            return record->workgroup;
        case DbColUserName:
            return record->userName;
        case DbColLocation:
            return record->location;
        case DbColVendor: {
            const CNVOUI* oui = m_doc.GetVendorTable();
            return oui ? oui->GetManufacturer(FormatMacAddress(record->mac)) : QString();
        }
        case DbColComment:
            return record->comment;
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
