#include "support/NVBase64.h"

#include <array>
#include <cstring>
#include <mutex>

namespace
{

constexpr char kStandardTable[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

bool IsValidTable(const char* table)
{
    if (!table || std::strlen(table) != kNVBase64TableLength)
        return false;
    std::array<bool, 256> seen{};
    for (int i = 0; i < kNVBase64TableLength; ++i) {
        const auto c = static_cast<unsigned char>(table[i]);
        if (c == '\n' || c == '\r' || seen[c])
            return false;
        seen[c] = true;
    }
    return true;
}

std::mutex g_tableLock;
std::array<char, kNVBase64TableLength + 1> g_table = [] {
    std::array<char, kNVBase64TableLength + 1> table{};
    std::memcpy(table.data(), kStandardTable, sizeof kStandardTable);
    return table;
}();

std::array<char, kNVBase64TableLength + 1> CurrentTable()
{
    std::lock_guard lock(g_tableLock);
    return g_table;
}

} // namespace

bool NVBase64_SetEncodeTable(const char* table)
{
    if (!IsValidTable(table))
        return false;
    std::lock_guard lock(g_tableLock);
    std::memcpy(g_table.data(), table, kNVBase64TableLength + 1);
    return true;
}

QByteArray NVBase64_Encode(const QByteArray& data)
{
    return NVBase64_Encode(data, CurrentTable().data());
}

std::optional<QByteArray> NVBase64_Decode(const QByteArray& text)
{
    return NVBase64_Decode(text, CurrentTable().data());
}

QByteArray NVBase64_Encode(const QByteArray& data, const char* table)
{
    if (!IsValidTable(table))
        return {};
    const char pad = table[64];
    QByteArray out;
    out.reserve((data.size() + 2) / 3 * 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    qsizetype i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const quint32 group = quint32(bytes[i]) << 16 | quint32(bytes[i + 1]) << 8 | bytes[i + 2];
        out += table[group >> 18 & 63];
        out += table[group >> 12 & 63];
        out += table[group >> 6 & 63];
        out += table[group & 63];
    }
    const qsizetype rest = data.size() - i;
    if (rest > 0) {
        quint32 group = quint32(bytes[i]) << 16;
        if (rest == 2)
            group |= quint32(bytes[i + 1]) << 8;
        out += table[group >> 18 & 63];
        out += table[group >> 12 & 63];
        out += rest == 2 ? table[group >> 6 & 63] : pad;
        out += pad;
    }
    return out;
}

std::optional<QByteArray> NVBase64_Decode(const QByteArray& text, const char* table)
{
    if (!IsValidTable(table) || text.size() % 4 != 0)
        return std::nullopt;
    std::array<int, 256> value;
    value.fill(-1);
    for (int i = 0; i < 64; ++i)
        value[static_cast<unsigned char>(table[i])] = i;
    const char pad = table[64];

    QByteArray out;
    out.reserve(text.size() / 4 * 3);
    for (qsizetype i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int padding = 0;
        quint32 group = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == pad) {
                // Padding only closes the last group, and never its first two symbols.
                if (!last || k < 2)
                    return std::nullopt;
                ++padding;
                group <<= 6;
                continue;
            }
            const int v = value[static_cast<unsigned char>(c)];
            if (v < 0 || padding > 0)
                return std::nullopt;
            group = group << 6 | quint32(v);
        }
        out += char(group >> 16 & 0xFF);
        if (padding < 2)
            out += char(group >> 8 & 0xFF);
        if (padding < 1)
            out += char(group & 0xFF);
    }
    return out;
}
