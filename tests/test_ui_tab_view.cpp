// The tabbed lists: the toolbar swap with the tab, the counts in pane 1, the target text
// that survives a visit to the database tab, and the route of commands to the list of
// the selected tab.

#include "test_ui_util.h"
#include "ui/lists/CDBView.h"
#include "ui/lists/CWatchView.h"

#include <QLineEdit>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QWidgetAction>

namespace
{

std::vector<int> StandardIds(CMainFrame& frame)
{
    return BarIds(frame.StandardToolBar());
}

void AddScanRecords(CLanveyDoc& doc, int count)
{
    for (int i = 0; i < count; ++i) {
        auto record = std::make_unique<HostRecord>();
        record->ip = IpFromHostOrder(0xC0A80100u + quint32(i) + 1);
        doc.AppendScanRecord(std::move(record));
    }
}

void AddDatabaseRecords(CLanveyDoc& doc, int count)
{
    for (int i = 0; i < count; ++i) {
        auto record = std::make_unique<DatabaseRecord>();
        record->ip = IpFromHostOrder(0x0A000000u + quint32(i) + 1);
        doc.AppendDatabaseRecord(std::move(record));
    }
}

const std::vector<int> kScanBar = {32786, 0, 32782, 32783, 32784, 32785, 62225, 0,    32787,
                                   32789, 0, 32775, 215,   57634, 32781, 0,     57636};
const std::vector<int> kDatabaseBar = {32773, 32787, 32789, 0,     32774, 215,
                                       57634, 32781, 0,     57636, 0,     32776};

} // namespace

using TabView = FrameTest;

TEST_F(TabView, TabsSwapTheToolbarTheActiveListAndTheCountInPaneOne)
{
    AddScanRecords(doc, 3);
    AddDatabaseRecords(doc, 2);
    CLanveyView* tabs = Frame().TabView();
    QTabWidget* control = tabs->TabControl();
    ASSERT_EQ(control->count(), 3);
    EXPECT_EQ(control->tabText(0), "Scan Network");
    EXPECT_EQ(control->tabText(1), "Database");
    EXPECT_EQ(control->tabText(2), "Watch");
    for (int tab = 0; tab < 3; ++tab)
        EXPECT_FALSE(control->tabIcon(tab).isNull());
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_EQ(tabs->ActiveView(), Frame().ScanView());

    tabs->SetCurSel(CLanveyView::kDatabaseTab);
    EXPECT_EQ(StandardIds(Frame()), kDatabaseBar);
    EXPECT_EQ(Frame().TargetCombo(), nullptr);
    EXPECT_EQ(tabs->ActiveView(), tabs->DatabaseView());
    EXPECT_EQ(Pane1(), "Total 2 hosts.");
    // Commands now reach the database list: Import and Add are its own, the scan
    // commands have no handler on this tab.
    EXPECT_TRUE(Frame().Action(ID_FILE_IMPORT)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_EDIT_ADD)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_SCAN_START)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_FILE_EXPORT_ALL)->isEnabled()); // the list has rows

    tabs->SetCurSel(CLanveyView::kScanTab);
    EXPECT_EQ(StandardIds(Frame()), kScanBar);
    ASSERT_NE(Frame().TargetCombo(), nullptr);
    EXPECT_EQ(tabs->ActiveView(), Frame().ScanView());
    EXPECT_EQ(Pane1(), "Found 3 hosts.");
    EXPECT_FALSE(Frame().Action(ID_FILE_IMPORT)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_SCAN_START)->isEnabled());

    // The Watch tab keeps the target box for what to watch, and its hosts list takes the
    // list commands.
    tabs->SetCurSel(CLanveyView::kWatchTab);
    EXPECT_EQ(StandardIds(Frame()), (std::vector<int>{32786, 0, 32782, 62225, 0, 32787, 32789, 0,
                                                      32775, 57634, 0, 57636}));
    ASSERT_NE(Frame().TargetCombo(), nullptr);
    EXPECT_EQ(tabs->ActiveView(), tabs->WatchView()->HostList());
    EXPECT_TRUE(Frame().Action(ID_SCAN_WATCH)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_SCAN_START)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_EDIT_ADD_TO_DATABASE)->isEnabled()); // nothing selected

    // Hint 100 brings the scan list to the front from any tab; other hints do nothing.
    tabs->SetCurSel(CLanveyView::kDatabaseTab);
    tabs->OnUpdate(7);
    EXPECT_EQ(tabs->GetCurSel(), CLanveyView::kDatabaseTab);
    tabs->OnUpdate(CLanveyView::kHintShowScanTab);
    EXPECT_EQ(tabs->GetCurSel(), CLanveyView::kScanTab);
    EXPECT_EQ(StandardIds(Frame()), kScanBar);
}

TEST_F(TabView, SelectedEntrySurvivesAVisitToTheDatabase)
{
    adapters = {{Adapter("192.168.1.37", "255.255.255.0"), Adapter("10.4.0.9", "255.255.0.0")}};
    Frame();
    Combo()->setCurrentIndex(1);
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    EXPECT_EQ(Frame().SavedTargetText(), "10.4.0.0/255.255.0.0");
    Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
    EXPECT_EQ(ComboEntries(),
              (QStringList{"192.168.1.0/255.255.255.0", "10.4.0.0/255.255.0.0", "Refresh"}));
    EXPECT_EQ(Combo()->currentIndex(), 1);
}

TEST_F(TabView, TypedTargetComesBackAsASelectedEntryBeforeRefresh)
{
    ShowActive();
    QLineEdit* edit = Combo()->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("10.0.0.1-10.0.0.20"));
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
    EXPECT_EQ(ComboEntries(),
              (QStringList{"192.168.1.0/255.255.255.0", "10.0.0.1-10.0.0.20", "Refresh"}));
    EXPECT_EQ(Combo()->currentIndex(), 1);
    EXPECT_EQ(Combo()->currentText(), "10.0.0.1-10.0.0.20");
    // A second visit keeps it once, not twice.
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
    EXPECT_EQ(ComboEntries().count("10.0.0.1-10.0.0.20"), 1);
    EXPECT_EQ(Combo()->currentIndex(), 1);
    EXPECT_EQ(probe->scansStarted.load(), 0);
}

// The lists' own models arrive with the record lists; any model shows the route.
TEST_F(TabView, SelectionInTheDatabaseListDrivesItsRowCommands)
{
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    CDBView* list = Frame().TabView()->DatabaseView();
    QStandardItemModel model(3, 1);
    list->setModel(&model);
    EXPECT_FALSE(Frame().Action(ID_EDIT_DELETE)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_VIEW_PROPERTIES)->isEnabled());

    list->selectRow(1);
    EXPECT_TRUE(Frame().Action(ID_EDIT_DELETE)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_VIEW_PROPERTIES)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_EDIT_COPY)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_NAMETABLE_POPUP)->isEnabled());

    list->selectAll();
    EXPECT_TRUE(Frame().Action(ID_EDIT_DELETE)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_VIEW_PROPERTIES)->isEnabled()); // the editor opens the first

    list->clearSelection();
    EXPECT_FALSE(Frame().Action(ID_EDIT_DELETE)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_EDIT_COPY)->isEnabled());
    list->setModel(nullptr);
}

TEST_F(TabView, ScanListRowsCannotBeDeletedWhileAScanRuns)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    TestProfile().setValue(QStringLiteral("Settings/General/Threads"), 1);
    CScanView& list = ScanView();
    QStandardItemModel model(3, 1);
    list.setModel(&model);
    list.selectRow(0);
    EXPECT_TRUE(Frame().Action(ID_EDIT_DELETE)->isEnabled());

    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(1));
    list.selectAll();
    EXPECT_FALSE(Frame().Action(ID_EDIT_DELETE)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_EDIT_COPY)->isEnabled());

    Frame().Action(ID_SCAN_STOP)->trigger();
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_TRUE(Frame().Action(ID_EDIT_DELETE)->isEnabled());
    list.setModel(nullptr);
}
