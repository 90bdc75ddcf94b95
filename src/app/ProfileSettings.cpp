#include "app/ProfileSettings.h"

#include "app/LanveyApp.h"
#include "scan/HostProbe.h"

#include <QSettings>
#include <algorithm>

namespace
{

QString Key(const QString& entry, const QString& section = QLatin1String(kProfileSection))
{
    return section.isEmpty() ? entry : section + QLatin1Char('/') + entry;
}

QSettings Profile()
{
    return QSettings(QString::fromLatin1(kCompanyKey), QString::fromLatin1(kProductKeyName));
}

} // namespace

int GetProfileInt(const QString& entry, int defaultValue)
{
    bool ok = false;
    const int value = Profile().value(Key(entry)).toInt(&ok);
    return ok ? value : defaultValue;
}

void WriteProfileInt(const QString& entry, int value)
{
    Profile().setValue(Key(entry), value);
}

QByteArray GetProfileBinary(const QString& entry, const QString& section)
{
    return Profile().value(Key(entry, section)).toByteArray();
}

void WriteProfileBinary(const QString& entry, const QByteArray& value, const QString& section)
{
    Profile().setValue(Key(entry, section), value);
}

SendRateMode StoredSendRateMode()
{
    const int mode = GetProfileInt(QStringLiteral("SendRateMode"), 0);
    return mode == int(SendRateMode::Gentle)   ? SendRateMode::Gentle
           : mode == int(SendRateMode::Custom) ? SendRateMode::Custom
                                               : SendRateMode::Normal;
}

int StoredCustomSendRate()
{
    return std::clamp(GetProfileInt(QStringLiteral("SendRate"), kDefaultCustomRate), kMinCustomRate,
                      kMaxCustomRate);
}

int StoredSendRate()
{
    switch (StoredSendRateMode()) {
    case SendRateMode::Gentle:
        return kGentleRate;
    case SendRateMode::Custom:
        return StoredCustomSendRate();
    case SendRateMode::Normal:
        break;
    }
    return 0;
}
