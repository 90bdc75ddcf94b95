#include "ui/commands/CommandIcons.h"

#include "ui/commands/CommandTable.h"

#include <QPixmap>

QIcon ShippedIcon(const char* fileName)
{
    return QIcon(QStringLiteral(":/lanvey/icons/") + QLatin1String(fileName));
}

QPixmap ShippedPixmap(const char* fileName)
{
    return QPixmap(QStringLiteral(":/lanvey/icons/") + QLatin1String(fileName));
}

QIcon CommandIcon(int id)
{
    const CommandInfo* info = FindCommand(id);
    if (!info)
        return {};
    const QIcon shipped = *info->iconFile ? ShippedIcon(info->iconFile) : QIcon();
    if (!*info->themeIcon)
        return shipped;
    return QIcon::fromTheme(QLatin1String(info->themeIcon), shipped);
}
