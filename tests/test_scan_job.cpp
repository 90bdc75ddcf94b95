#include "RecordTestUtil.h"
#include "ScanTestUtil.h"
#include "ScriptedPrompt.h"
#include "TestPrinters.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "scan/ArpConflicts.h"
#include "scan/ScanJob.h"
#include "scan/ScanJobTesting.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <map>
#include <set>
#include <thread>

namespace
{

quint32 HostOrder(const char* dotted)
{
    return IpToHostOrder(IpOf(dotted));
}

class ScanJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A paused gate left behind would turn the next start into a resume.
        g_hPauseScanEvent.Set();
        g_scanThreadCreateLimitForTests = -1;
    }
    void TearDown() override
    {
        g_scanThreadCreateLimitForTests = -1;
        gate.Open(); // a failed test must not leave workers held while the job waits
    }

    // Makes the probe and the job for addresses from `base` over `span`.
    void Make(const char* base, size_t span)
    {
        probe = std::make_unique<StandInProbe>(HostOrder(base), span);
        job = std::make_unique<CScanJob>(doc, *probe, sink, view);
    }

    // Starts a scan whose workers stop inside the probe, each with its first address in
    // hand, until the test opens the gate.
    void StartHeld(const char* target, int threads, int held)
    {
        probe->beforeAnswer = [this](quint32) { gate.Hold(); };
        ASSERT_EQ(job->Start(QString::fromLatin1(target), quint32(threads)),
                  ScanStartResult::Started);
        if (held > 0) {
            ASSERT_TRUE(gate.WaitForHeld(held));
        }
    }

    std::set<quint32> StoredAddresses()
    {
        std::lock_guard guard(g_recordLock);
        std::set<quint32> addresses;
        for (int i = 0; i < doc.GetScanRecordCount(); ++i)
            addresses.insert(IpToHostOrder(doc.GetScanRecord(i)->ip));
        return addresses;
    }

    ScopedScriptedPrompt prompt;
    CLanveyDoc doc;
    QueuedSink sink;
    RecordingView view;
    ProbeGate gate;
    std::unique_ptr<StandInProbe> probe;
    std::unique_ptr<CScanJob> job; // destroyed first: it waits for its workers
};

TEST_F(ScanJobTest, EveryAddressProbedOnceEveryHostStoredOnceCompletionOnce)
{
    Make("10.0.0.0", 65536);
    probe->answers = [](quint32 address) { return address % 7 == 3; };

    ASSERT_EQ(job->Start(QStringLiteral("10.0.0.0/16"), 100), ScanStartResult::Started);
    EXPECT_TRUE(view.timerRunning);
    EXPECT_EQ(g_nScanThreads, 100);
    const PumpResult pumped = PumpUntilComplete(*job, sink);

    EXPECT_EQ(pumped.completions, 1);
    EXPECT_FALSE(pumped.hostAddedAfterCompletion);
    EXPECT_EQ(pumped.workersDone, 100);
    EXPECT_EQ(std::set<int>(pumped.slotsDone.begin(), pumped.slotsDone.end()).size(), 100u);

    const quint32 base = HostOrder("10.0.0.0");
    int wrongCounts = 0;
    std::set<quint32> expected;
    for (quint32 a = base; a < base + 65536; ++a) {
        wrongCounts += probe->CallsFor(a) != 1;
        if (a % 7 == 3)
            expected.insert(a);
    }
    EXPECT_EQ(wrongCounts, 0);
    EXPECT_EQ(probe->outside.load(), 0);
    EXPECT_EQ(probe->netbiosQueries.load(), int(expected.size()));

    EXPECT_EQ(doc.GetScanRecordCount(), int(expected.size())); // no host twice
    EXPECT_EQ(StoredAddresses(), expected);
    EXPECT_EQ(pumped.hostsAdded, int(expected.size()));
    EXPECT_EQ(view.rowCount, int(expected.size()));

    const HostRecord* record = doc.GetScanRecord(0);
    EXPECT_EQ(record->resolved, 1);
    EXPECT_EQ(record->hostName, QStringLiteral("H%1").arg(IpToHostOrder(record->ip)));
    EXPECT_EQ(record->workgroup, QStringLiteral("WG"));
    EXPECT_EQ(record->mac & kMacTopBits, kMacTopBits);

    EXPECT_FALSE(job->IsScanning());
    EXPECT_FALSE(view.timerRunning);
    EXPECT_EQ(view.statusTexts.last(), QStringLiteral("Found %1 hosts.").arg(expected.size()));
    EXPECT_EQ(probe->scansStarted.load(), 1);
    EXPECT_EQ(probe->scansEnded.load(), 1);
    EXPECT_FALSE(AnyScanThreadSlotInUse());
}

TEST_F(ScanJobTest, ThreadsSettingIsClampedToOneThroughAHundred)
{
    EXPECT_EQ(ScanThreadCount(150), 100);
    EXPECT_EQ(ScanThreadCount(100), 100);
    EXPECT_EQ(ScanThreadCount(quint32(-5)), 100); // a negative stored value, read unsigned
    EXPECT_EQ(ScanThreadCount(20), 20);
    EXPECT_EQ(ScanThreadCount(0), 1);

    Make("198.18.0.0", 256);
    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.0/24"), 150), ScanStartResult::Started);
    PumpResult pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.workersDone, 100);
    EXPECT_EQ(pumped.completions, 1);

    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.0/24"), 0), ScanStartResult::Started);
    pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.workersDone, 1);
    EXPECT_EQ(pumped.slotsDone, std::vector<int>{0});
    EXPECT_EQ(pumped.completions, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 256); // the second start cleared the first scan's list
}

TEST_F(ScanJobTest, MoreWorkersThanAddresses)
{
    Make("198.18.0.10", 3);
    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.10-198.18.0.12"), 20), ScanStartResult::Started);
    const PumpResult pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.workersDone, 20);
    EXPECT_EQ(pumped.completions, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 3);
    for (const char* a : {"198.18.0.10", "198.18.0.11", "198.18.0.12"})
        EXPECT_EQ(probe->CallsFor(HostOrder(a)), 1) << a;
}

TEST_F(ScanJobTest, NoAnsweringHostCompletesWithNothing)
{
    Make("198.18.0.0", 256);
    probe->answers = [](quint32) { return false; };
    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.0/24"), 20), ScanStartResult::Started);
    const PumpResult pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.completions, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 0);
    EXPECT_EQ(probe->netbiosQueries.load(), 0);
    EXPECT_EQ(view.statusTexts.last(), QStringLiteral("Found 0 hosts."));
}

TEST_F(ScanJobTest, PauseHoldsStoresAndResumeGoesOn)
{
    Make("198.18.0.1", 20);
    ASSERT_NO_FATAL_FAILURE(StartHeld("198.18.0.1-198.18.0.20", 4, 4));
    EXPECT_TRUE(job->CanPause());
    job->Pause();
    EXPECT_TRUE(job->IsPaused());
    EXPECT_FALSE(view.timerRunning);
    EXPECT_FALSE(job->CanPause());
    EXPECT_TRUE(job->CanStart()); // as resume
    EXPECT_TRUE(job->CanStop());
    EXPECT_EQ(view.statusTexts.last(),
              QStringLiteral("Scanning is paused.16% (3/19) - 198.18.0.5"));

    gate.Open();
    // The four hosts in hand wait at the gate: nothing is stored.
    QueuedSink::Event event;
    EXPECT_FALSE(sink.Pop(&event, 300));
    EXPECT_EQ(doc.GetScanRecordCount(), 0);

    EXPECT_EQ(job->Start(std::nullopt), ScanStartResult::Resumed);
    EXPECT_FALSE(job->IsPaused());
    EXPECT_TRUE(view.timerRunning);
    const PumpResult pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.completions, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 20); // the resume did not clear the list
}

TEST_F(ScanJobTest, AScanThatEndsWhilePausedLeavesTheJobIdleForANewStart)
{
    // No host answers, so no worker ever waits at the gate: Pause while they are in the
    // probe, and the last one ends with the scan paused.
    Make("198.18.0.1", 8);
    probe->answers = [](quint32) { return false; };
    ASSERT_NO_FATAL_FAILURE(StartHeld("198.18.0.1-198.18.0.8", 2, 2));
    job->Pause();
    gate.Open();
    EXPECT_EQ(PumpUntilComplete(*job, sink).completions, 1);
    EXPECT_FALSE(job->IsPaused());
    EXPECT_FALSE(job->IsScanning());
    EXPECT_TRUE(g_hPauseScanEvent.IsSet());
    EXPECT_EQ(view.statusTexts.last(), QStringLiteral("Found 0 hosts."));

    // The next Start is a scan of its own, whose workers run.
    probe->beforeAnswer = nullptr;
    probe->answers = [](quint32) { return true; };
    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.1-198.18.0.8"), 2), ScanStartResult::Started);
    EXPECT_EQ(PumpUntilComplete(*job, sink).completions, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 8);
}

TEST_F(ScanJobTest, TheUpcomingAddressesNeverWaitForTheRecordLock)
{
    // The UI thread may hold g_recordLock in a dialog's event loop while the scan ends
    // and the probe's pacing thread, which asks for the upcoming addresses, is joined.
    Make("198.18.0.1", 20);
    ASSERT_NO_FATAL_FAILURE(StartHeld("198.18.0.1-198.18.0.20", 1, 1));
    std::future<std::optional<UpcomingAddresses>> asked;
    {
        std::lock_guard guard(g_recordLock);
        asked = std::async(std::launch::async, [] { return UpcomingScanAddresses(); });
        ASSERT_EQ(asked.wait_for(std::chrono::seconds(2)), std::future_status::ready)
            << "the pacing thread waited for the record lock";
    }
    const std::optional<UpcomingAddresses> upcoming = asked.get();
    ASSERT_TRUE(upcoming);
    EXPECT_EQ(upcoming->next, HostOrder("198.18.0.2"));
    EXPECT_EQ(upcoming->last, HostOrder("198.18.0.20"));
}

TEST_F(ScanJobTest, ARetiredWorkerEndingLateNeitherWaitsForNorFeedsTheNextScan)
{
    Make("198.18.0.1", 20);
    ProbeGate first, second;
    const quint32 one = HostOrder("198.18.0.1"), two = HostOrder("198.18.0.2");
    probe->beforeAnswer = [&](quint32 address) {
        if (address == one)
            first.Hold();
        else if (address == two)
            second.Hold();
        else
            gate.Hold(); // the next scan's workers
    };
    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.1-198.18.0.2"), 2), ScanStartResult::Started);
    ASSERT_TRUE(first.WaitForHeld(1) && second.WaitForHeld(1));
    // Both workers are given up while they run (the window closes); the end of the first
    // completes the scan.
    job->CloseRequest();
    first.Open();
    EXPECT_EQ(PumpUntilComplete(*job, sink).completions, 1);

    // The next scan takes both slots while the worker of .2 is still inside the probe.
    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.11-198.18.0.12"), 2), ScanStartResult::Started);
    ASSERT_TRUE(gate.WaitForHeld(2));
    second.Open();
    QueuedSink::Event event;
    ASSERT_TRUE(sink.Pop(&event, 5000));
    ASSERT_TRUE(event.workerDone) << "the old worker stored its host in the new scan";
    // Its end must not wait for the new worker in the same slot, held until the gate opens
    // (which a watchdog does after 3 s, so that a failure does not hang).
    std::atomic<bool> handled{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !handled; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gate.Open();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(job->OnWorkerDone(event.slot));
    handled = true;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2))
        << "joined the next scan's worker";
    watchdog.join();

    EXPECT_EQ(PumpUntilComplete(*job, sink).completions, 1);
    EXPECT_EQ(StoredAddresses(),
              (std::set<quint32>{HostOrder("198.18.0.11"), HostOrder("198.18.0.12")}));
}

TEST_F(ScanJobTest, StopWhilePausedStoresTheHostsInHandThenCompletes)
{
    Make("198.18.0.1", 20);
    ASSERT_NO_FATAL_FAILURE(StartHeld("198.18.0.1-198.18.0.20", 4, 4));
    job->Pause();
    gate.Open();
    job->Stop();
    EXPECT_EQ(view.statusTexts.last(), QStringLiteral("Scanning is stopping, please wait..."));
    EXPECT_FALSE(job->CanPause());
    EXPECT_FALSE(job->CanStart());
    EXPECT_TRUE(job->CanStop());

    const PumpResult pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.completions, 1);
    EXPECT_EQ(StoredAddresses(),
              (std::set<quint32>{HostOrder("198.18.0.1"), HostOrder("198.18.0.2"),
                                 HostOrder("198.18.0.3"), HostOrder("198.18.0.4")}));
    EXPECT_EQ(view.statusTexts.last(), QStringLiteral("Found 4 hosts."));
    EXPECT_FALSE(job->CanStop());
    EXPECT_TRUE(job->CanStart());
}

TEST_F(ScanJobTest, ShutdownWhilePausedEndsTheWorkers)
{
    Make("198.18.0.1", 20);
    ASSERT_NO_FATAL_FAILURE(StartHeld("198.18.0.1-198.18.0.20", 4, 4));
    job->Pause();
    gate.Open();

    // The document's clean-up wakes and cancels them, waits and frees every record.
    doc.DeleteContents();
    EXPECT_FALSE(AnyScanThreadSlotInUse());
    EXPECT_EQ(doc.GetScanRecordCount(), 0);
    // Each of them said it was done; none of them touches the list any more.
    const PumpResult pumped = PumpUntilComplete(*job, sink, 200);
    EXPECT_EQ(pumped.workersDone, 4);
    EXPECT_EQ(doc.GetScanRecordCount(), 0);
}

TEST_F(ScanJobTest, CloseRequestThenDestroyStillWaitsForRunningWorkers)
{
    Make("198.18.0.1", 20);
    std::atomic<int> finished{0};
    probe->beforeAnswer = [&](quint32) {
        gate.Hold();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished.fetch_add(1);
    };
    ASSERT_EQ(job->Start(QStringLiteral("198.18.0.1-198.18.0.20"), 4), ScanStartResult::Started);
    ASSERT_TRUE(gate.WaitForHeld(4));

    // Closing gives up the slots while the workers still run ...
    job->CloseRequest();
    EXPECT_EQ(probe->scansStopping.load(), 1);
    EXPECT_FALSE(AnyScanThreadSlotInUse());
    gate.Open();
    // ... yet the destruction that follows waits for them.
    EXPECT_TRUE(job->ShutdownForDestroy());
    EXPECT_EQ(finished.load(), 4);
}

TEST_F(ScanJobTest, StopWhileRunningCompletesOnce)
{
    Make("10.0.0.0", 65536);
    ASSERT_NO_FATAL_FAILURE(StartHeld("10.0.0.0/16", 20, 20));
    job->Stop();
    EXPECT_FALSE(view.timerRunning);
    // The probe is told at once, so that no worker waits out a verdict's deadline.
    EXPECT_EQ(probe->scansStopping.load(), 1);
    gate.Open();
    const PumpResult pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.completions, 1);
    EXPECT_EQ(pumped.workersDone, 20);
    EXPECT_EQ(doc.GetScanRecordCount(), 20); // the addresses in hand; no new ones taken
}

TEST_F(ScanJobTest, InvalidOrMissingTargetAbandonsTheStartAfterClearing)
{
    Make("198.18.0.0", 256);
    doc.AppendScanRecord(Host("198.18.0.9", "02:00:00:00:00:09"));
    view.rowCount = 1;

    EXPECT_EQ(job->Start(QStringLiteral("198.18.0.0/33")), ScanStartResult::Abandoned);
    EXPECT_EQ(prompt->Texts(), QStringList{QStringLiteral("Invalid MASK addresses!")});
    EXPECT_EQ(doc.GetScanRecordCount(), 0);
    EXPECT_EQ(view.rowCount, 0);
    EXPECT_FALSE(job->IsScanning());
    EXPECT_FALSE(view.timerRunning);
    EXPECT_FALSE(AnyScanThreadSlotInUse());

    // No box (or no entries): abandoned without a word. An empty text is parsed.
    EXPECT_EQ(job->Start(std::nullopt), ScanStartResult::Abandoned);
    EXPECT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(job->Start(QString()), ScanStartResult::Abandoned);
    EXPECT_EQ(prompt->Texts().last(), QStringLiteral("Invalid IP address!"));
    EXPECT_EQ(probe->scansStarted.load(), 0);
}

TEST_F(ScanJobTest, AnInvalidTargetIsShownWithTheRecordLockFree)
{
    Make("198.18.0.0", 256);
    bool lockFree = false;
    prompt->onAsk = [&] {
        // Another thread, since the lock is recursive.
        std::thread([&] {
            lockFree = g_recordLock.try_lock();
            if (lockFree)
                g_recordLock.unlock();
        }).join();
    };
    EXPECT_EQ(job->Start(QStringLiteral("300.1.1.1")), ScanStartResult::Abandoned);
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
    EXPECT_TRUE(lockFree);
}

TEST_F(ScanJobTest, ThreadCreationFailureLeavesTheCreatedWorkersToFinish)
{
    Make("198.18.0.0", 256);
    g_scanThreadCreateLimitForTests = 3;
    EXPECT_EQ(job->Start(QStringLiteral("198.18.0.0/24"), 20), ScanStartResult::ThreadFailure);
    EXPECT_EQ(prompt->Texts(),
              QStringList{QStringLiteral("Fatal error: can't create work thread!")});
    EXPECT_FALSE(view.timerRunning);
    const PumpResult pumped = PumpUntilComplete(*job, sink);
    EXPECT_EQ(pumped.workersDone, 3);
    EXPECT_EQ(pumped.completions, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 256);

    // Not even one worker: the scan must not be left running with nobody to end it.
    g_scanThreadCreateLimitForTests = 0;
    EXPECT_EQ(job->Start(QStringLiteral("198.18.0.0/24"), 20), ScanStartResult::ThreadFailure);
    EXPECT_FALSE(job->IsScanning());
    EXPECT_TRUE(job->CanStart());
    EXPECT_EQ(probe->scansEnded.load(), probe->scansStarted.load());
}

TEST_F(ScanJobTest, StartWhileRunningIsRefused)
{
    Make("198.18.0.0", 256);
    ASSERT_NO_FATAL_FAILURE(StartHeld("198.18.0.0/24", 2, 0));
    EXPECT_FALSE(job->CanStart());
    EXPECT_EQ(job->Start(QStringLiteral("198.18.0.0/24"), 2), ScanStartResult::Abandoned);
    gate.Open();
    EXPECT_EQ(PumpUntilComplete(*job, sink).completions, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 256);
}

TEST_F(ScanJobTest, TimerTextsAndTheUpcomingAddresses)
{
    Make("198.18.0.1", 254);
    ASSERT_NO_FATAL_FAILURE(StartHeld("198.18.0.1-198.18.0.254", 2, 2));

    job->OnTimer();
    EXPECT_EQ(view.statusTexts.last(), QStringLiteral("Scanning 0% (1/253) - 198.18.0.3 ..."));
    const auto upcoming = UpcomingScanAddresses();
    ASSERT_TRUE(upcoming.has_value());
    EXPECT_EQ(upcoming->next, HostOrder("198.18.0.3"));
    EXPECT_EQ(upcoming->last, HostOrder("198.18.0.254"));

    job->Stop();
    EXPECT_FALSE(UpcomingScanAddresses().has_value()); // nothing is asked ahead after a stop
    gate.Open();
    EXPECT_EQ(PumpUntilComplete(*job, sink).completions, 1);
}

} // namespace

TEST_F(ScanJobTest, ASecondMacForAnAddressIsKeptWhetherItCameBeforeTheStoreOrAfter)
{
    Make("10.0.0.0", 16);
    const quint64 impostor = kMacTopBits | 0x0000020000AA0000ull;
    auto own = [](quint32 address) { return kMacTopBits | 0x0000020000000000ull | address; };
    const quint32 base = HostOrder("10.0.0.0");
    // One worker, so the addresses go in order: .3's rival answers before .3 is stored,
    // .5's only while .15 is asked, long after .5 was stored. .7 answers twice alike.
    probe->beforeAnswer = [&](quint32 address) {
        if (address == base + 3) {
            g_arpConflicts.Note(address, impostor);
            g_arpConflicts.Note(address, own(address));
        }
        if (address == base + 7) {
            g_arpConflicts.Note(address, own(address));
            g_arpConflicts.Note(address, own(address) & 0xFFFFFFFFFFFFull);
        }
        if (address == base + 15) {
            g_arpConflicts.Note(base + 5, own(base + 5));
            g_arpConflicts.Note(base + 5, impostor);
        }
    };
    ASSERT_EQ(job->Start(QStringLiteral("10.0.0.0/28"), 1), ScanStartResult::Started);
    PumpUntilComplete(*job, sink);

    std::map<quint32, quint64> conflicts;
    for (int i = 0; i < doc.GetScanRecordCount(); ++i) {
        const HostRecord* record = doc.GetScanRecord(i);
        if (record->conflictMac)
            conflicts[IpToHostOrder(record->ip) - base] = record->conflictMac;
    }
    EXPECT_EQ(conflicts, (std::map<quint32, quint64>{{3, impostor}, {5, impostor}}));

    // The next scan starts with a clean table.
    probe->beforeAnswer = nullptr;
    ASSERT_EQ(job->Start(QStringLiteral("10.0.0.0/28"), 1), ScanStartResult::Started);
    PumpUntilComplete(*job, sink);
    for (int i = 0; i < doc.GetScanRecordCount(); ++i)
        EXPECT_EQ(doc.GetScanRecord(i)->conflictMac, 0u) << i;
}

TEST(ArpConflictTable, AStrangerCannotMakeItHoldMoreThanTheScansRangeAndItsCeilings)
{
    ArpConflictTable table;
    const quint32 first = HostOrder("10.0.0.0");
    const quint32 last = first + 0x3FFFFu; // a /14: more addresses than the table keeps
    table.Reset(first, last);
    const quint64 a = kMacTopBits | 0x0A, b = kMacTopBits | 0x0B;

    // Outside the range: nothing is kept, however many replies.
    for (quint32 address : {first - 1, last + 1, 0u, 0xFFFFFFFFu}) {
        table.Note(address, a);
        table.Note(address, b);
        EXPECT_EQ(table.OtherMac(address, a), 0u);
    }
    EXPECT_EQ(table.AddressCount(), 0u);

    // A flood of random senders in the range: addresses and conflicts stop at their caps,
    // and what was kept before the caps still answers.
    table.Note(first, a);
    table.Note(first, b);
    for (quint32 i = 1; i <= last - first; ++i) {
        table.Note(first + i, a);
        table.Note(first + i, b);
    }
    EXPECT_EQ(table.AddressCount(), ArpConflictTable::kMaxAddresses);
    EXPECT_EQ(table.ConflictCount(), ArpConflictTable::kMaxConflicts);
    EXPECT_EQ(table.OtherMac(first, a), b);
    EXPECT_EQ(table.OtherMac(last, a), 0u) << "an address past the cap was kept";

    table.Reset(first, first);
    EXPECT_EQ(table.AddressCount(), 0u);
    EXPECT_EQ(table.OtherMac(first, a), 0u);
}
