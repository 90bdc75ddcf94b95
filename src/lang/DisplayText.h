#pragma once

#include <QString>

// Text that came from the network or from a file is shown only after its control
// characters are made harmless: C0 (U+0000..U+001F), DEL (U+007F) and C1
// (U+0080..U+009F). A terminal takes C1 bytes such as U+009D for the start of a command,
// so nothing of the kind reaches a screen as it is. The stored text stays as received.

// For the windows: every control character becomes U+FFFD.
QString ReplaceControlChars(const QString& text);

// For a terminal: every control character becomes a visible escape, "\xHH" for C0 and
// DEL, "\u00HH" for C1; a backslash itself becomes "\\" so the escapes stay unambiguous.
QString EscapeControlChars(const QString& text);

inline bool IsControlChar(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}
