#pragma once

#include <QList>
#include <QString>
#include <utility>

// A small settings file: INI text ("[Section]" lines, "Key=Value" lines) whose values
// are Base64 of their UTF-8 text with the coder's current alphabet, so a value cannot
// be changed by hand without the program's alphabet. Section and key names are plain
// and compared without regard to case; their order is kept when the file is written.
class CConfigFile
{
public:
    // Replaces the contents with the file at `path`. False (and the contents left
    // empty) when the file cannot be read or is not such a file: a line that is neither
    // a section, a key with a value, a comment (';' or '#') nor blank, a key before the
    // first section, or a value that does not decode.
    bool ReadEncoded(const QString& path);

    // Writes the whole contents to `path` at once: the old file stays as it was unless
    // the new one was written completely.
    bool WriteEncoded(const QString& path) const;

    // The value's text; empty when the section or the key is absent.
    QString GetValue(const QString& section, const QString& key) const;

    void SetValue(const QString& section, const QString& key, int value);
    void SetValue(const QString& section, const QString& key, const QString& value);

private:
    struct Section {
        QString name;
        QList<std::pair<QString, QString>> values;
    };
    Section* FindSection(const QString& name);
    const Section* FindSection(const QString& name) const;

    QList<Section> m_sections;
};
