#pragma once

// What the program asks of lanvey-arp, one line each on the helper's standard input
// (ASCII, ending in '\n', at most kMaxRequestLine bytes with it; addresses dotted, no
// leading zeros):
//
//   link NAME              first line, once: the interface to ask on
//   rate N                 requests per second, 1 to 1000000; the helper keeps below
//                          both this and its own ceiling
//   ask A FROM             one ARP request for A, sent from our address FROM
//   ask A-B FROM           one for each address from A to B
//   listen                 from now on, also pass on the sender of every ARP frame on
//                          the interface (passive listening; nothing more is sent)
//   echo6 FROM             one ICMPv6 echo request to ff02::1 (every node of the link),
//                          sent from the interface's own IPv6 address FROM, written as
//                          inet_ntop writes it; at most kMaxEchoesPerAddress from one
//                          address within kEchoWindowMs, more are dropped as lost
//
// Anyone may start the helper, so a line is taken only as it stands here, and an ask is
// kept only where the interface's own addresses allow it (RefusalOf).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kMaxRequestLine = 80;
inline constexpr unsigned kMaxRequestRate = 1000000;
inline constexpr int kMaxEchoesPerAddress = 2;
inline constexpr int kEchoWindowMs = 500;

using HelperIpv6 = std::array<std::uint8_t, 16>;

struct HelperRequest {
    enum class Kind { Link, Rate, Ask, Listen, Echo6 };
    Kind kind = Kind::Ask;
    std::string link;        // Link
    unsigned rate = 0;       // Rate
    std::uint32_t first = 0; // Ask: host byte order, first <= last
    std::uint32_t last = 0;
    std::uint32_t from = 0;
    HelperIpv6 from6{}; // Echo6
};

struct HelperRequestParse {
    std::optional<HelperRequest> request;
    std::string error; // why not, when request is empty
};

// One line, without its '\n'.
HelperRequestParse ParseHelperRequest(std::string_view line);

// An IPv4 address of the interface and its netmask, host byte order.
struct HelperSubnet {
    std::uint32_t ip = 0;
    std::uint32_t netmask = 0;
};

// Empty when `ask` may go out on an interface with the addresses `own`: FROM is one of
// them and A to B lie in its subnet. Otherwise what is wrong with it.
std::string RefusalOf(const HelperRequest& ask, const std::vector<HelperSubnet>& own);

// Empty when an echo may go out from `from` on an interface with the IPv6 addresses
// `own`; otherwise what is wrong with it.
std::string Echo6RefusalOf(const HelperIpv6& from, const std::vector<HelperIpv6>& own);

// The words of a line separated by single spaces; two spaces, or a space at either end,
// give an empty word.
std::vector<std::string_view> SplitHelperWords(std::string_view line);

// Dotted text of an address in host byte order, and its strict parse.
std::string DottedAddress(std::uint32_t address);
std::optional<std::uint32_t> ParseDottedAddress(std::string_view text);
// An IPv6 address as inet_ntop writes it, and the parse that takes that spelling only.
std::string Ipv6AddressText(const HelperIpv6& address);
std::optional<HelperIpv6> ParseIpv6AddressText(std::string_view text);

// The request lines, as the program writes them.
std::string LinkRequestLine(std::string_view link);
std::string RateRequestLine(unsigned rate);
std::string AskRequestLine(std::uint32_t address, std::uint32_t from);
std::string ListenRequestLine();
std::string Echo6RequestLine(const HelperIpv6& from);
