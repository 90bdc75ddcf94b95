// The database list over a database file: the rows at start, colours, the columns,
// sorting and Delete written back to the file at once, a failed write shown to the user,
// and the enabling of its commands.

#include "test_ui_db_util.h"

#include <QDir>

TEST_F(DbList, ShowsTheLoadedDatabaseInItsColumns)
{
    CDBView& list = DbView();
    ASSERT_EQ(list.model()->rowCount(), 5);
    const QStringList titles = {"IP Address",  "MAC Address",    "Host Name",    "Workgroup",
                                "User Name",   "Location",       "Manufacturer", "Comment",
                                "Other Names", "IPv6 Addresses", "First Seen",   "Last Seen"};
    const int widths[] = {130, 150, 150, 150, 150, 150, 150, 500, 300, 260, 140, 140};
    ASSERT_EQ(list.model()->columnCount(), titles.size());
    for (int column = 0; column < titles.size(); ++column) {
        EXPECT_EQ(list.model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
        EXPECT_EQ(list.horizontalHeader()->sectionSize(column), widths[column]);
    }
    EXPECT_EQ(Cell(list, 1, DbColIp), QStringLiteral("10.0.0.4"));
    EXPECT_EQ(Cell(list, 1, DbColMac), FormatMacAddress(Mac("08:00:20:00:00:02")));
    EXPECT_EQ(Cell(list, 1, DbColHostName), QStringLiteral("Alpha"));
    EXPECT_EQ(Cell(list, 1, DbColLocation), QStringLiteral("room 1"));
    EXPECT_EQ(Cell(list, 1, DbColOtherNames), QStringLiteral("alpha.local (mDNS)"));
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

TEST_F(DbList, AFailedWriteIsShownOnceAndTheListStaysAsTheFileKeepsIt)
{
    // A folder where the file was: nothing can be written there.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    SelectRows(DbView(), {0, 1});
    prompt->answers = {PromptAnswer::Yes};
    Frame().Action(ID_EDIT_DELETE)->trigger();
    EXPECT_EQ(DbView().model()->rowCount(), 5);
    EXPECT_EQ(Column(DbView(), DbColHostName),
              QStringList({"delta", "Alpha", "charlie", "Bravo", "echo"}));
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
