#pragma once

#include "lang/LangValue.h"

#include <QString>
#include <initializer_list>

// The message formatter: every text the program shows comes from here.
//
// The default text names its placeholders ("Found %d_HOSTS% hosts."): a placeholder
// runs from a '%' to the next '%' and holds a '_'. The part before the first '_' is a
// printf conversion; the rest only makes the placeholder unique. Values are taken in
// the order the placeholders stand in the default text, formatted with their
// conversion, and put wherever the same placeholder stands in the translation of `id`,
// so a translation may reorder, repeat or drop them.
//
// Conversions: exactly "%I64d"/"%I64u" take a 64-bit integer; a last letter d, u, x,
// X or o a 32-bit integer; c a UTF-16 code unit (passed as a 32-bit value); f a
// double; s a string. Any other letter is no placeholder: it stays in the text and
// takes no value.
//
// The result lives in one of the calling thread's 32 ring slots and stays as it is until
// that thread has made 32 further calls; copy it to keep it longer.
const QString& FormatLangString(quint16 id, const QString& defaultText,
                                std::initializer_list<LangValue> values = {});

// The same for a default text written as 8-bit text (UTF-8, the Linux code page).
const QString& FormatLangStringA(quint16 id, const char* defaultText,
                                 std::initializer_list<LangValue> values = {});

// Set by the language support: non-zero marks texts whose translation is missing or
// lacks a placeholder with a leading '*'.
extern int g_bShowMUIErrInfo;
