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
    if (name.isEmpty() || names.size() >= kMaxOtherNames)
        return;
    const QString kept = name.left(kMaxOtherNameLength);
    const QString folded = Folded(kept);
    for (const OtherName& known : names)
        if (known.source == source && Folded(known.name) == folded)
            return;
    names.push_back({kept, source});
}

QString OtherNamesText(const OtherNames& names)
{
    QStringList items;
    for (const OtherName& entry : names)
        items << QStringLiteral("%1 (%2)").arg(entry.name, NameSourceTag(entry.source));
    return items.join(QStringLiteral(", "));
}

OtherNames ParseOtherNamesText(const QString& text)
{
    OtherNames names;
    // A name may hold ", " itself: an item ends only where a known "(source)" closes it.
    qsizetype start = 0;
    qsizetype from = 0;
    while (start < text.size()) {
        const qsizetype open = text.indexOf(QStringLiteral(" ("), from);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(u')', open);
        if (close < 0)
            break;
        const auto source = NameSourceFromTag(text.mid(open + 2, close - open - 2));
        const bool atEnd =
            close + 1 == text.size() || text.mid(close + 1, 2) == QLatin1String(", ");
        if (!source || !atEnd) {
            from = open + 2;
            continue;
        }
        AddOtherName(names, text.mid(start, open - start).trimmed(), *source);
        start = close + 3;
        from = start;
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
