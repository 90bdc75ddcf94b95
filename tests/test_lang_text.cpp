// Text from the network: the ANSI code pages its names arrive in, and how they are shown.

#include "TestPrinters.h"
#include "lang/AnsiCodePage.h"
#include "lang/DisplayText.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace
{

QString Decode(const QByteArray& bytes, int codePage)
{
    return DecodeAnsi(bytes.constData(), bytes.size(), codePage);
}

QString Text(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

const QChar kReplacement(0xFFFD);

TEST(AnsiCodePage, LanguagesAndLocales)
{
    EXPECT_EQ(AnsiCodePageForLanguage(QStringLiteral("zh_cn")), 936);
    EXPECT_EQ(AnsiCodePageForLanguage(QStringLiteral("ZH_TW")), 950);
    EXPECT_EQ(AnsiCodePageForLanguage(QStringLiteral("en_us")), 1252);
    EXPECT_EQ(AnsiCodePageForLanguage(QString()), 1252);

    EXPECT_EQ(AnsiCodePageForLocale(QStringLiteral("zh_CN.UTF-8")), 936);
    EXPECT_EQ(AnsiCodePageForLocale(QStringLiteral("zh_SG.GB2312")), 936);
    EXPECT_EQ(AnsiCodePageForLocale(QStringLiteral("zh_TW.UTF-8")), 950);
    EXPECT_EQ(AnsiCodePageForLocale(QStringLiteral("zh_HK.BIG5-HKSCS@stroke")), 950);
    EXPECT_EQ(AnsiCodePageForLocale(QStringLiteral("zh_TW")), 950);
    for (const char* other : {"C", "POSIX", "C.UTF-8", "en_US.UTF-8", "de_DE@euro", "zh", ""})
        EXPECT_EQ(AnsiCodePageForLocale(QString::fromLatin1(other)), 1252) << other;
}

TEST(AnsiCodePage, GbkAndBig5NamesDecodeToTheirChineseText)
{
    EXPECT_EQ(Decode("\xB2\xC6\xCE\xF1\xB2\xBF", 936), Text(u"财务部"));
    EXPECT_EQ(Decode("\xD1\xD0\xB7\xA2\xD6\xD0\xD0\xC4-PC1", 936), Text(u"研发中心-PC1"));
    EXPECT_EQ(Decode("\xB9\xA4\xD7\xF7\xD7\xE9", 936), Text(u"工作组"));
    EXPECT_EQ(Decode("\x80", 936), Text(u"\u20AC")); // Windows' euro sign in 936

    // Big5 trail bytes may lie in the ASCII range: B0 5D is one character, not "?]".
    EXPECT_EQ(Decode("\xB0\x5D\xB0\xC8\xB3\xA1", 950), Text(u"財務部"));
    EXPECT_EQ(Decode("\xA4\x75\xA7\x40\xB2\xD5", 950), Text(u"工作組"));
    EXPECT_EQ(Decode("\xBB\x4F\xC6\x57 NAS", 950), Text(u"臺灣 NAS"));

    // The same bytes in the other code pages are other text, never the Chinese.
    EXPECT_EQ(Decode("\xB2\xC6\xCE\xF1", 1252), Text(u"\u00B2\u00C6\u00CE\u00F1"));
    EXPECT_NE(Decode("\xB2\xC6\xCE\xF1", 950), Text(u"财务"));
}

TEST(AnsiCodePage, InvalidSequencesBecomeReplacementCharactersAndKeepWhatFollows)
{
    for (const int cp : {936, 950}) {
        SCOPED_TRACE(cp);
        // A lead byte at the very end: the missing half is not read, the lead is U+FFFD.
        EXPECT_EQ(Decode("PC\xB2", cp), QStringLiteral("PC") + kReplacement);
        // A lead byte before an ASCII byte that cannot trail it: the ASCII byte stays.
        EXPECT_EQ(Decode("\xB2 PC", cp), kReplacement + QStringLiteral(" PC"));
        EXPECT_EQ(Decode(QByteArray("\x81\x1B[2J", 5), cp),
                  kReplacement + QStringLiteral("\x1B[2J"));
        EXPECT_EQ(Decode("\xB2\x7F", cp), QString(kReplacement) + QChar(0x7F));
        // Bytes the code page never uses.
        EXPECT_EQ(Decode("\xFF", cp), QString(kReplacement));
        EXPECT_EQ(Decode("\xFF\xFF\xFF", cp), QString(3, kReplacement));
        EXPECT_EQ(Decode(QByteArray(), cp), QString());
        EXPECT_EQ(DecodeAnsi(nullptr, 0, cp), QString());
    }
    EXPECT_EQ(Decode("\x80", 950), QString(kReplacement));
    // 0x80 cannot trail a Big5 lead byte; the pair is one bad character.
    EXPECT_EQ(Decode("\xA4\x80Z", 950), kReplacement + QStringLiteral("Z"));
}

TEST(AnsiCodePage, NeverReadsPastTheSizeGiven)
{
    // The byte after `size` would complete the character; it must not be looked at.
    const QByteArray whole("\xB2\xC6", 2);
    EXPECT_EQ(DecodeAnsi(whole.constData(), 1, 936), QString(kReplacement));
    EXPECT_EQ(DecodeAnsi(whole.constData(), 2, 936), Text(u"财"));

    // Every one- and two-byte input, each in a heap block of exactly its size (so the
    // address sanitizer sees any read past it): the text is at most as long as the input,
    // and an ASCII byte after a lead byte it cannot complete is kept.
    for (const int cp : {936, 950, 1252}) {
        for (int a = 0; a < 256; ++a) {
            auto one = std::make_unique<char[]>(1);
            one[0] = char(a);
            const QString single = DecodeAnsi(one.get(), 1, cp);
            ASSERT_EQ(single.size(), 1) << cp << " " << a;
            for (int b = 0; b < 256; ++b) {
                auto two = std::make_unique<char[]>(2);
                two[0] = char(a);
                two[1] = char(b);
                const QString text = DecodeAnsi(two.get(), 2, cp);
                ASSERT_GE(text.size(), 1);
                ASSERT_LE(text.size(), 2) << cp << " " << a << " " << b;
                if (text.size() == 2 && b < 0x80) {
                    ASSERT_EQ(text.at(1), QChar(b)) << cp << " " << a << " " << b;
                }
            }
        }
    }
}

TEST(AnsiCodePage, TheCurrentCodePageDecidesAndIsSharedByEveryThread)
{
    const QByteArray name("\xB2\xC6\xCE\xF1\xB2\xBF");
    ASSERT_EQ(CurrentAnsiCodePage(), 1252);
    EXPECT_EQ(DecodeAnsi(name.constData(), name.size()), Decode(name, 1252));
    SetAnsiCodePage(936);
    std::vector<QString> seen(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            for (int k = 0; k < 200; ++k)
                seen[i] = DecodeAnsi(name.constData(), name.size());
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const QString& text : seen)
        EXPECT_EQ(text, Text(u"财务部"));
    // A code page without a decoder of its own reads as 1252.
    SetAnsiCodePage(437);
    EXPECT_EQ(DecodeAnsi(name.constData(), name.size()), Decode(name, 1252));
    SetAnsiCodePage(1252);
}

TEST(DisplayText, EscapeShowsEveryControlCharacterVisiblyAndUnambiguously)
{
    EXPECT_EQ(EscapeControlChars(Text(u"PC\u0090\u009D]0;owned\u0007\u001B[2J\n\t")),
              QStringLiteral("PC\\u0090\\u009d]0;owned\\x07\\x1b[2J\\x0a\\x09"));
    EXPECT_EQ(EscapeControlChars(Text({u"\u0000\u001F\u007F\u0080\u009F", 5})),
              QStringLiteral("\\x00\\x1f\\x7f\\u0080\\u009f"));
    // A backslash in the name cannot pass for an escape.
    EXPECT_EQ(EscapeControlChars(QStringLiteral("A\\x1b")), QStringLiteral("A\\\\x1b"));
    // Printable text, also beyond Latin-1, stays as it is.
    const QString printable = Text(u"财务部 \u00A0\u00FF~ \u20AC\uFFFD");
    EXPECT_EQ(EscapeControlChars(printable), printable);
    EXPECT_EQ(EscapeControlChars(QString()), QString());
}

TEST(DisplayText, ReplaceAndTheControlRange)
{
    EXPECT_EQ(ReplaceControlChars(Text(u"A\u001BB\u009DC\nD\u007F")),
              Text(u"A\uFFFDB\uFFFDC\uFFFDD\uFFFD"));
    EXPECT_EQ(ReplaceControlChars(Text(u"财务 ~\u00A0")), Text(u"财务 ~\u00A0"));
    for (const char16_t c : {0x00, 0x09, 0x1F, 0x7F, 0x80, 0x9D, 0x9F})
        EXPECT_TRUE(IsControlChar(c)) << int(c);
    for (const char16_t c : {0x20, 0x41, 0x7E, 0xA0, 0xFFFD})
        EXPECT_FALSE(IsControlChar(c)) << int(c);
}

} // namespace
