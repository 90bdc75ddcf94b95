#include "support/MakeSureFolderPathExists.h"

#include <QDir>
#include <QFileInfo>

int MakeSureFolderPathExists(const QString& folder)
{
    if (folder.isEmpty())
        return 0;
    return QDir().mkpath(folder) && QFileInfo(folder).isDir() ? 1 : 0;
}
