#pragma once

#include <QString>

// Where an installed copy keeps what it loads. The executables sit in <prefix>/bin, and
// everything the program finds through its program folder (the language modules, the
// help files, the settings file, the raw-socket helper) in <prefix>/lib/lanvey. In the
// build tree all of it sits beside the executables.
inline constexpr char kInstalledProgramFolder[] = "../lib/lanvey";

// The program folder of an installed copy whose executable is `programFile`:
// "<folder of programFile>/../lib/lanvey/", cleaned and ending with '/'. Empty when that
// folder does not exist, which is the build tree's case (the executable's own folder is
// then the program folder).
QString InstalledProgramFolder(const QString& programFile);
