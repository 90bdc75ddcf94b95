#include "records/IdentityFlags.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

namespace
{

constexpr quint64 kMacBits = 0xFFFFFFFFFFFFull;

} // namespace

bool IsLocallyAdministered(quint64 mac)
{
    return (mac & 0x02) != 0;
}

bool NetBiosMacDiffers(const HostRecord& record)
{
    return (record.netBiosMac & kMacBits) != 0 &&
           (record.netBiosMac & kMacBits) != (record.mac & kMacBits);
}

bool HasIpConflict(const HostRecord& record)
{
    return (record.conflictMac & kMacBits) != 0 &&
           (record.conflictMac & kMacBits) != (record.mac & kMacBits);
}

bool HasIdentityFlags(const HostRecord& record)
{
    return IsLocallyAdministered(record.mac) || NetBiosMacDiffers(record) || HasIpConflict(record);
}

QString IdentityFlagsText(const HostRecord& record)
{
    QStringList lines;
    if (IsLocallyAdministered(record.mac))
        lines << FormatLangStringA(0xF151, "Locally administered MAC address (not assigned by "
                                           "a maker; it may be random or set by hand)");
    if (NetBiosMacDiffers(record))
        lines << FormatLangStringA(
            0xF152, "The host's NetBIOS answer gives another adapter address: %s_MAC%",
            {FormatMacAddress(record.netBiosMac)});
    if (HasIpConflict(record))
        lines << FormatLangStringA(0xF153,
                                   "IP address conflict: %s_MAC% also answered for this address",
                                   {FormatMacAddress(record.conflictMac)});
    return lines.join(u'\n');
}

QStringList IdentityFlagKeywords(const HostRecord& record)
{
    QStringList words;
    if (IsLocallyAdministered(record.mac))
        words << QStringLiteral("locally-administered");
    if (NetBiosMacDiffers(record))
        words << QStringLiteral("netbios-mac-differs");
    if (HasIpConflict(record))
        words << QStringLiteral("ip-conflict");
    return words;
}
