#pragma once

#include "nametable/AnalyzerAccess.h"
#include "support/LocalAdapters.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class HostProbe;
class QWidget;

// What the main frame takes from the application around it. The program fills it from
// the application object; tests give stand-ins (a probe that never touches the network,
// fixed adapter lists, a recorder for opened addresses).
struct FrameEnvironment {
    // The probe the scan view's job uses; must be set.
    std::shared_ptr<HostProbe> probe;
    // The local adapters for the target box.
    AdapterQuery adapters = QueryLocalAdapters;
    // Opens a web page or a file with the desktop's handler; false when nothing could.
    std::function<bool(const QUrl&)> openUrl;
    // The update component's DoUpdate(parent, automatic); empty when there is none.
    std::function<void(QWidget* parent, int automatic)> checkForUpdate;
    bool autoCheckUpdate = false;
    QString language = QStringLiteral("en_us");
    // The local help file, empty when there is none (help then opens the web page).
    QString helpFile;
    // The analyzer's registration (its language is the one above).
    AnalyzerAccess analyzer;
    // The lanvey-scan a watch's sweeps run; empty: the one beside this program.
    QString scanProgram;
};
