#pragma once

#include <QString>

// One host of a transfer to the analyzer's name table. The document keeps a list of
// them for the length of one transfer.
struct NameTableEntry {
    quint32 ip = 0;     // IPv4 value, network byte order
    quint64 mac = 0;    // MAC value
    QString alias;      // proposed alias, edited by the user before the transfer
    qint32 checked = 0; // 1 for every row the user left checked
    quint32 result = 0; // the analyzer's answer to the entry's last add message
};
