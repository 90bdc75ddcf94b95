#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

// Where a host name other than the NetBIOS one came from.
enum class NameSource : quint8 { Mdns, Llmnr, Dns };

struct OtherName {
    QString name;
    NameSource source = NameSource::Dns;
    bool operator==(const OtherName&) const = default;
};

using OtherNames = std::vector<OtherName>;

// The protocol's own short name ("mDNS", "LLMNR", "DNS"): the same in every language
// and in every file we write.
QString NameSourceTag(NameSource source);
std::optional<NameSource> NameSourceFromTag(const QString& tag);

// Adds `name` unless the list already holds it from the same source. Names are compared
// without regard to case and to a final dot, as DNS compares them.
void AddOtherName(OtherNames& names, const QString& name, NameSource source);

// "name (source)" items joined by ", ", in list order: the text of the Other Names cell.
QString OtherNamesText(const OtherNames& names);

// The reverse of OtherNamesText, for a cell read back from a file. Items that do not end
// in a known "(source)" are skipped.
OtherNames ParseOtherNamesText(const QString& text);
