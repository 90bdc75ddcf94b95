#include "app/InstallLayout.h"

#include <QDir>
#include <QFileInfo>

QString InstalledProgramFolder(const QString& programFile)
{
    if (programFile.isEmpty())
        return {};
    // Relative to the executable, so a copy installed under any prefix (or into a
    // staging root) finds its own folder and never another copy's.
    const QString folder = QDir::cleanPath(
        QFileInfo(programFile).absoluteDir().filePath(QLatin1String(kInstalledProgramFolder)));
    if (!QFileInfo(folder).isDir())
        return {};
    return folder + u'/';
}
