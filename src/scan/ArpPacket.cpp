#include "scan/ArpPacket.h"

#include "support/AddressText.h"

namespace
{

constexpr quint16 kHardwareEthernet = 1;
constexpr quint16 kProtocolIpv4 = 0x0800;

void PutU16(quint8* at, quint16 value)
{
    at[0] = quint8(value >> 8);
    at[1] = quint8(value);
}

void PutU32(quint8* at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = quint8(value >> (24 - 8 * i));
}

quint16 GetU16(const quint8* at)
{
    return quint16(at[0] << 8 | at[1]);
}

quint32 GetU32(const quint8* at)
{
    return quint32(at[0]) << 24 | quint32(at[1]) << 16 | quint32(at[2]) << 8 | at[3];
}

} // namespace

ArpPacket BuildArpRequest(const MacBytes& senderMac, quint32 senderIp, quint32 targetIp)
{
    ArpPacket packet{};
    PutU16(&packet[0], kHardwareEthernet);
    PutU16(&packet[2], kProtocolIpv4);
    packet[4] = 6;
    packet[5] = 4;
    PutU16(&packet[6], kArpRequest);
    std::copy(senderMac.begin(), senderMac.end(), &packet[8]);
    PutU32(&packet[14], senderIp);
    PutU32(&packet[24], targetIp);
    return packet;
}

std::optional<ArpFields> ReadArpPacket(const quint8* data, std::size_t size)
{
    if (size < std::size_t(kArpPacketSize))
        return std::nullopt;
    if (GetU16(data) != kHardwareEthernet || GetU16(data + 2) != kProtocolIpv4 || data[4] != 6 ||
        data[5] != 4)
        return std::nullopt;
    ArpFields fields;
    fields.operation = GetU16(data + 6);
    std::copy(data + 8, data + 14, fields.senderMac.begin());
    fields.senderIp = GetU32(data + 14);
    std::copy(data + 18, data + 24, fields.targetMac.begin());
    fields.targetIp = GetU32(data + 24);
    return fields;
}

bool IsArpAnswer(const ArpFields& packet, quint32 askedIp, quint32 ourIp, const MacBytes& ourMac)
{
    return packet.operation == kArpReply && packet.senderIp == askedIp &&
           packet.targetIp == ourIp && packet.targetMac == ourMac;
}

bool IsSighting(const ArpFields& packet)
{
    return (packet.operation == kArpRequest || packet.operation == kArpReply) &&
           packet.senderIp != 0 && IsHostMacAddress(MacValueFromBytes(packet.senderMac));
}

quint64 MacValueFromBytes(const MacBytes& mac)
{
    quint64 value = kMacTopBits;
    for (int i = 0; i < 6; ++i)
        value |= quint64(mac[i]) << (8 * i);
    return value;
}
