// libFuzzer target: the name parse of a NetBIOS node-status reply, and the ANSI decoders
// it uses, on any bytes a host may send. Every input is parsed in each code page the
// program uses; a reply longer than the receive buffer is cut as recv would cut it.

#include "FuzzCheck.h"
#include "lang/AnsiCodePage.h"
#include "scan/NetBiosNames.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (const int codePage : {1252, 936, 950}) {
        SetAnsiCodePage(codePage);
        NodeStatusReply reply = EmptyNodeStatusReply();
        std::copy_n(data, std::min(size, reply.size()), reply.begin());
        QString hostName;
        QString workgroup;
        ParseNodeStatusNames(reply, hostName, workgroup);
        // An 18-byte entry gives at most 18 characters; decoding never makes text longer
        // than its bytes.
        Check(hostName.size() <= 18 && workgroup.size() <= 18);

        // The decoder alone, on a block of exactly the input's size.
        auto copy = std::make_unique<char[]>(size ? size : 1);
        if (size)
            std::memcpy(copy.get(), data, size);
        const QString text = DecodeAnsi(copy.get(), qsizetype(size), codePage);
        Check(text.size() <= qsizetype(size));
    }
    SetAnsiCodePage(1252);
    return 0;
}
