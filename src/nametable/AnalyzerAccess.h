#pragma once

#include "nametable/AnalyzerLink.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

// Where the analyzer is installed and how to reach and start it: the registration read at
// start-up, the user-interface language (it picks the program file), and the link's and
// the start's timings.
struct AnalyzerAccess {
    QString installPath; // the install folder with a trailing '/'; empty: not installed
    QString version;     // the registered version text
    QString language;    // the user-interface language code
    QString serverName;  // empty: AnalyzerServerName()
    int deadlineMs = AnalyzerLink::kDeadlineMs;
    int startWaits = 20;
    int startWaitMs = 500;
    // Starts `program` detached, in no particular folder; the result is not looked at.
    // Empty: QProcess::startDetached.
    std::function<void(const QString& program)> start;

    AnalyzerLink Link() const { return AnalyzerLink(serverName, deadlineMs); }
};

// The oldest analyzer build that takes name-table data from us.
inline constexpr int kMinimumAnalyzerBuild = 1128;

// The build number of a version text: what follows its last '.' (the whole text when it
// has none) read as a decimal number: leading white space and a sign are taken, reading
// stops at the first other character, and no digits at all give 0.
int AnalyzerBuildNumber(const QString& version);

// The analyzer's program in its install folder: "quillon" for the Chinese interfaces
// (exactly "zh_cn" or "zh_tw"), else "Tessera"; ".exe" on Windows.
QString AnalyzerProgramFile(const QString& language);

// The analyzer's product page: the Chinese site's for "zh_cn" and "zh_tw".
QUrl AnalyzerWebPage(const QString& language);

// Starts the analyzer's program from its install folder as `access.start` says.
void StartAnalyzer(const AnalyzerAccess& access);
