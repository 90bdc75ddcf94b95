#include "lang/AnsiCodePage.h"

#include <atomic>

// Work in progress: only the language mapping; the decoders follow.
namespace
{
std::atomic<int> g_codePage{1252};
}

int AnsiCodePageForLanguage(const QString& language)
{
    const QString lang = language.toLower();
    if (lang == QLatin1String("zh_cn"))
        return 936;
    if (lang == QLatin1String("zh_tw"))
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

QString DecodeAnsi(const char* bytes, qsizetype size, int)
{
    return QString::fromLatin1(bytes, size);
}
