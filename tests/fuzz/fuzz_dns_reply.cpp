// libFuzzer target: the parse of a multicast DNS or LLMNR reply, on any bytes a host on
// the link may send, as a reverse lookup's answer and as an address (AAAA) query's. The
// id and the address asked about come from the reply's own first bytes, so that the
// fuzzer reaches the answers without guessing them.

#include "FuzzCheck.h"
#include "lang/DisplayText.h"
#include "scan/DnsMessage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The message alone, in a block of exactly its size.
    auto copy = std::make_unique<char[]>(size ? size : 1);
    if (size)
        std::memcpy(copy.get(), data, size);
    const QByteArrayView message(copy.get(), qsizetype(size));
    const quint16 id = size >= 2 ? quint16((data[0] << 8) | data[1]) : 0;
    for (const quint32 ip : {0x030012C6u, 0x120012C6u, 0u}) {
        const DnsReply reply = ParseReversePtrReply(message, id, ip);
        Check(reply.ok || reply.ptrTargets.isEmpty());
        for (const QString& name : reply.ptrTargets) {
            Check(!name.isEmpty() && name.size() <= kMaxNameLength);
            for (const QChar c : name)
                Check(!IsControlChar(c.unicode()));
        }
    }
    // And as the answer to an AAAA query for a name a host gave.
    for (const char* name : {"macbook-16.local", "a.b", ""}) {
        const DnsAddressReply addresses = ParseAddressReply(message, id, QString::fromLatin1(name));
        Check(addresses.ok || addresses.addresses.empty());
        Check(addresses.addresses.size() <= size_t(kMaxIpv6Addresses));
        Check(*name || addresses.addresses.empty());
    }
    return 0;
}
