// libFuzzer target: the parse of a neighbour dump as the kernel's netlink socket gives
// it, on any bytes; and of an ICMPv6 echo reply, on the same bytes.

#include "FuzzCheck.h"
#include "scan/platform/Ipv6Neighbours.h"
#include "support/AddressText.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The bytes alone, in a block of exactly their size.
    auto copy = std::make_unique<char[]>(size ? size : 1);
    if (size)
        std::memcpy(copy.get(), data, size);
    const QByteArrayView bytes(copy.get(), qsizetype(size));
    bool done = false;
    const std::vector<Ipv6Neighbour> entries = ParseIpv6Neighbours(bytes, &done);
    // Each entry takes at least a header, the ndmsg and two attributes.
    Check(entries.size() <= size / 44);
    for (const Ipv6Neighbour& entry : entries)
        Check(IsHostMacAddress(entry.mac));
    const auto sequence = ParseEchoReply(bytes);
    Check(!sequence || (size >= 8 && data[0] == 129 && data[1] == 0));
    if (size >= 6)
        Check(ParseEchoReply(bytes, quint16((data[4] << 8) | data[5])) == sequence);
    return 0;
}
