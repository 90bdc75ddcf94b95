#include "support/ConfigFile.h"

#include "support/NVBase64.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

namespace
{

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

bool CConfigFile::ReadEncoded(const QString& path)
{
    m_sections.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;

    QList<Section> sections;
    for (QByteArray line : data.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || line.size() < 3)
                return false;
            sections.append({QString::fromUtf8(line.mid(1, line.size() - 2)).trimmed(), {}});
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0 || sections.isEmpty())
            return false;
        const std::optional<QByteArray> value = NVBase64_Decode(line.mid(equals + 1).trimmed());
        if (!value)
            return false;
        const QString key = QString::fromUtf8(line.left(equals)).trimmed();
        auto& values = sections.last().values;
        auto same = std::find_if(values.begin(), values.end(),
                                 [&](const auto& entry) { return SameName(entry.first, key); });
        // A repeated key keeps its last value, as a hand-merged file would expect.
        if (same != values.end())
            same->second = QString::fromUtf8(*value);
        else
            values.append({key, QString::fromUtf8(*value)});
    }
    m_sections = std::move(sections);
    return true;
}

bool CConfigFile::WriteEncoded(const QString& path) const
{
    QByteArray text;
    for (const Section& section : m_sections) {
        text += '[' + section.name.toUtf8() + "]\n";
        for (const auto& [key, value] : section.values)
            text += key.toUtf8() + '=' + NVBase64_Encode(value.toUtf8()) + '\n';
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text);
    return file.commit();
}

QString CConfigFile::GetValue(const QString& section, const QString& key) const
{
    const Section* found = FindSection(section);
    if (!found)
        return {};
    for (const auto& [name, value] : found->values) {
        if (SameName(name, key))
            return value;
    }
    return {};
}

void CConfigFile::SetValue(const QString& section, const QString& key, int value)
{
    SetValue(section, key, QString::number(value));
}

void CConfigFile::SetValue(const QString& section, const QString& key, const QString& value)
{
    Section* found = FindSection(section);
    if (!found) {
        m_sections.append({section, {}});
        found = &m_sections.last();
    }
    for (auto& entry : found->values) {
        if (SameName(entry.first, key)) {
            entry.second = value;
            return;
        }
    }
    found->values.append({key, value});
}

CConfigFile::Section* CConfigFile::FindSection(const QString& name)
{
    for (Section& section : m_sections) {
        if (SameName(section.name, name))
            return &section;
    }
    return nullptr;
}

const CConfigFile::Section* CConfigFile::FindSection(const QString& name) const
{
    return const_cast<CConfigFile*>(this)->FindSection(name);
}
