#include "records/SightingIndex.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>

void SightingIndex::Note(quint32 ip, quint64 mac, qint64 first, qint64 last)
{
    SeenTimes& times = m_times[{ip, mac | kMacTopBits}];
    times.first = times.first ? std::min(times.first, first) : first;
    times.last = std::max(times.last, last);
}

const SeenTimes* SightingIndex::Find(quint32 ip, quint64 mac) const
{
    const auto it = m_times.constFind({ip, mac | kMacTopBits});
    return it == m_times.constEnd() ? nullptr : &it.value();
}

QString SeenTimeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString HistoryNotSavedText(const QString& error)
{
    return FormatLangStringA(0xF303,
                             "The history of sightings could not be saved (%s_ERROR%). It is "
                             "kept until the program ends.",
                             {error});
}
