#pragma once

#include <QByteArray>
#include <QString>

// Writes `bytes` as the whole of the file at `path`: beside it under a temporary name,
// renamed over it once complete, so a failed write leaves no half file and an old file
// stays as it was. On failure `error` (when given) says why.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
