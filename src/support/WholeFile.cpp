#include "support/WholeFile.h"

#include "lang/LangString.h"

#include <QSaveFile>

namespace
{

// What failed, in the user's language where the user can do something about it.
QString WriteFailure(const QSaveFile& file)
{
    if (file.error() == QFileDevice::ResourceError)
        return FormatLangStringA(61974, "the disk is full");
    return file.errorString();
}

} // namespace

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    // Unbuffered, so that each write says how far it got and why it stopped: a buffered
    // one fails only at the commit, which keeps no reason ("Unknown error").
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qsizetype done = 0; written && done < bytes.size();) {
        const qint64 wrote = file.write(bytes.constData() + done, bytes.size() - done);
        written = wrote > 0;
        done += written ? qsizetype(wrote) : 0;
    }
    // The commit's own failure (the rename) has a reason of its own; a write's must be
    // kept before the save file forgets it.
    QString reason = written ? QString() : WriteFailure(file);
    if (written && file.commit())
        return true;
    if (reason.isEmpty())
        reason = WriteFailure(file);
    if (error)
        *error = reason;
    return false;
}
