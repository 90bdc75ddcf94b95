#pragma once

#include <QString>

// The program's entry in the desktop's application list: a desktop entry
// "lanvey.desktop" in the user's applications folder (by default the standard one).
// `bRegister` non-zero writes it for `programPath` under the display name `name`, zero
// removes it. Returns false when the entry cannot be written or removed.
bool RegisterAppPath(const QString& name, const QString& programPath, int bRegister,
                     const QString& applicationsFolder = {});
