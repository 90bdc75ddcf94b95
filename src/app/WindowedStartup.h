#pragma once

// The program's entry on the desktop: the application object around a QApplication,
// with message boxes for the prompt interface.

#include "LanveyMainWindow.h"
#include "MessagePrompt.h"

#include <memory>

// A prompt that shows a modal message box over the active window, titled with the
// application's name.
std::shared_ptr<MessagePrompt> MakeMessageBoxPrompt();

// Runs the whole program: start-up (creating the main window through `factory` in a
// normal start), the event loop while the main window lives, and the exit. Returns the
// process's exit code.
int RunLanveyApplication(int argc, char** argv, const MainWindowFactory& factory);
