#include "records/CompareResult.h"

#include "lang/LangString.h"
#include "records/HostRecord.h"
#include "records/RecordColumns.h"

QString CompareResultText(const HostRecord& record, bool withHint)
{
    const bool ipDiffers = record.ipState == CompareState::Different;
    const bool macDiffers = record.macState == CompareState::Different;
    if (!ipDiffers && !macDiffers) {
        if (record.overallState == CompareState::Matched)
            return FormatLangString(
                219, QStringLiteral(
                         "Record already exists, IP address and MAC address completely matched"));
        return FormatLangString(151, QStringLiteral("New IP address and MAC address "));
    }
    QString text = ipDiffers && macDiffers
                       ? FormatLangString(
                             179, QStringLiteral("IP Address Different And MAC Address Different "))
                   : ipDiffers ? FormatLangString(153, QStringLiteral("IP Address Different "))
                               : FormatLangString(155, QStringLiteral("MAC Address Different "));
    if (withHint)
        text += FormatLangString(213, QStringLiteral("(Double-Click here to get details!)"));
    return text;
}

ColorRef CompareStateColor(CompareState state)
{
    switch (state) {
    case CompareState::Different:
        return MakeColorRef(255, 0, 0);
    case CompareState::New:
        return MakeColorRef(0, 0, 255);
    case CompareState::Matched:
        break;
    }
    return MakeColorRef(0, 0, 0);
}

ColorRef CompareCellColor(const HostRecord& record, int column)
{
    switch (column) {
    case ScanColIp:
        return CompareStateColor(record.ipState);
    case ScanColMac:
        return CompareStateColor(record.macState);
    case ScanColCompare:
        return CompareStateColor(record.overallState);
    default:
        return MakeColorRef(0, 0, 0);
    }
}

QString CompareKeyword(const HostRecord& record)
{
    const bool ipDiffers = record.ipState == CompareState::Different;
    const bool macDiffers = record.macState == CompareState::Different;
    if (ipDiffers && macDiffers)
        return QStringLiteral("both-differ");
    if (ipDiffers)
        return QStringLiteral("ip-differs");
    if (macDiffers)
        return QStringLiteral("mac-differs");
    return record.overallState == CompareState::Matched ? QStringLiteral("matched")
                                                        : QStringLiteral("new");
}

QString ScanCellText(const HostRecord& record, int column, const CNVOUI* oui, bool withHint)
{
    if (column < 0 || column >= ScanColumnCount)
        return QString();
    return ScanColumns()[size_t(column)].text(record,
                                              {oui, withHint ? CellUse::List : CellUse::Table});
}
