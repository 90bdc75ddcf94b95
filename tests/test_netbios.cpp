// The node-status request and the name parse of its reply.

#include "TestDataFile.h"
#include "TestPrinters.h"
#include "lang/AnsiCodePage.h"
#include "scan/NetBiosNames.h"

#include <QFile>
#include <gtest/gtest.h>
#include <iconv.h>
#include <initializer_list>
#include <vector>

namespace
{

// A receive buffer as the socket leaves it: `bytes` at the start, 0xCC after them.
NodeStatusReply Received(const std::vector<quint8>& bytes)
{
    NodeStatusReply reply = EmptyNodeStatusReply();
    std::copy_n(bytes.begin(), std::min(bytes.size(), reply.size()), reply.begin());
    return reply;
}

// The 57 bytes before the first entry of a positive reply with `count` names.
std::vector<quint8> ReplyHeader(int count)
{
    std::vector<quint8> bytes(57, 0);
    bytes[2] = 0x84; // response, authoritative
    bytes[7] = 1;    // one answer
    bytes[12] = 0x20;
    bytes[13] = 'C';
    bytes[14] = 'K';
    std::fill(bytes.begin() + 15, bytes.begin() + 45, quint8('A'));
    bytes[47] = 0x21;
    bytes[49] = 0x01;
    const int length = 1 + 18 * count + 46;
    bytes[54] = quint8(length >> 8);
    bytes[55] = quint8(length);
    bytes[56] = quint8(count);
    return bytes;
}

// One name entry: the name padded with spaces to 15 bytes, the suffix, two flag bytes.
std::vector<quint8> NameEntry(const QByteArray& name, quint8 suffix, quint8 flags0, quint8 flags1)
{
    std::vector<quint8> entry(name.begin(), name.end());
    entry.resize(15, ' ');
    entry.insert(entry.end(), {suffix, flags0, flags1});
    return entry;
}

std::vector<quint8> Concat(std::initializer_list<std::vector<quint8>> parts)
{
    std::vector<quint8> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Names {
    QString hostName;
    QString workgroup;
};

Names Parse(const NodeStatusReply& reply)
{
    Names names;
    ParseNodeStatusNames(reply, names.hostName, names.workgroup);
    return names;
}

TEST(NetBiosRequest, MatchesTheRecordedRequestByteForByte)
{
    const QByteArray golden = ReadDataFile("nbstat_request.bin");
    ASSERT_EQ(golden.size(), kNodeStatusRequestSize);
    const NodeStatusRequest request = BuildNodeStatusRequest();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(request.data()), int(request.size())),
              golden);
}

TEST(NetBiosNameParse, RecordedNmbdReply)
{
    // nmbd (Samba 4.17) as "LVPROBE-HOST1" in workgroup "LABGROUP": 193 bytes, five names
    // LVPROBE-HOST1<00> <03> <20>, LABGROUP<00> (group) <1e> (group), then a 46-byte
    // statistics block that starts with an all-zero unit id.
    const QByteArray recorded = ReadDataFile("nbstat_reply_nmbd.bin");
    ASSERT_EQ(recorded.size(), 193);
    const Names names = Parse(Received({recorded.begin(), recorded.end()}));
    EXPECT_EQ(names.hostName, QStringLiteral("LVPROBE-HOST1"));
    EXPECT_EQ(names.workgroup, QStringLiteral("LABGROUP"));

    // Cut inside the fourth entry, the workgroup is never complete.
    const Names cut = Parse(Received({recorded.begin(), recorded.begin() + 57 + 3 * 18 + 10}));
    EXPECT_EQ(cut.hostName, QStringLiteral("LVPROBE-HOST1"));
    EXPECT_EQ(cut.workgroup, QString());
}

TEST(NetBiosNameParse, RecordedNmbdReplyAsLocalMasterBrowser)
{
    // The same nmbd a minute later, after winning the browser election: 229 bytes, eight
    // names, the fourth "\x01\x02__MSBROWSE__\x02" <01>. An entry that starts with a
    // control byte ends the parse, so LABGROUP after it is never reached.
    const QByteArray recorded = ReadDataFile("nbstat_reply_nmbd_master.bin");
    ASSERT_EQ(recorded.size(), 229);
    const Names names = Parse(Received({recorded.begin(), recorded.end()}));
    EXPECT_EQ(names.hostName, QStringLiteral("LVPROBE-HOST1"));
    EXPECT_EQ(names.workgroup, QString());
}

TEST(NetBiosNameParse, EntryTextEndsAtTheFirstControlByteWithoutTrailingSpaces)
{
    const Names padded = Parse(Received(Concat({ReplyHeader(1), NameEntry("PC1", 0x00, 0x04, 0)})));
    EXPECT_EQ(padded.hostName, QStringLiteral("PC1"));

    // A suffix of 0x20 and a first flag byte of 0x64 ('d') stay in the text, so the
    // second entry differs from the host name and becomes the workgroup.
    const Names flags = Parse(Received(Concat(
        {ReplyHeader(2), NameEntry("PC1", 0x00, 0x04, 0), NameEntry("PC1", 0x20, 0x64, 0x00)})));
    EXPECT_EQ(flags.hostName, QStringLiteral("PC1"));
    EXPECT_EQ(flags.workgroup,
              QStringLiteral("PC1") + QString(13, QLatin1Char(' ')) + QStringLiteral("d"));

    // An entry without any control byte keeps all 18 bytes.
    const Names full = Parse(Received(Concat(
        {ReplyHeader(2), NameEntry("PC1", 0, 0, 0), NameEntry("ABCDEFGHIJKLMNO", 'P', 'Q', 'R')})));
    EXPECT_EQ(full.workgroup, QStringLiteral("ABCDEFGHIJKLMNOPQR"));

    // An all-space name still counts as the (empty) host name.
    const Names blank = Parse(Received(
        Concat({ReplyHeader(2), NameEntry("", 0x00, 0x04, 0), NameEntry("WG", 0x00, 0x84, 0)})));
    EXPECT_EQ(blank.hostName, QString());
    EXPECT_EQ(blank.workgroup, QStringLiteral("WG"));
}

TEST(NetBiosNameParse, FirstLaterDifferingEntryIsTheWorkgroup)
{
    // Computer name <00>, the same name <20>, workgroup <00> (group), user name <03>.
    const Names names = Parse(Received(
        Concat({ReplyHeader(4), NameEntry("PC1", 0x00, 0x04, 0), NameEntry("PC1", 0x20, 0x04, 0),
                NameEntry("WORKGROUP", 0x00, 0x84, 0), NameEntry("ALICE", 0x03, 0x04, 0)})));
    EXPECT_EQ(names.hostName, QStringLiteral("PC1"));
    EXPECT_EQ(names.workgroup, QStringLiteral("WORKGROUP"));

    // The comparison is case-sensitive.
    const Names cased = Parse(Received(Concat(
        {ReplyHeader(2), NameEntry("PC1", 0x00, 0x04, 0), NameEntry("pc1", 0x00, 0x04, 0)})));
    EXPECT_EQ(cased.workgroup, QStringLiteral("pc1"));
}

TEST(NetBiosNameParse, OneNameThenStatisticsBlock)
{
    // The statistics block is read as a further entry: a unit id starting with a control
    // byte ends the parse, one starting with printable bytes gives a "workgroup".
    std::vector<quint8> zeroUnit(46, 0);
    const Names stopped =
        Parse(Received(Concat({ReplyHeader(1), NameEntry("PC1", 0x00, 0x04, 0), zeroUnit})));
    EXPECT_EQ(stopped.hostName, QStringLiteral("PC1"));
    EXPECT_EQ(stopped.workgroup, QString());

    std::vector<quint8> printableUnit(46, 0);
    const quint8 unit[] = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56}; // 52:54:00:12:34:56
    std::copy(std::begin(unit), std::end(unit), printableUnit.begin());
    const Names taken =
        Parse(Received(Concat({ReplyHeader(1), NameEntry("PC1", 0x00, 0x04, 0), printableUnit})));
    EXPECT_EQ(taken.hostName, QStringLiteral("PC1"));
    EXPECT_EQ(taken.workgroup, QStringLiteral("RT"));
}

TEST(NetBiosNameParse, ShortAndBrokenRepliesKeepWhatWasComplete)
{
    QString host = QStringLiteral("kept");
    QString group = QStringLiteral("kept too");
    // An error reply stops before the first entry: nothing is taken or cleared.
    std::vector<quint8> error = ReplyHeader(0);
    error.resize(56);
    ParseNodeStatusNames(Received(error), host, group);
    EXPECT_EQ(host, QStringLiteral("kept"));
    EXPECT_EQ(group, QStringLiteral("kept too"));

    // Nothing received at all.
    const Names empty = Parse(EmptyNodeStatusReply());
    EXPECT_EQ(empty.hostName, QString());

    // A 0xCC inside an entry ends the parse there; earlier names stay.
    std::vector<quint8> broken = NameEntry("WORKGROUP", 0x00, 0x84, 0);
    broken[4] = 0xCC;
    const Names names =
        Parse(Received(Concat({ReplyHeader(2), NameEntry("PC1", 0x00, 0x04, 0), broken})));
    EXPECT_EQ(names.hostName, QStringLiteral("PC1"));
    EXPECT_EQ(names.workgroup, QString());

    std::vector<quint8> brokenFirst = NameEntry("PC1", 0x00, 0x04, 0);
    brokenFirst[16] = 0xCC;
    EXPECT_EQ(Parse(Received(Concat({ReplyHeader(1), brokenFirst}))).hostName, QString());

    // An entry that starts with a control byte ends the parse.
    const Names ended = Parse(
        Received(Concat({ReplyHeader(3), NameEntry("PC1", 0x00, 0x04, 0),
                         NameEntry("\x01WG", 0x00, 0x84, 0), NameEntry("WG", 0x00, 0x84, 0)})));
    EXPECT_EQ(ended.workgroup, QString());
}

TEST(NetBiosNameParse, ReadsAtMostTwentyFourEntries)
{
    // The 25th entry would end past byte 500, so a workgroup there is never seen, while
    // the same name as the 24th entry is.
    std::vector<quint8> reply = ReplyHeader(25);
    for (int i = 0; i < 23; ++i)
        reply = Concat({reply, NameEntry("PC1", 0x00, 0x04, 0)});
    const std::vector<quint8> at24 = Concat({reply, NameEntry("WG", 0x00, 0x84, 0)});
    const std::vector<quint8> at25 =
        Concat({reply, NameEntry("PC1", 0x00, 0x04, 0), NameEntry("WG", 0x00, 0x84, 0)});
    EXPECT_EQ(Parse(Received(at24)).workgroup, QStringLiteral("WG"));
    EXPECT_EQ(Parse(Received(at25)).hostName, QStringLiteral("PC1"));
    EXPECT_EQ(Parse(Received(at25)).workgroup, QString());
}

TEST(NetBiosNameParse, NamesAreWindows1252)
{
    const Names names = Parse(Received(Concat({ReplyHeader(2),
                                               NameEntry("\x80"
                                                         "CAF\xC9",
                                                         0x00, 0x04, 0),
                                               NameEntry("\x8A\x9F\x81", 0x00, 0x84, 0)})));
    EXPECT_EQ(names.hostName, QStringView(u"\u20AC"
                                          "CAF\u00C9")
                                  .toString());
    EXPECT_EQ(names.workgroup, QStringView(u"\u0160\u0178\u0081").toString());
}

// The code page of the language in use for one test, 1252 again after it.
class CodePageScope
{
public:
    explicit CodePageScope(int codePage) { SetAnsiCodePage(codePage); }
    ~CodePageScope() { SetAnsiCodePage(1252); }
};

QString Utf16(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

TEST(NetBiosNameParse, NamesFollowTheAnsiCodePageOfTheLanguage)
{
    // A Chinese Windows host "财务部-PC" in workgroup "工作组", both in GBK, and a Taiwanese
    // one "財務部" in "工作組" in Big5, whose trail bytes 0x5D and 0x40 look like ASCII.
    const NodeStatusReply gbk =
        Received(Concat({ReplyHeader(3), NameEntry("\xB2\xC6\xCE\xF1\xB2\xBF-PC", 0x00, 0x04, 0),
                         NameEntry("\xB2\xC6\xCE\xF1\xB2\xBF-PC", 0x20, 0x04, 0),
                         NameEntry("\xB9\xA4\xD7\xF7\xD7\xE9", 0x00, 0x84, 0)}));
    const NodeStatusReply big5 =
        Received(Concat({ReplyHeader(2), NameEntry("\xB0\x5D\xB0\xC8\xB3\xA1", 0x00, 0x04, 0),
                         NameEntry("\xA4\x75\xA7\x40\xB2\xD5", 0x00, 0x84, 0)}));
    {
        const CodePageScope chinese(936);
        const Names names = Parse(gbk);
        EXPECT_EQ(names.hostName, Utf16(u"财务部-PC"));
        EXPECT_EQ(names.workgroup, Utf16(u"工作组"));
    }
    {
        const CodePageScope taiwanese(950);
        const Names names = Parse(big5);
        EXPECT_EQ(names.hostName, Utf16(u"財務部"));
        EXPECT_EQ(names.workgroup, Utf16(u"工作組"));
    }
    // Any other language reads the same bytes as Windows-1252.
    const Names western = Parse(gbk);
    EXPECT_EQ(western.hostName, Utf16(u"\u00B2\u00C6\u00CE\u00F1\u00B2\u00BF-PC"));
    EXPECT_EQ(western.workgroup, Utf16(u"\u00B9\u00A4\u00D7\u00F7\u00D7\u00E9"));
}

TEST(NetBiosNameParse, HostileDoubleByteNamesAreCutCleanly)
{
    const CodePageScope chinese(936);
    // Fifteen name bytes ending in a lead byte, then the suffix 0x00: the half character
    // is U+FFFD and nothing of the suffix or flags is read into it.
    const Names cut = Parse(Received(Concat(
        {ReplyHeader(1), NameEntry("\xD1\xD0\xB7\xA2\xD6\xD0\xD0\xC4\xD1\xD0\xB7\xA2\xD6\xD0\xD0",
                                   0x00, 0x04, 0)})));
    EXPECT_EQ(cut.hostName, Utf16(u"研发中心研发中\uFFFD"));
    // A lead byte before a space or the suffix: U+FFFD, and the rest of the text stays.
    const Names spaced = Parse(Received(Concat(
        {ReplyHeader(2), NameEntry("PC", 0x00, 0x04, 0), NameEntry("\xB2 WG", 0x00, 0x84, 0)})));
    EXPECT_EQ(spaced.workgroup, Utf16(u"\uFFFD WG"));
    const Names bytesNever =
        Parse(Received(Concat({ReplyHeader(1), NameEntry("\xFF\xFF\x80\xFE", 0x00, 0x04, 0)})));
    EXPECT_EQ(bytesNever.hostName, Utf16(u"\uFFFD\uFFFD\u20AC\uFFFD"));
}

TEST(NetBiosWindows1252, AgreesWithIconvAndMapsUndefinedBytesToC1Controls)
{
    iconv_t converter = iconv_open("UTF-16LE", "WINDOWS-1252");
    ASSERT_NE(converter, iconv_t(-1));
    int undefined = 0;
    for (int value = 0; value < 256; ++value) {
        const char byte = char(value);
        const QString ours = DecodeAnsi(&byte, 1, 1252);
        ASSERT_EQ(ours.size(), 1);

        char in = byte;
        char16_t out[2] = {};
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = 1;
        size_t outLeft = sizeof out;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)) {
            // glibc leaves these undefined; Windows turns them into U+0081 and so on.
            ++undefined;
            EXPECT_EQ(ours.at(0).unicode(), value) << "byte " << value;
        } else {
            EXPECT_EQ(ours.at(0).unicode(), out[0]) << "byte " << value;
        }
    }
    iconv_close(converter);
    EXPECT_EQ(undefined, 5);
}

} // namespace

TEST(NetBiosUnitId, TheAdapterAddressAfterTheLastEntryWhenItIsThereAndNotZeros)
{
    const quint8 unit[] = {0x00, 0xD0, 0xEF, 0x12, 0x34, 0x01};
    std::vector<quint8> statistics(46, 0);
    std::copy(std::begin(unit), std::end(unit), statistics.begin());
    const std::vector<quint8> two = Concat({ReplyHeader(2), NameEntry("PC1", 0x00, 0x04, 0),
                                            NameEntry("GROUP", 0x00, 0x84, 0), statistics});
    const quint64 expected = 0xFFFF013412EFD000ull; // first octet least significant
    EXPECT_EQ(ParseNodeStatusUnitId(Received(two), int(two.size())), expected);
    // Only its six bytes need to have come.
    EXPECT_EQ(ParseNodeStatusUnitId(Received(two), 57 + 2 * 18 + 6), expected);
    EXPECT_EQ(ParseNodeStatusUnitId(Received(two), 57 + 2 * 18 + 5), 0u);
    EXPECT_EQ(ParseNodeStatusUnitId(Received(two), 56), 0u);
    EXPECT_EQ(ParseNodeStatusUnitId(Received(two), -1), 0u);

    // Samba's zeros are no address.
    const std::vector<quint8> zeros =
        Concat({ReplyHeader(1), NameEntry("PC1", 0x00, 0x04, 0), std::vector<quint8>(46, 0)});
    EXPECT_EQ(ParseNodeStatusUnitId(Received(zeros), int(zeros.size())), 0u);

    // A name count that would put the unit ID past the buffer.
    std::vector<quint8> lying = two;
    lying[56] = 255;
    EXPECT_EQ(ParseNodeStatusUnitId(Received(lying), kNodeStatusReplySize + 100), 0u);

    // The recorded nmbd reply: zeros.
    const QByteArray nmbd = ReadDataFile("nbstat_reply_nmbd.bin");
    ASSERT_FALSE(nmbd.isEmpty());
    EXPECT_EQ(ParseNodeStatusUnitId(Received(std::vector<quint8>(nmbd.begin(), nmbd.end())),
                                    int(nmbd.size())),
              0u);
}
