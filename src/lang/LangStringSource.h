#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <optional>

// Where FormatLangString finds the text of a message id: the built-in English table
// until a language module is loaded, then the module's table.
class LangStringSource
{
public:
    virtual ~LangStringSource() = default;
    // The text of `id`, or nothing when this source has no (or an empty) text for it.
    virtual std::optional<QString> GetString(quint16 id) const = 0;
};

// A source backed by a table of id -> text.
class LangStringTable final : public LangStringSource
{
public:
    LangStringTable() = default;
    explicit LangStringTable(QHash<quint16, QString> strings) : m_strings(std::move(strings)) {}

    // Parses the string-table text format: one message a line, "<id>\t<text>", with
    // the escapes \n \r \t \" and \\ in the text; blank lines and lines starting with
    // '#' are skipped. Returns nullopt and fills `error` (with the line number) when a
    // line is malformed or an id repeats.
    static std::optional<LangStringTable> Parse(const QString& text, QString* error = nullptr);

    std::optional<QString> GetString(quint16 id) const override;
    const QHash<quint16, QString>& strings() const { return m_strings; }

private:
    QHash<quint16, QString> m_strings;
};

// The built-in English table (res/lang/en_us.txt compiled into the program).
std::shared_ptr<const LangStringSource> BuiltinLangStrings();

// The source in use; the built-in table unless another was set.
std::shared_ptr<const LangStringSource> CurrentLangStringSource();

// Replaces the source (null restores the built-in table). Start-up calls it once the
// language module has been checked; any thread may format meanwhile.
void SetLangStringSource(std::shared_ptr<const LangStringSource> source);
