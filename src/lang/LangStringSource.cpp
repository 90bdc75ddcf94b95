#include "lang/LangStringSource.h"

#include <QFile>
#include <mutex>

// Q_INIT_RESOURCE declares a function, so it has to stand at namespace scope.
static void InitLangResources()
{
    Q_INIT_RESOURCE(lang_strings);
}

std::optional<LangStringTable> LangStringTable::Parse(const QString& text, QString* error)
{
    auto fail = [&](qsizetype line, const QString& why) -> std::optional<LangStringTable> {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return std::nullopt;
    };

    QHash<quint16, QString> strings;
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QStringView line = lines[n];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0)
            return fail(n + 1, QStringLiteral("expected an id, a tab and a text"));
        bool ok = false;
        const uint id = line.first(tab).toUInt(&ok);
        if (!ok || id > 0xFFFF)
            return fail(n + 1, QStringLiteral("bad message id"));
        QString value;
        const QStringView escaped = line.sliced(tab + 1);
        for (qsizetype i = 0; i < escaped.size(); ++i) {
            if (escaped[i] != u'\\') {
                value += escaped[i];
                continue;
            }
            if (++i == escaped.size())
                return fail(n + 1, QStringLiteral("backslash at the end of the line"));
            switch (escaped[i].unicode()) {
            case 'n':
                value += u'\n';
                break;
            case 'r':
                value += u'\r';
                break;
            case 't':
                value += u'\t';
                break;
            case '"':
                value += u'"';
                break;
            case '\\':
                value += u'\\';
                break;
            default:
                return fail(n + 1, QStringLiteral("unknown escape \\%1").arg(escaped[i]));
            }
        }
        if (strings.contains(quint16(id)))
            return fail(n + 1, QStringLiteral("message %1 appears twice").arg(id));
        strings.insert(quint16(id), value);
    }
    return LangStringTable(std::move(strings));
}

std::optional<QString> LangStringTable::GetString(quint16 id) const
{
    const auto it = m_strings.constFind(id);
    if (it == m_strings.constEnd() || it->isEmpty())
        return std::nullopt;
    return *it;
}

namespace
{

std::shared_ptr<const LangStringSource> LoadBuiltin()
{
    // The resource is linked into this library; a static library has to ask for it.
    InitLangResources();
    QFile file(QStringLiteral(":/lanvey/lang/en_us.txt"));
    std::optional<LangStringTable> table;
    QString error;
    if (file.open(QIODevice::ReadOnly))
        table = LangStringTable::Parse(QString::fromUtf8(file.readAll()), &error);
    else
        error = file.errorString();
    // The table is part of the program; a broken one is a build fault.
    Q_ASSERT_X(table.has_value(), "BuiltinLangStrings", qPrintable(error));
    return std::make_shared<const LangStringTable>(table.value_or(LangStringTable()));
}

std::mutex g_sourceLock;
std::shared_ptr<const LangStringSource> g_source;

} // namespace

std::shared_ptr<const LangStringSource> BuiltinLangStrings()
{
    static const std::shared_ptr<const LangStringSource> builtin = LoadBuiltin();
    return builtin;
}

std::shared_ptr<const LangStringSource> CurrentLangStringSource()
{
    {
        std::lock_guard guard(g_sourceLock);
        if (g_source)
            return g_source;
    }
    return BuiltinLangStrings();
}

void SetLangStringSource(std::shared_ptr<const LangStringSource> source)
{
    std::lock_guard guard(g_sourceLock);
    g_source = std::move(source);
}
