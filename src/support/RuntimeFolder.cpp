#include "support/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr mode_t kPrivateMode = S_IRWXU;

// A folder below which another user could swap what we make: one that is not ours (or
// root's), or that others may write to without the sticky bit.
bool IsSafeParent(const QString& path)
{
    struct stat info {
    };
    if (stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (info.st_uid != geteuid() && info.st_uid != 0)
        return false;
    return (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (info.st_mode & S_ISVTX);
}

} // namespace

bool IsPrivateFolder(const QString& path)
{
    struct stat info {
    };
    return !path.isEmpty() && lstat(QFile::encodeName(path).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 07777) == kPrivateMode;
}

bool MakePrivateFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat info {
    };
    if (lstat(name.constData(), &info) != 0) {
        if (errno != ENOENT)
            return false;
        const QString parent = QFileInfo(path).absolutePath();
        if (parent != path && !QFileInfo::exists(parent) && !QDir().mkpath(parent))
            return false;
        if (mkdir(name.constData(), kPrivateMode) != 0 && errno != EEXIST)
            return false;
        if (lstat(name.constData(), &info) != 0)
            return false;
    }
    // lstat: a link is never taken, wherever it points.
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return false;
    if ((info.st_mode & 07777) != kPrivateMode && chmod(name.constData(), kPrivateMode) != 0)
        return false;
    return IsPrivateFolder(path);
}

QString PrivateRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        // The session's own folder may be reached through a link; what counts is the
        // folder itself.
        struct stat info {
        };
        if (stat(QFile::encodeName(runtime).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == geteuid() && (info.st_mode & 07777) == kPrivateMode)
            return QDir::cleanPath(runtime);
    }

    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache) || !IsSafeParent(cache))
        return {};
    const QString product = cache + QStringLiteral("/Norvane Lanvey");
    const QString run = product + QStringLiteral("/run");
    if (!MakePrivateFolder(product) || !MakePrivateFolder(run))
        return {};
    return run;
}
