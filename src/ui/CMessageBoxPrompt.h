#pragma once

#include "lang/MessagePrompt.h"

#include <memory>

// A prompt that shows a modal message box over the active window, titled with the
// application's name.
std::shared_ptr<MessagePrompt> MakeMessageBoxPrompt();
