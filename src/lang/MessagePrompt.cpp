#include "lang/MessagePrompt.h"

#include <mutex>

namespace
{

class SilentPrompt final : public MessagePrompt
{
public:
    PromptAnswer Ask(const QString&, PromptButtons buttons, PromptIcon) override
    {
        switch (buttons) {
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptAnswer::Yes;
        case PromptButtons::OpenFileFolder:
            return PromptAnswer::Cancel;
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
            break;
        }
        return PromptAnswer::Ok;
    }
};

std::mutex g_promptMutex;
std::shared_ptr<MessagePrompt> g_prompt;

} // namespace

MessagePrompt& CurrentMessagePrompt()
{
    static SilentPrompt silent;
    std::lock_guard lock(g_promptMutex);
    return g_prompt ? *g_prompt : silent;
}

void SetMessagePrompt(std::shared_ptr<MessagePrompt> prompt)
{
    std::lock_guard lock(g_promptMutex);
    g_prompt = std::move(prompt);
}
