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

// How fast the window's scans send ARP requests (the General page's "Send rate"):
// Normal, the resolver's own rates; Gentle, kGentleRate; Custom, a number of requests a
// second from kMinCustomRate to kMaxCustomRate.
enum class SendRateMode { Normal = 0, Gentle = 1, Custom = 2 };
inline constexpr int kMinCustomRate = 1;
inline constexpr int kMaxCustomRate = 10000;
inline constexpr int kDefaultCustomRate = 100;
SendRateMode StoredSendRateMode();
int StoredCustomSendRate();
// The requests a second of the stored choice; 0 for Normal.
int StoredSendRate();
