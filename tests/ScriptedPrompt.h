#pragma once

#include "lang/MessagePrompt.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

// Records every message the core shows and answers questions from a script (the
// default answer when the script has run out).
class ScriptedPrompt final : public MessagePrompt
{
public:
    struct Shown {
        QString text;
        PromptButtons buttons;
        PromptIcon icon;
    };

    PromptAnswer Ask(const QString& text, PromptButtons buttons, PromptIcon icon) override
    {
        shown.push_back({text, buttons, icon});
        if (onAsk)
            onAsk();
        if (answers.empty())
            return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel
                       ? PromptAnswer::Yes
                       : PromptAnswer::Ok;
        const PromptAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const Shown& s : shown)
            texts << s.text;
        return texts;
    }

    std::deque<PromptAnswer> answers;
    std::vector<Shown> shown;
    // Runs while the message is "on screen", after it was recorded.
    std::function<void()> onAsk;
};

// Installs a fresh scripted prompt for the life of the object.
class ScopedScriptedPrompt
{
public:
    ScopedScriptedPrompt() : m_prompt(std::make_shared<ScriptedPrompt>())
    {
        SetMessagePrompt(m_prompt);
    }
    ~ScopedScriptedPrompt() { SetMessagePrompt(nullptr); }
    ScriptedPrompt* operator->() const { return m_prompt.get(); }
    ScriptedPrompt& operator*() const { return *m_prompt; }

private:
    std::shared_ptr<ScriptedPrompt> m_prompt;
};
