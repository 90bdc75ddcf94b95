#include "TestPrinters.h"
#include "lang/LangString.h"
#include "lang/LangStringSource.h"

#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace
{

// Each test starts on the built-in table with the marker off.
class Formatter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetLangStringSource(nullptr);
        g_bShowMUIErrInfo = 0;
    }
    void TearDown() override
    {
        SetLangStringSource(nullptr);
        g_bShowMUIErrInfo = 0;
    }
    static void UseTranslation(QHash<quint16, QString> strings)
    {
        SetLangStringSource(std::make_shared<LangStringTable>(std::move(strings)));
    }
};

QString F(quint16 id, const char* text, std::initializer_list<LangValue> values = {})
{
    return FormatLangStringA(id, text, values);
}

TEST_F(Formatter, FillsNamedPlaceholdersFromTheBuiltInTable)
{
    EXPECT_EQ(F(144, "Found %d_HOSTS% hosts.", {12}), QStringLiteral("Found 12 hosts."));
    EXPECT_EQ(F(211, "%d_NUM%)  IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
                {3, QStringLiteral("10.0.0.5"), QStringLiteral("00:11:22:33:44:55")}),
              QStringLiteral("3)  IP Address: 10.0.0.5 -- MAC Address: 00:11:22:33:44:55\r\n"));
}

TEST_F(Formatter, TableTextWinsOverTheCallSiteText)
{
    EXPECT_EQ(F(184, "Invalid IP addresses!"), QStringLiteral("Invalid IP address!"));
    EXPECT_EQ(F(179, "IP Address Different And MAC Address Different "),
              QStringLiteral("IP Address and MAC Address different!"));
}

TEST_F(Formatter, TranslationMayReorderRepeatAndDropPlaceholders)
{
    UseTranslation({{210, QStringLiteral("MAC %s_MAC% / IP %s_IP%")},
                    {211, QStringLiteral("%s_IP% %s_IP% (%d_NUM%)")},
                    {144, QStringLiteral("Hosts found.")}});
    EXPECT_EQ(F(210, "Current Record:\r\n     IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
                {QStringLiteral("10.0.0.5"), QStringLiteral("AA:BB:CC:DD:EE:FF")}),
              QStringLiteral("MAC AA:BB:CC:DD:EE:FF / IP 10.0.0.5"));
    EXPECT_EQ(F(211, "%d_NUM%)  IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
                {7, QStringLiteral("1.2.3.4"), QStringLiteral("x")}),
              QStringLiteral("1.2.3.4 1.2.3.4 (7)"));
    // A dropped value is silent, unless untranslated texts are to be marked.
    EXPECT_EQ(F(144, "Found %d_HOSTS% hosts.", {5}), QStringLiteral("Hosts found."));
    g_bShowMUIErrInfo = 1;
    EXPECT_EQ(F(144, "Found %d_HOSTS% hosts.", {5}), QStringLiteral("*Hosts found."));
}

TEST_F(Formatter, MissingIdFallsBackToTheDefaultText)
{
    EXPECT_EQ(F(4000, "Got %d_N% of %s_WHAT%", {2, "files"}), QStringLiteral("Got 2 of files"));
    g_bShowMUIErrInfo = 1;
    EXPECT_EQ(F(4000, "Got %d_N% of %s_WHAT%", {2, "files"}), QStringLiteral("*Got 2 of files"));
    EXPECT_EQ(F(144, "Found %d_HOSTS% hosts.", {1}), QStringLiteral("Found 1 hosts."));
    // An empty translation counts as missing.
    UseTranslation({{144, QString()}});
    EXPECT_EQ(F(144, "Found %d_HOSTS% hosts.", {1}), QStringLiteral("*Found 1 hosts."));
}

TEST_F(Formatter, PercentPairsAndCandidatesWithoutUnderscoreStayAsTheyAre)
{
    EXPECT_EQ(F(4001, "100%% of %d_N% done", {3}), QStringLiteral("100%% of 3 done"));
    EXPECT_EQ(F(4001, "%d%x%d_N%", {9}), QStringLiteral("%d%x9"))
        << "'%x%' holds no '_' and takes no value; its closing '%' opens nothing";
    EXPECT_EQ(F(4001, "a %b% c %s_S%", {"v"}), QStringLiteral("a %b% c v"));
    EXPECT_EQ(F(4001, "trailing %d_N"), QStringLiteral("trailing %d_N"));
}

TEST_F(Formatter, UnsupportedConversionsStayAndTakeNoValue)
{
    EXPECT_EQ(F(4002, "%i_A% %e_B% %g_C% %p_D% %S_E% %d_F%", {42}),
              QStringLiteral("%i_A% %e_B% %g_C% %p_D% %S_E% 42"));
    EXPECT_EQ(F(4002, "%_NOSPEC% %s_X%", {"x"}), QStringLiteral("%_NOSPEC% x"));
}

TEST_F(Formatter, ConversionTable)
{
    EXPECT_EQ(F(4003, "%I64u_BIG%|%d_NEXT%", {18446744073709551615ull, 1}),
              QStringLiteral("18446744073709551615|1"));
    EXPECT_EQ(F(4003, "%I64d_BIG%", {-9000000000ll}), QStringLiteral("-9000000000"));
    EXPECT_EQ(F(4003, "%d_A% %u_B% %x_C% %X_D% %o_E%", {-5, -1, 255, 255, 8}),
              QStringLiteral("-5 4294967295 ff FF 10"));
    EXPECT_EQ(F(4003, "%02X_A%:%08x_B%", {10, 0xBEEF}), QStringLiteral("0A:0000beef"));
    EXPECT_EQ(F(4003, "%.2f_R% %f_S%", {3.14159, 0.5}), QStringLiteral("3.14 0.500000"));
    // Only the low 16 bits of a character value are used.
    EXPECT_EQ(F(4003, "[%c_C%]", {0x12340041}), QStringLiteral("[A]"));
    EXPECT_EQ(F(4003, "[%c_C%]", {QChar(0x4E2D)}), QString::fromUtf16(u"[\u4E2D]"));
    EXPECT_EQ(F(4003, "[%-8s_S%][%5s_T%][%.3s_U%]", {"ab", "cd", "abcdef"}),
              QStringLiteral("[ab      ][   cd][abc]"));
    // A 64-bit length in front of another letter still takes a 32-bit value.
    EXPECT_EQ(F(4003, "%I64x_H%", {255}), QStringLiteral("ff"));
    // '*' would read another argument: the value is formatted by its letter alone.
    EXPECT_EQ(F(4003, "%*d_W%", {7}), QStringLiteral("7"));
}

TEST_F(Formatter, ValuesAreNotScannedForPlaceholdersAgain)
{
    // A host name that looks like a placeholder is shown as it is.
    EXPECT_EQ(F(210, "Current Record:\r\n     IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
                {QStringLiteral("%s_MAC%"), QStringLiteral("AA")}),
              QStringLiteral("Current Record:\r\n     IP Address: %s_MAC% -- MAC Address: AA\r\n"));
}

TEST_F(Formatter, RepeatedPlaceholderInTheDefaultTextKeepsTheFirstValue)
{
    EXPECT_EQ(F(4005, "%d_N% and %d_N%", {1, 2}), QStringLiteral("1 and 1"));
    g_bShowMUIErrInfo = 1;
    EXPECT_EQ(F(4005, "%d_N% and %d_N%", {1, 2}), QStringLiteral("*1 and 1"));
}

TEST_F(Formatter, RingOf32Results)
{
    const QString& first = FormatLangStringA(144, "Found %d_HOSTS% hosts.", {1});
    const QString copy = first;
    for (int i = 2; i <= 32; ++i)
        FormatLangStringA(144, "Found %d_HOSTS% hosts.", {i});
    EXPECT_EQ(first, copy) << "32 results stay valid";
    FormatLangStringA(144, "Found %d_HOSTS% hosts.", {33});
    EXPECT_EQ(first, QStringLiteral("Found 33 hosts.")) << "the 33rd call reuses the first slot";
}

TEST_F(Formatter, OtherThreadsDoNotOverwriteAKeptResult)
{
    const QString& mine = FormatLangStringA(144, "Found %d_HOSTS% hosts.", {7});
    std::thread other([] {
        for (int i = 0; i < 100; ++i)
            FormatLangStringA(144, "Found %d_HOSTS% hosts.", {i});
    });
    other.join();
    EXPECT_EQ(mine, QStringLiteral("Found 7 hosts."));
}

TEST_F(Formatter, ConcurrentCallersGetTheirOwnTexts)
{
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i) {
                const QString text = FormatLangStringA(145, "Scanning %s_IP% ...",
                                                       {QString::number(t * 100000 + i)});
                if (text != QStringLiteral("Scanning %1 ...").arg(t * 100000 + i))
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

#ifndef QT_NO_DEBUG
TEST_F(Formatter, ValueOfTheWrongKindIsCaughtInDebugBuilds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(F(144, "Found %d_HOSTS% hosts.", {"twelve"}), "does not fit");
    EXPECT_DEATH(F(144, "Found %d_HOSTS% hosts.", {12ll}), "does not fit");
    EXPECT_DEATH(F(211, "%d_NUM% %s_IP%", {1}), "fewer values");
    EXPECT_DEATH(F(144, "Found %d_HOSTS% hosts.", {1, 2}), "more values");
}
#endif

TEST(StringTable, BuiltInTableHoldsEveryMessageToTheLetter)
{
    const auto source = BuiltinLangStrings();
    const auto* table = dynamic_cast<const LangStringTable*>(source.get());
    ASSERT_NE(table, nullptr);
    for (quint16 id = 128; id <= 219; ++id) {
        if (id != 216) {
            EXPECT_TRUE(table->GetString(id).has_value()) << id;
        }
    }
    for (const quint16 id : {229,   57344, 32773, 32774, 32775, 32776, 32781, 32783, 32784, 32785,
                             32786, 32787, 32789, 32791, 32792, 32822, 32824, 32825, 32828, 32830,
                             57607, 57609, 57634, 57635, 57636, 57637, 57642, 57664, 57671})
        EXPECT_TRUE(table->GetString(quint16(id)).has_value()) << id;
    // 120 messages below the menu texts (0xF000 up; dialog texts 0xF100 up).
    EXPECT_EQ(std::count_if(table->strings().keyBegin(), table->strings().keyEnd(),
                            [](quint16 id) { return id < 0xF000; }),
              120);

    auto text = [&](quint16 id) { return table->GetString(id).value_or(QString()); };
    EXPECT_EQ(text(128), QStringLiteral("Lanvey\n\nLanvey\n\n\nLanvey.Document\nLanvey.Document"));
    EXPECT_EQ(text(132), QStringLiteral("New Records:\t%d_RESULT%\nCover Records:\t%d_COVER%\n"
                                        "Skip Records:\t%d_IGNORE%\nSkip Empty HostName:\t"
                                        "%d_HOSTNAME%\nError Records:\t%d_ERROR%"));
    EXPECT_EQ(text(137), QStringLiteral("Can't find any valid IP address, ensure you have install "
                                        "TCP/IP protocol and setup a IP for network adapter.\r\n"));
    EXPECT_EQ(text(141), QStringLiteral("Couldn't Load Resource File \"%s_ERROR%\"!"));
    EXPECT_EQ(text(150), QStringLiteral("Windows Socket faliure?"));
    EXPECT_EQ(text(215), QStringLiteral("%d_IP% is not a vaild entry.Please speacify a value "
                                        "between 1 and 223."));
    EXPECT_EQ(text(57344), QStringLiteral("Norvane Lanvey"));
    EXPECT_EQ(text(32791), QStringLiteral("Go to Norvane website and check for the latest "
                                          "version\nCheck for Latest Version "));
    EXPECT_EQ(text(57607), QStringLiteral("Print"));
}

TEST(StringTable, ParserReadsEscapesAndRejectsBrokenLines)
{
    QString error;
    const auto table = LangStringTable::Parse(
        QStringLiteral("# comment\r\n\r\n7\ta\\tb\\nc\\r\\\"q\\\" \\\\ end\r\n65535\tlast\n"),
        &error);
    ASSERT_TRUE(table.has_value()) << error.toStdString();
    EXPECT_EQ(table->GetString(7), QStringLiteral("a\tb\nc\r\"q\" \\ end"));
    EXPECT_EQ(table->GetString(65535), QStringLiteral("last"));
    EXPECT_FALSE(table->GetString(8).has_value());

    for (const char* bad : {"7 no tab", "x\ttext", "70000\ttext", "7\tbad \\q escape",
                            "7\tends in \\", "7\tone\n7\ttwo", "\ttext"}) {
        EXPECT_FALSE(LangStringTable::Parse(QString::fromUtf8(bad), &error).has_value()) << bad;
        EXPECT_TRUE(error.startsWith(QStringLiteral("line "))) << bad;
    }
}

} // namespace
