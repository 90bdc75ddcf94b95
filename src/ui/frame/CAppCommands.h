#pragma once

#include "ui/commands/CommandTarget.h"

#include <functional>

class QMainWindow;

// The application's stop on the command route, after the frame: About, Exit, Print
// Setup, and help when no frame handled it.
class CAppCommands final : public CommandTarget
{
public:
    CAppCommands(QMainWindow& mainWindow, std::function<void()> openHelpPage);

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;

private:
    QMainWindow& m_mainWindow;
    std::function<void()> m_openHelpPage;
};
