#include "records/OtherName.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace
{

QString Folded(const QString& name)
{
    QString folded = name.toCaseFolded();
    if (folded.endsWith(u'.'))
        folded.chop(1);
    return folded;
}

// "name (tag)" items joined by ", "; a file's cell escapes '\' and '(' inside a name, so
// that a name that looks like the end of an item reads back as itself.
QString JoinedItems(const OtherNames& names, bool escaped)
{
    QStringList items;
    for (const OtherName& entry : names) {
        QString name = entry.name;
        if (escaped)
            name.replace(u'\\', QLatin1String("\\\\")).replace(u'(', QLatin1String("\\("));
        items << QStringLiteral("%1 (%2)").arg(name, NameSourceTag(entry.source));
    }
    return items.join(QStringLiteral(", "));
}

} // namespace

QString NameSourceTag(NameSource source)
{
    switch (source) {
    case NameSource::Mdns:
        return QStringLiteral("mDNS");
    case NameSource::Llmnr:
        return QStringLiteral("LLMNR");
    case NameSource::Dns:
        break;
    }
    return QStringLiteral("DNS");
}

std::optional<NameSource> NameSourceFromTag(const QString& tag)
{
    for (NameSource source : {NameSource::Mdns, NameSource::Llmnr, NameSource::Dns})
        if (tag.compare(NameSourceTag(source), Qt::CaseInsensitive) == 0)
            return source;
    return std::nullopt;
}

void AddOtherName(OtherNames& names, const QString& name, NameSource source)
{
    if (names.size() >= kMaxOtherNames)
        return;
    const QString kept = name.left(kMaxOtherNameLength).trimmed();
    if (kept.isEmpty())
        return;
    const QString folded = Folded(kept);
    for (const OtherName& known : names)
        if (known.source == source && Folded(known.name) == folded)
            return;
    names.push_back({kept, source});
}

QString OtherNamesText(const OtherNames& names)
{
    return JoinedItems(names, false);
}

QString OtherNamesFileText(const OtherNames& names)
{
    return JoinedItems(names, true);
}

OtherNames ParseOtherNamesText(const QString& text)
{
    OtherNames names;
    QString name; // the item so far, its escapes undone
    // The first ')' at or after the place looked at, size when there is none left; it moves
    // forward only, so a cell of many " (" reads in one pass.
    qsizetype close = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < size && (text[i + 1] == u'\\' || text[i + 1] == u'(')) {
            name += text[i + 1];
            i += 2;
            continue;
        }
        if (c == u' ' && i + 1 < size && text[i + 1] == u'(') {
            if (close < i + 2) {
                close = text.indexOf(u')', i + 2);
                if (close < 0)
                    close = size;
            }
            // No tag is longer than "LLMNR".
            if (close < size && close - i - 2 <= 5) {
                const auto source = NameSourceFromTag(text.mid(i + 2, close - i - 2));
                const bool atEnd =
                    close + 1 == size || QStringView(text).mid(close + 1, 2) == QLatin1String(", ");
                if (source && atEnd) {
                    AddOtherName(names, name, *source);
                    name.clear();
                    i = close + 3;
                    continue;
                }
            }
        }
        name += c;
        ++i;
    }
    return names;
}

QByteArray OtherNamesJsonText(const OtherNames& names)
{
    QJsonArray array;
    for (const OtherName& entry : names)
        array.append(QJsonObject{{QStringLiteral("name"), entry.name},
                                 {QStringLiteral("source"), NameSourceTag(entry.source)}});
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

OtherNames OtherNamesFromJsonText(const QByteArray& text)
{
    OtherNames names;
    const QJsonDocument document = QJsonDocument::fromJson(text);
    for (const QJsonValue entry : document.array()) {
        const QJsonObject object = entry.toObject();
        const auto source = NameSourceFromTag(object.value(QLatin1String("source")).toString());
        if (source)
            AddOtherName(names, object.value(QLatin1String("name")).toString(), *source);
    }
    return names;
}
