#include "TestPrinters.h"
#include "support/NVOUI.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace
{

QString Vendor(const CNVOUI& oui, const char* mac)
{
    return oui.GetManufacturer(QString::fromLatin1(mac));
}

// The registries of the ieee-data package, loaded once for the suite.
class IeeeRegistries : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_oui = new CNVOUI;
        s_opened = s_oui->Open();
    }
    static void TearDownTestSuite() { delete s_oui; }
    static CNVOUI* s_oui;
    static bool s_opened;
};
CNVOUI* IeeeRegistries::s_oui = nullptr;
bool IeeeRegistries::s_opened = false;

TEST_F(IeeeRegistries, LoadsAllFourFiles)
{
    ASSERT_TRUE(s_opened) << "ieee-data is not installed (make deps)";
    EXPECT_GT(s_oui->Count(), 40000);
}

TEST_F(IeeeRegistries, MatchesTheLongestRegisteredPrefix)
{
    // MA-L, 24 bits.
    EXPECT_EQ(Vendor(*s_oui, "08:00:27:12:34:56"), QStringLiteral("PCS Systemtechnik GmbH"));
    // MA-M, 28 bits, inside a 24-bit block held by the registration authority.
    EXPECT_EQ(Vendor(*s_oui, "20:85:93:B1:23:45"), QStringLiteral("IOG Products LLC"));
    EXPECT_EQ(Vendor(*s_oui, "20:85:93:F1:23:45"), QStringLiteral("IEEE Registration Authority"))
        << "a neighbouring 28-bit block falls back to the 24-bit owner";
    // MA-S, 36 bits.
    EXPECT_EQ(Vendor(*s_oui, "70:B3:D5:F2:F0:01"), QStringLiteral("TELEPLATFORMS"));
    // IAB, 36 bits.
    EXPECT_EQ(Vendor(*s_oui, "00:50:C2:7D:50:01"), QStringLiteral("DEUTA-WERKE GmbH"));
}

TEST_F(IeeeRegistries, NamesComeAsTheRegistryWritesThem)
{
    // Quoted fields: a comma and doubled quotes inside.
    EXPECT_EQ(Vendor(*s_oui, "00:1A:2B:00:00:01"), QStringLiteral("Ayecom Technology Co., Ltd."));
    EXPECT_EQ(Vendor(*s_oui, "00:1E:FC:00:00:01"), QStringLiteral("JSC \"MASSA-K\""));
    EXPECT_EQ(Vendor(*s_oui, "08-00-27-12-34-56"), QStringLiteral("PCS Systemtechnik GmbH"));
    EXPECT_EQ(Vendor(*s_oui, "08:00:27:12:34"), QString());
}

TEST_F(IeeeRegistries, LocallyAdministeredAddressesWithoutEntry)
{
    EXPECT_EQ(Vendor(*s_oui, "02:00:00:00:00:01"), QStringLiteral("(locally administered)"));
    EXPECT_EQ(Vendor(*s_oui, "FE:12:34:56:78:9A"), QStringLiteral("(locally administered)"));
    // A registered block wins even with the bit set (old assignments have it).
    EXPECT_EQ(Vendor(*s_oui, "02:C0:8C:00:00:01"), QStringLiteral("3COM"));
    // A universal address without entry has no vendor.
    EXPECT_EQ(Vendor(*s_oui, "FC:FF:FF:00:00:01"), QString());
}

TEST_F(IeeeRegistries, LookupsFromManyThreadsAgree)
{
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                if (Vendor(*s_oui, "20:85:93:B1:23:45") != QStringLiteral("IOG Products LLC") ||
                    Vendor(*s_oui, "08:00:27:00:00:00") != QStringLiteral("PCS Systemtechnik GmbH"))
                    ++wrong;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

TEST(VendorTableFolder, ReadsAnotherFolderAndSkipsMissingFiles)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath(QStringLiteral("oui.csv")),
              "Registry,Assignment,Organization Name,Organization Address\r\n"
              "MA-L,AABBCC,Big Block,\"Street 1,\r\nTown\"\r\n"
              "MA-L,zzzzzz,Broken,\r\n"
              "MA-L,A0B0C0,Unquoted Tail ,Addr\r\n");
    WriteFile(dir.filePath(QStringLiteral("oui36.csv")),
              "Registry,Assignment,Organization Name,Organization Address\n"
              "MA-S,AABBCCDDE,Small Block,\n");
    CNVOUI oui;
    ASSERT_TRUE(oui.Open(QFile::encodeName(dir.path()).constData()));
    EXPECT_EQ(oui.Count(), 3);
    EXPECT_EQ(Vendor(oui, "AA:BB:CC:DD:EF:FF"), QStringLiteral("Small Block"));
    EXPECT_EQ(Vendor(oui, "AA:BB:CC:DD:F0:00"), QStringLiteral("Big Block"));
    EXPECT_EQ(Vendor(oui, "A0:B0:C0:00:00:00"), QStringLiteral("Unquoted Tail "));
    // AA has the locally administered bit set, but the block is registered.
    EXPECT_EQ(Vendor(oui, "AA:00:00:00:00:00"), QStringLiteral("(locally administered)"));
}

TEST(VendorTableFolder, MissingFolderGivesAnEmptyTable)
{
    CNVOUI oui;
    EXPECT_FALSE(oui.Open("/nonexistent/lanvey/ieee"));
    EXPECT_EQ(oui.Count(), 0);
    EXPECT_EQ(Vendor(oui, "08:00:27:12:34:56"), QString());
    EXPECT_EQ(Vendor(oui, "06:00:27:12:34:56"), QStringLiteral("(locally administered)"));
}

} // namespace
