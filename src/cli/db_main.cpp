// lanvey-db: the database file on the command line.

#include "cli/DbTool.h"
#include "lang/MessagePrompt.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace
{

// What the document has to say (a commit the file refused) goes to standard error.
class StderrPrompt final : public MessagePrompt
{
public:
    PromptAnswer Ask(const QString& text, PromptButtons buttons, PromptIcon) override
    {
        std::fprintf(stderr, "lanvey-db: %s\n", text.toLocal8Bit().constData());
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel
                   ? PromptAnswer::No
                   : PromptAnswer::Cancel;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    SetMessagePrompt(std::make_shared<StderrPrompt>());
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunDbTool(QCoreApplication::arguments().mid(1), out, err);
}
