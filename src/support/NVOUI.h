#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// The NIC vendor table: IEEE registrations of MAC address blocks.
//
// Open() loads the four registries as the ieee-data package ships them: MA-L
// (oui.csv, 24-bit prefixes), MA-M (mam.csv, 28-bit), MA-S (oui36.csv, 36-bit) and the
// older IAB list (iab.csv, 36-bit). A lookup tries the longest prefix first.
//
// After Open() the table is read-only, so lookups are safe from any thread.
class CNVOUI
{
public:
    static constexpr const char* kDefaultFolder = "/usr/share/ieee-data";

    CNVOUI() = default;

    // Loads the registries from `folder` (the ieee-data folder when null or empty) and
    // replaces what was loaded before. A missing file or folder is skipped: the table
    // then knows fewer vendors, which is not an error. Returns true when at least one
    // registry was read.
    bool Open(const char* folder = nullptr);

    // The organization name registered for the block that holds `macText` (written as
    // FormatMacAddress writes it; '-' separators are taken too). Empty when no block
    // is registered, except that a locally administered address gives
    // "(locally administered)".
    QString GetManufacturer(const QString& macText) const;
    // The same for an address value as the records hold it.
    QString GetManufacturerOf(quint64 mac) const;

    // What the manufacturer of `mac` depends on: its first 24 bits, or its first 36 where
    // a longer block is registered under those 24. Addresses with the same value have
    // the same manufacturer, so a list of many hosts needs one lookup per value.
    quint64 VendorBlockOf(quint64 mac) const;

    // Number of registered blocks loaded.
    qsizetype Count() const;

private:
    // Prefix value (the leading octets of the address as a big-endian number) ->
    // organization; one table per prefix length: 36, 28 and 24 bits.
    QHash<quint64, QString> m_prefix36;
    QHash<quint64, QString> m_prefix28;
    QHash<quint64, QString> m_prefix24;
    // The first 24 bits of every 28- and 36-bit block.
    QSet<quint64> m_split24;
};
