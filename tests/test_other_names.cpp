// Names besides NetBIOS's, the Other Names cell and its sort, and the identity flags of
// a host's MAC address.

#include "RecordTestUtil.h"
#include "records/CompareResult.h"
#include "records/IdentityFlags.h"
#include "records/LanveyDoc.h"
#include "records/OtherName.h"
#include "records/RecordColumns.h"
#include "support/AddressText.h"

#include <gtest/gtest.h>

namespace
{

OtherName Mdns(const char* name)
{
    return {QString::fromUtf8(name), NameSource::Mdns};
}
OtherName Dns(const char* name)
{
    return {QString::fromUtf8(name), NameSource::Dns};
}

HostRecord HostWithMac(const char* mac)
{
    HostRecord host;
    host.ip = GetIpAddress(QStringLiteral("198.18.0.1"));
    host.mac = GetMacAddress(QString::fromLatin1(mac), u':');
    return host;
}

} // namespace

TEST(OtherNames, EachNameOncePerSourceAsDnsComparesNames)
{
    OtherNames names;
    AddOtherName(names, QStringLiteral("Printer.local"), NameSource::Mdns);
    AddOtherName(names, QStringLiteral("printer.LOCAL."), NameSource::Mdns);
    AddOtherName(names, QStringLiteral("printer.local"), NameSource::Llmnr);
    AddOtherName(names, QString(), NameSource::Dns);
    AddOtherName(names, QStringLiteral(" \t "), NameSource::Dns);
    AddOtherName(names, QStringLiteral(" printer.lab "), NameSource::Dns);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[2], Dns("printer.lab"));
    EXPECT_EQ(names[0], Mdns("Printer.local"));
    EXPECT_EQ(names[1].source, NameSource::Llmnr);
    EXPECT_EQ(OtherNamesText(names),
              QStringLiteral("Printer.local (mDNS), printer.local (LLMNR), printer.lab (DNS)"));
}

TEST(OtherNames, TheFileTextReadsBackEvenWhenNamesLookLikeItsSeparators)
{
    const std::vector<OtherNames> lists = {
        {},
        {Mdns("a.local")},
        {Mdns("a, b (c).local"), Dns("x (DNS) y"), {QStringLiteral("z"), NameSource::Llmnr}},
        // Names a hostile host may give: one that ends as an item would, backslashes.
        {Mdns("a (DNS), b"), Dns("c (mDNS)"), Dns("\\(\\\\ (LLMNR)\\")},
        {Dns("名字.lab"), Mdns("x\r\ny")},
    };
    for (const OtherNames& names : lists) {
        const QString text = OtherNamesFileText(names);
        EXPECT_EQ(ParseOtherNamesText(text), names) << text.toStdString();
    }
    EXPECT_EQ(OtherNamesFileText({Mdns("a (DNS), b"), Dns("c\\d")}),
              QStringLiteral("a \\(DNS), b (mDNS), c\\\\d (DNS)"));
    // Files written before the escapes read as they did where no name held a '('.
    EXPECT_EQ(ParseOtherNamesText(QStringLiteral("a, b.local (mDNS), c\\d (DNS)")),
              (OtherNames{Mdns("a, b.local"), Dns("c\\d")}));
    // An unknown "(source)" is part of the name; a last item without one is dropped; the
    // tags are read in any case.
    EXPECT_EQ(ParseOtherNamesText(QStringLiteral("a (WINS), b (dns), c")),
              OtherNames{Dns("a (WINS), b")});
    EXPECT_EQ(NameSourceFromTag(QStringLiteral("mdns")), NameSource::Mdns);
    EXPECT_FALSE(NameSourceFromTag(QStringLiteral("NetBIOS")).has_value());
}

TEST(OtherNames, TheColumnComesBeforeTheIpv6AddressesAndSortsByItsText)
{
    EXPECT_EQ(ScanColumnTitles().size(), ScanColumnCount);
    EXPECT_EQ(ScanColumnTitles().at(ScanColOtherNames), QStringLiteral("Other Names"));
    EXPECT_EQ(ScanColumnTitles().back(), QStringLiteral("IPv6 Addresses"));

    CLanveyDoc doc;
    const char* texts[] = {"zeta.local", "", "Alpha.lab", "beta.local"};
    for (int i = 0; i < 4; ++i) {
        auto host = std::make_unique<HostRecord>(HostWithMac("00:D0:EF:12:34:01"));
        host->ip = GetIpAddress(QStringLiteral("198.18.0.%1").arg(i + 1));
        if (*texts[i])
            host->otherNames = {i == 2 ? Dns(texts[i]) : Mdns(texts[i])};
        doc.AppendScanRecord(std::move(host));
    }
    EXPECT_EQ(ScanCellText(*doc.GetScanRecord(0), ScanColOtherNames, nullptr),
              QStringLiteral("zeta.local (mDNS)"));
    auto order = [&doc] {
        QStringList cells;
        for (int i = 0; i < doc.GetScanRecordCount(); ++i)
            cells << ScanCellText(*doc.GetScanRecord(i), ScanColOtherNames, nullptr);
        return cells;
    };
    // Like the other text columns: without regard to case, hosts without names last
    // going up and first going down.
    doc.SortScanRecords(ScanColOtherNames, true);
    EXPECT_EQ(order(),
              (QStringList{QStringLiteral("Alpha.lab (DNS)"), QStringLiteral("beta.local (mDNS)"),
                           QStringLiteral("zeta.local (mDNS)"), QString()}));
    doc.SortScanRecords(ScanColOtherNames, false);
    EXPECT_EQ(order(), (QStringList{QString(), QStringLiteral("zeta.local (mDNS)"),
                                    QStringLiteral("beta.local (mDNS)"),
                                    QStringLiteral("Alpha.lab (DNS)")}));
}

TEST(IdentityFlags, LocallyAdministeredIsTheSecondBitOfTheFirstOctet)
{
    for (const char* local :
         {"02:00:00:00:00:01", "0E:00:00:00:00:20", "12:34:56:78:9A:24", "FE:FF:FF:FF:FF:FF"})
        EXPECT_TRUE(IsLocallyAdministered(GetMacAddress(QString::fromLatin1(local), u':')))
            << local;
    // Bit 0x02 of a later octet, or the group bit, is not it.
    for (const char* global :
         {"00:D0:EF:12:34:01", "01:00:5E:00:00:FB", "00:02:02:02:02:02", "FD:00:00:00:00:00"})
        EXPECT_FALSE(IsLocallyAdministered(GetMacAddress(QString::fromLatin1(global), u':')))
            << global;
}

TEST(IdentityFlags, ANetBiosAdapterAddressOtherThanTheMacIsFlaggedButZerosAreNot)
{
    HostRecord host = HostWithMac("00:D0:EF:12:34:01");
    EXPECT_FALSE(HasIdentityFlags(host));
    EXPECT_TRUE(IdentityFlagKeywords(host).isEmpty());
    EXPECT_TRUE(IdentityFlagsText(host).isEmpty());

    host.netBiosMac = host.mac; // the same adapter
    EXPECT_FALSE(NetBiosMacDiffers(host));
    host.netBiosMac = host.mac & 0xFFFFFFFFFFFFull; // without the top bits: still the same
    EXPECT_FALSE(NetBiosMacDiffers(host));
    host.netBiosMac = 0xFFFF000000000000ull; // zeros with the top bits
    EXPECT_FALSE(NetBiosMacDiffers(host));

    host.netBiosMac = GetMacAddress(QStringLiteral("00:D0:EF:12:34:22"), u':');
    EXPECT_TRUE(NetBiosMacDiffers(host));
    EXPECT_EQ(IdentityFlagKeywords(host), QStringList{QStringLiteral("netbios-mac-differs")});
    EXPECT_TRUE(IdentityFlagsText(host).contains(QStringLiteral("00:D0:EF:12:34:22")));

    HostRecord both = HostWithMac("0E:00:00:00:00:20");
    both.netBiosMac = host.mac;
    EXPECT_EQ(IdentityFlagKeywords(both), (QStringList{QStringLiteral("locally-administered"),
                                                       QStringLiteral("netbios-mac-differs")}));
    EXPECT_EQ(IdentityFlagsText(both).count(u'\n'), 1);
}

TEST(IdentityFlags, ASecondMacOfTheSameAddressIsAConflictButItsOwnMacIsNot)
{
    HostRecord host = HostWithMac("00:D0:EF:12:34:01");
    host.conflictMac = host.mac & 0xFFFFFFFFFFFFull; // the same card without the top bits
    EXPECT_FALSE(HasIpConflict(host));
    EXPECT_FALSE(HasIdentityFlags(host));
    host.conflictMac = GetMacAddress(QStringLiteral("02:4C:56:D0:00:09"), u':');
    EXPECT_TRUE(HasIpConflict(host));
    EXPECT_EQ(IdentityFlagKeywords(host), QStringList{QStringLiteral("ip-conflict")});
    EXPECT_TRUE(IdentityFlagsText(host).contains(QStringLiteral("02:4C:56:D0:00:09")));
}
