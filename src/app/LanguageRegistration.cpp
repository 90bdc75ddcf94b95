#include "app/LanguageRegistration.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <memory>

namespace
{

std::unique_ptr<QSettings> OpenRegistration(QSettings::Scope scope)
{
    auto settings = std::make_unique<QSettings>(scope, QStringLiteral("Norvane"));
    // The per-user view must not see the machine-wide values through Qt's fallback.
    settings->setFallbacksEnabled(false);
    settings->beginGroup(QStringLiteral("mui/") + NVMUI_GetNVCurAppPath());
    return settings;
}

bool Store(QSettings& settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

QString NVMUI_GetNVCurAppPath()
{
    if (!QCoreApplication::instance())
        return QStringLiteral("lanvey");
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

QString NVMUI_GetUserLanguage()
{
    const QString stored = NVMUI_GetStoredUserLanguage();
    return stored.isEmpty() ? NVMUI_LanguageOfLocale(QLocale::system().name()) : stored;
}

QString NVMUI_GetStoredUserLanguage()
{
    return OpenRegistration(QSettings::UserScope)->value(QStringLiteral("Language")).toString();
}

QString NVMUI_LanguageOfLocale(const QString& localeName)
{
    const QString language = localeName.toLower();
    // The "C" and "POSIX" locales name no language.
    return language.contains(u'_') ? language : QStringLiteral("en_us");
}

bool NVMUI_WriteUserLanguage(const QString& language)
{
    if (language.isEmpty())
        return false;
    auto settings = OpenRegistration(QSettings::UserScope);
    settings->setValue(QStringLiteral("Language"), language);
    return Store(*settings);
}

bool NVMUI_RegisterApplication(const QString& languageFolder, const QString& defaultLanguage,
                               const void* reserved)
{
    if (reserved)
        return false;
    auto settings = OpenRegistration(QSettings::SystemScope);
    settings->setValue(QStringLiteral("Path"), languageFolder);
    settings->setValue(QStringLiteral("DefaultLanguage"), defaultLanguage);
    return Store(*settings);
}

void NVMUI_RemoveApplication()
{
    for (const QSettings::Scope scope : {QSettings::SystemScope, QSettings::UserScope}) {
        QSettings settings(scope, QStringLiteral("Norvane"));
        settings.setFallbacksEnabled(false);
        settings.remove(QStringLiteral("mui/") + NVMUI_GetNVCurAppPath());
        settings.sync();
    }
}
