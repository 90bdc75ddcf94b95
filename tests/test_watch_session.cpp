// The window's watch between its parts: a sweep that falls due while the window's own
// scan runs waits for it and takes the scan's hosts, what it makes reaches the database
// file's history, and a sweep that cannot run counts nobody as missed. No sweep here goes
// on the network: the one that runs names a program that does not exist.

#include "RecordTestUtil.h"
#include "ScriptedPrompt.h"
#include "app/WatchSession.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

HostRecord Found(const char* ip, const char* mac)
{
    HostRecord host;
    host.ip = IpOf(ip);
    host.mac = MacOf(mac);
    host.hostName = QStringLiteral("HOST");
    return host;
}

} // namespace

TEST(WatchSession, ASweepDueDuringAScanTakesTheScansHostsAndOneThatCannotRunMissesNobody)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    ScopedScriptedPrompt prompt;
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("Database.lvdat"));
    std::vector<std::unique_ptr<DatabaseRecord>> known;
    known.push_back(Known("198.18.0.2", "02:99:99:99:99:02"));
    ASSERT_TRUE(DatabaseFile::Save(path, known));
    CLanveyDoc doc;
    ASSERT_EQ(doc.OpenDatabase(path).status, DatabaseLoadResult::Loaded);

    WatchSession watch(doc, data.filePath(QStringLiteral("no-such-lanvey-scan")));
    QString error;
    EXPECT_FALSE(watch.Start(QStringLiteral("198.18.0.0/33"), WatchSettings(), &error));
    EXPECT_FALSE(error.isEmpty());

    // No adapter here holds the lab's subnet: the watch says it only sweeps.
    watch.ScanStarted();
    ASSERT_TRUE(watch.Start(QStringLiteral("198.18.0.0/24"), WatchSettings(), &error));
    EXPECT_FALSE(watch.ListenNote().isEmpty());
    EXPECT_FALSE(watch.IsSweeping()) << "the sweep waits for the scan";

    // The scan went over 198.18.0.0/23: its hosts inside the watched /24 are the sweep.
    watch.ScanEnded({Found("198.18.0.1", "02:00:00:00:00:01"),
                     Found("198.18.0.2", "02:00:00:00:00:02"),
                     Found("198.18.1.9", "02:00:00:00:01:09")},
                    std::pair{0xC6120000u, 0xC61201FFu});
    ASSERT_EQ(watch.Hosts().size(), 2u);
    EXPECT_EQ(watch.Hosts()[0].host.hostName, QStringLiteral("HOST"));
    std::vector<WatchEventKind> kinds;
    for (const WatchEvent& event : watch.Events())
        kinds.push_back(event.kind);
    // The database knows .2 with another MAC: a change, even in the baseline sweep.
    EXPECT_EQ(kinds, (std::vector{WatchEventKind::MacChanged, WatchEventKind::Baseline}));
    std::vector<DatabaseFile::HistoryPair> pairs;
    std::vector<WatchEvent> stored;
    ASSERT_TRUE(DatabaseFile::ReadHistory(path, &pairs, &stored));
    EXPECT_EQ(stored.size(), 2u) << "the sweep's events are committed with it";

    // The next sweep's program is missing: it fails, says so, and counts no host missed.
    QString status;
    QObject::connect(&watch, &WatchSession::statusText,
                     [&](const QString& text) { status = text; });
    for (int sweep = 0; sweep < WatchHistory::kDefaultGoneAfter; ++sweep) {
        watch.SweepNow();
        QElapsedTimer clock;
        clock.start();
        while (watch.IsSweeping() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(watch.IsSweeping());
    }
    EXPECT_TRUE(status.contains(QStringLiteral("failed"))) << status.toStdString();
    for (const WatchHost& host : watch.Hosts())
        EXPECT_FALSE(host.pair.gone);
    watch.Stop();
    EXPECT_TRUE(prompt->shown.empty());
    doc.DeleteContents();
}
