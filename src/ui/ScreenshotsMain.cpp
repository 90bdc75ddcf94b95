// Draws the main window on each tab, the About box and the settings sheet into PNG
// files, offscreen: lanvey_screenshots DIR. The scan view gets a probe that answers
// nothing and no scan is started, so nothing goes on the network.

#include "CAboutDlg.h"
#include "CLanveyView.h"
#include "CMainFrame.h"
#include "CSettingSheet.h"
#include "HostProbe.h"
#include "LangString.h"
#include "LanveyDoc.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

namespace
{

class SilentProbe final : public HostProbe
{
public:
    bool ResolveMacAddress(quint32, quint64*) override { return false; }
    int QueryNetBiosNames(ProbeResult&) override { return 1; }
};

bool Grab(QWidget& widget, const QDir& dir, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    const QString path = dir.filePath(name);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "lanvey_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lanvey_screenshots DIR\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "lanvey_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    // The pictures show a first start: no stored settings of this user are read or written.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());

    CLanveyDoc doc;
    FrameEnvironment env;
    env.probe = std::make_shared<SilentProbe>();
    env.adapters = [] {
        return std::optional<std::vector<AdapterAddress>>(
            {MakeAdapterAddress(QStringLiteral("192.168.1.37"), QStringLiteral("255.255.255.0"))});
    };
    env.openUrl = [](const QUrl&) {};

    bool ok = true;
    {
        CMainFrame frame(doc, env);
        frame.resize(1280, 760);
        frame.SetStatusPane1(FormatLangString(144, QStringLiteral("Found %d_HOSTS% hosts."),
                                              {doc.GetScanRecordCount()}));
        ok &= Grab(frame, dir, QStringLiteral("main_scan.png"));
        frame.TabView()->SetCurSel(CLanveyView::kDatabaseTab);
        ok &= Grab(frame, dir, QStringLiteral("main_database.png"));

        CAboutDlg about(&frame);
        ok &= Grab(about, dir, QStringLiteral("about.png"));

        CSettingSheet sheet(FormatLangString(140, QStringLiteral("Setting")), 0, &frame);
        ok &= Grab(sheet, dir, QStringLiteral("settings.png"));
    }
    return ok ? 0 : 1;
}
