#include "helper/HelperRequest.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

namespace
{

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal digits only, no sign, no leading zero, at most `maxDigits` of them.
std::optional<unsigned> ParseNumber(std::string_view text, std::size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    return value;
}

// An interface name as the kernel takes it: 1 to 15 bytes, printable, no space, '/'
// or ':' (an alias label names the same interface, and is not one).
bool IsLinkName(std::string_view name)
{
    if (name.empty() || name.size() > 15 || name == "." || name == "..")
        return false;
    for (char c : name)
        if (c <= ' ' || c > '~' || c == '/' || c == ':')
            return false;
    return true;
}

HelperRequestParse Refuse(std::string error)
{
    return {std::nullopt, std::move(error)};
}

} // namespace

std::vector<std::string_view> SplitHelperWords(std::string_view line)
{
    std::vector<std::string_view> words;
    for (;;) {
        const std::size_t space = line.find(' ');
        words.push_back(line.substr(0, space));
        if (space == std::string_view::npos)
            return words;
        line.remove_prefix(space + 1);
    }
}

std::optional<std::uint32_t> ParseDottedAddress(std::string_view text)
{
    std::uint32_t address = 0;
    for (int index = 0; index < 4; ++index) {
        const std::size_t dot = index < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos)
            return std::nullopt;
        const std::optional<unsigned> octet = ParseNumber(text.substr(0, dot), 3);
        if (!octet || *octet > 255)
            return std::nullopt;
        address = address << 8 | *octet;
        text = index < 3 ? text.substr(dot + 1) : std::string_view();
    }
    return address;
}

std::string DottedAddress(std::uint32_t address)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += std::to_string((address >> shift) & 0xFF);
        if (shift)
            text += '.';
    }
    return text;
}

std::string Ipv6AddressText(const HelperIpv6& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    in6_addr raw;
    std::memcpy(&raw, address.data(), address.size());
    inet_ntop(AF_INET6, &raw, text, sizeof text);
    return text;
}

std::optional<HelperIpv6> ParseIpv6AddressText(std::string_view text)
{
    // inet_pton takes many spellings of one address (zeros, case, an IPv4 tail); only
    // the one inet_ntop writes back is taken.
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN)
        return std::nullopt;
    const std::string copy(text);
    in6_addr raw;
    if (inet_pton(AF_INET6, copy.c_str(), &raw) != 1)
        return std::nullopt;
    HelperIpv6 address;
    std::memcpy(address.data(), &raw, address.size());
    if (Ipv6AddressText(address) != text)
        return std::nullopt;
    return address;
}

HelperRequestParse ParseHelperRequest(std::string_view line)
{
    if (line.size() + 1 > kMaxRequestLine)
        return Refuse("line too long");
    for (char c : line)
        if (c < ' ' || c > '~')
            return Refuse("control or non-ASCII byte in the line");
    const std::vector<std::string_view> words = SplitHelperWords(line);
    for (std::string_view word : words)
        if (word.empty())
            return Refuse("empty word: words are separated by single spaces");
    const std::string_view verb = words[0];
    HelperRequest request;
    if (verb == "link") {
        if (words.size() != 2 || !IsLinkName(words[1]))
            return Refuse("link wants one interface name");
        request.kind = HelperRequest::Kind::Link;
        request.link = std::string(words[1]);
    } else if (verb == "rate") {
        const std::optional<unsigned> rate =
            words.size() == 2 ? ParseNumber(words[1], 7) : std::nullopt;
        if (!rate || *rate < 1 || *rate > kMaxRequestRate)
            return Refuse("rate wants a number from 1 to 1000000");
        request.kind = HelperRequest::Kind::Rate;
        request.rate = *rate;
    } else if (verb == "ask") {
        if (words.size() != 3)
            return Refuse("ask wants an address or a range A-B, then our address");
        const std::string_view targets = words[1];
        const std::size_t dash = targets.find('-');
        const std::optional<std::uint32_t> first = ParseDottedAddress(targets.substr(0, dash));
        const std::optional<std::uint32_t> last =
            dash == std::string_view::npos ? first : ParseDottedAddress(targets.substr(dash + 1));
        const std::optional<std::uint32_t> from = ParseDottedAddress(words[2]);
        if (!first || !last || !from)
            return Refuse("ask wants an address or a range A-B, then our address");
        if (*last < *first)
            return Refuse("ask: the range ends before it starts");
        request.kind = HelperRequest::Kind::Ask;
        request.first = *first;
        request.last = *last;
        request.from = *from;
    } else if (verb == "listen") {
        if (words.size() != 1)
            return Refuse("listen takes nothing more");
        request.kind = HelperRequest::Kind::Listen;
    } else if (verb == "echo6") {
        const std::optional<HelperIpv6> from =
            words.size() == 2 ? ParseIpv6AddressText(words[1]) : std::nullopt;
        if (!from)
            return Refuse("echo6 wants one IPv6 address of ours, as inet_ntop writes it");
        request.kind = HelperRequest::Kind::Echo6;
        request.from6 = *from;
    } else {
        return Refuse("unknown request (link, rate, ask, listen or echo6)");
    }
    return {std::move(request), {}};
}

std::string RefusalOf(const HelperRequest& ask, const std::vector<HelperSubnet>& own)
{
    for (const HelperSubnet& subnet : own) {
        if (subnet.ip != ask.from)
            continue;
        const std::uint32_t network = subnet.ip & subnet.netmask;
        if ((ask.first & subnet.netmask) == network && (ask.last & subnet.netmask) == network)
            return {};
        return "ask: " + DottedAddress(ask.first) + (ask.first == ask.last ? "" : "-") +
               (ask.first == ask.last ? "" : DottedAddress(ask.last)) +
               " is not in the subnet of " + DottedAddress(ask.from);
    }
    return "ask: " + DottedAddress(ask.from) + " is not an address of the interface";
}

std::string Echo6RefusalOf(const HelperIpv6& from, const std::vector<HelperIpv6>& own)
{
    if (std::find(own.begin(), own.end(), from) != own.end())
        return {};
    return "echo6: " + Ipv6AddressText(from) + " is not an IPv6 address of the interface";
}

std::string LinkRequestLine(std::string_view link)
{
    return "link " + std::string(link) + '\n';
}

std::string RateRequestLine(unsigned rate)
{
    return "rate " + std::to_string(rate) + '\n';
}

std::string AskRequestLine(std::uint32_t address, std::uint32_t from)
{
    return "ask " + DottedAddress(address) + ' ' + DottedAddress(from) + '\n';
}

std::string ListenRequestLine()
{
    return "listen\n";
}

std::string Echo6RequestLine(const HelperIpv6& from)
{
    return "echo6 " + Ipv6AddressText(from) + '\n';
}
