#include "app/LanguageModule.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"

#include <QLibrary>
#include <QStringList>

namespace
{

// The module's exports.
using GetLangStrIDFn = const char* (*)();
using VersionFn = void (*)(quint32* ms, quint32* ls);
using StringTableFn = const char* (*)();

} // namespace

std::optional<VersionHalves> ParseVersionHalves(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok);
        if (!ok || value > 0xFFFF)
            return std::nullopt;
        values[i] = value;
    }
    return VersionHalves{values[0] << 16 | values[1], values[2] << 16 | values[3]};
}

QString LanguageModulePath(const QString& appFolder, const QString& language)
{
    return QStringLiteral("%1mui/%2/LanveyRes.so").arg(appFolder, language);
}

CLanguageModule::CLanguageModule() = default;

CLanguageModule::~CLanguageModule() = default;

CLanguageModule::Status CLanguageModule::Load(const QString& appFolder, const QString& language,
                                              const QString& programVersion, Messages messages)
{
    m_messages = messages;
    m_strings.reset();
    m_path = LanguageModulePath(appFolder, language);
    m_library = std::make_unique<QLibrary>(m_path);

    if (!m_library->load()) {
        if (messages == Messages::All &&
            language.compare(QLatin1String("en_us"), Qt::CaseInsensitive) != 0)
            Complain(
                FormatLangStringA(141, "Couldn't Load Resource File \"%s_ERROR%\"!", {m_path}));
        return Fail(Status::Missing);
    }

    // A module that does not name its language is taken at its word.
    if (const auto langId = reinterpret_cast<GetLangStrIDFn>(m_library->resolve("GetLangStrID"))) {
        const char* code = langId();
        if (!code || QString::fromLocal8Bit(code) != language) {
            Complain(FormatLangStringA(189, "The language of resource file does not match!"));
            return Fail(Status::LanguageDiffers);
        }
    }

    const auto versionOf = reinterpret_cast<VersionFn>(m_library->resolve("LanveyResVersion"));
    const std::optional<VersionHalves> program = ParseVersionHalves(programVersion);
    if (!versionOf || !program) {
        Complain(FormatLangStringA(149, "Couldn't get the version of resource file \"%s_NO%\"!",
                                   {m_path}));
        return Fail(Status::VersionUnreadable);
    }
    VersionHalves module;
    versionOf(&module.ms, &module.ls);
    if (module != *program) {
        Complain(FormatLangStringA(143, "The version of resource file does not match!"));
        return Fail(Status::VersionDiffers);
    }

    // The table is the module's whole use; one that is missing or unreadable is
    // treated like a module that would not load.
    const auto tableOf =
        reinterpret_cast<StringTableFn>(m_library->resolve("LanveyResStringTable"));
    std::optional<LangStringTable> table;
    if (tableOf && tableOf())
        table = LangStringTable::Parse(QString::fromUtf8(tableOf()));
    if (!table) {
        Complain(FormatLangStringA(141, "Couldn't Load Resource File \"%s_ERROR%\"!", {m_path}));
        return Fail(Status::Missing);
    }
    m_strings = std::make_shared<const LangStringTable>(std::move(*table));
    return m_status = Status::Loaded;
}

void CLanguageModule::Complain(const QString& text) const
{
    if (m_messages != Messages::None)
        ShowErrorMessage(text);
}

CLanguageModule::Status CLanguageModule::Fail(Status status)
{
    if (m_library && m_library->isLoaded())
        m_library->unload();
    m_library.reset();
    m_strings.reset();
    return m_status = status;
}
