// The scan-target box: entries from stand-in adapter lists, "Refresh", and the scan
// that picking an entry or confirming a typed target starts.

#include "test_ui_util.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

namespace
{

const QString kNoAdapterMessage = QStringLiteral(
    "Can't find any valid IP address, ensure you have install TCP/IP protocol and setup a IP "
    "for network adapter.\r\n");

} // namespace

using TargetList = FrameTest;

TEST_F(TargetList, OneAdapterBesideLoopbackGivesItsSubnetAndRefresh)
{
    adapters = {{Adapter("192.168.1.37", "255.255.255.0"), Adapter("127.0.0.1", "255.0.0.0")}};
    EXPECT_EQ(ComboEntries(), (QStringList{"192.168.1.0/255.255.255.0", "Refresh"}));
    EXPECT_EQ(Combo()->currentIndex(), 0);
    EXPECT_EQ(Combo()->currentText(), "192.168.1.0/255.255.255.0");
    EXPECT_EQ(Combo()->itemData(0).toInt(), 0);
    EXPECT_EQ(Combo()->itemData(1).toInt(), 1);
    EXPECT_TRUE(Combo()->isEditable());
    EXPECT_EQ(Combo()->width(), 260);
    auto* label = Combo()->parentWidget()->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Local Subnet");
    EXPECT_TRUE(prompt->shown.empty());
}

TEST_F(TargetList, AddressesAreReducedToUniqueSubnetsInAdapterOrder)
{
    adapters = {{Adapter("192.168.1.37", "255.255.255.0"), Adapter("0.0.0.0", "255.255.255.0"),
                 Adapter("10.1.2.3", "255.255.0.0"), Adapter("192.168.1.200", "255.255.255.0"),
                 Adapter("172.16.9.130", "255.255.255.128")}};
    EXPECT_EQ(ComboEntries(), (QStringList{"192.168.1.0/255.255.255.0", "10.1.0.0/255.255.0.0",
                                           "172.16.9.128/255.255.255.128", "Refresh"}));
    EXPECT_TRUE(prompt->shown.empty());
}

TEST_F(TargetList, WithoutUsableAdapterTheErrorShowsOncePerRefill)
{
    adapters = {{Adapter("0.0.0.0", "0.0.0.0"), Adapter("127.0.0.1", "255.0.0.0")}};
    EXPECT_EQ(ComboEntries(), (QStringList{"No Valid Adapter", "Refresh"}));
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text, kNoAdapterMessage);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);

    adapters = std::vector<AdapterAddress>{};
    PickEntry(1); // "Refresh"
    EXPECT_EQ(ComboEntries(), (QStringList{"No Valid Adapter", "Refresh"}));
    EXPECT_EQ(prompt->shown.size(), 2u);
    EXPECT_FALSE(ScanSession().Job().IsScanning());
}

TEST_F(TargetList, FailedAdapterQueryLeavesTheBoxAsItWas)
{
    Frame();
    adapters = std::nullopt;
    PickEntry(1);
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text, "Trying to query local IP, but an error is found!");
    EXPECT_EQ(ComboEntries(), (QStringList{"192.168.1.0/255.255.255.0", "Refresh"}));
}

TEST_F(TargetList, RefreshQueriesAgainSelectsTheFirstEntryAndStartsNoScan)
{
    Frame();
    EXPECT_EQ(adapterQueries, 1);
    adapters = {{Adapter("10.9.8.7", "255.255.255.0"), Adapter("192.168.1.37", "255.255.255.0")}};
    PickEntry(1);
    EXPECT_EQ(adapterQueries, 2);
    EXPECT_EQ(ComboEntries(),
              (QStringList{"10.9.8.0/255.255.255.0", "192.168.1.0/255.255.255.0", "Refresh"}));
    EXPECT_EQ(Combo()->currentIndex(), 0);
    EXPECT_FALSE(ScanSession().Job().IsScanning());
    EXPECT_EQ(probe->scansStarted.load(), 0);
}

TEST_F(TargetList, PickingASubnetEntryScansItAtOnce)
{
    UseProbe("192.168.1.0", 256);
    probe->answers = [](quint32 address) { return (address & 0xFF) >= 1 && (address & 0xFF) <= 5; };
    Frame();
    PickEntry(0);
    EXPECT_EQ(probe->scansStarted.load(), 1);
    ASSERT_TRUE(WaitForScanEnd());
    // The whole subnet was asked, each address once, nothing beyond it.
    for (quint32 host : {1u, 100u, 254u})
        EXPECT_EQ(probe->CallsFor(HostOrderOf("192.168.1.0") + host), 1) << host;
    EXPECT_EQ(probe->outside.load(), 0);
    EXPECT_EQ(doc.GetScanRecordCount(), 5);
    EXPECT_EQ(Pane1(), "Found 5 hosts.");
}

TEST_F(TargetList, TheWheelAndArrowKeysOverTheClosedBoxStartNothing)
{
    UseProbe("192.168.1.0", 256);
    adapters = {{Adapter("192.168.1.37", "255.255.255.0"), Adapter("10.9.8.7", "255.255.255.0")}};
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    QComboBox* combo = Combo();
    ASSERT_EQ(combo->count(), 3); // two subnets and "Refresh"

    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down); // onto "Refresh"
    QTest::keyClick(combo, Qt::Key_Up);
    QWheelEvent wheel(QPointF(10, 10), combo->mapToGlobal(QPointF(10, 10)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(combo, &wheel);
    QApplication::processEvents();
    EXPECT_EQ(probe->scansStarted.load(), 0);
    EXPECT_FALSE(ScanSession().Job().IsScanning());
    // Landing on "Refresh" did not refill the box either.
    EXPECT_EQ(combo->count(), 3);

    // Picked from the opened list, the same entry scans.
    PickEntry(1);
    EXPECT_EQ(probe->scansStarted.load(), 1);
    ASSERT_TRUE(WaitForScanEnd());
}

TEST_F(TargetList, TypedRangeConfirmedWithEnterScansIt)
{
    UseProbe("10.0.0.0", 64);
    ShowActive();
    QLineEdit* edit = Combo()->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("10.0.0.1-10.0.0.20"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(probe->scansStarted.load(), 1);
    ASSERT_TRUE(WaitForScanEnd());
    for (int host = 1; host <= 20; ++host)
        EXPECT_EQ(probe->CallsFor(HostOrderOf("10.0.0.0") + quint32(host)), 1) << host;
    EXPECT_EQ(probe->CallsFor(HostOrderOf("10.0.0.21")), 0);
    EXPECT_EQ(probe->outside.load(), 0);
    EXPECT_EQ(doc.GetScanRecordCount(), 20);
    EXPECT_EQ(Pane1(), "Found 20 hosts.");
    // The typed text is still what the box says; it was not added as an entry.
    EXPECT_EQ(Combo()->currentText(), "10.0.0.1-10.0.0.20");
    EXPECT_EQ(ComboEntries(), (QStringList{"192.168.1.0/255.255.255.0", "Refresh"}));
}

TEST_F(TargetList, UnparsableTargetShowsTheParserMessageAndStartsNothing)
{
    ShowActive();
    QLineEdit* edit = Combo()->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("10.0.0.300"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(probe->scansStarted.load(), 0);
    EXPECT_FALSE(ScanSession().Job().IsScanning());
    EXPECT_EQ(prompt->shown.size(), 1u) << prompt->Texts().join("|").toStdString();

    // Enter on an empty box does nothing at all.
    edit->clear();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(probe->scansStarted.load(), 0);

    // Start with an empty text while the box has entries is the parser's to judge.
    ASSERT_GT(Combo()->count(), 0);
    Frame().RouteCommand(ID_SCAN_START);
    ASSERT_EQ(prompt->shown.size(), 2u);
    EXPECT_EQ(prompt->shown[1].text, "Invalid IP address!");
    EXPECT_EQ(probe->scansStarted.load(), 0);
}
