#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The command line of lanvey-scan.
struct ScanOptions {
    enum class Format { Table, Csv, Json };

    QString target;                      // positional arguments joined by spaces
    std::optional<quint32> threads;      // --threads; unset: the stored setting, else 20
    std::optional<int> rate;             // --rate; unset: by the target's size
    bool gentle = false;                 // --gentle: kGentleRate
    Format format = Format::Table;       // --format
    std::optional<QString> databasePath; // --db
    bool progress = false;               // --progress
    bool verbose = false;                // --verbose
    bool kernelPath = false;             // --kernel-arp
    std::optional<int> watchSeconds;     // --watch[=SECONDS]: sweep again every so often
    int goneAfter = 3;                   // --gone-after: sweeps missed before a host is gone
};

// What a watch sweeps at when no --rate is given, in requests a second: gentle on the
// link, a /24 in seconds.
inline constexpr int kDefaultWatchRate = 50;
inline constexpr int kDefaultWatchSeconds = 300;

enum class ScanCommand { Scan, Help, Version, Error };

// Reads `arguments` (without the program name). On Error, `error` says what was wrong.
ScanCommand ParseScanOptions(const QStringList& arguments, ScanOptions* options, QString* error);

// "usage: lanvey-scan [options] TARGET"
QString ScanUsageLine();

// The --help text.
QString ScanHelpText();

// The ANSI code page that hosts of the user's locale write their NetBIOS names in, from
// the values of LC_ALL, LC_CTYPE and LANG (the first one set decides, as in POSIX).
int ScanAnsiCodePage(const QString& lcAll, const QString& lcCtype, const QString& lang);
