// What a watching window costs between sweeps: the real main window, offscreen, with the
// system probe, watches a target through the Watch command, waits for the first sweep to
// end, and then measures its own CPU time (user and system, getrusage) over the idle
// seconds that follow, with the watch's next sweep an hour off. One JSON line:
//   {"target": ..., "hosts": N, "idleSeconds": S, "cpuSeconds": C, "cpuPercent": P}
//
// It watches for real, so it runs only in the test LAN's scanner namespace, on a target
// inside 198.18.0.0/15 (bench/watch drives it there).
//
//   lanvey_watch_idle [--target 198.18.0.0/24] [--idle-seconds 300]
//                     [--scan-program PATH-OF-lanvey-scan]

#include "app/ProfileSettings.h"
#include "app/WatchSession.h"
#include "records/LanveyDoc.h"
#include "scan/HostProbe.h"
#include "scan/ScanTarget.h"
#include "support/AddressText.h"
#include "support/LocalAdapters.h"
#include "ui/commands/CommandIds.h"
#include "ui/frame/CMainFrame.h"
#include "ui/frame/CWatchControl.h"

#include <QApplication>
#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace
{

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QString target = QStringLiteral("198.18.0.0/24");
    int idleSeconds = 300;
    QString scanProgram;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--target") && i + 1 < args.size())
            target = args[++i];
        else if (args[i] == QLatin1String("--idle-seconds") && i + 1 < args.size())
            idleSeconds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--scan-program") && i + 1 < args.size())
            scanProgram = args[++i];
        else {
            std::fprintf(stderr, "usage: lanvey_watch_idle [--target T] [--idle-seconds S] [--scan-program P]\n");
            return 2;
        }
    }
    const ParsedScanTarget parsed = ParseScanTarget(NormalizeScanTarget(target));
    const quint64 first = IpToHostOrder(parsed.range.first);
    if (!parsed.Ok() || first < 0xC6120000u || first + parsed.range.count > 0xC613FFFFu) {
        std::fprintf(stderr, "lanvey_watch_idle: %s is not a target inside 198.18.0.0/15\n",
                     qPrintable(target));
        return 2;
    }
    const auto adapters = QueryLocalAdapters();
    const quint32 scanner = GetIpAddress(QStringLiteral("198.18.0.254"));
    if (!adapters || std::none_of(adapters->begin(), adapters->end(),
                                  [&](const AdapterAddress& a) { return a.ip == scanner; })) {
        std::fprintf(stderr, "lanvey_watch_idle: not in the test LAN's scanner namespace; run "
                             "it with lab/lab exec\n");
        return 2;
    }

    // A profile of its own: the next sweep an hour off.
    QTemporaryDir profile;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
    WriteProfileInt(QStringLiteral("WatchInterval"), 60);
    CLanveyDoc doc;
    int exitCode = 0;
    {
        FrameEnvironment env;
        env.probe = std::shared_ptr<HostProbe>(CreateSystemHostProbe());
        env.openUrl = [](const QUrl&) { return true; };
        env.scanProgram = scanProgram;
        CMainFrame frame(doc, env);
        frame.show();
        frame.TargetCombo()->setEditText(target);
        WatchSession& watch = frame.Watch().Session();
        double before = -1;
        QObject::connect(&watch, &WatchSession::changed, &frame, [&] {
            if (before >= 0 || watch.IsSweeping() || watch.Hosts().empty())
                return;
            before = CpuSeconds();
            QTimer::singleShot(idleSeconds * 1000, &frame, [] { QCoreApplication::exit(0); });
        });
        QTimer::singleShot(60000 + idleSeconds * 1000, &frame, [] { QCoreApplication::exit(1); });
        if (!frame.RouteCommand(ID_SCAN_WATCH) || QApplication::exec() != 0 || before < 0) {
            std::fprintf(stderr, "lanvey_watch_idle: the first sweep did not end\n");
            exitCode = 1;
        } else {
            const double used = CpuSeconds() - before;
            std::printf("{\"target\": \"%s\", \"hosts\": %zu, \"idleSeconds\": %d, "
                        "\"cpuSeconds\": %.3f, \"cpuPercent\": %.4f}\n",
                        qPrintable(target), watch.Hosts().size(), idleSeconds, used,
                        100 * used / idleSeconds);
        }
        frame.RouteCommand(ID_SCAN_WATCH);
    }
    doc.DeleteContents();
    return exitCode;
}
