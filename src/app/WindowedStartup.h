#pragma once

// The program's entry on the desktop: the application object around a QApplication,
// with message boxes (ui/CMessageBoxPrompt.h) for the prompt interface.

#include "app/LanveyMainWindow.h"

// Runs the whole program: start-up (creating the main window through `factory` in a
// normal start), the event loop while the main window lives, and the exit. Returns the
// process's exit code.
int RunLanveyApplication(int argc, char** argv, const MainWindowFactory& factory);
