#pragma once

#include <QString>

// Creates `folder` and every missing parent. Returns 0 when it cannot (or `folder` is
// empty), non-zero when the folder exists afterwards.
int MakeSureFolderPathExists(const QString& folder);
