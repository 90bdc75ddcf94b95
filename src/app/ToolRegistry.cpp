#include "app/ToolRegistry.h"

#include <QSettings>

namespace
{

QString ToolGroup(const QString& toolId)
{
    return QStringLiteral("Tools/") + toolId;
}

} // namespace

bool NVNTL_RegisterTool(const QString& toolId, const QString& name, const QString& programPath,
                        const char* arguments, const char* iconFile, int enabled)
{
    if (toolId.isEmpty())
        return false;
    QSettings registry(QSettings::SystemScope, QStringLiteral("Norvane"));
    registry.beginGroup(ToolGroup(toolId));
    registry.setValue(QStringLiteral("Name"), name);
    registry.setValue(QStringLiteral("Path"), programPath);
    registry.setValue(QStringLiteral("Arguments"), QString::fromUtf8(arguments ? arguments : ""));
    registry.setValue(QStringLiteral("Icon"), QString::fromUtf8(iconFile ? iconFile : ""));
    registry.setValue(QStringLiteral("Enabled"), enabled != 0);
    registry.endGroup();
    registry.sync();
    return registry.status() == QSettings::NoError;
}

bool NVNTL_UnRegisterTool(const QString& toolId)
{
    if (toolId.isEmpty())
        return false;
    QSettings registry(QSettings::SystemScope, QStringLiteral("Norvane"));
    registry.remove(ToolGroup(toolId));
    registry.sync();
    return registry.status() == QSettings::NoError;
}
