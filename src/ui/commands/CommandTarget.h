#pragma once

#include <optional>

// One stop on a command's route: the active list view, then the frame, then the
// application. The first target that knows a command decides both whether it is enabled
// and what it does, so menus, toolbar buttons and accelerators always agree.
class CommandTarget
{
public:
    virtual ~CommandTarget() = default;
    // True when this target handled the command.
    virtual bool OnCommand(int id) = 0;
    // The command's enabling rule, or nullopt when this target does not handle it.
    virtual std::optional<bool> IsCommandEnabled(int id) = 0;
};
