#pragma once

#include <QString>

// The maker's language support: which language each user wants Norvane programs in,
// and where each program keeps its language modules. Both live under "mui" of the
// "Norvane" settings, one group per program: machine-wide the program's language
// folder and default language (written by the installer), per user the chosen
// language.

// The name of this program's group: the file name of the running program.
QString NVMUI_GetNVCurAppPath();

// The user's language code ("en_us", "zh_cn", ...): the one stored for this user when
// there is one, else the system's locale in the same form, else "en_us".
QString NVMUI_GetUserLanguage();

// The language stored for this user (by the installer); empty when there is none.
QString NVMUI_GetStoredUserLanguage();

// The language code of a locale name: "de_DE" -> "de_de"; "en_us" for a locale that
// names no language ("C", "POSIX").
QString NVMUI_LanguageOfLocale(const QString& localeName);

// Stores `language` as this user's choice; false when it cannot be stored.
bool NVMUI_WriteUserLanguage(const QString& language);

// Records the program's language folder and default language machine-wide. `reserved`
// must be null. False when it cannot be stored.
bool NVMUI_RegisterApplication(const QString& languageFolder, const QString& defaultLanguage,
                               const void* reserved);

// Removes this program's group, machine-wide and for the user (uninstall).
void NVMUI_RemoveApplication();
