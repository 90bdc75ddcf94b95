#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <utility>

// When each address pair (IPv4 address, MAC) was first and last seen, as the history of
// sightings in the database file keeps it: what the database list shows of a record.
struct SeenTimes {
    qint64 first = 0; // milliseconds since the epoch, UTC
    qint64 last = 0;
};

class SightingIndex
{
public:
    // Seen at `time`: the first time stays the earliest, the last the latest.
    void Note(quint32 ip, quint64 mac, qint64 first, qint64 last);
    const SeenTimes* Find(quint32 ip, quint64 mac) const;
    void Clear() { m_times.clear(); }
    qsizetype Size() const { return m_times.size(); }

private:
    QHash<std::pair<quint32, quint64>, SeenTimes> m_times;
};

// A time of the history as the lists show it: local date and time to the minute.
QString SeenTimeText(qint64 ms);

// What is said when the history of sightings could not be saved (it is kept in memory).
QString HistoryNotSavedText(const QString& error);
