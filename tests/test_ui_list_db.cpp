// The database list over a database file: the rows at start, colours, the columns,
// sorting and Delete written back to the file at once, a failed write shown to the user,
// and the enabling of its commands.

#include "records/DatabaseFile.h"
#include "test_ui_list_util.h"

#include <QDir>
#include <QTemporaryDir>

class DbList : public ListTest
{
protected:
    void SetUp() override
    {
        ListTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("Database.lvdat"));
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        const auto add = [&](const char* ip, const char* mac, const char* name, ColorRef color) {
            auto record = std::make_unique<DatabaseRecord>();
            record->ip = Ip(ip);
            record->mac = Mac(mac);
            record->hostName = QString::fromLatin1(name);
            record->location = QStringLiteral("room %1").arg(records.size());
            record->color = color;
            records.push_back(std::move(record));
        };
        add("10.0.0.30", "00:00:0c:00:00:01", "delta", MakeColorRef(0, 0, 0));
        add("10.0.0.4", "08:00:20:00:00:02", "Alpha", MakeColorRef(255, 0, 0));
        add("10.0.0.200", "00:05:02:00:00:03", "charlie", MakeColorRef(0, 128, 0));
        add("10.0.0.17", "02:00:00:00:00:04", "Bravo", MakeColorRef(0, 0, 0));
        add("10.0.0.9", "02:00:00:00:00:05", "echo", MakeColorRef(0, 0, 0));
        ASSERT_TRUE(DatabaseFile::Save(path, records));
        ASSERT_EQ(doc.OpenDatabase(path).status, DatabaseLoadResult::Loaded);
        Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    }

    // The host names in the order the file keeps them.
    QStringList StoredNames()
    {
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        QString error;
        EXPECT_TRUE(DatabaseFile::Read(path, records, &error)) << error.toStdString();
        QStringList names;
        for (const auto& record : records)
            names << record->hostName;
        return names;
    }

    QTemporaryDir dir;
    QString path;
};

TEST_F(DbList, ShowsTheLoadedDatabaseInItsColumns)
{
    CDBView& list = DbView();
    ASSERT_EQ(list.model()->rowCount(), 5);
    const QStringList titles = {"IP Address", "MAC Address", "Host Name",    "Workgroup",
                                "User Name",  "Location",    "Manufacturer", "Comment"};
    const int widths[] = {130, 150, 150, 150, 150, 150, 150, 500};
    ASSERT_EQ(list.model()->columnCount(), titles.size());
    for (int column = 0; column < titles.size(); ++column) {
        EXPECT_EQ(list.model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
        EXPECT_EQ(list.horizontalHeader()->sectionSize(column), widths[column]);
    }
    EXPECT_EQ(Cell(list, 1, DbColIp), QStringLiteral("10.0.0.4"));
    EXPECT_EQ(Cell(list, 1, DbColMac), FormatMacAddress(Mac("08:00:20:00:00:02")));
    EXPECT_EQ(Cell(list, 1, DbColHostName), QStringLiteral("Alpha"));
    EXPECT_EQ(Cell(list, 1, DbColLocation), QStringLiteral("room 1"));
    EXPECT_FALSE(Cell(list, 0, DbColVendor).isEmpty()); // 00:00:0C is a registered block
    for (int column = 0; column < DbColumnCount; ++column)
        EXPECT_EQ(HasIcon(list, 0, column), column == DbColIp || column == DbColMac) << column;
}

TEST_F(DbList, EveryCellOfARowIsInItsRecordsColour)
{
    CDBView& list = DbView();
    for (int column = 0; column < DbColumnCount; ++column) {
        EXPECT_EQ(CellColor(list, 1, column), kRed) << column;
        EXPECT_EQ(CellColor(list, 2, column), QColor(0, 128, 0)) << column;
        EXPECT_EQ(CellColor(list, 0, column), kBlack) << column;
    }
}

TEST_F(DbList, SortingReordersTheListAndTheFile)
{
    CDBView& list = DbView();
    ClickHeader(list, DbColHostName);
    const QStringList ascending = {"Alpha", "Bravo", "charlie", "delta", "echo"};
    EXPECT_EQ(Column(list, DbColHostName), ascending);
    EXPECT_EQ(StoredNames(), ascending);

    ClickHeader(list, DbColHostName);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(Column(list, DbColHostName), descending);
    EXPECT_EQ(StoredNames(), descending);
    EXPECT_EQ(list.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // Addresses within one subnet sort by number, not by text.
    ClickHeader(list, DbColIp);
    EXPECT_EQ(Column(list, DbColIp),
              QStringList({"10.0.0.4", "10.0.0.9", "10.0.0.17", "10.0.0.30", "10.0.0.200"}));
    // Rows keep their colours through a sort.
    EXPECT_EQ(CellColor(list, 0, DbColComment), kRed);
    EXPECT_TRUE(prompt->shown.empty());
}

TEST_F(DbList, DeleteRemovesTheSelectedRecordsFromListAndFile)
{
    CDBView& list = DbView();
    Frame().StatusPane(1)->setText(QStringLiteral("before"));
    SelectRows(list, {0, 2, 4});

    prompt->answers = {PromptAnswer::No};
    Frame().Action(ID_EDIT_DELETE)->trigger();
    EXPECT_EQ(list.model()->rowCount(), 5);
    EXPECT_EQ(StoredNames().size(), 5);
    EXPECT_EQ(Pane1(), QStringLiteral("before"));

    prompt->answers = {PromptAnswer::Yes};
    Frame().Action(ID_EDIT_DELETE)->trigger();
    ASSERT_EQ(prompt->shown.size(), 2u);
    EXPECT_EQ(prompt->shown[1].text,
              QStringLiteral("Are you sure you want to delete selected item(s)?"));
    EXPECT_EQ(prompt->shown[1].icon, PromptIcon::Question);
    EXPECT_EQ(Column(list, DbColHostName), QStringList({"Alpha", "Bravo"}));
    EXPECT_EQ(StoredNames(), QStringList({"Alpha", "Bravo"}));
    EXPECT_EQ(Pane1(), QStringLiteral("Total 2 hosts."));
    EXPECT_EQ(CellColor(list, 0, DbColIp), kRed); // the rows that stay keep their records
}

TEST_F(DbList, AFailedWriteIsShownAndTheListStillChanges)
{
    // A folder where the file was: nothing can be written there.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    SelectRows(DbView(), {0});
    prompt->answers = {PromptAnswer::Yes};
    Frame().Action(ID_EDIT_DELETE)->trigger();
    EXPECT_EQ(DbView().model()->rowCount(), 4);
    ASSERT_EQ(prompt->shown.size(), 2u);
    EXPECT_EQ(prompt->shown[1].icon, PromptIcon::Error);
    EXPECT_TRUE(prompt->shown[1].text.contains(QDir::toNativeSeparators(path)))
        << prompt->shown[1].text.toStdString();
}

TEST_F(DbList, CommandsFollowRowsAndSelection)
{
    CDBView& list = DbView();
    list.clearSelection();
    for (int id : {ID_EDIT_ADD, ID_FILE_IMPORT, ID_FILE_EXPORT_ALL, ID_EDIT_SELECT_ALL,
                   ID_EDIT_FIND_NEXT, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP})
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {ID_VIEW_PROPERTIES, ID_EDIT_DELETE, ID_EDIT_COPY, ID_FILE_EXPORT_SELECTED,
                   ID_NAMETABLE_POPUP, ID_NAMETABLE_IP, ID_EDIT_ADD_TO_DATABASE, ID_SCAN_START})
        EXPECT_FALSE(Enabled(id)) << id;

    SelectRows(list, {1, 3});
    for (int id : {ID_VIEW_PROPERTIES, ID_EDIT_DELETE, ID_EDIT_COPY, ID_FILE_EXPORT_SELECTED,
                   ID_NAMETABLE_POPUP, ID_NAMETABLE_IP, ID_NAMETABLE_MAC, ID_NAMETABLE_IP_MAC})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(ID_EDIT_ADD_TO_DATABASE)); // never in this list

    // With every record deleted the whole-list commands go too.
    Frame().Action(ID_EDIT_SELECT_ALL)->trigger();
    prompt->answers = {PromptAnswer::Yes};
    Frame().Action(ID_EDIT_DELETE)->trigger();
    EXPECT_EQ(list.model()->rowCount(), 0);
    EXPECT_FALSE(Enabled(ID_FILE_EXPORT_ALL));
    EXPECT_FALSE(Enabled(ID_EDIT_SELECT_ALL));
    EXPECT_TRUE(StoredNames().isEmpty());
}
