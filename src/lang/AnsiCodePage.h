#pragma once

#include <QString>
#include <QtGlobal>

// The "ANSI code page" of the language in use: the 8-bit encoding that hosts of that
// language put in their NetBIOS names. 936 (GBK) for zh_cn, 950 (Big5) for zh_tw, 1252
// otherwise. Start-up sets it once the language is known; until then it is 1252.

int AnsiCodePageForLanguage(const QString& language);
// The same for a POSIX locale name ("zh_CN.UTF-8", "zh_TW", "zh_HK.BIG5-HKSCS@stroke"):
// the territory decides, as it does for Windows' own locales.
int AnsiCodePageForLocale(const QString& localeName);
void SetAnsiCodePage(int codePage);
int CurrentAnsiCodePage();

// Decodes `size` bytes of the current ANSI code page (or of `codePage`); nothing is read
// past `size`. In 936 and 950 a byte sequence the code page does not define becomes
// U+FFFD, a lead byte without its trail byte too. In 1252 every byte is a character: the
// five it leaves undefined become the C1 controls of the same value, as on Windows. Any
// other code page is read as 1252. The text may hold control characters; see
// DisplayText.h before showing it.
QString DecodeAnsi(const char* bytes, qsizetype size);
QString DecodeAnsi(const char* bytes, qsizetype size, int codePage);
