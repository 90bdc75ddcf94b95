#pragma once

#include "nametable/AnalyzerAccess.h"

#include <QString>
#include <QUrl>

// What the list views need of the main frame: the status pane, the command route (so
// that a list's own menus run a command as the menu bar would) and a fresh round of
// command enabling after they changed something it depends on, and the desktop's handler
// for a file the user wants to see, and the way to the analyzer.
class ViewHost
{
public:
    virtual ~ViewHost() = default;
    virtual void SetStatusPane1(const QString& text) = 0;
    // Runs `id` along the route when it is enabled; false when it is disabled or nobody
    // handled it.
    virtual bool RouteCommand(int id) = 0;
    virtual bool IsRouteEnabled(int id) = 0;
    virtual void UpdateCommandUI() = 0;
    virtual void OpenUrl(const QUrl& url) = 0;
    // Where the analyzer is registered, in the interface's language.
    virtual AnalyzerAccess Analyzer() const = 0;
};
