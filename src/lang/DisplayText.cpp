#include "lang/DisplayText.h"

QString ReplaceControlChars(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (IsControlChar(c.unicode()))
            c = QChar(0xFFFD);
    }
    return out;
}

QString EscapeControlChars(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QLatin1String("\\\\");
        else if (u < 0x20 || u == 0x7F)
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else if (u >= 0x80 && u <= 0x9F)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
