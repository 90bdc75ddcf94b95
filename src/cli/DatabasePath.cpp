#include "cli/DatabasePath.h"

#include <QDir>
#include <QStandardPaths>

QString DefaultDatabasePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(folder).filePath(QStringLiteral("Norvane Lanvey/Database.lvdat"));
}
