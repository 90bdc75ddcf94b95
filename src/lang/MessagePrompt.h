#pragma once

#include <QString>
#include <memory>

// Where the core shows a message box or asks the user: the GUI answers with a message
// box, the command-line scanner prints, tests answer from a script. Nothing below the
// user interface shows a dialog itself.

enum class PromptIcon { None, Error, Warning, Information, Question };
// OpenFileFolder: "Open File", "Open Folder" and "Close", answered Yes, No and Cancel.
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, OpenFileFolder };
enum class PromptAnswer { Ok, Cancel, Yes, No };

class MessagePrompt
{
public:
    virtual ~MessagePrompt() = default;
    virtual PromptAnswer Ask(const QString& text, PromptButtons buttons, PromptIcon icon) = 0;
};

// The process-wide prompt. Until one is set, messages are dropped and each question
// gets its first button's answer (Ok or Yes).
MessagePrompt& CurrentMessagePrompt();
void SetMessagePrompt(std::shared_ptr<MessagePrompt> prompt);

// Shorthand for an error box with an OK button.
inline void ShowErrorMessage(const QString& text)
{
    CurrentMessagePrompt().Ask(text, PromptButtons::Ok, PromptIcon::Error);
}
