#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/exchange/ExchangeFormats.h"
#include "records/exchange/ExchangeText.h"
#include "support/AddressText.h"

#include <QHash>

// Wireshark's personal "ethers" ("MAC name") and "hosts" ("IP name") files; ethers is
// read back too.
namespace exchange
{

namespace
{

// A host name for a line format ("MAC name", "IP name"), whose readers split a line at
// whitespace and end it at '#'. Such a name cannot be written as it is, so the ends are
// trimmed and every whitespace, control character or '#' left inside becomes '_'. A
// name that is empty then is no name, and its row is left out like one without a name.
QString LineFormatName(const QString& name)
{
    QString text = name.trimmed();
    for (QChar& c : text) {
        if (c.isSpace() || IsControlChar(c.unicode()) || c == u'#')
            c = u'_';
    }
    return text;
}

// The name a line file gives a host: its NetBIOS name, else the first of its other names
// (multicast DNS, LLMNR, reverse DNS), so that a host without NetBIOS is named too.
template <typename Record> QString LineFileName(const Record& row)
{
    if (!LineFormatName(row.hostName).isEmpty() || row.otherNames.empty())
        return row.hostName;
    return row.otherNames.front().name;
}

void AppendNameLine(QByteArray& out, const QString& address, const QString& name)
{
    const QString shown = LineFormatName(name);
    if (shown.isEmpty())
        return;
    out += address.toLatin1();
    out += ' ';
    out += shown.toUtf8();
    out += '\n';
}

} // namespace

template <typename Record>
QByteArray WriteNameLines(ExchangeFormat format, const std::vector<const Record*>& rows)
{
    QByteArray out;
    for (const Record* row : rows) {
        if (format == ExchangeFormat::Ethers)
            AppendNameLine(out, FormatMacAddress(row->mac), LineFileName(*row));
        else if (format == ExchangeFormat::Hosts)
            AppendNameLine(out, FormatIpAddress(row->ip), LineFileName(*row));
    }
    return out;
}

template QByteArray WriteNameLines(ExchangeFormat, const std::vector<const HostRecord*>&);
template QByteArray WriteNameLines(ExchangeFormat, const std::vector<const DatabaseRecord*>&);

QByteArrayView EthersData(QByteArrayView line)
{
    const qsizetype hash = line.indexOf('#');
    return hash < 0 ? line : line.first(hash);
}

// "MAC name" lines, '#' to the end of a line a comment. The address of a named MAC comes
// from the database; a line may also give the address itself instead of a name
// ("MAC 198.18.0.7", as /etc/ethers allows).
void ReadEthers(QByteArrayView text, const std::vector<const DatabaseRecord*>& knownMacs,
                ImportReadResult& result)
{
    ErrorList errors(result.errors);
    std::optional<QHash<quint64, quint32>> addresses;
    LineReader lines(text);
    QByteArrayView line;
    while (lines.Next(line)) {
        const std::vector<QByteArrayView> words = Words(EthersData(line), 2);
        if (words.empty())
            continue;
        const int number = lines.LineNumber();
        const auto mac = ParseMac(words[0]);
        if (!mac) {
            errors.Add(number, BadMac());
            continue;
        }
        if (words.size() < 2) {
            errors.Add(number, FormatLangStringA(0xF2B8, "no host name"));
            continue;
        }
        ImportedRecord imported;
        imported.line = number;
        imported.record.mac = *mac;
        imported.fields = 0;
        if (const auto ip = ParseIp(words[1])) {
            imported.record.ip = *ip;
        } else {
            if (!addresses) {
                addresses.emplace();
                addresses->reserve(qsizetype(knownMacs.size()));
                // The first record of a MAC gives its address.
                for (const DatabaseRecord* known : knownMacs) {
                    const quint64 key = known ? known->mac | kMacTopBits : 0;
                    if (known && !addresses->contains(key))
                        addresses->insert(key, known->ip);
                }
            }
            const auto found = addresses->constFind(*mac);
            if (found == addresses->constEnd()) {
                errors.Add(number, FormatLangStringA(0xF2B9, "MAC address not in the database"));
                continue;
            }
            imported.record.ip = found.value();
            imported.record.hostName = Text(words[1]);
            imported.fields = kImportHostName;
        }
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

} // namespace exchange
