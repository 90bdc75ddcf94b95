// libFuzzer target: the parse of a multicast DNS or LLMNR reply, on any bytes a host on
// the link may send. The id and the address asked about come from the reply's own first
// bytes, so that the fuzzer reaches the answers without guessing them.

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
    return 0;
}
