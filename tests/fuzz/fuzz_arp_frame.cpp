// libFuzzer target: an ARP frame from anyone on the link, as the scan's resolver and a
// watch's passive listener read it. A frame taken gives back exactly its bytes; one taken
// as a sighting names a sender address and a MAC an adapter may have.

#include "FuzzCheck.h"
#include "scan/ArpPacket.h"
#include "support/AddressText.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<ArpFields> packet = ReadArpPacket(data, size);
    if (!packet)
        return 0;
    Check(size >= std::size_t(kArpPacketSize));
    Check(std::memcmp(packet->senderMac.data(), data + 8, 6) == 0);
    Check(std::memcmp(packet->targetMac.data(), data + 18, 6) == 0);
    Check(packet->senderIp == (std::uint32_t(data[14]) << 24 | std::uint32_t(data[15]) << 16 |
                               std::uint32_t(data[16]) << 8 | data[17]));
    if (IsSighting(*packet)) {
        Check(packet->senderIp != 0);
        Check(packet->operation == kArpRequest || packet->operation == kArpReply);
        const quint64 mac = MacValueFromBytes(packet->senderMac);
        Check(IsHostMacAddress(mac) && (mac & 0x01) == 0 && (mac & 0xFFFFFFFFFFFFull) != 0);
    }
    return 0;
}
