#include "lang/AnsiCodePage.h"

#include <atomic>
#include <cerrno>
#include <iconv.h>

namespace
{

std::atomic<int> g_codePage{1252};

constexpr char16_t kReplacement = 0xFFFD;

// 0x80 to 0x9F of Windows-1252; the rest of the code page is Latin-1. The five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of
// the same value, as Windows converts them; showing them is the display's concern.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

QString DecodeWindows1252(const quint8* bytes, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        const quint8 b = bytes[i];
        text[i] = QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

// One double-byte character at a time through glibc's converter of the code page. An
// iconv_t is not safe to share between threads, so each thread opens its own, once.
class DoubleByteConverter
{
public:
    explicit DoubleByteConverter(const char* name) : m_cd(iconv_open("WCHAR_T", name)) {}
    ~DoubleByteConverter()
    {
        if (m_cd != iconv_t(-1))
            iconv_close(m_cd);
    }
    DoubleByteConverter(const DoubleByteConverter&) = delete;
    DoubleByteConverter& operator=(const DoubleByteConverter&) = delete;

    // The character that `pair` (two bytes) encodes, appended to `text`; false when the
    // pair is no character of the code page (or the converter is missing).
    bool AppendPair(const quint8* pair, QString& text)
    {
        if (m_cd == iconv_t(-1))
            return false;
        char in[2] = {char(pair[0]), char(pair[1])};
        wchar_t out[4] = {};
        char* inPtr = in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = sizeof in;
        size_t outLeft = sizeof out;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0)
            return false;
        const size_t count = (sizeof out - outLeft) / sizeof(wchar_t);
        if (count == 0)
            return false;
        for (size_t i = 0; i < count; ++i) {
            const auto code = char32_t(out[i]);
            if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return false;
            text += QString::fromUcs4(&code, 1);
        }
        return true;
    }

private:
    iconv_t m_cd;
};

// GBK (936) and Big5 (950): ASCII below 0x80, otherwise a lead byte 0x81 to 0xFE and one
// trail byte. A pair that is no character becomes one U+FFFD; when its second byte is
// ASCII it starts again there, so a bad lead byte never swallows the text after it (as
// the WHATWG decoders do). A lead byte at the very end is U+FFFD.
QString DecodeDoubleByte(const quint8* bytes, qsizetype size, int codePage)
{
    thread_local DoubleByteConverter gbk("GBK");
    thread_local DoubleByteConverter big5("BIG5");
    DoubleByteConverter& converter = codePage == 936 ? gbk : big5;

    QString text;
    text.reserve(size);
    for (qsizetype i = 0; i < size;) {
        const quint8 b = bytes[i];
        if (b < 0x80) {
            text += QChar(b);
            ++i;
        } else if (b == 0x80 && codePage == 936) {
            text += QChar(0x20AC); // Windows' single-byte euro sign
            ++i;
        } else if (b == 0x80 || b == 0xFF || i + 1 == size) {
            text += QChar(kReplacement);
            ++i;
        } else if (converter.AppendPair(bytes + i, text)) {
            i += 2;
        } else {
            text += QChar(kReplacement);
            i += bytes[i + 1] < 0x80 ? 1 : 2;
        }
    }
    return text;
}

} // namespace

int AnsiCodePageForLanguage(const QString& language)
{
    const QString lang = language.toLower();
    if (lang == QLatin1String("zh_cn"))
        return 936;
    if (lang == QLatin1String("zh_tw"))
        return 950;
    return 1252;
}

int AnsiCodePageForLocale(const QString& localeName)
{
    // language_TERRITORY.codeset@modifier
    QString name = localeName.section(u'@', 0, 0).section(u'.', 0, 0).toLower();
    if (name == QLatin1String("zh_cn") || name == QLatin1String("zh_sg"))
        return 936;
    if (name == QLatin1String("zh_tw") || name == QLatin1String("zh_hk") ||
        name == QLatin1String("zh_mo"))
        return 950;
    return 1252;
}

void SetAnsiCodePage(int codePage)
{
    g_codePage.store(codePage);
}

int CurrentAnsiCodePage()
{
    return g_codePage.load();
}

QString DecodeAnsi(const char* bytes, qsizetype size)
{
    return DecodeAnsi(bytes, size, CurrentAnsiCodePage());
}

QString DecodeAnsi(const char* bytes, qsizetype size, int codePage)
{
    if (!bytes || size <= 0)
        return {};
    const auto* data = reinterpret_cast<const quint8*>(bytes);
    if (codePage == 936 || codePage == 950)
        return DecodeDoubleByte(data, size, codePage);
    return DecodeWindows1252(data, size);
}
