#pragma once

#include <QByteArray>
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

// What one host keeps at most: names this long, this many of them. A name read from the
// network or a file is cut to the length; names past the count are dropped.
constexpr qsizetype kMaxOtherNameLength = 255;
constexpr size_t kMaxOtherNames = 32;

// The protocol's own short name ("mDNS", "LLMNR", "DNS"): the same in every language
// and in every file we write.
QString NameSourceTag(NameSource source);
std::optional<NameSource> NameSourceFromTag(const QString& tag);

// Adds `name` (cut to kMaxOtherNameLength, without white space at its ends) unless it is
// empty, or the list already holds it from the same source or holds kMaxOtherNames
// names. Names are compared without regard to case and to a final dot, as DNS compares
// them.
void AddOtherName(OtherNames& names, const QString& name, NameSource source);

// "name (source)" items joined by ", ", in list order: the text of the Other Names cell.
QString OtherNamesText(const OtherNames& names);

// OtherNamesText as a file's cell holds it: each '\\' and '(' of a name is written with a
// '\\' before it, so that no name can end an item early, whatever a host called itself.
QString OtherNamesFileText(const OtherNames& names);

// The reverse of OtherNamesFileText (and of OtherNamesText, for names without a '('),
// for a cell read back from a file. An item ends at an unescaped " (source)" that ends
// the text or is followed by ", "; text after the last such item is skipped.
OtherNames ParseOtherNamesText(const QString& text);

// The list as a JSON array of {"name", "source"} objects on one line, as the database file
// stores it ("[]" for none).
QByteArray OtherNamesJsonText(const OtherNames& names);

// The reverse of OtherNamesJsonText, for text from a file: entries that are not objects
// with a name and a known source are skipped, and text that is no JSON array gives none.
OtherNames OtherNamesFromJsonText(const QByteArray& text);
