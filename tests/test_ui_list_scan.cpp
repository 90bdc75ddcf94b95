// The scan list filled by scans over the stand-in probe: rows, texts, icons and colours
// against a prepared database, sorting, Delete, the scan commands with their status
// texts, and batched row updates.

#include "app/ProfileSettings.h"
#include "records/RecordLock.h"
#include "test_ui_list_util.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <set>
#include <thread>

namespace
{

const QString kNewText = QStringLiteral("New IP address and MAC address ");
const QString kMatchedText =
    QStringLiteral("Record already exists, IP address and MAC address completely matched");
const QString kHint = QStringLiteral("(Double-Click here to get details!)");

// The MAC the stand-in probe gives an address (host byte order).
quint64 ProbeMac(quint32 hostOrderIp)
{
    return kMacTopBits | 0x0000020000000000ull | hostOrderIp;
}

} // namespace

class ScanList : public ListTest
{
protected:
    void SetTarget(const char* text) { Combo()->setEditText(QString::fromLatin1(text)); }

    int RowOf(const char* ip)
    {
        const QStringList ips = Column(ScanView(), ScanColIp);
        return static_cast<int>(ips.indexOf(QString::fromLatin1(ip)));
    }
};

TEST_F(ScanList, AScanShowsEachHostComparedWithTheDatabase)
{
    UseProbe("192.168.1.0", 256);
    // The probe is asked with addresses in host byte order.
    probe->answers = [](quint32 ip) {
        const quint32 last = ip & 0xFF;
        return last >= 1 && last <= 5;
    };
    const quint32 base = HostOrderOf("192.168.1.0");
    const auto probeMac = [&](int n) { return ProbeMac(base + quint32(n)); };
    // .1 new; .2 known exactly; .3 known under another MAC; .4's MAC known under another
    // address; .5 both.
    AddKnownHost("192.168.1.2", probeMac(2));
    AddKnownHost("192.168.1.3", "00:99:00:00:00:03");
    AddKnownHost("192.168.1.44", probeMac(4));
    AddKnownHost("192.168.1.5", "00:99:00:00:00:05");
    AddKnownHost("192.168.1.55", probeMac(5));
    WriteProfileInt(QStringLiteral("Threads"), 8);
    SetTarget("192.168.1.1-192.168.1.20");
    CScanView& list = ScanView();
    QAbstractItemModelTester tester(list.model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);

    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(WaitForScanEnd());
    ASSERT_EQ(list.model()->rowCount(), 5);
    EXPECT_EQ(Pane1(), QStringLiteral("Found 5 hosts."));

    struct Expected {
        const char* ip;
        QString compare;
        QColor ip_, mac, result;
    };
    const Expected expected[] = {
        {"192.168.1.1", kNewText, kBlue, kBlue, kBlue},
        {"192.168.1.2", kMatchedText, kBlack, kBlack, kBlack},
        {"192.168.1.3", QStringLiteral("IP Address Different ") + kHint, kRed, kBlue, kRed},
        {"192.168.1.4", QStringLiteral("MAC Address Different ") + kHint, kBlue, kRed, kRed},
        {"192.168.1.5", QStringLiteral("IP Address and MAC Address different!") + kHint, kRed, kRed,
         kRed},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.ip);
        const int row = RowOf(e.ip);
        ASSERT_GE(row, 0);
        const int n = QString::fromLatin1(e.ip).section(QLatin1Char('.'), 3).toInt();
        EXPECT_EQ(Cell(list, row, ScanColMac), FormatMacAddress(probeMac(n)));
        EXPECT_EQ(Cell(list, row, ScanColHostName), QStringLiteral("H%1").arg(base + quint32(n)));
        EXPECT_EQ(Cell(list, row, ScanColWorkgroup), QStringLiteral("WG"));
        EXPECT_EQ(Cell(list, row, ScanColCompare), e.compare);
        EXPECT_EQ(CellColor(list, row, ScanColIp), e.ip_);
        EXPECT_EQ(CellColor(list, row, ScanColMac), e.mac);
        EXPECT_EQ(CellColor(list, row, ScanColCompare), e.result);
        for (int column : {ScanColHostName, ScanColWorkgroup, ScanColVendor})
            EXPECT_EQ(CellColor(list, row, column), kBlack) << "column " << column;
        EXPECT_TRUE(HasIcon(list, row, ScanColIp));
        EXPECT_TRUE(HasIcon(list, row, ScanColMac));
        EXPECT_EQ(HasIcon(list, row, ScanColCompare), e.result == kRed);
        for (int column : {ScanColHostName, ScanColWorkgroup, ScanColVendor})
            EXPECT_FALSE(HasIcon(list, row, column)) << "column " << column;
    }

    // "Show Different Details..." (a context-menu command only) follows the focused row.
    FocusRow(list, RowOf("192.168.1.3"));
    EXPECT_TRUE(Frame().IsRouteEnabled(ID_SCAN_SHOW_DIFFERENT_DETAILS));
    FocusRow(list, RowOf("192.168.1.1"));
    EXPECT_FALSE(Frame().IsRouteEnabled(ID_SCAN_SHOW_DIFFERENT_DETAILS));

    // Knowing the exact pair turns the row black at its next drawing, without its icon.
    const int row3 = RowOf("192.168.1.3");
    DatabaseRecord known = *doc.GetDatabaseRecord(1);
    known.mac = probeMac(3);
    ASSERT_TRUE(doc.SetDatabaseRecord(1, known));
    EXPECT_EQ(CellColor(list, row3, ScanColIp), kBlack);
    EXPECT_EQ(CellColor(list, row3, ScanColCompare), kBlack);
    EXPECT_EQ(Cell(list, row3, ScanColCompare), kMatchedText);
    EXPECT_FALSE(HasIcon(list, row3, ScanColCompare));
}

TEST_F(ScanList, TheColumnsAndTheirTitles)
{
    const QStringList titles = {"IP Address",   "MAC Address",    "Host Name",   "Workgroup",
                                "Manufacturer", "Compare Result", "Other Names", "IPv6 Addresses"};
    const int widths[] = {130, 150, 150, 150, 200, 350, 300, 260};
    QAbstractItemModel* model = ScanView().model();
    ASSERT_EQ(model->columnCount(), titles.size());
    for (int column = 0; column < titles.size(); ++column) {
        EXPECT_EQ(model->headerData(column, Qt::Horizontal).toString(), titles[column]);
        EXPECT_EQ(ScanView().horizontalHeader()->sectionSize(column), widths[column]);
    }
    EXPECT_TRUE(ScanView().horizontalHeader()->sectionsMovable());
}

TEST_F(ScanList, EachColumnSortsBothWaysOnAHeaderClick)
{
    // Vendors from the registry: 00:00:0C, 00:05:02 and 08:00:20 are assigned blocks;
    // 02:... is a local address without one.
    AddScanHost("192.168.1.30", "08:00:20:00:00:01", QStringLiteral("delta"),
                QStringLiteral("wg-b"));
    AddScanHost("192.168.1.4", "00:00:0c:00:00:02", QStringLiteral("Alpha"),
                QStringLiteral("WG-C"));
    AddScanHost("192.168.1.200", "02:00:00:00:00:03", QStringLiteral("charlie"),
                QStringLiteral("wg-a"));
    AddScanHost("192.168.1.17", "00:05:02:00:00:04", QStringLiteral("Bravo"), QString());
    AddKnownHost("192.168.1.4", "00:00:0c:00:00:02");  // matched
    AddKnownHost("192.168.1.30", "00:99:00:00:00:01"); // different
    ShowScanRecords();
    CScanView& list = ScanView();
    QHeaderView* header = list.horizontalHeader();

    const auto lastOctet = [](const QString& ip) {
        return ip.section(QLatin1Char('.'), 3).toInt();
    };
    // Lowercased text order, empty texts last.
    const auto textBefore = [](const QString& a, const QString& b) {
        if (a.isEmpty() || b.isEmpty())
            return !a.isEmpty() && b.isEmpty();
        return a.toLower() < b.toLower();
    };
    const auto stateRank = [](const QColor& c) { return c == kBlack ? 0 : c == kRed ? 1 : 2; };

    for (int column = 0; column < ScanColumnCount; ++column) {
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(::testing::Message()
                         << "column " << column << (ascending ? " up" : " down"));
            ClickHeader(list, column);
            EXPECT_EQ(header->sortIndicatorSection(), column);
            EXPECT_EQ(header->sortIndicatorOrder(),
                      ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
            ASSERT_EQ(list.model()->rowCount(), 4);
            for (int row = 0; row + 1 < 4; ++row) {
                const int a = ascending ? row : row + 1;
                const int b = ascending ? row + 1 : row;
                const QString ta = Cell(list, a, column), tb = Cell(list, b, column);
                switch (column) {
                case ScanColIp:
                    EXPECT_LT(lastOctet(ta), lastOctet(tb));
                    break;
                case ScanColCompare:
                    EXPECT_LE(stateRank(CellColor(list, a, column)),
                              stateRank(CellColor(list, b, column)));
                    break;
                default:
                    EXPECT_FALSE(textBefore(tb, ta))
                        << ta.toStdString() << " / " << tb.toStdString();
                }
            }
        }
    }
    // The vendor column really had texts to sort.
    EXPECT_GE(Column(list, ScanColVendor).filter(QRegularExpression(QStringLiteral("."))).size(),
              2);
}

TEST_F(ScanList, DeleteAsksOnceAndRemovesExactlyTheSelectedRows)
{
    for (int i = 1; i <= 6; ++i) {
        const QByteArray ip = "192.168.1." + QByteArray::number(i);
        AddScanHost(ip.constData(), "00:11:22:33:44:55");
    }
    ShowScanRecords();
    CScanView& list = ScanView();
    Frame().StatusPane(1)->setText(QStringLiteral("before"));

    SelectRows(list, {1, 3, 4});
    prompt->answers = {PromptAnswer::No};
    Frame().Action(ID_EDIT_DELETE)->trigger();
    EXPECT_EQ(doc.GetScanRecordCount(), 6);
    EXPECT_EQ(list.model()->rowCount(), 6);
    EXPECT_EQ(Pane1(), QStringLiteral("before"));

    prompt->answers = {PromptAnswer::Yes};
    Frame().Action(ID_EDIT_DELETE)->trigger();
    ASSERT_EQ(prompt->shown.size(), 2u);
    EXPECT_EQ(prompt->shown[1].text,
              QStringLiteral("Are you sure you want to delete selected item(s)?"));
    EXPECT_EQ(prompt->shown[1].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompt->shown[1].icon, PromptIcon::Question);
    EXPECT_EQ(Column(list, ScanColIp), QStringList({"192.168.1.1", "192.168.1.3", "192.168.1.6"}));
    EXPECT_EQ(doc.GetScanRecordCount(), 3);
    EXPECT_EQ(Pane1(), QStringLiteral("Found 3 hosts."));
    EXPECT_FALSE(Enabled(ID_EDIT_DELETE)); // nothing selected any more
}

TEST_F(ScanList, StartPauseResumeStopWithTheirStatusTexts)
{
    UseProbe("192.168.1.0", 256);
    // Hosts .1 to .4 answer at once; from .5 on the workers wait in the probe.
    probe->answers = [](quint32) { return true; };
    probe->beforeAnswer = [this](quint32 ip) {
        if ((ip & 0xFF) >= 5)
            gate.Hold();
    };
    WriteProfileInt(QStringLiteral("Threads"), 2);
    SetTarget("192.168.1.1-192.168.1.40");
    CScanView& list = ScanView();

    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.model()->rowCount() == 4; }, 5000));
    // The progress tick: percentage, counts and the next address.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Pane1().startsWith(QStringLiteral("Scanning ")); }, 3000));
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral(R"(^Scanning \d+% \(\d+/39\) - 192\.168\.1\.\d+ \.\.\.$)"))
                    .match(Pane1())
                    .hasMatch())
        << Pane1().toStdString();

    // Delete is never offered while a scan runs, whatever is selected.
    SelectRows(list, {0, 1});
    EXPECT_FALSE(Enabled(ID_EDIT_DELETE));
    EXPECT_FALSE(Enabled(ID_FILE_EXPORT_ALL));
    EXPECT_FALSE(Enabled(ID_FILE_EXPORT_SELECTED));
    EXPECT_TRUE(Enabled(ID_EDIT_COPY));

    Frame().Action(ID_SCAN_PAUSE)->trigger();
    const QString paused = Pane1();
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral(R"(^Scanning is paused\.\d+% \(\d+/39\) - 192\.168\.1\.\d+$)"))
                    .match(paused)
                    .hasMatch())
        << paused.toStdString();
    QTest::qWait(CScanSession::kScanTimerMs + 200);
    EXPECT_EQ(Pane1(), paused); // no tick while paused

    Frame().Action(ID_SCAN_START)->trigger(); // resume
    EXPECT_TRUE(g_hPauseScanEvent.IsSet());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Pane1().startsWith(QStringLiteral("Scanning ")) &&
                   !Pane1().startsWith(QStringLiteral("Scanning is"));
        },
        3000));

    Frame().Action(ID_SCAN_STOP)->trigger();
    EXPECT_EQ(Pane1(), QStringLiteral("Scanning is stopping, please wait..."));
    EXPECT_FALSE(Enabled(ID_EDIT_DELETE));
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(Pane1(), QStringLiteral("Found %1 hosts.").arg(list.model()->rowCount()));
    EXPECT_EQ(list.model()->rowCount(), doc.GetScanRecordCount());
    EXPECT_TRUE(Enabled(ID_EDIT_DELETE));
    EXPECT_TRUE(Enabled(ID_FILE_EXPORT_ALL));
}

TEST_F(ScanList, TicksSayResolvingOnceEveryAddressIsHandedOut)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    WriteProfileInt(QStringLiteral("Threads"), 4);
    SetTarget("192.168.1.1-192.168.1.4");
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(4)); // every address taken, no host stored yet
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Pane1() == QStringLiteral("Resolving Host Name..."); }, 3000));
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(Pane1(), QStringLiteral("Found 4 hosts."));
    EXPECT_EQ(ScanView().model()->rowCount(), 4);
}

// Hosts stored while the UI thread is busy arrive as one count update, never as a reset.
TEST_F(ScanList, HostsStoredMeanwhileArriveInOneUpdate)
{
    UseProbe("10.0.0.0", 1024);
    WriteProfileInt(QStringLiteral("Threads"), 100);
    SetTarget("10.0.0.0/22");
    CScanView& list = ScanView();
    QSignalSpy inserted(list.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy resets(list.model(), &QAbstractItemModel::modelReset);

    Frame().Action(ID_SCAN_START)->trigger();
    // The UI thread does not turn its event loop until every host is stored.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (doc.GetScanRecordCount() < 1024 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(doc.GetScanRecordCount(), 1024);
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(list.model()->rowCount(), 1024);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(Pane1(), QStringLiteral("Found 1024 hosts."));
}

// Records which rows a view asks its delegate about, then lets the real delegate work.
class RowCountingDelegate final : public QStyledItemDelegate
{
public:
    explicit RowCountingDelegate(QAbstractItemDelegate* inner) : m_inner(inner) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        rows.insert(index.row());
        m_inner->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        rows.insert(index.row());
        return m_inner->sizeHint(option, index);
    }
    QAbstractItemDelegate* Inner() const { return m_inner; }
    mutable std::set<int> rows;

private:
    QAbstractItemDelegate* m_inner;
};

TEST_F(ScanList, ALargeListScrollsWithoutReadingEveryRow)
{
    for (int i = 0; i < 10000; ++i) {
        auto record = std::make_unique<HostRecord>();
        record->ip = IpFromHostOrder(0x0A000000u + quint32(i));
        record->mac = kMacTopBits | quint64(i);
        record->hostName = QStringLiteral("H%1").arg(i);
        doc.AppendScanRecord(std::move(record));
    }
    ShowActive();
    ShowScanRecords();
    CScanView& list = ScanView();
    // Every row the view asks about goes through its delegate (painting or sizing); a
    // list that measured or formatted every row would touch all 10,000 of them.
    RowCountingDelegate counter(list.itemDelegate());
    list.setItemDelegate(&counter);
    QApplication::processEvents(); // the scroll range follows the row count on the next turn
    ASSERT_GT(list.verticalScrollBar()->maximum(), 9000);
    for (int step = 0; step < 40; ++step) {
        list.verticalScrollBar()->setValue(step * 250);
        list.viewport()->repaint();
    }
    EXPECT_GT(counter.rows.size(), 40u * 5); // every page was drawn
    EXPECT_LT(counter.rows.size(), 2500u) << "rows touched while scrolling 40 pages";
    list.setItemDelegate(counter.Inner());
    list.scrollToBottom();
    list.viewport()->repaint();
    EXPECT_EQ(list.rowAt(list.viewport()->height() - 2), 9999);
}

TEST_F(ScanList, ContextMenuOffersTheDetailAsItsDefault)
{
    AddScanHost("192.168.1.3", "00:11:22:33:44:55");
    AddKnownHost("192.168.1.3", "00:99:00:00:00:03");
    ShowScanRecords();
    FocusRow(ScanView(), 0);
    const std::unique_ptr<QMenu> menu = ScanView().CreateContextMenu();
    ASSERT_TRUE(menu->defaultAction());
    EXPECT_EQ(menu->defaultAction()->text(), QStringLiteral("Show Different Details..."));
    EXPECT_TRUE(menu->defaultAction()->isEnabled());
    ScanView().clearSelection();
    const std::unique_ptr<QMenu> empty = ScanView().CreateContextMenu();
    EXPECT_FALSE(empty->defaultAction()->isEnabled());
}

TEST_F(ScanList, ContextMenusCarryTheirOwnAccessKeys)
{
    AddScanHost("192.168.1.3", "00:11:22:33:44:55");
    ShowScanRecords();
    FocusRow(ScanView(), 0);
    const auto texts = [](QMenu& menu) {
        QStringList list;
        for (QAction* action : menu.actions())
            if (!action->isSeparator() && !action->menu())
                list << action->text();
        return list;
    };
    const std::unique_ptr<QMenu> scanMenu = ScanView().CreateContextMenu();
    EXPECT_EQ(texts(*scanMenu),
              (QStringList{"Show Different Details...", "Add To Database", "&Copy", "&Delete",
                           "&Export All Items...", "Export &Selected Items...", "&Find...",
                           "Select All"}));
    const std::unique_ptr<QMenu> dbMenu = DbView().CreateContextMenu();
    EXPECT_EQ(texts(*dbMenu),
              (QStringList{"Add", "&Copy", "&Delete", "Import...", "&Export All Items...",
                           "Export &Selected Items...", "&Find...", "Select All", "Properties"}));
    // The menu bar keeps its own texts, and an item's key is still shown beside it.
    EXPECT_EQ(Frame().Action(ID_EDIT_COPY)->text(), QStringLiteral("Copy"));
    for (QAction* action : scanMenu->actions()) {
        if (action->text() == QStringLiteral("&Copy")) {
            EXPECT_EQ(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
        }
    }
}

TEST_F(ScanList, ANewScanClearsTheSortArrow)
{
    AddScanHost("192.168.1.9", "00:11:22:33:44:09");
    AddScanHost("192.168.1.2", "00:11:22:33:44:02");
    ShowScanRecords();
    QHeaderView* header = ScanView().horizontalHeader();
    header->setSortIndicator(ScanColIp, Qt::AscendingOrder);
    ASSERT_EQ(header->sortIndicatorSection(), ScanColIp);
    EXPECT_EQ(Column(ScanView(), ScanColIp), (QStringList{"192.168.1.2", "192.168.1.9"}));

    UseProbe("192.168.1.0", 256);
    SetTarget("192.168.1.1-192.168.1.3");
    Frame().Action(ID_SCAN_START)->trigger();
    EXPECT_EQ(header->sortIndicatorSection(), -1);
    ASSERT_TRUE(WaitForScanEnd());
}
TEST_F(ScanList, ControlCharactersOfHostileNamesAreShownAsReplacementCharacters)
{
    // A reply's bytes 0x90 and 0x9D decode to C1 controls; ESC and a new line are C0.
    const QString name = QStringLiteral("PC") + QChar(0x9D) + QStringLiteral("0;x") + QChar(0x07);
    const QString workgroup =
        QStringLiteral("W") + QChar(0x1B) + QChar(0x90) + QStringLiteral("\nG");
    AddScanHost("192.168.1.3", "00:11:22:33:44:55", name, workgroup);
    AddKnownHost("192.168.1.4", "00:11:22:33:44:56", 0, name);
    ShowScanRecords();
    DbView().UpdateRowCount();
    const QChar r(0xFFFD);
    EXPECT_EQ(Cell(ScanView(), 0, ScanColHostName), QStringLiteral("PC") + r + "0;x" + r);
    EXPECT_EQ(Cell(ScanView(), 0, ScanColWorkgroup), QStringLiteral("W") + r + r + r + "G");
    EXPECT_EQ(Cell(DbView(), 0, DbColHostName), QStringLiteral("PC") + r + "0;x" + r);
    // What was received is kept as it came.
    EXPECT_EQ(doc.GetScanRecord(0)->hostName, name);
    EXPECT_EQ(doc.GetDatabaseRecord(0)->hostName, name);
}

TEST_F(ScanList, OtherNamesIpv6AndIdentityFlagsShowSortFindAndCopyLikeEveryCell)
{
    auto add = [this](const char* ip, const char* mac, OtherNames names, quint64 netBiosMac = 0) {
        AddScanHost(ip, mac);
        HostRecord* record = doc.GetScanRecord(doc.GetScanRecordCount() - 1);
        record->otherNames = std::move(names);
        record->netBiosMac = netBiosMac;
    };
    add("192.168.1.1", "00:00:0C:00:00:01",
        {{QStringLiteral("printer.local"), NameSource::Mdns},
         {QStringLiteral("printer.lab"), NameSource::Dns}});
    add("192.168.1.2", "02:00:00:00:00:02", {{QStringLiteral("Alpha"), NameSource::Llmnr}});
    add("192.168.1.3", "00:05:02:00:00:03", {}, Mac("00:00:0C:00:00:01"));
    // The addresses as a scan joins them: link-local last, whatever order they came in.
    for (const char* address : {"fe80::1", "fd00::1", "2001:db8::1"})
        AddIpv6Address(doc.GetScanRecord(0)->ipv6, *ParseIpv6(QString::fromLatin1(address)));
    ShowScanRecords();
    CScanView& list = ScanView();
    QAbstractItemModel* model = list.model();

    EXPECT_EQ(Cell(list, 0, ScanColOtherNames),
              QStringLiteral("printer.local (mDNS), printer.lab (DNS)"));
    EXPECT_EQ(Cell(list, 1, ScanColOtherNames), QStringLiteral("Alpha (LLMNR)"));
    EXPECT_EQ(Cell(list, 0, ScanColIpv6), QStringLiteral("2001:db8::1, fd00::1, fe80::1"));

    // The MAC cell: the plain card and no tooltip for a maker's address; a marked card
    // and why for a local one and for one NetBIOS contradicts.
    auto tip = [&](int row) {
        return model->index(row, ScanColMac).data(Qt::ToolTipRole).toString();
    };
    auto icon = [&](int row) {
        return model->index(row, ScanColMac)
            .data(Qt::DecorationRole)
            .value<QIcon>()
            .pixmap(16, 16)
            .toImage();
    };
    EXPECT_TRUE(tip(0).isEmpty());
    EXPECT_TRUE(tip(1).startsWith(QStringLiteral("Locally administered MAC address")));
    EXPECT_TRUE(tip(2).contains(QStringLiteral("00:00:0C:00:00:01"))) << tip(2).toStdString();
    EXPECT_NE(icon(0), icon(1));
    EXPECT_EQ(icon(1), icon(2));

    // Sorting by the column: by its text, hosts without names last.
    ClickHeader(list, ScanColOtherNames);
    EXPECT_EQ(Column(list, ScanColIp),
              (QStringList{QStringLiteral("192.168.1.2"), QStringLiteral("192.168.1.1"),
                           QStringLiteral("192.168.1.3")}));

    // Find looks into it; Copy carries it.
    ASSERT_TRUE(list.FindText(QStringLiteral("PRINTER.LAB"), false, false));
    EXPECT_EQ(list.FocusedRow(), 1);
    const auto copied = list.RowsAsClipboardData({1});
    const QStringList lines = copied->text().split(u'\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tOther Names\tIPv6 Addresses")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(
        "\tprinter.local (mDNS), printer.lab (DNS)\t2001:db8::1, fd00::1, fe80::1")));
    ASSERT_TRUE(list.FindText(QStringLiteral("FD00::1"), false, false));
    EXPECT_EQ(list.FocusedRow(), 1);
}
