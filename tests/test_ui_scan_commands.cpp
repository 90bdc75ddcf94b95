// Start, Pause and Stop through the real actions: their enabling in every scan state,
// the target box that follows Start, the keys, and the "Threads" setting a start reads.

#include "test_ui_util.h"
#include "app/ProfileSettings.h"

namespace
{

struct Enabling {
    bool start;
    bool pause;
    bool stop;
};

} // namespace

class UiScanCommands : public FrameTest
{
protected:
    Enabling Commands()
    {
        return {Frame().Action(ID_SCAN_START)->isEnabled(),
                Frame().Action(ID_SCAN_PAUSE)->isEnabled(),
                Frame().Action(ID_SCAN_STOP)->isEnabled()};
    }
    bool BoxEnabled() { return Combo()->parentWidget()->isEnabled(); }
};

#define EXPECT_COMMANDS(startOn, pauseOn, stopOn)                                                  \
    do {                                                                                           \
        const Enabling e = Commands();                                                             \
        EXPECT_EQ(e.start, startOn) << "Start";                                                    \
        EXPECT_EQ(e.pause, pauseOn) << "Pause";                                                    \
        EXPECT_EQ(e.stop, stopOn) << "Stop";                                                       \
    } while (0)

TEST_F(UiScanCommands, EnablingFollowsIdleRunningPausedStoppingAndIdleAgain)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    WriteProfileInt(QStringLiteral("Threads"), 4);

    // Idle.
    EXPECT_COMMANDS(true, false, false);
    EXPECT_TRUE(BoxEnabled());
    Frame().Action(ID_SCAN_PAUSE)->trigger(); // disabled: nothing happens
    EXPECT_TRUE(g_hPauseScanEvent.IsSet());

    // Running.
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(4));
    EXPECT_COMMANDS(false, true, true);
    EXPECT_FALSE(BoxEnabled());
    EXPECT_TRUE(ScanSession().IsProgressTimerActive());

    // Paused: Start resumes.
    Frame().Action(ID_SCAN_PAUSE)->trigger();
    EXPECT_FALSE(g_hPauseScanEvent.IsSet());
    EXPECT_COMMANDS(true, false, true);
    EXPECT_FALSE(ScanSession().IsProgressTimerActive());
    EXPECT_TRUE(Pane1().startsWith("Scanning is paused.")) << Pane1().toStdString();

    Frame().Action(ID_SCAN_START)->trigger();
    EXPECT_TRUE(g_hPauseScanEvent.IsSet());
    EXPECT_TRUE(ScanSession().Job().IsScanning());
    EXPECT_TRUE(ScanSession().IsProgressTimerActive());
    EXPECT_COMMANDS(false, true, true);
    EXPECT_EQ(probe->scansStarted.load(), 1); // a resume, not a second scan

    // Stopping: the workers have not ended yet.
    Frame().Action(ID_SCAN_STOP)->trigger();
    EXPECT_TRUE(g_hCancelScanEvent.IsSet());
    EXPECT_EQ(Pane1(), "Scanning is stopping, please wait...");
    EXPECT_COMMANDS(false, false, true);
    EXPECT_FALSE(BoxEnabled());

    // Idle again once the last worker has ended.
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_COMMANDS(true, false, false);
    EXPECT_TRUE(BoxEnabled());
    EXPECT_EQ(Pane1(), QStringLiteral("Found %1 hosts.").arg(doc.GetScanRecordCount()));
}

TEST_F(UiScanCommands, StopWhilePausedEndsTheScan)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    WriteProfileInt(QStringLiteral("Threads"), 2);
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(2));
    Frame().Action(ID_SCAN_PAUSE)->trigger();
    Frame().Action(ID_SCAN_STOP)->trigger();
    EXPECT_TRUE(g_hPauseScanEvent.IsSet()); // paused workers run on to see the stop
    EXPECT_COMMANDS(false, false, true);
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_COMMANDS(true, false, false);
    EXPECT_TRUE(Pane1().startsWith("Found ")) << Pane1().toStdString();
}

TEST_F(UiScanCommands, FunctionKeysStartPauseAndStop)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    WriteProfileInt(QStringLiteral("Threads"), 2);
    ASSERT_NO_FATAL_FAILURE(ShowActive());

    QTest::keyClick(frame.get(), Qt::Key_F5);
    ASSERT_TRUE(gate.WaitForHeld(2));
    EXPECT_TRUE(ScanSession().Job().IsScanning());
    QTest::keyClick(frame.get(), Qt::Key_F7);
    EXPECT_TRUE(ScanSession().Job().IsPaused());
    QTest::keyClick(frame.get(), Qt::Key_F5);
    EXPECT_FALSE(ScanSession().Job().IsPaused());
    QTest::keyClick(frame.get(), Qt::Key_F8);
    EXPECT_TRUE(g_hCancelScanEvent.IsSet());
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
}

TEST_F(UiScanCommands, AGentleScanSendsAtTheGentleRateAndItsStatusSaysHowLongItTakes)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    WriteProfileInt(QStringLiteral("Threads"), 2);
    WriteProfileInt(QStringLiteral("SendRateMode"), int(SendRateMode::Gentle));
    Combo()->setEditText(QStringLiteral("192.168.1.0/24"));
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(2));
    EXPECT_EQ(probe->sendRate, 10);
    ScanSession().Job().OnTimer();
    EXPECT_TRUE(Pane1().endsWith("Gentle: 10 ARP requests a second, about 51 s in all."))
        << Pane1().toStdString();
    Frame().Action(ID_SCAN_STOP)->trigger();
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());

    // Normal again: the resolver chooses, and the status says nothing of the rate.
    WriteProfileInt(QStringLiteral("SendRateMode"), int(SendRateMode::Normal));
    gate.Reset();
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(2));
    EXPECT_EQ(probe->sendRate, 0);
    ScanSession().Job().OnTimer();
    EXPECT_FALSE(Pane1().contains("Gentle")) << Pane1().toStdString();
    Frame().Action(ID_SCAN_STOP)->trigger();
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
}

TEST_F(UiScanCommands, StartTakesItsWorkerCountFromTheThreadsSetting)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    WriteProfileInt(QStringLiteral("Threads"), 3);
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(3));
    EXPECT_EQ(g_nScanThreads, 3);
    QTest::qWait(100);
    EXPECT_EQ(gate.Waiting(), 3);
    Frame().Action(ID_SCAN_STOP)->trigger();
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());

    // Without a stored value a scan starts 20 workers.
    TestProfile().clear();
    gate.Reset();
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(20));
    EXPECT_EQ(g_nScanThreads, 20);
    Frame().Action(ID_SCAN_STOP)->trigger();
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
}
