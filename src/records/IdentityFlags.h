#pragma once

#include "records/HostRecord.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Signs that a host's MAC address is not the maker's burnt-in one, or that the host
// tells another story about its adapter than ARP did.

// The locally administered bit (0x02 of the first octet; the first octet is the MAC
// value's least significant byte).
bool IsLocallyAdministered(quint64 mac);

// The NetBIOS reply named an adapter address (not all zeros) other than the ARP MAC.
bool NetBiosMacDiffers(const HostRecord& record);

// Another MAC answered ARP for the same address in the same scan.
bool HasIpConflict(const HostRecord& record);

bool HasIdentityFlags(const HostRecord& record);

// One line per flag, for the MAC cell's tooltip, from the string table.
QString IdentityFlagsText(const HostRecord& record);

// Stable words for files and scripts: "locally-administered", "netbios-mac-differs",
// "ip-conflict".
QStringList IdentityFlagKeywords(const HostRecord& record);
