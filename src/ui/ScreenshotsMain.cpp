// Draws the main window on each tab, the About box and the settings sheet into PNG
// files, offscreen, in English and in Chinese: lanvey_screenshots DIR. The scan view gets a probe
// that answers nothing and no scan is started, so nothing goes on the network.

#include "CAboutDlg.h"
#include "CLanveyView.h"
#include "CMainFrame.h"
#include "CSettingSheet.h"
#include "HostProbe.h"
#include "LangString.h"
#include "LangStringSource.h"
#include "LanguageModule.h"
#include "LanveyApp.h"
#include "LanveyDoc.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
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
    // Once in English, once with the Chinese language module the build puts beside us.
    for (const QString& language : {QStringLiteral("en_us"), QStringLiteral("zh_cn")}) {
        CLanguageModule module;
        QString prefix;
        if (language != QLatin1String("en_us")) {
            if (module.Load(QCoreApplication::applicationDirPath() + u'/', language,
                            QString::fromLatin1(kProductVersion)) !=
                CLanguageModule::Status::Loaded) {
                std::fprintf(stderr, "lanvey_screenshots: no usable %s module\n",
                             qPrintable(language));
                ok = false;
                continue;
            }
            SetLangStringSource(module.Strings());
            prefix = language + u'_';
        }
        CMainFrame frame(doc, env);
        frame.resize(1280, 760);
        frame.SetStatusPane1(FormatLangString(144, QStringLiteral("Found %d_HOSTS% hosts."),
                                              {doc.GetScanRecordCount()}));
        ok &= Grab(frame, dir, prefix + QStringLiteral("main_scan.png"));
        // Every menu of the menu bar, opened, one picture each.
        int menuIndex = 0;
        for (QAction* title : frame.menuBar()->actions()) {
            if (QMenu* menu = title->menu()) {
                menu->ensurePolished();
                menu->adjustSize();
                const QString name = prefix + QStringLiteral("menu_%1.png").arg(++menuIndex);
                const QString path = dir.filePath(name);
                if (!menu->grab().save(path)) {
                    std::fprintf(stderr, "lanvey_screenshots: cannot write %s\n", qPrintable(path));
                    ok = false;
                } else {
                    std::printf("%s\n", qPrintable(path));
                }
            }
        }
        frame.TabView()->SetCurSel(CLanveyView::kDatabaseTab);
        ok &= Grab(frame, dir, prefix + QStringLiteral("main_database.png"));

        CAboutDlg about(&frame);
        ok &= Grab(about, dir, prefix + QStringLiteral("about.png"));

        CSettingSheet sheet(FormatLangString(140, QStringLiteral("Setting")), 0, &frame);
        ok &= Grab(sheet, dir, prefix + QStringLiteral("settings.png"));
        SetLangStringSource(nullptr);
    }
    return ok ? 0 : 1;
}
