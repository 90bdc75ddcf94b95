// A first instance in a process of its own, for the start-up tests that need two real
// processes: the sandbox of StartupTestUtil.h below the folder given first, message
// boxes that stay "on screen" (the event loop turning) for --box-ms milliseconds, and a
// main window that reports on standard output what start-up asks of it, one word a line:
// "box <text>", "window", "shown", "closed", "exit".
//
//   startup_instance_child <sandbox folder> [--box-ms N]

#include "StartupTestUtil.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace
{

void Say(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

class BoxThatStaysOpen final : public MessagePrompt
{
public:
    explicit BoxThatStaysOpen(int ms) : m_ms(ms) {}
    PromptAnswer Ask(const QString& text, PromptButtons, PromptIcon) override
    {
        Say(QStringLiteral("box ") + QString(text).replace(u'\n', u' '));
        // A modal box runs an event loop of its own until it is answered.
        QEventLoop loop;
        QTimer::singleShot(m_ms, &loop, &QEventLoop::quit);
        loop.exec();
        return PromptAnswer::Ok;
    }

private:
    int m_ms;
};

class ReportingWindow final : public LanveyMainWindow
{
public:
    ReportingWindow() { Say(QStringLiteral("window")); }
    void ShowNormalAndActivate() override { Say(QStringLiteral("shown")); }
    void CloseFromUninstaller() override
    {
        Say(QStringLiteral("closed"));
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2)
        return 2;
    int boxMs = 0;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--box-ms")); at > 0)
        boxMs = arguments.value(at + 1).toInt();

    SetMessagePrompt(std::make_shared<BoxThatStaysOpen>(boxMs));
    int exitCode = 0;
    {
        CLanveyApp app(SandboxOptions(arguments[1]));
        const MainWindowFactory factory = [](CLanveyApp&, CLanveyDoc&) {
            return std::make_unique<ReportingWindow>();
        };
        if (app.InitInstance({arguments[0]}, factory) && app.GetMainWindow())
            QCoreApplication::exec();
        exitCode = app.ExitInstance();
    }
    SetMessagePrompt(nullptr);
    Say(QStringLiteral("exit"));
    return exitCode;
}
