#pragma once

#include <QString>
#include <QtGlobal>

// The scan target as the user types it: one address ("198.18.0.7"), two addresses
// joined by '-' (either order), or an address with '/' and a prefix length or a dotted
// mask. A target parses into the first address (network byte order) and the number of
// addresses after it, so the range holds count + 1 addresses.

struct ScanTargetRange {
    quint32 first = 0; // network byte order
    quint32 count = 0; // addresses after the first
};

// Result codes of the two form parsers.
enum ScanTargetParse : int {
    kTargetParsed = 0,
    kTargetInvalidAddress = 1,
    kTargetNotThisForm = 2,
    kTargetInvalidMask = 3,
};

// Spaces (U+0020) removed from the ends and from inside, as the target box hands the
// text over.
QString NormalizeScanTarget(const QString& text);

// The outcome of parsing a target: the range, or the error message to show ("Invalid IP
// address!" (184), the same followed by message 215 for a first octet above 223, or
// "Invalid MASK addresses!" (214)). The parser shows nothing; its caller does.
struct ParsedScanTarget {
    ScanTargetRange range;
    QString error;
    bool Ok() const { return error.isEmpty(); }
};

// Parses `text` (spaces already removed).
ParsedScanTarget ParseScanTarget(const QString& text);

// A single address or a range "A-B". `range` is written only on kTargetParsed.
int ParseAddressRange(const QString& text, ScanTargetRange* range);

// "A/prefix" or "A/mask". `range` is written only on kTargetParsed.
int ParseSubnet(const QString& text, ScanTargetRange* range);

// A prefix length of decimal digits only, 0 to 32, as a dotted mask ("255.255.255.0").
bool PrefixLengthToMask(const QString& prefix, QString* mask);

// Ones from the top, then zeros, and not zero itself. `mask` in network byte order.
bool IsContiguousMask(quint32 mask);
