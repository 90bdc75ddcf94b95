#include "app/AppPath.h"

#include "support/MakeSureFolderPathExists.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace
{

// Exec= quoting of the desktop entry format: the path in double quotes with '"', '`',
// '$' and '\' escaped, then every '\' doubled once more as the value itself is escaped.
QString QuoteForExec(const QString& path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

bool RegisterAppPath(const QString& name, const QString& programPath, int bRegister,
                     const QString& applicationsFolder)
{
    const QString folder =
        applicationsFolder.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation)
            : applicationsFolder;
    if (folder.isEmpty())
        return false;
    const QString entryPath = QDir(folder).filePath(QStringLiteral("lanvey.desktop"));
    if (!bRegister)
        return !QFile::exists(entryPath) || QFile::remove(entryPath);

    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=" +
                             name.toUtf8() +
                             "\n"
                             "Exec=" +
                             QuoteForExec(programPath).toUtf8() +
                             "\n"
                             "Terminal=false\n"
                             "Categories=Network;Utility;\n";
    // Every start registers again; leave the file alone when nothing changed.
    QFile current(entryPath);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == entry)
        return true;
    if (!MakeSureFolderPathExists(folder))
        return false;
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entry);
    return file.commit();
}
