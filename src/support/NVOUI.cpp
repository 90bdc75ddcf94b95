#include "support/NVOUI.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

#include <QFile>

namespace
{

// One record of an IEEE registry CSV file:
//   Registry,Assignment,Organization Name,Organization Address
// Fields may be quoted ("...", with "" for a quote inside). Returns false at the end.
struct CsvCursor {
    const char* pos;
    const char* end;

    // Reads one field; stops after the ',' or at the end of the line (leaves the
    // cursor on the line break). `field` gets the unquoted bytes.
    void ReadField(QByteArray& field)
    {
        field.clear();
        if (pos < end && *pos == '"') {
            ++pos;
            while (pos < end) {
                if (*pos == '"') {
                    if (pos + 1 < end && pos[1] == '"') {
                        field.append('"');
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field.append(*pos++);
            }
        }
        while (pos < end && *pos != ',' && *pos != '\n' && *pos != '\r')
            field.append(*pos++);
        if (pos < end && *pos == ',')
            ++pos;
    }

    bool AtLineEnd() const { return pos >= end || *pos == '\n' || *pos == '\r'; }

    void SkipLine()
    {
        // A quoted field may hold a line break, so skip field by field.
        QByteArray ignored;
        while (!AtLineEnd())
            ReadField(ignored);
        while (pos < end && (*pos == '\n' || *pos == '\r'))
            ++pos;
    }
};

bool ParseHex(const QByteArray& text, quint64& value)
{
    if (text.isEmpty() || text.size() > 12)
        return false;
    value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = (value << 4) | quint64(digit);
    }
    return true;
}

// Loads one registry file into the tables; the assignment's length (6, 7 or 9 hex
// digits) says which prefix length it registers.
bool LoadRegistry(const QString& path, QHash<quint64, QString>& t24, QHash<quint64, QString>& t28,
                  QHash<quint64, QString>& t36)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    CsvCursor cursor{data.constData(), data.constData() + data.size()};
    cursor.SkipLine(); // header
    QByteArray registry, assignment, organization;
    while (cursor.pos < cursor.end) {
        cursor.ReadField(registry);
        cursor.ReadField(assignment);
        cursor.ReadField(organization);
        cursor.SkipLine();
        quint64 prefix = 0;
        if (!ParseHex(assignment, prefix))
            continue;
        QHash<quint64, QString>* table = nullptr;
        switch (assignment.size()) {
        case 6:
            table = &t24;
            break;
        case 7:
            table = &t28;
            break;
        case 9:
            table = &t36;
            break;
        default:
            continue;
        }
        table->insert(prefix, QString::fromUtf8(organization));
    }
    return true;
}

} // namespace

bool CNVOUI::Open(const char* folder)
{
    m_prefix24.clear();
    m_prefix28.clear();
    m_prefix36.clear();
    m_split24.clear();
    m_prefix24.reserve(40000);
    const QString base = QString::fromLocal8Bit(folder && *folder ? folder : kDefaultFolder);
    bool any = false;
    for (const char* name : {"oui.csv", "mam.csv", "oui36.csv", "iab.csv"})
        any |= LoadRegistry(base + QLatin1Char('/') + QLatin1String(name), m_prefix24, m_prefix28,
                            m_prefix36);
    for (auto it = m_prefix28.constBegin(); it != m_prefix28.constEnd(); ++it)
        m_split24.insert(it.key() >> 4);
    for (auto it = m_prefix36.constBegin(); it != m_prefix36.constEnd(); ++it)
        m_split24.insert(it.key() >> 12);
    return any;
}

QString CNVOUI::GetManufacturer(const QString& macText) const
{
    quint64 mac = GetMacAddress(macText, QLatin1Char(':'));
    if (mac == kNoMacAddress)
        mac = GetMacAddress(macText, QLatin1Char('-'));
    if (mac == kNoMacAddress)
        return QString();
    return GetManufacturerOf(mac);
}

namespace
{

// The six octets as a big-endian 48-bit number.
quint64 AddressValue(quint64 mac)
{
    quint64 address = 0;
    for (int i = 0; i < 6; ++i)
        address = (address << 8) | MacOctet(mac, i);
    return address;
}

} // namespace

QString CNVOUI::GetManufacturerOf(quint64 mac) const
{
    const quint64 address = AddressValue(mac);
    for (const auto& [table, bits] :
         {std::pair{&m_prefix36, 36}, std::pair{&m_prefix28, 28}, std::pair{&m_prefix24, 24}}) {
        const auto it = table->constFind(address >> (48 - bits));
        if (it != table->constEnd())
            return it.value();
    }
    if (MacOctet(mac, 0) & 0x02)
        return FormatLangStringA(0xF287, "(locally administered)");
    return QString();
}

quint64 CNVOUI::VendorBlockOf(quint64 mac) const
{
    const quint64 address = AddressValue(mac);
    // The marker bit keeps a 36-bit block apart from every 24-bit one.
    return m_split24.contains(address >> 24) ? (address >> 12) | (quint64(1) << 40) : address >> 24;
}

qsizetype CNVOUI::Count() const
{
    return m_prefix24.size() + m_prefix28.size() + m_prefix36.size();
}
