#include "cli/ScanOptions.h"

#include "lang/AnsiCodePage.h"

namespace
{

bool ReadCount(const QString& text, quint64 max, quint64* value)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    *value = text.toULongLong();
    return *value <= max;
}

} // namespace

QString ScanUsageLine()
{
    return QStringLiteral(
        "usage: lanvey-scan [--threads N] [--rate N | --gentle] [--format table|csv|json] "
        "[--db FILE] [--progress] [--verbose] [--kernel-arp] "
        "[--watch[=SECONDS] [--gone-after N]] TARGET");
}

QString ScanHelpText()
{
    return ScanUsageLine() + QStringLiteral(R"(

Finds the hosts of an IPv4 network by ARP, asks each one for its NetBIOS host name
and workgroup, and prints one row per host with its vendor and how it compares with
the database of known hosts.

TARGET is one address (192.168.1.7), a range (192.168.1.1-192.168.1.50) or a subnet
with a prefix length or a mask (192.168.1.0/24, 10.0.0.0/255.255.0.0).

Options:
  --threads N     worker threads, 1 to 100 (default: the Threads setting, else 20)
  --rate N        ARP requests per second, every one counted (first requests, repeats,
                  further rounds): no second holds more (default 4000)
  --gentle        10 ARP requests per second, under the limit switches with dynamic ARP
                  inspection put on a port (a /24 takes under a minute)
  --format F      table (default), csv or json
  --db FILE       the database to compare with (default: Database.lvdat in the data
                  folder, when there is one); it is only read
  --progress      print the scan's status on standard error every 500 ms
  --verbose       say how addresses are resolved and how long the scan took
  --kernel-arp    let the kernel resolve addresses even when raw sockets are allowed
  --watch[=S]     watch the target until Ctrl+C or SIGTERM: sweep it now and every S
                  seconds (default 300, at least 2; --rate defaults to 50 then), listen to
                  the ARP of the link in between, and print each event as one line of
                  JSON: baseline, new, ip-changed, mac-changed, gone, back
  --gone-after N  with --watch: a host missed by N sweeps in a row is gone (default 3)
  --help          this text
  --version       the program's version

Control characters in the names hosts send are shown as escapes (\x1b, \u009d), except
in CSV written to a file or a pipe, which keeps the names as received. Names are read
in the ANSI code page of the locale: GBK for zh_CN, Big5 for zh_TW, else Windows-1252.

Ctrl+C stops the scan, prints the hosts found so far and exits with status 130; it ends
a watch with status 0.
Exit status: 0 done, 1 the scan could not run, 2 bad options or target.
)");
}

ScanCommand ParseScanOptions(const QStringList& arguments, ScanOptions* options, QString* error)
{
    QStringList positional;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == QLatin1String("-")) {
            positional << argument;
            continue;
        }
        if (argument == QLatin1String("-h"))
            return ScanCommand::Help;
        if (!argument.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option %1").arg(argument);
            return ScanCommand::Error;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }

        // "--name=value" or "--name value".
        QString name = argument;
        std::optional<QString> inlineValue;
        const qsizetype equals = argument.indexOf(u'=');
        if (equals > 0) {
            name = argument.left(equals);
            inlineValue = argument.mid(equals + 1);
        }
        auto value = [&](QString* out) {
            if (inlineValue) {
                *out = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("option %1 needs a value").arg(name);
                return false;
            }
            *out = arguments[++i];
            return true;
        };
        auto flag = [&](bool* out) {
            if (inlineValue) {
                *error = QStringLiteral("option %1 takes no value").arg(name);
                return false;
            }
            *out = true;
            return true;
        };

        QString text;
        quint64 number = 0;
        if (name == QLatin1String("--help")) {
            return ScanCommand::Help;
        } else if (name == QLatin1String("--version")) {
            return ScanCommand::Version;
        } else if (name == QLatin1String("--threads")) {
            if (!value(&text))
                return ScanCommand::Error;
            if (!ReadCount(text, 0xFFFFFFFFu, &number)) {
                *error =
                    QStringLiteral("--threads wants a number of threads, not \"%1\"").arg(text);
                return ScanCommand::Error;
            }
            options->threads = quint32(number);
        } else if (name == QLatin1String("--rate")) {
            if (!value(&text))
                return ScanCommand::Error;
            if (!ReadCount(text, 1000000, &number) || number == 0) {
                *error = QStringLiteral("--rate wants 1 to 1000000 requests per second, not \"%1\"")
                             .arg(text);
                return ScanCommand::Error;
            }
            options->rate = int(number);
        } else if (name == QLatin1String("--gentle")) {
            if (!flag(&options->gentle))
                return ScanCommand::Error;
        } else if (name == QLatin1String("--format")) {
            if (!value(&text))
                return ScanCommand::Error;
            if (text == QLatin1String("table"))
                options->format = ScanOptions::Format::Table;
            else if (text == QLatin1String("csv"))
                options->format = ScanOptions::Format::Csv;
            else if (text == QLatin1String("json"))
                options->format = ScanOptions::Format::Json;
            else {
                *error = QStringLiteral("--format is table, csv or json, not \"%1\"").arg(text);
                return ScanCommand::Error;
            }
        } else if (name == QLatin1String("--db")) {
            if (!value(&text))
                return ScanCommand::Error;
            if (text.isEmpty()) {
                *error = QStringLiteral("--db wants a file name");
                return ScanCommand::Error;
            }
            options->databasePath = text;
        } else if (name == QLatin1String("--progress")) {
            if (!flag(&options->progress))
                return ScanCommand::Error;
        } else if (name == QLatin1String("--verbose")) {
            if (!flag(&options->verbose))
                return ScanCommand::Error;
        } else if (name == QLatin1String("--kernel-arp")) {
            if (!flag(&options->kernelPath))
                return ScanCommand::Error;
        } else if (name == QLatin1String("--watch")) {
            // The interval is optional, so it only comes after '='.
            options->watchSeconds = kDefaultWatchSeconds;
            if (inlineValue) {
                if (!ReadCount(*inlineValue, 86400, &number) || number < 2) {
                    *error = QStringLiteral("--watch wants an interval of 2 to 86400 seconds, "
                                            "not \"%1\"")
                                 .arg(*inlineValue);
                    return ScanCommand::Error;
                }
                options->watchSeconds = int(number);
            }
        } else if (name == QLatin1String("--gone-after")) {
            if (!value(&text))
                return ScanCommand::Error;
            if (!ReadCount(text, 1000, &number) || number == 0) {
                *error =
                    QStringLiteral("--gone-after wants 1 to 1000 sweeps, not \"%1\"").arg(text);
                return ScanCommand::Error;
            }
            options->goneAfter = int(number);
        } else {
            *error = QStringLiteral("unknown option %1").arg(name);
            return ScanCommand::Error;
        }
    }

    if (options->gentle && options->rate) {
        *error = QStringLiteral("--gentle and --rate both set the rate; give one of them");
        return ScanCommand::Error;
    }
    // A range typed with spaces around the '-' arrives as three words.
    options->target = positional.join(u' ');
    if (options->target.trimmed().isEmpty()) {
        *error = QStringLiteral("no target given");
        return ScanCommand::Error;
    }
    return ScanCommand::Scan;
}

int ScanAnsiCodePage(const QString& lcAll, const QString& lcCtype, const QString& lang)
{
    for (const QString* value : {&lcAll, &lcCtype, &lang})
        if (!value->isEmpty())
            return AnsiCodePageForLocale(*value);
    return AnsiCodePageForLocale(QString());
}
