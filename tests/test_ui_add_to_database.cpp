// From the scan list into the database: "Add To Database" with the replace confirmation
// and its report, read back from the file; the mismatch detail of a differing host; and a
// merge while a scan runs.

#include "support/NVOUI.h"
#include "test_ui_db_util.h"
#include "ui/dialogs/CAlarmDlg.h"
#include "ui/dialogs/CShowDetailDlg.h"
#include "app/ProfileSettings.h"

#include <QGroupBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <set>
#include <thread>

namespace
{

class AddToDatabase : public DbList
{
protected:
    void SetUp() override
    {
        DbList::SetUp();
        Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
        ShowActive();
    }

    void ShowAndSelectAll()
    {
        ShowScanRecords();
        ScanView().selectAll();
    }

    // The database list as "ip name" lines, in file order.
    QStringList StoredRows()
    {
        QStringList rows;
        for (const auto& record : Stored())
            rows << FormatIpAddress(record->ip) + u' ' + record->hostName;
        return rows;
    }

    static void Answer(CAlarmDlg& dialog, CAlarmDlg::Answer answer)
    {
        QTest::mouseClick(dialog.Button(answer), Qt::LeftButton);
    }

    void DoubleClickScanRow(int row)
    {
        const QRect cell = ScanView().visualRect(ScanView().model()->index(row, ScanColIp));
        // A real double click: the first click's press, then the double click.
        QTest::mouseClick(ScanView().viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(ScanView().viewport(), Qt::LeftButton, {}, cell.center());
    }
};

TEST_F(AddToDatabase, EachClashShowsBothRecordsAndTheReportCountsEveryAnswer)
{
    AddScanHost("10.0.0.4", "00:00:0c:00:00:44", QStringLiteral("ALPHA-NEW"), QStringLiteral("WG"));
    AddScanHost("10.0.0.50", "02:00:00:00:00:50", QStringLiteral("FIFTY"));
    AddScanHost("10.0.0.30", "02:00:00:00:00:30", QStringLiteral("DELTA-NEW"));
    AddScanHost("10.0.0.17", "02:00:00:00:00:17", QStringLiteral("BRAVO-NEW"));
    AddScanHost("10.0.0.9", "02:00:00:00:00:09", QStringLiteral("ECHO-NEW"));
    AddScanHost("10.0.0.51", "02:00:00:00:00:51", QStringLiteral("FIFTY-ONE"));
    ShowAndSelectAll();

    const CNVOUI* oui = doc.GetVendorTable();
    ASSERT_NE(oui, nullptr);
    std::vector<CAlarmDlg::Answer> script = {CAlarmDlg::Yes, CAlarmDlg::No, CAlarmDlg::YesToAll};
    WhenModal<CAlarmDlg> confirm([&](CAlarmDlg& dialog) {
        if (confirm.shown == 1) {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Confirm Record Replace"));
            EXPECT_EQ(dialog.ScanGroup()->title(), QStringLiteral("Scanview Record"));
            EXPECT_EQ(dialog.DatabaseGroup()->title(), QStringLiteral("Database Record"));
            const QString scanMac = QStringLiteral("00:00:0C:00:00:44");
            const QString knownMac = QStringLiteral("08:00:20:00:00:02");
            EXPECT_EQ(dialog.ScanValues(), QStringList({"10.0.0.4", scanMac, "ALPHA-NEW", "WG",
                                                        oui->GetManufacturer(scanMac)}));
            EXPECT_EQ(dialog.DatabaseValues(), QStringList({"10.0.0.4", knownMac, "Alpha", "",
                                                            oui->GetManufacturer(knownMac)}));
            EXPECT_FALSE(oui->GetManufacturer(scanMac).isEmpty());
        }
        ASSERT_FALSE(script.empty());
        Answer(dialog, script.front());
        script.erase(script.begin());
    });
    QTest::keyClick(&Frame(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(confirm.shown, 3);

    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text,
              QStringLiteral("Add to database successful!\n\nNew Records:\t2\nCover Records:\t3\n"
                             "Ignore Records:\t1"));
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Information);
    const QStringList rows = {"10.0.0.30 delta",    "10.0.0.200 charlie",  "10.0.0.4 ALPHA-NEW",
                              "10.0.0.50 FIFTY",    "10.0.0.17 BRAVO-NEW", "10.0.0.9 ECHO-NEW",
                              "10.0.0.51 FIFTY-ONE"};
    EXPECT_EQ(StoredRows(), rows);
    EXPECT_EQ(DbView().model()->rowCount(), 7);
    // The scan list compares with the new database at once.
    EXPECT_TRUE(
        Cell(ScanView(), 1, ScanColCompare).startsWith(QStringLiteral("Record already exists")));
}

TEST_F(AddToDatabase, CancelEscapeAndTheCloseBoxKeepWhatWasAddedBefore)
{
    AddScanHost("10.0.0.60", "02:00:00:00:00:60");
    AddScanHost("10.0.0.61", "02:00:00:00:00:61");
    AddScanHost("10.0.0.4", "02:00:00:00:00:04");
    AddScanHost("10.0.0.62", "02:00:00:00:00:62");
    ShowAndSelectAll();
    {
        WhenModal<CAlarmDlg> confirm([&](CAlarmDlg& dialog) { Answer(dialog, CAlarmDlg::Cancel); });
        Frame().Action(ID_EDIT_ADD_TO_DATABASE)->trigger();
        EXPECT_EQ(confirm.shown, 1);
    }
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_TRUE(prompt->shown[0].text.endsWith(
        QStringLiteral("New Records:\t2\nCover Records:\t0\nIgnore Records:\t0")));
    EXPECT_EQ(StoredRows().mid(5), QStringList({"10.0.0.60 ", "10.0.0.61 "}));

    // Escape and the close box answer Cancel too; nothing new is left to add before it.
    for (const bool closeBox : {false, true}) {
        WhenModal<CAlarmDlg> again([&](CAlarmDlg& dialog) {
            if (closeBox)
                dialog.close();
            else
                QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        ScanView().clearSelection();
        SelectRows(ScanView(), {2, 3});
        Frame().Action(ID_EDIT_ADD_TO_DATABASE)->trigger();
        EXPECT_EQ(again.shown, 1) << closeBox;
        EXPECT_EQ(StoredRows().size(), 7) << closeBox; // 10.0.0.62 after the clash stays out
    }
    EXPECT_EQ(prompt->shown.size(), 1u);
}

TEST_F(AddToDatabase, OnlyClashesAnsweredNoShowNoReportAndWriteNothing)
{
    AddScanHost("10.0.0.4", "02:00:00:00:00:04");
    AddScanHost("10.0.0.30", "02:00:00:00:00:30");
    AddScanHost("10.0.0.9", "02:00:00:00:00:09");
    ShowAndSelectAll();
    const QByteArray before = FileBytes();
    std::vector<CAlarmDlg::Answer> script = {CAlarmDlg::No, CAlarmDlg::NotToAll};
    WhenModal<CAlarmDlg> confirm([&](CAlarmDlg& dialog) {
        Answer(dialog, script.front());
        script.erase(script.begin());
    });
    Frame().Action(ID_EDIT_ADD_TO_DATABASE)->trigger();
    EXPECT_EQ(confirm.shown, 2);
    EXPECT_TRUE(prompt->shown.empty());
    EXPECT_EQ(FileBytes(), before);

    // Nothing selected: nothing at all.
    ScanView().clearSelection();
    EXPECT_FALSE(Enabled(ID_EDIT_ADD_TO_DATABASE));
}

TEST_F(AddToDatabase, AMergeTheFileRefusesIsUndoneAndReportsNoSuccess)
{
    AddScanHost("10.0.0.70", "02:00:00:00:00:70");
    ShowAndSelectAll();
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    Frame().Action(ID_EDIT_ADD_TO_DATABASE)->trigger();
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
    EXPECT_EQ(DbView().model()->rowCount(), 5);
    EXPECT_EQ(doc.FindDatabaseRecordByIp(Ip("10.0.0.70")), -1);
}

TEST_F(AddToDatabase, TheDetailListsTheResultAndEveryRecordThatSharesItsAddressOrMac)
{
    // As a worker stores them: with the top bits the database file gives its records too.
    const quint64 top = kMacTopBits;
    AddScanHost("10.0.0.4", Mac("02:00:00:00:00:05") | top);  // Alpha's address, echo's MAC
    AddScanHost("10.0.0.80", Mac("02:00:00:00:00:80") | top); // new
    AddScanHost("10.0.0.30", Mac("00:00:0c:00:00:01") | top); // delta exactly
    ShowScanRecords();

    QString text;
    QString shownText;
    QSize smallest;
    WhenModal<CShowDetailDlg> detail([&](CShowDetailDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Detail"));
        text = dialog.DetailText();
        shownText = dialog.TextEdit()->toPlainText();
        EXPECT_EQ(dialog.TextEdit()->palette().color(QPalette::Base), QColor(Qt::white));
        EXPECT_TRUE(dialog.TextEdit()->isReadOnly());

        dialog.resize(100, 100);
        smallest = dialog.size();
        // Larger: the text grows, Close keeps its place in the lower right corner.
        dialog.resize(500, 400);
        QApplication::processEvents();
        const QRect edit = dialog.TextEdit()->geometry();
        const QRect close = dialog.CloseButton()->geometry();
        const int rightMargin = dialog.width() - close.right();
        const int bottomMargin = dialog.height() - close.bottom();
        const QSize closeSize = close.size();
        dialog.resize(800, 600);
        QApplication::processEvents();
        EXPECT_EQ(dialog.TextEdit()->width(), edit.width() + 300);
        EXPECT_EQ(dialog.TextEdit()->height(), edit.height() + 200);
        EXPECT_EQ(dialog.width() - dialog.CloseButton()->geometry().right(), rightMargin);
        EXPECT_EQ(dialog.height() - dialog.CloseButton()->geometry().bottom(), bottomMargin);
        EXPECT_EQ(dialog.CloseButton()->size(), closeSize);
        QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
    });
    DoubleClickScanRow(0);
    ASSERT_EQ(detail.shown, 1);
    EXPECT_EQ(text.toStdString(),
              QStringLiteral("Current Record:\r\n"
                             "     IP Address: 10.0.0.4 -- MAC Address: 02:00:00:00:00:05\r\n"
                             "\r\n"
                             "Records not matched with database:\r\n"
                             "1)  IP Address: 10.0.0.4 -- MAC Address: 08:00:20:00:00:02\r\n"
                             "2)  IP Address: 10.0.0.9 -- MAC Address: 02:00:00:00:00:05\r\n")
                  .toStdString());
    EXPECT_EQ(shownText, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_GE(smallest.width(), CShowDetailDlg::kMinWidth);
    EXPECT_GE(smallest.height(), CShowDetailDlg::kMinHeight);

    // New and matched rows open nothing.
    DoubleClickScanRow(1);
    DoubleClickScanRow(2);
    EXPECT_EQ(detail.shown, 1);

    // The context menu's command follows the focused row, and only while a row is selected.
    const auto detailItem = [&]() -> std::pair<bool, std::unique_ptr<QMenu>> {
        std::unique_ptr<QMenu> menu = ScanView().CreateContextMenu();
        QAction* item = menu->actions().value(0);
        EXPECT_EQ(item ? item->text() : QString(), QStringLiteral("Show Different Details..."));
        return {item && item->isEnabled(), std::move(menu)};
    };
    FocusRow(ScanView(), 0);
    auto [enabled, menu] = detailItem();
    EXPECT_TRUE(enabled);
    menu->actions().value(0)->trigger();
    EXPECT_EQ(detail.shown, 2);
    ScanView().clearSelection();
    EXPECT_FALSE(detailItem().first);
    FocusRow(ScanView(), 2);
    EXPECT_FALSE(detailItem().first);
}

TEST_F(AddToDatabase, AMergeWhileAScanRunsHoldsTheWorkersUntilItEnds)
{
    frame.reset();
    UseProbe("192.168.1.0", 256);
    // The stand-in sees addresses in host order.
    probe->answers = [](quint32 ip) { return (ip & 0xFF) <= 40; };
    probe->beforeAnswer = [](quint32) {
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    };
    WriteProfileInt(QStringLiteral("Threads"), 4);
    // One address of the scan is known already, so the merge asks.
    AddKnownHost("192.168.1.1", "02:00:00:00:00:01");
    Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
    ShowActive();

    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ScanView().model()->rowCount() >= 3; }, 10000));
    ASSERT_TRUE(ScanSession().Job().IsScanning());
    ScanView().selectAll();

    int storedWhileAsked = -1;
    int storedAtQuestion = -1;
    WhenModal<CAlarmDlg> confirm([&](CAlarmDlg& dialog) {
        storedAtQuestion = doc.GetScanRecordCount();
        // The window goes on drawing and handling its timers meanwhile.
        QTest::qWait(300);
        storedWhileAsked = doc.GetScanRecordCount();
        EXPECT_TRUE(ScanSession().Job().IsScanning());
        Answer(dialog, CAlarmDlg::Yes);
    });
    Frame().Action(ID_EDIT_ADD_TO_DATABASE)->trigger();
    ASSERT_EQ(confirm.shown, 1);
    EXPECT_EQ(storedWhileAsked, storedAtQuestion) << "a worker stored a host during the question";

    ASSERT_TRUE(WaitForScanEnd());
    std::set<quint32> seen;
    for (int row = 0; row < doc.GetScanRecordCount(); ++row)
        EXPECT_TRUE(seen.insert(doc.GetScanRecord(row)->ip).second) << row;
    EXPECT_EQ(seen.size(), 41u); // .0 to .40
    EXPECT_EQ(ScanView().model()->rowCount(), 41);
}

} // namespace
