#pragma once

#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"
#include "support/AddressText.h"

#include <memory>

inline quint32 IpOf(const char* text)
{
    return GetIpAddress(QString::fromLatin1(text));
}

inline quint64 MacOf(const char* text)
{
    return GetMacAddress(QString::fromLatin1(text), QLatin1Char(':')) | kMacTopBits;
}

inline std::unique_ptr<HostRecord> Host(const char* ip, const char* mac, const char* name = "",
                                        const char* workgroup = "")
{
    auto record = std::make_unique<HostRecord>();
    record->ip = IpOf(ip);
    record->mac = MacOf(mac);
    record->hostName = QString::fromUtf8(name);
    record->workgroup = QString::fromUtf8(workgroup);
    record->resolved = 1;
    return record;
}

inline std::unique_ptr<DatabaseRecord> Known(const char* ip, const char* mac, const char* name = "")
{
    auto record = std::make_unique<DatabaseRecord>();
    record->ip = IpOf(ip);
    record->mac = MacOf(mac);
    record->hostName = QString::fromUtf8(name);
    return record;
}
