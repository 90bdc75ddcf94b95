#pragma once

#include <functional>
#include <memory>

class CLanveyApp;
class CLanveyDoc;

// What start-up needs of the main window, without knowing its widgets: a later instance
// asks it to come forward, the uninstaller asks it to close.
class LanveyMainWindow
{
public:
    virtual ~LanveyMainWindow() = default;
    // Show normally and bring to the front (a second start of the program).
    virtual void ShowNormalAndActivate() = 0;
    // The uninstaller's close request (message 0x404): the frame's close handling, which
    // cancels a running scan and saves the layout and the window placement.
    virtual void CloseFromUninstaller() = 0;
};

// Creates the document's main window (frame, tabbed view, both lists) and shows it.
// Returns null when it cannot be created; start-up then ends the program.
using MainWindowFactory =
    std::function<std::unique_ptr<LanveyMainWindow>(CLanveyApp& app, CLanveyDoc& doc)>;
