#pragma once

// What lanvey-arp writes back, one line each on its standard output:
//
//   ready MAC                      the interface is open; MAC is its own (aa:bb:cc:dd:ee:ff)
//   reply IP MAC TARGET NS         an ARP reply to the interface's MAC: from IP at MAC, to
//                                  our address TARGET, received at NS nanoseconds of
//                                  CLOCK_MONOTONIC; every one, also a second for an address
//   seen IP MAC NS                 after listen: an ARP frame on the interface from IP at
//                                  MAC (a request, a reply or an announcement, to anyone;
//                                  never one with sender 0.0.0.0), received at NS
//   answer6 IP6 MAC NS             an ICMPv6 echo reply to one of our echoes, from IP6 (as
//                                  inet_ntop writes it) at the link-layer sender MAC,
//                                  received at NS
//   error TEXT                     a refusal; the helper ends after it
//
// Lines of one write never break across writes.

#include "helper/HelperRequest.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using HelperMac = std::array<std::uint8_t, 6>;

inline constexpr std::size_t kMaxReplyLine = 200;

struct HelperReply {
    enum class Kind { Ready, Reply, Seen, Answer6, Error };
    Kind kind = Kind::Reply;
    HelperMac mac{};              // Ready: ours; Reply, Seen, Answer6: the sender's
    std::uint32_t senderIp = 0;   // Reply, Seen: host byte order
    std::uint32_t targetIp = 0;   // Reply
    HelperIpv6 senderIp6{};       // Answer6
    std::uint64_t receivedNs = 0; // Reply, Seen, Answer6
    std::string text;             // Error
};

// One line, without its '\n'; nullopt when it is none of the above.
std::optional<HelperReply> ParseHelperReply(std::string_view line);

std::string MacText(const HelperMac& mac);
std::optional<HelperMac> ParseMacText(std::string_view text);

std::string ReadyReplyLine(const HelperMac& mac);
std::string ArpReplyLine(std::uint32_t senderIp, const HelperMac& senderMac, std::uint32_t targetIp,
                         std::uint64_t receivedNs);
std::string SeenReplyLine(std::uint32_t senderIp, const HelperMac& senderMac,
                          std::uint64_t receivedNs);
std::string Answer6ReplyLine(const HelperIpv6& senderIp, const HelperMac& senderMac,
                             std::uint64_t receivedNs);
// Control bytes of `text` become '?', so the line stays one line.
std::string ErrorReplyLine(std::string_view text);
