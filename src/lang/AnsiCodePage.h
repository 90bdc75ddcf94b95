#pragma once

#include <QString>
#include <QtGlobal>

// The "ANSI code page" of the language in use: the 8-bit encoding that hosts of that
// language put in their NetBIOS names. 936 (GBK) for zh_cn, 950 (Big5) for zh_tw, 1252
// otherwise. Start-up sets it once the language is known; until then it is 1252.

int AnsiCodePageForLanguage(const QString& language);
void SetAnsiCodePage(int codePage);
int CurrentAnsiCodePage();

// Decodes `size` bytes of the current ANSI code page (or of `codePage`). A byte sequence
// the code page does not define becomes U+FFFD; nothing is read past `size`.
QString DecodeAnsi(const char* bytes, qsizetype size);
QString DecodeAnsi(const char* bytes, qsizetype size, int codePage);
