#include "records/LanveyDoc.h"
#include "scan/HostProbe.h"
#include "ui/frame/CMainFrame.h"

#include <QApplication>
#include <QDesktopServices>
#include <memory>

#if LANVEY_WINDOWED_STARTUP
#include "app/LanveyApp.h"
#include "app/WindowedStartup.h"
#if __has_include("NVUpdate.h")
#include "support/NVUpdate.h"
#define LANVEY_HAVE_UPDATE 1
#endif
#endif

namespace
{

FrameEnvironment ProgramEnvironment()
{
    FrameEnvironment env;
    env.probe = std::shared_ptr<HostProbe>(CreateSystemHostProbe());
    env.adapters = QueryLocalAdapters;
    env.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return env;
}

} // namespace

#if LANVEY_WINDOWED_STARTUP

int main(int argc, char** argv)
{
    const MainWindowFactory factory = [](CLanveyApp& app,
                                         CLanveyDoc& doc) -> std::unique_ptr<LanveyMainWindow> {
        FrameEnvironment env = ProgramEnvironment();
        env.language = app.m_strLanguage;
        env.autoCheckUpdate = app.m_bAutoCheckUpdate;
        if (app.m_bHelpFileExists)
            env.helpFile = app.m_strHelpFile;
#if LANVEY_HAVE_UPDATE
        env.checkForUpdate = [](QWidget* parent, int automatic) {
            if (CLanveyApp* current = CLanveyApp::Instance(); current && current->m_pUpdate)
                current->m_pUpdate->DoUpdate(parent, automatic, QString());
        };
#endif
        auto frame = std::make_unique<CMainFrame>(doc, std::move(env));
        frame->RestorePlacementAndShow();
        return frame;
    };
    return RunLanveyApplication(argc, argv, factory);
}

#else

// Until the application object's start-up is part of the build: the window alone, with
// no single-instance check, language module or settings file.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Norvane"));
    QApplication::setApplicationName(QStringLiteral("Lanvey"));
    CLanveyDoc doc;
    {
        CMainFrame frame(doc, ProgramEnvironment());
        frame.RestorePlacementAndShow();
        const int result = QApplication::exec();
        doc.DeleteContents();
        return result;
    }
}

#endif
