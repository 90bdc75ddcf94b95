#include "lang/LangString.h"

#include "lang/LangStringSource.h"

#include <QByteArray>
#include <array>
#include <vector>

int g_bShowMUIErrInfo = 0;

namespace
{

// The ring of result slots. Each thread has its own: a result stays as it is until the
// same thread has made 32 further calls, so a caller that is preempted before it has
// read its result never sees another thread's text (or a string being replaced under
// it).
struct LangStringRing {
    unsigned next = 0;
    std::array<QString, 32> texts;

    QString& TakeSlot()
    {
        if (next >= texts.size())
            next = 0;
        return texts[next++];
    }
};

LangStringRing& Ring()
{
    thread_local LangStringRing ring;
    return ring;
}

enum class SpecKind { None, Int32, Int64, Char, Double, String };

SpecKind KindOfSpec(QStringView spec)
{
    if (spec == u"%I64d" || spec == u"%I64u")
        return SpecKind::Int64;
    switch (spec.back().unicode()) {
    case 'd':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        return SpecKind::Int32;
    case 'c':
        return SpecKind::Char;
    case 'f':
        return SpecKind::Double;
    case 's':
        return SpecKind::String;
    default:
        return SpecKind::None;
    }
}

// The parts of a printf conversion that shape its output. Length modifiers are
// dropped: the argument's size comes from the conversion table, not from them.
struct Conversion {
    QByteArray flags;
    int width = -1;
    int precision = -1;
    char letter = 0;
};

Conversion ParseConversion(QStringView spec)
{
    Conversion conv;
    conv.letter = char(spec.back().unicode());
    qsizetype i = 1; // past the '%'
    const qsizetype end = spec.size() - 1;
    auto readNumber = [&]() {
        int n = 0;
        bool any = false;
        while (i < end && spec[i].isDigit() && spec[i].unicode() < 128) {
            n = std::min(n * 10 + (spec[i].unicode() - '0'), 4096);
            ++i;
            any = true;
        }
        return any ? n : -1;
    };
    while (i < end && QStringView(u"-+ #0").contains(spec[i])) {
        conv.flags.append(char(spec[i].unicode()));
        ++i;
    }
    conv.width = readNumber();
    if (i < end && spec[i] == u'.') {
        ++i;
        conv.precision = std::max(readNumber(), 0);
    }
    static const QStringView kLengths[] = {u"I64", u"I32", u"hh", u"ll", u"h", u"l",
                                           u"L",   u"q",   u"j",  u"z",  u"t", u"w"};
    for (QStringView length : kLengths) {
        if (spec.sliced(i, end - i).startsWith(length)) {
            i += length.size();
            break;
        }
    }
    // Anything else ('*' above all, which would read another argument) is not passed
    // on: the value is then formatted by its letter alone.
    if (i != end)
        conv = Conversion{{}, -1, -1, conv.letter};
    return conv;
}

QByteArray PrintfSpec(const Conversion& conv)
{
    QByteArray spec = "%" + conv.flags;
    if (conv.width >= 0)
        spec += QByteArray::number(conv.width);
    if (conv.precision >= 0)
        spec += "." + QByteArray::number(conv.precision);
    return spec + conv.letter;
}

// Width, precision and '-' for texts, as printf applies them to %s and %c.
QString PadText(QString text, const Conversion& conv)
{
    if (conv.letter == 's' && conv.precision >= 0 && text.size() > conv.precision)
        text.truncate(conv.precision);
    if (conv.width > text.size()) {
        const QString fill(conv.width - text.size(), QLatin1Char(' '));
        text = conv.flags.contains('-') ? text + fill : fill + text;
    }
    return text;
}

// A value whose kind does not fit its placeholder is a caller's bug; debug builds
// stop on it, release builds format the value by its own kind.
QString FormatOwnKind(const LangValue& value)
{
    switch (value.kind()) {
    case LangValue::Kind::Int32:
        return QString::number(qint32(value.int32()));
    case LangValue::Kind::Int64:
        return QString::number(qint64(value.int64()));
    case LangValue::Kind::Double:
        return QString::number(value.real(), 'f', 6);
    case LangValue::Kind::String:
        return value.string();
    }
    return QString();
}

QString FormatValue(QStringView spec, SpecKind kind, const LangValue& value)
{
    const bool fits = (kind == SpecKind::Int32 || kind == SpecKind::Char)
                          ? value.kind() == LangValue::Kind::Int32
                      : kind == SpecKind::Int64  ? value.kind() == LangValue::Kind::Int64
                      : kind == SpecKind::Double ? value.kind() == LangValue::Kind::Double
                                                 : value.kind() == LangValue::Kind::String;
    Q_ASSERT_X(fits, "FormatLangString", "value does not fit its placeholder");
    if (!fits)
        return FormatOwnKind(value);

    if (kind == SpecKind::Int64) {
        return spec == u"%I64d" ? QString::number(qint64(value.int64()))
                                : QString::number(value.int64());
    }
    const Conversion conv = ParseConversion(spec);
    switch (kind) {
    case SpecKind::Int32:
        // QString::asprintf formats in the C locale, as the wide printf of the C
        // runtime does.
        return conv.letter == 'd'
                   ? QString::asprintf(PrintfSpec(conv).constData(), qint32(value.int32()))
                   : QString::asprintf(PrintfSpec(conv).constData(), value.int32());
    case SpecKind::Double:
        return QString::asprintf(PrintfSpec(conv).constData(), value.real());
    case SpecKind::Char:
        return PadText(QString(QChar(char16_t(value.int32() & 0xFFFF))), conv);
    case SpecKind::String:
        return PadText(value.string(), conv);
    default:
        return QString();
    }
}

struct Placeholder {
    QStringView text; // the whole placeholder, both '%' included
    QString value;
};

// Collects the placeholders of `defaultText` left to right and formats one value for
// each, in order.
std::vector<Placeholder> CollectPlaceholders(QStringView defaultText,
                                             std::initializer_list<LangValue> values)
{
    std::vector<Placeholder> found;
    auto value = values.begin();
    qsizetype open = defaultText.indexOf(u'%');
    while (open >= 0) {
        const qsizetype close = defaultText.indexOf(u'%', open + 1);
        if (close < 0)
            break;
        if (close == open + 1) { // "%%" is no placeholder
            open = defaultText.indexOf(u'%', close + 1);
            continue;
        }
        const QStringView candidate = defaultText.sliced(open, close - open + 1);
        open = defaultText.indexOf(u'%', close + 1);
        const qsizetype underscore = candidate.indexOf(u'_');
        if (underscore < 0)
            continue;
        const QStringView spec = candidate.first(underscore);
        if (spec.size() < 2)
            continue; // "%_NAME%": no conversion letter
        const SpecKind kind = KindOfSpec(spec);
        if (kind == SpecKind::None)
            continue;
        Q_ASSERT_X(value != values.end(), "FormatLangString", "fewer values than placeholders");
        if (value == values.end())
            continue; // nothing to put there: the placeholder stays as it is
        found.push_back({candidate, FormatValue(spec, kind, *value)});
        ++value;
    }
    Q_ASSERT_X(value == values.end(), "FormatLangString", "more values than placeholders");
    return found;
}

} // namespace

const QString& FormatLangString(quint16 id, const QString& defaultText,
                                std::initializer_list<LangValue> values)
{
    QString& slot = Ring().TakeSlot();
    const std::vector<Placeholder> placeholders = CollectPlaceholders(defaultText, values);

    const std::optional<QString> translation = CurrentLangStringSource()->GetString(id);
    bool complete = translation.has_value();
    const QString& text = complete ? *translation : defaultText;

    // Every placeholder is replaced wherever it stands. Replacement is one pass over the
    // translation, so a value that happens to contain placeholder text (a host name,
    // say) is put in as it is and never replaced again. A placeholder that repeats in
    // the default text gets its first value everywhere; the later values are dropped.
    std::vector<const Placeholder*> active;
    for (const Placeholder& p : placeholders) {
        const bool repeated = std::any_of(active.begin(), active.end(),
                                          [&](const Placeholder* a) { return a->text == p.text; });
        if (repeated || !text.contains(p.text))
            complete = false;
        else
            active.push_back(&p);
    }

    QString result;
    result.reserve(text.size() + 16);
    if (!complete && g_bShowMUIErrInfo)
        result += QLatin1Char('*');
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype percent = text.indexOf(u'%', pos);
        if (percent < 0) {
            result += QStringView(text).sliced(pos);
            break;
        }
        result += QStringView(text).sliced(pos, percent - pos);
        const QStringView rest = QStringView(text).sliced(percent);
        const auto match = std::find_if(active.begin(), active.end(), [&](const Placeholder* p) {
            return rest.startsWith(p->text);
        });
        if (match != active.end()) {
            result += (*match)->value;
            pos = percent + (*match)->text.size();
        } else {
            result += QLatin1Char('%');
            pos = percent + 1;
        }
    }
    slot = std::move(result);
    return slot;
}

const QString& FormatLangStringA(quint16 id, const char* defaultText,
                                 std::initializer_list<LangValue> values)
{
    return FormatLangString(id, QString::fromUtf8(defaultText), values);
}
