#include "app/LanveyApp.h"
#include "ui/WindowedStartup.h"
#include "records/LanveyDoc.h"
#include "scan/HostProbe.h"
#include "app/NVUpdate.h"
#include "ui/frame/CMainFrame.h"

#include <QDesktopServices>
#include <memory>

int main(int argc, char** argv)
{
    const MainWindowFactory factory = [](CLanveyApp& app,
                                         CLanveyDoc& doc) -> std::unique_ptr<LanveyMainWindow> {
        FrameEnvironment env;
        env.probe = std::shared_ptr<HostProbe>(CreateSystemHostProbe());
        env.adapters = QueryLocalAdapters;
        env.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
        env.language = app.m_strLanguage;
        env.autoCheckUpdate = app.m_bAutoCheckUpdate;
        if (app.m_bHelpFileExists)
            env.helpFile = app.m_strHelpFile;
        env.analyzer.installPath = app.m_strAnalyzerInstallPath;
        env.analyzer.version = app.m_strAnalyzerVersion;
        env.checkForUpdate = [](QWidget* parent, int automatic) {
            if (CLanveyApp* current = CLanveyApp::Instance(); current && current->m_pUpdate)
                current->m_pUpdate->DoUpdate(parent, automatic, QString());
        };
        auto frame = std::make_unique<CMainFrame>(doc, std::move(env));
        frame->RestorePlacementAndShow();
        return frame;
    };
    return RunLanveyApplication(argc, argv, factory);
}
