#pragma once

#include <QString>
#include <QtGlobal>

// One value for a placeholder of FormatLangString. It records which argument kind
// the caller handed over, so that the formatter can check it against the conversion
// written in the placeholder ("%d_NUM%" wants a 32-bit integer, "%s_IP%" a string).
class LangValue
{
public:
    enum class Kind { Int32, Int64, Double, String };

    LangValue(int v) : m_kind(Kind::Int32), m_int(quint32(v)) {}
    LangValue(unsigned v) : m_kind(Kind::Int32), m_int(v) {}
    LangValue(long v) = delete; // say Int32 or Int64 explicitly
    LangValue(unsigned long v) = delete;
    LangValue(long long v) : m_kind(Kind::Int64), m_int(quint64(v)) {}
    LangValue(unsigned long long v) : m_kind(Kind::Int64), m_int(v) {}
    // A UTF-16 code unit for a "%c" placeholder travels as a 32-bit value.
    LangValue(QChar v) : m_kind(Kind::Int32), m_int(v.unicode()) {}
    LangValue(char16_t v) : m_kind(Kind::Int32), m_int(v) {}
    LangValue(double v) : m_kind(Kind::Double), m_double(v) {}
    LangValue(const QString& v) : m_kind(Kind::String), m_string(v) {}
    LangValue(const char16_t* v) : m_kind(Kind::String), m_string(QString::fromUtf16(v)) {}
    LangValue(const char* v) : m_kind(Kind::String), m_string(QString::fromUtf8(v)) {}

    Kind kind() const { return m_kind; }
    quint32 int32() const { return quint32(m_int); }
    quint64 int64() const { return m_int; }
    double real() const { return m_double; }
    const QString& string() const { return m_string; }

private:
    Kind m_kind;
    quint64 m_int = 0;
    double m_double = 0;
    QString m_string;
};
