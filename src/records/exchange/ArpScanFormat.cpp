#include "lang/LangString.h"
#include "records/exchange/ExchangeFormats.h"
#include "records/exchange/ExchangeText.h"

// arp-scan's output, with or without --plain.
namespace exchange
{

bool IsArpScanBanner(QByteArrayView line)
{
    return line.startsWith("Interface: ") || line.startsWith("Starting arp-scan ");
}

// Its host lines are the only ones with tabs: "IP<TAB>MAC<TAB>vendor". Everything else
// (the interface and start banner, the packet counts, "Ending arp-scan") is skipped.
// arp-scan marks a second reply for an address "(DUP: n)"; the first reply is the host,
// so a duplicate is skipped too.
void ReadArpScan(QByteArrayView text, ImportReadResult& result)
{
    ErrorList errors(result.errors);
    LineReader lines(text);
    QByteArrayView line;
    while (lines.Next(line)) {
        if (!line.contains('\t'))
            continue;
        const std::vector<QByteArrayView> fields = TabFields(line, 3);
        if (fields.size() > 2 && fields[2].contains("(DUP: "))
            continue;
        const auto ip = ParseIp(fields[0]);
        if (!ip) {
            errors.Add(lines.LineNumber(), BadIp());
            continue;
        }
        const auto mac = fields.size() > 1 ? ParseMac(fields[1]) : std::nullopt;
        if (!mac) {
            errors.Add(lines.LineNumber(), BadMac());
            continue;
        }
        ImportedRecord imported;
        imported.line = lines.LineNumber();
        imported.record.ip = *ip;
        imported.record.mac = *mac;
        imported.fields = 0;
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

} // namespace exchange
