#pragma once

#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"
#include "support/AddressText.h"

#include <memory>
#include <numeric>
#include <vector>

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

// The exchange sort written out, as the reference for the order of equal keys: entry p
// is the original position of what ends up at p.
template <typename Key, typename Less>
std::vector<int> ReferenceExchangeSortBy(std::vector<Key> keys, Less before)
{
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        for (size_t j = i + 1; j < keys.size(); ++j) {
            if (before(keys[j], keys[i])) {
                std::swap(keys[i], keys[j]);
                std::swap(order[i], order[j]);
            }
        }
    }
    return order;
}
