#pragma once

#include <QString>

// The windowed program's database file, which the command-line tools use unless told
// otherwise.
QString DefaultDatabasePath();
