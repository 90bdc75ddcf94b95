// The reverse PTR query of multicast DNS and LLMNR, and the parse of replies from
// anyone on the link.

#include "TestDataFile.h"
#include "scan/DnsMessage.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

namespace
{

// 198.18.0.3 and 198.18.0.18 as the probe holds them (network byte order).
const quint32 kPrinter = qToBigEndian(quint32(0xC6120003));
const quint32 kLinux = qToBigEndian(quint32(0xC6120012));

QByteArray Name(std::initializer_list<const char*> labels)
{
    QByteArray out;
    for (const char* label : labels) {
        out.append(char(qstrlen(label)));
        out.append(label);
    }
    out.append('\0');
    return out;
}

void Put16(QByteArray& out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

QByteArray Header(quint16 id, quint16 flags, quint16 questions, quint16 answers)
{
    QByteArray out;
    Put16(out, id);
    Put16(out, flags);
    Put16(out, questions);
    Put16(out, answers);
    Put16(out, 0);
    Put16(out, 0);
    return out;
}

// A record's type, class, TTL and data length, then its data.
QByteArray Record(const QByteArray& owner, quint16 type, const QByteArray& data)
{
    QByteArray out = owner;
    Put16(out, type);
    Put16(out, 1);
    Put16(out, 0);
    Put16(out, 120);
    Put16(out, quint16(data.size()));
    return out + data;
}

const QByteArray kPrinterOwner = Name({"3", "0", "18", "198", "in-addr", "arpa"});

// A reply for 198.18.0.3 with no question and the given answers.
QByteArray PrinterReply(const QList<QByteArray>& answers, quint16 flags = 0x8400)
{
    QByteArray out = Header(7, flags, 0, quint16(answers.size()));
    for (const QByteArray& answer : answers)
        out += answer;
    return out;
}

} // namespace

TEST(DnsQuery, ReverseNameAndQueryBytesMatchTheGoldenFile)
{
    EXPECT_EQ(ReverseLookupName(kPrinter), QStringLiteral("3.0.18.198.in-addr.arpa"));
    const QByteArray golden = ReadDataFile("dns_ptr_query_mdns.bin");
    ASSERT_FALSE(golden.isEmpty());
    EXPECT_EQ(BuildReversePtrQuery(0x1234, kPrinter, true), golden);
    // Without the unicast-response bit only the class's top bit changes.
    QByteArray plain = golden;
    plain[plain.size() - 2] = 0;
    EXPECT_EQ(BuildReversePtrQuery(0x1234, kPrinter, false), plain);
}

TEST(DnsReply, RecordedRepliesGiveTheirNames)
{
    const DnsReply mdns =
        ParseReversePtrReply(ReadDataFile("dns_ptr_reply_mdns.bin"), 0x1234, kPrinter);
    EXPECT_TRUE(mdns.ok);
    EXPECT_FALSE(mdns.truncated);
    EXPECT_EQ(mdns.ptrTargets, QStringList{QStringLiteral("printer-2f.local")});

    // Two PTR answers (the second compressed onto the first) and an A record.
    const DnsReply llmnr =
        ParseReversePtrReply(ReadDataFile("dns_ptr_reply_llmnr.bin"), 0xBEEF, kLinux);
    EXPECT_TRUE(llmnr.ok);
    EXPECT_EQ(llmnr.ptrTargets,
              (QStringList{QStringLiteral("linux-18.lab"), QStringLiteral("alias.lab")}));

    // A host's answer to the AAAA query for its name: both its addresses, the query as
    // we build it, and nothing for another name or id.
    const QString name = QStringLiteral("MacBook-16.local.");
    EXPECT_EQ(BuildAddressQuery(0x4C56, name, true).toHex(),
              QByteArray("4c56000000010000000000000a4d6163426f6f6b2d3136056c6f63616c00001c8001"));
    const QByteArray recorded = ReadDataFile("dns_aaaa_reply_mdns.bin");
    const DnsAddressReply aaaa = ParseAddressReply(recorded, 0x4C56, name);
    EXPECT_TRUE(aaaa.ok);
    ASSERT_EQ(aaaa.addresses.size(), 2u);
    EXPECT_EQ(Ipv6Text(aaaa.addresses[0]), QStringLiteral("2001:db8:4c56:1::16:a"));
    EXPECT_EQ(Ipv6Text(aaaa.addresses[1]), QStringLiteral("2001:db8:4c56:1::16:b"));
    EXPECT_TRUE(
        ParseAddressReply(recorded, 0x4C56, QStringLiteral("other.local")).addresses.empty());
    EXPECT_FALSE(ParseAddressReply(recorded, 0x4C57, name).ok);
    EXPECT_TRUE(BuildAddressQuery(1, QStringLiteral("a..local"), true).isEmpty());
    EXPECT_TRUE(BuildAddressQuery(1, QString(64, u'x') + QStringLiteral(".local"), true).isEmpty());
}

TEST(DnsReply, RepliesThatAreNotOursGiveNothing)
{
    const QByteArray mdns = ReadDataFile("dns_ptr_reply_mdns.bin");
    ASSERT_FALSE(mdns.isEmpty());
    EXPECT_FALSE(ParseReversePtrReply(mdns, 0x1235, kPrinter).ok); // another id
    // The right id, but about another address.
    const DnsReply other = ParseReversePtrReply(mdns, 0x1234, kLinux);
    EXPECT_TRUE(other.ok);
    EXPECT_TRUE(other.ptrTargets.isEmpty());

    const QByteArray ptr = Record(kPrinterOwner, 12, Name({"x", "local"}));
    EXPECT_FALSE(ParseReversePtrReply(PrinterReply({ptr}, 0x0400), 7, kPrinter).ok); // a query
    EXPECT_FALSE(ParseReversePtrReply(PrinterReply({ptr}, 0x8403), 7, kPrinter).ok); // NXDOMAIN
    EXPECT_FALSE(ParseReversePtrReply(PrinterReply({ptr}, 0x8C00), 7, kPrinter).ok); // opcode 1
    EXPECT_FALSE(ParseReversePtrReply(QByteArray(11, '\0'), 0, kPrinter).ok);

    // Owner compared without regard to case; other types and classes skipped.
    const QByteArray upper = Name({"3", "0", "18", "198", "IN-ADDR", "ARPA"});
    QByteArray chaos = Record(kPrinterOwner, 12, Name({"chaos"}));
    chaos[kPrinterOwner.size() + 3] = 3; // class CH
    const DnsReply mixed = ParseReversePtrReply(
        PrinterReply({Record(upper, 12, Name({"a"})), Record(kPrinterOwner, 16, Name({"txt"})),
                      chaos, Record(kPrinterOwner, 12, Name({"b"}))}),
        7, kPrinter);
    EXPECT_EQ(mixed.ptrTargets, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST(DnsReply, BrokenNamesAndRecordsStopTheParseWithoutReadingPastTheData)
{
    const QByteArray good = Record(kPrinterOwner, 12, Name({"good"}));

    // A pointer to itself, a forward pointer and a pointer chain in a circle.
    QByteArray self = PrinterReply({good});
    const qsizetype at = self.size();
    self += Record(QByteArray("\xC0") + char(at), 12, Name({"x"}));
    self[7] = 2; // two answers
    DnsReply reply = ParseReversePtrReply(self, 7, kPrinter);
    EXPECT_EQ(reply.ptrTargets, QStringList{QStringLiteral("good")});
    EXPECT_TRUE(reply.truncated);

    QByteArray forward = Header(7, 0x8400, 0, 1);
    forward += Record(QByteArray("\xC0\x40", 2), 12, Name({"x"}));
    EXPECT_TRUE(ParseReversePtrReply(forward, 7, kPrinter).truncated);

    // "a" then a pointer back to "a": every visit adds a label, until the name is too
    // long for the wire.
    QByteArray loop = Header(7, 0x8400, 0, 1);
    loop += QByteArray("\x01"
                       "a\xC0\x0C",
                       4);
    Put16(loop, 12);
    loop += QByteArray(8, '\0');
    EXPECT_TRUE(ParseReversePtrReply(loop, 7, kPrinter).truncated);

    // Label lengths 64..191 are not labels, nor pointers.
    QByteArray label = PrinterReply(
        {Record(kPrinterOwner, 12, QByteArray("\x41", 1) + QByteArray(65, 'a') + '\0')});
    reply = ParseReversePtrReply(label, 7, kPrinter);
    EXPECT_TRUE(reply.ptrTargets.isEmpty());
    EXPECT_TRUE(reply.truncated);

    // Every cut of a good reply: never a name that was not all there.
    const QByteArray whole = PrinterReply({good, Record(kPrinterOwner, 12, Name({"second"}))});
    for (qsizetype size = 0; size < whole.size(); ++size) {
        const DnsReply cut = ParseReversePtrReply(whole.first(size), 7, kPrinter);
        for (const QString& name : cut.ptrTargets)
            EXPECT_EQ(name, QStringLiteral("good")) << size;
        if (size >= 12) {
            EXPECT_TRUE(cut.truncated) << size;
        }
    }

    // A data length that runs past the target name's end is broken too.
    QByteArray slack = Record(kPrinterOwner, 12, Name({"slack"}) + "xx");
    EXPECT_TRUE(ParseReversePtrReply(PrinterReply({slack}), 7, kPrinter).ptrTargets.isEmpty());
}

TEST(DnsReply, CountsThatCannotFitAreReadOnlyAsFarAsTheDataGoes)
{
    QByteArray lying = Header(7, 0x8400, 0, 0xFFFF);
    lying += Record(kPrinterOwner, 12, Name({"only"}));
    const DnsReply reply = ParseReversePtrReply(lying, 7, kPrinter);
    EXPECT_TRUE(reply.truncated);
    EXPECT_EQ(reply.ptrTargets, QStringList{QStringLiteral("only")});

    QByteArray questions = Header(7, 0x8400, 0xFFFF, 1);
    questions += kPrinterOwner;
    EXPECT_TRUE(ParseReversePtrReply(questions, 7, kPrinter).truncated);
}

TEST(DnsReply, NamesAreShownWithoutControlsAndCutTo255Characters)
{
    const DnsReply controls = ParseReversePtrReply(
        PrinterReply({Record(kPrinterOwner, 12, Name({"bad\x1b[2J", "local"}))}), 7, kPrinter);
    ASSERT_EQ(controls.ptrTargets.size(), 1);
    EXPECT_EQ(controls.ptrTargets[0], QStringLiteral("bad\uFFFD[2J.local"));

    // UTF-8 labels, as multicast DNS writes them.
    const DnsReply utf8 = ParseReversePtrReply(
        PrinterReply({Record(kPrinterOwner, 12, Name({"\xE6\x89\x93\xE5\x8D\xB0", "local"}))}), 7,
        kPrinter);
    EXPECT_EQ(utf8.ptrTargets, QStringList{QString::fromUtf8("打印.local")});

    // Four 63-octet labels take 256 octets with their lengths and the end: one too many.
    const QByteArray l63(63, 'x');
    const DnsReply tooLong = ParseReversePtrReply(
        PrinterReply(
            {Record(kPrinterOwner, 12,
                    Name({l63.constData(), l63.constData(), l63.constData(), l63.constData()}))}),
        7, kPrinter);
    EXPECT_TRUE(tooLong.ptrTargets.isEmpty());
    // Three of them and a 62: 255 octets on the wire, kept, and 253 characters with the dots.
    const QByteArray l61(61, 'y');
    const DnsReply longest = ParseReversePtrReply(
        PrinterReply(
            {Record(kPrinterOwner, 12,
                    Name({l63.constData(), l63.constData(), l63.constData(), l61.constData()}))}),
        7, kPrinter);
    ASSERT_EQ(longest.ptrTargets.size(), 1);
    EXPECT_EQ(longest.ptrTargets[0].size(), 63 * 3 + 61 + 3);
    // A label of 63 UTF-8 two-byte letters stays within 255 characters too.
    QByteArray wide;
    for (int i = 0; i < 31; ++i)
        wide += "\xC3\xA9";
    const DnsReply accents = ParseReversePtrReply(
        PrinterReply({Record(kPrinterOwner, 12, Name({wide.constData()}))}), 7, kPrinter);
    ASSERT_EQ(accents.ptrTargets.size(), 1);
    EXPECT_EQ(accents.ptrTargets[0].size(), 31);
}
