#pragma once

#include "records/DatabaseFile.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

class CNVOUI;

// lanvey-db's history and events, as a table, CSV or JSON. Times are ISO 8601, UTC.
enum class HistoryFormat { Table, Csv, Json };
std::optional<HistoryFormat> HistoryFormatNamed(const QString& name);

// Address pairs: IP, MAC, vendor, first and last seen, the sweeps that found it, its
// host name and other names (JSON: ip, mac, vendor, first_seen, last_seen, sweeps,
// host_name, other_names).
QByteArray WriteHistory(HistoryFormat format, const std::vector<DatabaseFile::HistoryPair>& pairs,
                        const CNVOUI* oui);

// Events: time, event, IP, MAC, the previous IP or MAC and the baseline's hosts (JSON:
// time, event, ip, mac, previous, hosts; empty fields left out).
QByteArray WriteEvents(HistoryFormat format, const std::vector<WatchEvent>& events);

// ISO 8601 with a zone ("2026-12-09T20:00:00Z", "2026-12-09T21:00:00+01:00") or a date
// ("2026-12-09", UTC midnight), as milliseconds since the epoch.
std::optional<qint64> ParseHistoryTime(const QString& text);
QString HistoryTimeText(qint64 ms);
