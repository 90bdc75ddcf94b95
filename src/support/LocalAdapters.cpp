#include "support/LocalAdapters.h"

#include "support/AddressText.h"

#include <QHostAddress>
#include <QNetworkInterface>

std::optional<std::vector<AdapterAddress>> QueryLocalAdapters()
{
    std::vector<AdapterAddress> addresses;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& netInterface : interfaces) {
        for (const QNetworkAddressEntry& entry : netInterface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            addresses.push_back({IpFromHostOrder(entry.ip().toIPv4Address()),
                                 IpFromHostOrder(entry.netmask().toIPv4Address())});
        }
    }
    return addresses;
}

AdapterAddress MakeAdapterAddress(const QString& ip, const QString& mask)
{
    return {IpFromHostOrder(QHostAddress(ip).toIPv4Address()),
            IpFromHostOrder(QHostAddress(mask).toIPv4Address())};
}

QString SubnetEntryText(const AdapterAddress& address)
{
    const quint32 mask = address.mask;
    return FormatIpAddress(address.ip & mask) + QStringLiteral("/%1.%2.%3.%4")
                                                    .arg(IpOctet(mask, 0))
                                                    .arg(IpOctet(mask, 1))
                                                    .arg(IpOctet(mask, 2))
                                                    .arg(IpOctet(mask, 3));
}
