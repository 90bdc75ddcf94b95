#include "lang/LangString.h"
#include "records/exchange/ExchangeFormats.h"
#include "records/exchange/ExchangeText.h"

#include <QXmlStreamReader>

// nmap's XML output (-oX).
namespace exchange
{

// Every <host> with an IPv4 and a MAC address; hosts without a MAC (the scanning host
// itself, hosts behind a router) are no error. False when the root is not <nmaprun>.
bool ReadNmapXml(QByteArrayView text, ImportReadResult& result)
{
    ErrorList errors(result.errors);
    QXmlStreamReader xml(QByteArray::fromRawData(text.data(), text.size()));
    bool rootSeen = false;
    bool inHost = false;
    int hostLine = 0;
    QString ip, mac, hostName;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (!rootSeen) {
                if (name != QLatin1String("nmaprun"))
                    return false;
                rootSeen = true;
                continue;
            }
            if (name == QLatin1String("host")) {
                inHost = true;
                hostLine = int(xml.lineNumber());
                ip.clear();
                mac.clear();
                hostName.clear();
            } else if (inHost && name == QLatin1String("address")) {
                const QXmlStreamAttributes attributes = xml.attributes();
                const QStringView type = attributes.value(QLatin1String("addrtype"));
                if (type == QLatin1String("ipv4") && ip.isNull())
                    ip = attributes.value(QLatin1String("addr")).toString();
                else if (type == QLatin1String("mac") && mac.isNull())
                    mac = attributes.value(QLatin1String("addr")).toString();
            } else if (inHost && name == QLatin1String("hostname") && hostName.isNull()) {
                hostName = xml.attributes().value(QLatin1String("name")).toString();
            }
        } else if (token == QXmlStreamReader::EndElement && inHost &&
                   xml.name() == QLatin1String("host")) {
            inHost = false;
            if (ip.isNull() || mac.isNull())
                continue;
            const auto ipValue = ParseIp(ip.toLatin1());
            const auto macValue = ParseMac(mac.toLatin1());
            if (!ipValue || !macValue) {
                errors.Add(hostLine, ipValue ? BadMac() : BadIp());
                continue;
            }
            ImportedRecord imported;
            imported.line = hostLine;
            imported.record.ip = *ipValue;
            imported.record.mac = *macValue;
            imported.record.hostName = hostName.isNull() ? QString() : hostName;
            imported.fields = hostName.isNull() ? 0u : unsigned(kImportHostName);
            result.records.push_back(std::move(imported));
        }
    }
    if (!rootSeen)
        return false;
    // A file cut short keeps the hosts before the cut.
    if (xml.hasError())
        errors.Add(int(xml.lineNumber()),
                   FormatLangStringA(0xF2B7, "XML: %s_ERROR%", {xml.errorString()}));
    errors.Finish();
    return true;
}

} // namespace exchange
