#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// The per-user profile: QSettings("Norvane", "Lanvey"), values of the program's own
// under "Settings/General".
inline constexpr const char* kProfileSection = "Settings/General";

int GetProfileInt(const QString& entry, int defaultValue);
void WriteProfileInt(const QString& entry, int value);
// `section` empty: an entry at the top of the profile.
QByteArray GetProfileBinary(const QString& entry,
                            const QString& section = QLatin1String(kProfileSection));
void WriteProfileBinary(const QString& entry, const QByteArray& value,
                        const QString& section = QLatin1String(kProfileSection));
