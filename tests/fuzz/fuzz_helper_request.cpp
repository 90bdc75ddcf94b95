// libFuzzer target: lanvey-arp's standard input, where any local user may write, split
// into lines as the helper splits it. A request taken must say again what it said when
// written back, stay within its own bounds, and an ask the subnet check lets through
// must lie in the subnet of its own address. The reply parse of the program side gets
// the same lines.

#include "helper/HelperReply.h"
#include "helper/HelperRequest.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace
{

const std::vector<HelperSubnet> kOwn{
    {0xC612'00FEu, 0xFFFF'FF00u}, {0xC612'0401u, 0xFFFF'FC00u}, {0x0A00'0001u, 0xFF00'0000u}};

void CheckRequest(std::string_view line)
{
    const HelperRequestParse parsed = ParseHelperRequest(line);
    if (!parsed.request) {
        if (parsed.error.empty())
            std::abort();
        return;
    }
    if (line.size() >= kMaxRequestLine)
        std::abort();
    const HelperRequest& request = *parsed.request;
    std::string again;
    switch (request.kind) {
    case HelperRequest::Kind::Link:
        if (request.link.empty() || request.link.size() > 15)
            std::abort();
        again = LinkRequestLine(request.link);
        break;
    case HelperRequest::Kind::Rate:
        if (request.rate < 1 || request.rate > kMaxRequestRate)
            std::abort();
        again = RateRequestLine(request.rate);
        break;
    case HelperRequest::Kind::Ask: {
        if (request.last < request.first)
            std::abort();
        if (RefusalOf(request, kOwn).empty()) {
            bool inside = false;
            for (const HelperSubnet& own : kOwn)
                inside = inside || (own.ip == request.from &&
                                    (request.first & own.netmask) == (own.ip & own.netmask) &&
                                    (request.last & own.netmask) == (own.ip & own.netmask));
            if (!inside)
                std::abort();
        }
        again = request.first == request.last
                    ? AskRequestLine(request.first, request.from)
                    : "ask " + DottedAddress(request.first) + '-' + DottedAddress(request.last) +
                          ' ' + DottedAddress(request.from) + '\n';
        break;
    }
    case HelperRequest::Kind::Listen:
        again = ListenRequestLine();
        break;
    case HelperRequest::Kind::Echo6:
        again = Echo6RequestLine(request.from6);
        break;
    }
    // The strict grammar has one spelling for each request.
    if (again != std::string(line) + '\n')
        std::abort();
}

void CheckReply(std::string_view line)
{
    const std::optional<HelperReply> reply = ParseHelperReply(line);
    if (!reply)
        return;
    std::string again;
    const bool numbered = reply->kind == HelperReply::Kind::Reply ||
                          reply->kind == HelperReply::Kind::Seen ||
                          reply->kind == HelperReply::Kind::Answer6;
    if (reply->kind == HelperReply::Kind::Answer6)
        again = Answer6ReplyLine(reply->senderIp6, reply->mac, reply->receivedNs);
    else if (reply->kind == HelperReply::Kind::Reply)
        again = ArpReplyLine(reply->senderIp, reply->mac, reply->targetIp, reply->receivedNs);
    else if (reply->kind == HelperReply::Kind::Seen)
        again = SeenReplyLine(reply->senderIp, reply->mac, reply->receivedNs);
    else if (reply->kind == HelperReply::Kind::Ready)
        again = ReadyReplyLine(reply->mac);
    else
        again = ErrorReplyLine(reply->text);
    if (!numbered && again != std::string(line) + '\n')
        std::abort();
    // A seen line never names the zero sender of an address probe.
    if (reply->kind == HelperReply::Kind::Seen && reply->senderIp == 0)
        std::abort();
    // A reply's number may have been written with leading zeros; its value must hold.
    if (numbered) {
        const std::optional<HelperReply> back =
            ParseHelperReply(std::string_view(again).substr(0, again.size() - 1));
        if (!back || back->kind != reply->kind || back->senderIp != reply->senderIp ||
            back->mac != reply->mac || back->targetIp != reply->targetIp ||
            back->senderIp6 != reply->senderIp6 || back->receivedNs != reply->receivedNs)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (;;) {
        const std::size_t end = input.find('\n');
        const std::string_view line = input.substr(0, end);
        CheckRequest(line);
        CheckReply(line);
        if (end == std::string_view::npos)
            return 0;
        input.remove_prefix(end + 1);
    }
}
