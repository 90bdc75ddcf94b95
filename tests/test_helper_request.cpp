// lanvey-arp's request and reply lines, what it refuses, and the refusals it makes before
// it opens any socket (the program itself, with nothing to send on).

#include "helper/HelperReply.h"
#include "helper/HelperRequest.h"
#include "scan/platform/HelperWire.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{

constexpr std::uint32_t Ip(int a, int b, int c, int d)
{
    return std::uint32_t(a) << 24 | std::uint32_t(b) << 16 | std::uint32_t(c) << 8 |
           std::uint32_t(d);
}

TEST(HelperRequest, TheThreeRequestsParseAsTheProgramWritesThem)
{
    const auto link = ParseHelperRequest("link eth0");
    ASSERT_TRUE(link.request) << link.error;
    EXPECT_EQ(link.request->kind, HelperRequest::Kind::Link);
    EXPECT_EQ(link.request->link, "eth0");
    const auto longest = ParseHelperRequest("link enp0s31f6.1@x_y");
    ASSERT_TRUE(longest.request) << longest.error;
    EXPECT_EQ(longest.request->link, "enp0s31f6.1@x_y");

    for (const unsigned rate : {1u, 2000u, 1000000u}) {
        const std::string line = RateRequestLine(rate);
        const auto parsed = ParseHelperRequest(line.substr(0, line.size() - 1));
        ASSERT_TRUE(parsed.request) << line;
        EXPECT_EQ(parsed.request->rate, rate);
    }

    const std::string ask = AskRequestLine(Ip(198, 18, 0, 7), Ip(198, 18, 0, 254));
    EXPECT_EQ(ask, "ask 198.18.0.7 198.18.0.254\n");
    const auto one = ParseHelperRequest(ask.substr(0, ask.size() - 1));
    ASSERT_TRUE(one.request) << one.error;
    EXPECT_EQ(one.request->first, Ip(198, 18, 0, 7));
    EXPECT_EQ(one.request->last, Ip(198, 18, 0, 7));
    EXPECT_EQ(one.request->from, Ip(198, 18, 0, 254));

    const auto range = ParseHelperRequest("ask 10.0.0.0-10.0.255.255 10.0.0.1");
    ASSERT_TRUE(range.request) << range.error;
    EXPECT_EQ(range.request->first, Ip(10, 0, 0, 0));
    EXPECT_EQ(range.request->last, Ip(10, 0, 255, 255));
    EXPECT_TRUE(ParseHelperRequest("ask 0.0.0.0 255.255.255.255").request);

    const std::string listen = ListenRequestLine();
    EXPECT_EQ(ParseHelperRequest(listen.substr(0, listen.size() - 1)).request->kind,
              HelperRequest::Kind::Listen);
    EXPECT_FALSE(ParseHelperRequest("listen eth0").request);

    // An echo's address has one spelling: inet_ntop's.
    const auto own = ParseIpv6AddressText("fe80::4c:56ff:fe00:fe");
    ASSERT_TRUE(own);
    const std::string echo = Echo6RequestLine(*own);
    EXPECT_EQ(echo, "echo6 fe80::4c:56ff:fe00:fe\n");
    const auto parsed = ParseHelperRequest(echo.substr(0, echo.size() - 1));
    ASSERT_TRUE(parsed.request) << parsed.error;
    EXPECT_EQ(parsed.request->kind, HelperRequest::Kind::Echo6);
    EXPECT_EQ(parsed.request->from6, *own);
    EXPECT_EQ(Echo6RefusalOf(*own, {*ParseIpv6AddressText("fd4c:5600:0:1::fe"), *own}), "");
    EXPECT_EQ(Echo6RefusalOf(*own, {*ParseIpv6AddressText("fd4c:5600:0:1::fe")}),
              "echo6: fe80::4c:56ff:fe00:fe is not an IPv6 address of the interface");
}

TEST(HelperRequest, EveryOtherLineIsRefusedWithAReason)
{
    const char* malformed[] = {
        "",
        "link",
        "link  eth0", // two spaces
        "link eth0 ", // trailing space
        "link eth0 eth1",
        "link eth0:1", // an alias label, not an interface
        "link ../etc",
        "link a/b",
        "link 0123456789abcdef", // 16 bytes
        "link ..",
        "LINK eth0",
        "rate",
        "rate 0",
        "rate 1000001",
        "rate 01",
        "rate -5",
        "rate 5x",
        "rate 99999999999",
        "ask",
        "ask 198.18.0.7",
        "ask 198.18.0.7 198.18.0.254 x",
        "ask 198.18.0.256 198.18.0.254",
        "ask 198.18.0.07 198.18.0.254", // leading zero: octal to some readers
        "ask 198.18.0 198.18.0.254",
        "ask 198.18.0.7. 198.18.0.254",
        "ask 198.18..7 198.18.0.254",
        "ask 198.18.0.7.1 198.18.0.254",
        "ask +1.2.3.4 198.18.0.254",
        "ask 198.18.0.9-198.18.0.8 198.18.0.254", // ends before it starts
        "ask 198.18.0.1- 198.18.0.254",
        "ask 198.18.0.1-198.18.0.2-198.18.0.3 198.18.0.254",
        "ask 198.18.0.1 198.18.0.254\r",
        "ask\t198.18.0.1 198.18.0.254",
        "link eth\x80",
        "frobnicate",
        "echo6",
        "echo6 fe80::1 fe80::2",
        "echo6 FE80::1",      // inet_ntop writes lower case
        "echo6 fe80:0::1",    // and shortens the zeros
        "echo6 fe80::1%eth0", // no zone
        "echo6 ::ffff:198.18.0.254x",
        "echo6 198.18.0.254",
        "echo6 1:2:3:4:5:6:7:8:9",
    };
    for (const char* line : malformed) {
        SCOPED_TRACE(line);
        const auto parsed = ParseHelperRequest(line);
        EXPECT_FALSE(parsed.request);
        EXPECT_FALSE(parsed.error.empty());
    }
    const std::string nul("link e\0th0", 10);
    EXPECT_FALSE(ParseHelperRequest(nul).request);
    // The longest line that fits, and one byte more.
    const std::string longest = "ask 198.18.0.1 198.18.0.254" + std::string(52, ' ');
    ASSERT_EQ(longest.size() + 1, kMaxRequestLine);
    EXPECT_EQ(ParseHelperRequest(longest).error,
              "empty word: words are separated by single spaces");
    EXPECT_EQ(ParseHelperRequest(longest + " ").error, "line too long");
}

TEST(HelperRequest, AnAskGoesOutOnlyFromAnOwnAddressIntoItsSubnet)
{
    const std::vector<HelperSubnet> own{{Ip(198, 18, 0, 254), Ip(255, 255, 255, 0)},
                                        {Ip(198, 18, 4, 1), Ip(255, 255, 252, 0)}};
    auto refusal = [&](const char* line) {
        const auto parsed = ParseHelperRequest(line);
        EXPECT_TRUE(parsed.request) << line;
        return parsed.request ? RefusalOf(*parsed.request, own) : std::string("unparsed");
    };
    EXPECT_EQ(refusal("ask 198.18.0.0-198.18.0.255 198.18.0.254"), "");
    EXPECT_EQ(refusal("ask 198.18.7.255 198.18.4.1"), "");
    EXPECT_EQ(refusal("ask 198.18.4.0-198.18.7.255 198.18.4.1"), "");
    // Each subnet from its own address only.
    EXPECT_EQ(refusal("ask 198.18.4.9 198.18.0.254"),
              "ask: 198.18.4.9 is not in the subnet of 198.18.0.254");
    EXPECT_EQ(refusal("ask 192.0.2.1 198.18.0.254"),
              "ask: 192.0.2.1 is not in the subnet of 198.18.0.254");
    EXPECT_EQ(refusal("ask 198.18.0.200-198.18.1.0 198.18.0.254"),
              "ask: 198.18.0.200-198.18.1.0 is not in the subnet of 198.18.0.254");
    EXPECT_EQ(refusal("ask 198.18.3.255-198.18.4.1 198.18.4.1"),
              "ask: 198.18.3.255-198.18.4.1 is not in the subnet of 198.18.4.1");
    // Another machine's address as the sender, even inside our subnet.
    EXPECT_EQ(refusal("ask 198.18.0.5 198.18.0.7"),
              "ask: 198.18.0.7 is not an address of the interface");
    EXPECT_EQ(RefusalOf(*ParseHelperRequest("ask 198.18.0.5 198.18.0.254").request, {}),
              "ask: 198.18.0.254 is not an address of the interface");
}

TEST(HelperReply, RepliesReadBackAsWrittenAndNothingElseIsTaken)
{
    const HelperMac mac{0x02, 0x4c, 0x56, 0xab, 0x00, 0xfe};
    const std::string line =
        ArpReplyLine(Ip(198, 18, 0, 3), mac, Ip(198, 18, 0, 254), 18446744073709551615u);
    EXPECT_EQ(line, "reply 198.18.0.3 02:4c:56:ab:00:fe 198.18.0.254 18446744073709551615\n");
    const auto reply = ParseHelperReply(std::string_view(line).substr(0, line.size() - 1));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->kind, HelperReply::Kind::Reply);
    EXPECT_EQ(reply->senderIp, Ip(198, 18, 0, 3));
    EXPECT_EQ(reply->mac, mac);
    EXPECT_EQ(reply->targetIp, Ip(198, 18, 0, 254));
    EXPECT_EQ(reply->receivedNs, 18446744073709551615u);

    // A frame heard while listening: never one from the zero address of a probe.
    const std::string seen = SeenReplyLine(Ip(198, 18, 0, 9), mac, 42);
    EXPECT_EQ(seen, "seen 198.18.0.9 02:4c:56:ab:00:fe 42\n");
    const auto heard = ParseHelperReply(std::string_view(seen).substr(0, seen.size() - 1));
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->kind, HelperReply::Kind::Seen);
    EXPECT_EQ(heard->senderIp, Ip(198, 18, 0, 9));
    EXPECT_FALSE(ParseHelperReply("seen 0.0.0.0 02:4c:56:ab:00:fe 42"));
    EXPECT_FALSE(ParseHelperReply("seen 198.18.0.9 02:4c:56:ab:00:fe 198.18.0.254 42 1"));

    // A reply to an IPv6 echo, with the MAC it came from.
    const std::string answer =
        Answer6ReplyLine(*ParseIpv6AddressText("2001:db8:4c56:1::16:a"), mac, 7);
    EXPECT_EQ(answer, "answer6 2001:db8:4c56:1::16:a 02:4c:56:ab:00:fe 7\n");
    const auto answered = ParseHelperReply(std::string_view(answer).substr(0, answer.size() - 1));
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->kind, HelperReply::Kind::Answer6);
    EXPECT_EQ(Ipv6AddressText(answered->senderIp6), "2001:db8:4c56:1::16:a");
    EXPECT_EQ(answered->mac, mac);

    const auto ready = ParseHelperReply("ready 02:4c:56:ab:00:fe");
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->kind, HelperReply::Kind::Ready);
    EXPECT_EQ(ready->mac, mac);

    // An error's text loses its control bytes, so that it stays one line.
    const std::string error = ErrorReplyLine("bad\nline\x1b[2J");
    EXPECT_EQ(error, "error bad?line?[2J\n");
    EXPECT_EQ(ParseHelperReply(error.substr(0, error.size() - 1))->text, "bad?line?[2J");

    for (const char* bad : {
             "reply 198.18.0.3 02:4c:56:ab:00:fe 198.18.0.254",
             "reply 198.18.0.3 02:4C:56:AB:00:FE 198.18.0.254 1",
             "reply 198.18.0.3 02:4c:56:ab:00 198.18.0.254 1",
             "reply 198.18.0.3 02-4c-56-ab-00-fe 198.18.0.254 1",
             "reply 198.18.0.3 02:4c:56:ab:00:fe 198.18.0.254 -1",
             "reply 198.18.0.3 02:4c:56:ab:00:fe 198.18.0.254 1x",
             "reply 198.18.0.3 02:4c:56:ab:00:fe 198.18.0.254 18446744073709551616",
             "reply 198.18.0.3 02:4c:56:ab:00:fe 198.18.0.254 1 2",
             "reply 198.18.0.300 02:4c:56:ab:00:fe 198.18.0.254 1",
             "ready",
             "ready 02:4c:56:ab:00:fe x",
             "error a\tb",
             "hello",
             "answer6 2001:DB8::1 02:4c:56:ab:00:fe 7",
             "answer6 2001:db8::1 02:4c:56:ab:00:fe",
             "answer6 198.18.0.3 02:4c:56:ab:00:fe 7",
         }) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseHelperReply(bad));
    }
}

struct HelperRun {
    int exitCode = -1;
    QString out, err;
};

HelperRun RunHelper(const QByteArray& input, const QStringList& arguments = {})
{
    QProcess helper;
    helper.start(QStringLiteral(LANVEY_ARP_BINARY), arguments);
    EXPECT_TRUE(helper.waitForStarted());
    helper.write(input);
    helper.closeWriteChannel();
    EXPECT_TRUE(helper.waitForFinished(10000));
    return {helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1,
            QString::fromUtf8(helper.readAllStandardOutput()),
            QString::fromUtf8(helper.readAllStandardError())};
}

// Refused before any socket is opened: these send nothing, wherever they run.
TEST(HelperProgram, RefusesWhatComesBeforeAnInterfaceIsOpen)
{
    struct Case {
        QByteArray input;
        QStringList arguments;
        int exitCode;
        const char* error;
    } cases[] = {
        {"ask 198.18.0.1 198.18.0.254\n", {}, 2, "the first request must be link"},
        {"rate 100\nlink eth0\n", {}, 2, "the first request must be link"},
        {"listen\n", {}, 2, "the first request must be link"},
        {"hello\n", {}, 2, "unknown request (link, rate, ask, listen or echo6)"},
        {"link eth0\n",
         {QStringLiteral("eth0")},
         2,
         "takes no arguments: requests come on standard input"},
        {QByteArray(200, 'x'), {}, 2, "line too long"},
        {"link lanvey-none0\n", {}, 1, "no interface lanvey-none0"},
        {"link lo\n", {}, 1, "lo is not an Ethernet interface that is up and speaks ARP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const HelperRun run = RunHelper(c.input, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, QStringLiteral("error %1\n").arg(QLatin1String(c.error)));
        EXPECT_EQ(run.err, QStringLiteral("lanvey-arp: %1\n").arg(QLatin1String(c.error)));
    }
    // Asked nothing: ends quietly.
    const HelperRun empty = RunHelper({});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out, QString());
    EXPECT_EQ(empty.err, QString());
}

TEST(HelperProgram, OnlyAFileCapabilityWithNetRawCountsAsInstalled)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LANVEY_ARP_BINARY), plain));
    EXPECT_FALSE(HelperWire::HasNetRawCapability(plain));
    EXPECT_FALSE(HelperWire::HasNetRawCapability(dir.filePath(QStringLiteral("missing"))));
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setcap")).isEmpty())
        GTEST_SKIP() << "setting file capabilities needs root and setcap";
    const QString admin = dir.filePath(QStringLiteral("admin"));
    const QString raw = dir.filePath(QStringLiteral("raw"));
    ASSERT_TRUE(QFile::copy(plain, admin));
    ASSERT_TRUE(QFile::copy(plain, raw));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("setcap"), {QStringLiteral("cap_net_admin+ep"), admin}),
        0);
    ASSERT_EQ(QProcess::execute(QStringLiteral("setcap"),
                                {QStringLiteral("cap_net_admin,cap_net_raw+ep"), raw}),
              0);
    EXPECT_FALSE(HelperWire::HasNetRawCapability(admin));
    EXPECT_TRUE(HelperWire::HasNetRawCapability(raw));
}

TEST(HelperProgram, IsLookedForBesideTheProgramThenInItsLibFolderUnlessTheTestsPointElsewhere)
{
    // This test's own executable sits in the build tree's tests/ folder, with neither.
    qunsetenv("LANVEY_ARP_HELPER");
    EXPECT_EQ(HelperWire::FindHelper(), QString());
    EXPECT_TRUE(HelperWire::InstalledPath().endsWith(QStringLiteral("/lib/lanvey/lanvey-arp")));
    qputenv("LANVEY_ARP_HELPER", LANVEY_ARP_BINARY);
    EXPECT_EQ(HelperWire::FindHelper(), QStringLiteral(LANVEY_ARP_BINARY));
    qputenv("LANVEY_ARP_HELPER", "/nonexistent/lanvey-arp");
    EXPECT_EQ(HelperWire::FindHelper(), QString());
    qunsetenv("LANVEY_ARP_HELPER");
}

} // namespace
