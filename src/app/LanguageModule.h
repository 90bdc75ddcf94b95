#pragma once

#include "lang/LangStringSource.h"

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

class QLibrary;

// A version as the two 32-bit halves of a.b.c.d: (a << 16 | b) and (c << 16 | d).
struct VersionHalves {
    quint32 ms = 0;
    quint32 ls = 0;
    friend bool operator==(const VersionHalves&, const VersionHalves&) = default;
};

// Null unless `text` is four dot-separated numbers of at most 16 bits each.
std::optional<VersionHalves> ParseVersionHalves(const QString& text);

// Where the module of `language` sits below the program folder (which ends with '/').
QString LanguageModulePath(const QString& appFolder, const QString& language);

// The language resource module of the user's language, checked before the program
// uses it: it must load, name the same language (when it names one) and have the
// program's version. Each failed check shows its message (from the built-in English
// table, as nothing else is installed yet) and leaves the module unused.
class CLanguageModule
{
public:
    enum class Status {
        Loaded,            // every check passed; Strings() is the module's table
        Missing,           // not loadable, or without a readable string table
        LanguageDiffers,   // its GetLangStrID names another language
        VersionUnreadable, // it has no version
        VersionDiffers,    // its version is not the program's
    };

    CLanguageModule();
    ~CLanguageModule();
    CLanguageModule(const CLanguageModule&) = delete;
    CLanguageModule& operator=(const CLanguageModule&) = delete;

    // Which failed checks are worth a message. A missing module is for a language the
    // user chose, not for one merely taken from the system's locale; the uninstaller,
    // which only wants its wait dialog in the user's language, complains about none.
    enum class Messages { All, NoneForMissing, None };

    // Loads and checks the module of `language` below `appFolder` against
    // `programVersion` ("a.b.c.d"). A missing module is silent for "en_us" (compared
    // without regard to case), which needs none.
    Status Load(const QString& appFolder, const QString& language, const QString& programVersion,
                Messages messages = Messages::All);

    Status GetStatus() const { return m_status; }
    // The module's string table once loaded; null otherwise.
    std::shared_ptr<const LangStringTable> Strings() const { return m_strings; }
    QString Path() const { return m_path; }

private:
    Status Fail(Status status);
    void Complain(const QString& text) const;

    std::unique_ptr<QLibrary> m_library;
    std::shared_ptr<const LangStringTable> m_strings;
    QString m_path;
    Status m_status = Status::Missing;
    Messages m_messages = Messages::All;
};
