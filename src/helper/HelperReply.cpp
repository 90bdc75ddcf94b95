#include "helper/HelperReply.h"

#include "helper/HelperRequest.h"

#include <charconv>

namespace
{

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string MacText(const HelperMac& mac)
{
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i)
            text += ':';
        text += kHex[mac[i] >> 4];
        text += kHex[mac[i] & 15];
    }
    return text;
}

std::optional<HelperMac> ParseMacText(std::string_view text)
{
    if (text.size() != 17)
        return std::nullopt;
    HelperMac mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        const int high = HexDigit(text[3 * i]), low = HexDigit(text[3 * i + 1]);
        if (high < 0 || low < 0 || (i < 5 && text[3 * i + 2] != ':'))
            return std::nullopt;
        mac[i] = std::uint8_t(high << 4 | low);
    }
    return mac;
}

std::optional<HelperReply> ParseHelperReply(std::string_view line)
{
    if (line.size() + 1 > kMaxReplyLine)
        return std::nullopt;
    HelperReply reply;
    constexpr std::string_view kError = "error ";
    if (line.substr(0, kError.size()) == kError) {
        for (char c : line)
            if (c < ' ' || c > '~')
                return std::nullopt;
        reply.kind = HelperReply::Kind::Error;
        reply.text = std::string(line.substr(kError.size()));
        return reply;
    }
    const std::vector<std::string_view> words = SplitHelperWords(line);
    if (words[0] == "ready" && words.size() == 2) {
        const std::optional<HelperMac> mac = ParseMacText(words[1]);
        if (!mac)
            return std::nullopt;
        reply.kind = HelperReply::Kind::Ready;
        reply.mac = *mac;
        return reply;
    }
    const std::string_view ns = words.back();
    std::uint64_t received = 0;
    const auto [end, status] = std::from_chars(ns.data(), ns.data() + ns.size(), received);
    const bool numberOk = !ns.empty() && status == std::errc() && end == ns.data() + ns.size();
    if (words[0] == "answer6" && words.size() == 4) {
        const std::optional<HelperIpv6> sender = ParseIpv6AddressText(words[1]);
        const std::optional<HelperMac> mac = ParseMacText(words[2]);
        if (!sender || !mac || !numberOk)
            return std::nullopt;
        reply.kind = HelperReply::Kind::Answer6;
        reply.senderIp6 = *sender;
        reply.mac = *mac;
        reply.receivedNs = received;
        return reply;
    }
    // "reply IP MAC TARGET NS" and "seen IP MAC NS".
    const bool seen = words[0] == "seen" && words.size() == 4;
    if (!seen && (words[0] != "reply" || words.size() != 5))
        return std::nullopt;
    const std::optional<std::uint32_t> sender = ParseDottedAddress(words[1]);
    const std::optional<HelperMac> mac = ParseMacText(words[2]);
    const std::optional<std::uint32_t> target =
        seen ? std::optional<std::uint32_t>(0) : ParseDottedAddress(words[3]);
    if (!sender || !mac || !target || !numberOk || (seen && *sender == 0))
        return std::nullopt;
    reply.kind = seen ? HelperReply::Kind::Seen : HelperReply::Kind::Reply;
    reply.senderIp = *sender;
    reply.mac = *mac;
    reply.targetIp = *target;
    reply.receivedNs = received;
    return reply;
}

std::string ReadyReplyLine(const HelperMac& mac)
{
    return "ready " + MacText(mac) + '\n';
}

std::string ArpReplyLine(std::uint32_t senderIp, const HelperMac& senderMac, std::uint32_t targetIp,
                         std::uint64_t receivedNs)
{
    return "reply " + DottedAddress(senderIp) + ' ' + MacText(senderMac) + ' ' +
           DottedAddress(targetIp) + ' ' + std::to_string(receivedNs) + '\n';
}

std::string SeenReplyLine(std::uint32_t senderIp, const HelperMac& senderMac,
                          std::uint64_t receivedNs)
{
    return "seen " + DottedAddress(senderIp) + ' ' + MacText(senderMac) + ' ' +
           std::to_string(receivedNs) + '\n';
}

std::string Answer6ReplyLine(const HelperIpv6& senderIp, const HelperMac& senderMac,
                             std::uint64_t receivedNs)
{
    return "answer6 " + Ipv6AddressText(senderIp) + ' ' + MacText(senderMac) + ' ' +
           std::to_string(receivedNs) + '\n';
}

std::string ErrorReplyLine(std::string_view text)
{
    std::string line = "error ";
    for (char c : text.substr(0, kMaxReplyLine - 7))
        line += c < ' ' || c > '~' ? '?' : c;
    return line + '\n';
}
