// The document's side of the history of sightings: what the database list shows of when
// each host was seen, and which known hosts the latest scan of their subnet missed.

#include "records/LanveyDoc.h"
#include "support/AddressText.h"

#include <QFileInfo>

void CLanveyDoc::LoadSightings()
{
    m_sightings.Clear();
    m_notSeen.clear();
    std::vector<DatabaseFile::HistoryPair> pairs;
    std::vector<WatchEvent> events;
    // Only the pairs are wanted: every event is later than the end of time.
    if (!QFileInfo(m_databasePath).isFile() ||
        !DatabaseFile::ReadHistory(m_databasePath, &pairs, &events,
                                   std::numeric_limits<qint64>::max()))
        return;
    for (const DatabaseFile::HistoryPair& entry : pairs)
        m_sightings.Note(entry.pair.ip, entry.pair.mac, entry.pair.firstSeen, entry.pair.lastSeen);
}

bool CLanveyDoc::RecordScanSightings(const std::vector<HostRecord>& found, qint64 now,
                                     std::optional<std::pair<quint32, quint32>> covered,
                                     QString* error, const std::vector<WatchEvent>& events,
                                     int sweeps)
{
    std::vector<DatabaseFile::HistoryPair> pairs;
    QSet<std::pair<quint32, quint64>> seen;
    for (const HostRecord& host : found) {
        m_sightings.Note(host.ip, host.mac, now, now);
        const SeenTimes* times = m_sightings.Find(host.ip, host.mac);
        pairs.push_back({{host.ip, host.mac | kMacTopBits, times->first, times->last, sweeps, 0,
                          false, 0, false},
                         host.hostName,
                         host.otherNames});
        seen.insert({host.ip, host.mac | kMacTopBits});
    }
    if (covered) {
        for (const auto& record : m_databaseRecords) {
            const quint32 ip = IpToHostOrder(record->ip);
            if (ip < covered->first || ip > covered->second)
                continue;
            const std::pair key{record->ip, record->mac | kMacTopBits};
            if (seen.contains(key))
                m_notSeen.remove(key);
            else
                m_notSeen.insert(key);
        }
    } else {
        for (const auto& key : seen)
            m_notSeen.remove(key);
    }
    if (m_databaseChanged)
        m_databaseChanged();
    if (!m_databaseWritable || (pairs.empty() && events.empty()))
        return true;
    return DatabaseFile::SaveHistory(m_databasePath, pairs, events, error);
}

bool CLanveyDoc::IsNotSeen(const DatabaseRecord& record) const
{
    return m_notSeen.contains({record.ip, record.mac | kMacTopBits});
}
