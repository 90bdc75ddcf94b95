#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>
#include <vector>

// One IPv4 address of a local adapter, both values in network byte order (the first
// dotted octet in the lowest-addressed byte), as the scan engine keeps addresses.
struct AdapterAddress {
    quint32 ip = 0;
    quint32 mask = 0;
};

// The machine's adapter addresses, or nullopt when they cannot be read. The target box
// asks this once per refill; tests give it a fixed list.
using AdapterQuery = std::function<std::optional<std::vector<AdapterAddress>>()>;

// Every IPv4 address of every interface, from QNetworkInterface (no traffic).
std::optional<std::vector<AdapterAddress>> QueryLocalAdapters();

// Builds an address from dotted text ("192.168.1.37"); for tests and stand-in lists.
AdapterAddress MakeAdapterAddress(const QString& ip, const QString& mask);

// The target box's text for an adapter address: network address, "/", mask, both
// dotted ("192.168.1.0/255.255.255.0").
QString SubnetEntryText(const AdapterAddress& address);
