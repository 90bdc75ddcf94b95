#include "scan/NetBiosNames.h"

#include "lang/AnsiCodePage.h"
#include "scan/ArpPacket.h"

#include <algorithm>
#include <cstring>

namespace
{

// Request layout (16-bit fields big-endian):
//   0 id 0000 | 2 flags 0010 (query, broadcast bit) | 4 qdcount 0001 | 6..11 other counts 0
//   12 name length 0x20 | 13 "CK" + 30 x "A" (first-level encoding of '*' + 15 zero bytes)
//   45 name end 00 | 46 type 0021 (NBSTAT) | 48 class 0001 (IN)
constexpr int kNameLengthOffset = 12;
constexpr int kNameOffset = 13;
constexpr int kEncodedNameSize = 32;
constexpr quint8 kWildcardName = '*';

// Reply: 12-byte header, 34-byte question name, type, class, TTL, data length and the
// name count fill offsets 0 to 56; then 18-byte entries of 15 name bytes, a suffix
// byte and 2 flag bytes. None of the fields before the entries is looked at.
constexpr int kNameCountOffset = 56;
constexpr int kFirstEntryOffset = 57;
constexpr int kUnitIdSize = 6;
constexpr int kEntrySize = 18;
constexpr int kParseEnd = 500;

} // namespace

NodeStatusRequest BuildNodeStatusRequest()
{
    NodeStatusRequest request{};
    request[3] = 0x10;
    request[5] = 0x01;
    request[kNameLengthOffset] = kEncodedNameSize;
    // Each byte of the 16-byte name becomes 'A' + high nibble, 'A' + low nibble.
    for (int i = 0; i < kEncodedNameSize / 2; ++i) {
        const quint8 byte = i == 0 ? kWildcardName : 0;
        request[kNameOffset + 2 * i] = quint8('A' + (byte >> 4));
        request[kNameOffset + 2 * i + 1] = quint8('A' + (byte & 0x0F));
    }
    request[kNameOffset + kEncodedNameSize] = 0;
    request[47] = 0x21;
    request[49] = 0x01;
    return request;
}

NodeStatusReply EmptyNodeStatusReply()
{
    NodeStatusReply reply;
    reply.fill(kNodeStatusUnfilled);
    return reply;
}

void ParseNodeStatusNames(const NodeStatusReply& reply, QString& hostName, QString& workgroup)
{
    quint8 name[256] = {};
    int k = 0;
    int n = 0;
    int state = 0; // 0: no name yet, 1: host name taken, 2: workgroup taken
    for (int i = kFirstEntryOffset; i < kParseEnd; ++i) {
        const quint8 b = reply[i];
        if (b == kNodeStatusUnfilled)
            break;
        name[k++] = b;
        ++n;
        if (n % kEntrySize != 0)
            continue;

        // The text ends before the first control byte; a suffix or flag byte of 0x20 or
        // above stays part of it.
        const auto* control =
            std::find_if(name, name + kEntrySize, [](quint8 c) { return c < 0x20; });
        const int j = int(control - name);
        std::fill(name + j, name + sizeof name, quint8(0));
        int length = j;
        while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == 0))
            --length;
        if (j == 0)
            break;

        // Hosts write their names in the ANSI code page of their language, which is taken
        // to be the language in use here.
        const QString text = DecodeAnsi(reinterpret_cast<const char*>(name), length);
        if (state == 0) {
            hostName = text;
            state = 1;
        } else if (state == 1 && text != hostName) {
            workgroup = text;
            state = 2;
        }
        std::memset(name, 0, sizeof name);
        k = 0;
    }
}

quint64 ParseNodeStatusUnitId(const NodeStatusReply& reply, int received)
{
    received = std::min(received, kNodeStatusReplySize);
    if (received <= kNameCountOffset)
        return 0;
    const int unitId = kFirstEntryOffset + reply[kNameCountOffset] * kEntrySize;
    if (unitId + kUnitIdSize > received)
        return 0;
    MacBytes mac{};
    std::copy_n(reply.begin() + unitId, kUnitIdSize, mac.begin());
    if (std::all_of(mac.begin(), mac.end(), [](quint8 b) { return b == 0; }))
        return 0;
    return MacValueFromBytes(mac);
}
