// Editing the database list as a user does: the record editor for Add and Properties,
// the colour button, and the in-place editor over a cell. After each flow the file on
// disk is read back.

#include "support/AddressText.h"
#include "test_ui_db_util.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/dialogs/CEditDlg.h"
#include "ui/dialogs/CLimitedTextEdit.h"
#include "ui/lists/CListViewEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <sqlite3.h>

namespace
{

class DbEditing : public DbList
{
protected:
    void SetUp() override
    {
        DbList::SetUp();
        ShowActive();
    }

    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    static void ClickOk(CEditDlg& dialog)
    {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("ButtonOk")),
                          Qt::LeftButton);
    }

    // Double-clicks the middle of a cell of the database list.
    void DoubleClickCell(int row, int column)
    {
        CDBView& list = DbView();
        const QRect cell = list.visualRect(list.model()->index(row, column));
        // A real double click: the first click's press, then the double click.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell.center());
    }
    CListViewEdit* Editor() { return DbView().InPlaceEditor(); }
    bool Editing() { return Editor() && Editor()->isVisible(); }

    // Opens the editor over a cell, types `text` over its contents and ends with `key`.
    void EditCell(int row, int column, const QString& text, Qt::Key key = Qt::Key_Return)
    {
        DoubleClickCell(row, column);
        ASSERT_TRUE(Editing());
        Type(Editor(), text);
        QTest::keyClick(Editor(), key);
    }
};

TEST_F(DbEditing, AddChecksTheIpBeforeTheMacAndStoresTheTextsAsTyped)
{
    Frame().StatusPane(1)->setText(QStringLiteral("before"));
    WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Add New Record"));
        EXPECT_TRUE(dialog.IpEdit()->text().isEmpty());
        EXPECT_EQ(dialog.ColorPicker()->GetColor(), 0u);

        // Both bad: only the IP is named, and the focus goes back to it.
        Type(dialog.IpEdit(), QStringLiteral("10.0.0.300"));
        Type(dialog.MacEdit(), QStringLiteral("not a mac"));
        dialog.MacEdit()->setFocus();
        ClickOk(dialog);
        ASSERT_EQ(prompt->shown.size(), 1u);
        EXPECT_EQ(prompt->shown[0].text, QStringLiteral("Invalid IP address!"));
        EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.focusWidget(), dialog.IpEdit());

        // A good address and no MAC.
        Type(dialog.IpEdit(), QStringLiteral("10.0.0.50"));
        Type(dialog.MacEdit(), QString());
        ClickOk(dialog);
        ASSERT_EQ(prompt->shown.size(), 2u);
        EXPECT_EQ(prompt->shown[1].text, QStringLiteral("Invalid MAC address!"));
        EXPECT_EQ(dialog.focusWidget(), dialog.MacEdit());

        Type(dialog.MacEdit(), QStringLiteral("00:1b:2c:3d:4e:5f"));
        Type(dialog.HostNameEdit(), QStringLiteral("  Printer "));
        Type(dialog.WorkgroupEdit(), QStringLiteral("lab"));
        Type(dialog.UserNameEdit(), QStringLiteral("ops"));
        Type(dialog.LocationEdit(), QStringLiteral("room 9"));
        dialog.CommentEdit()->setFocus();
        QTest::keyClicks(dialog.CommentEdit(), QStringLiteral("first line"));
        QTest::keyClick(dialog.CommentEdit(), Qt::Key_Return);
        QTest::keyClicks(dialog.CommentEdit(), QStringLiteral("second"));
        // Enter in a field is OK.
        QTest::keyClick(dialog.LocationEdit(), Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible());
    });
    Frame().Action(ID_EDIT_ADD)->trigger();
    ASSERT_EQ(editor.shown, 1);

    ASSERT_EQ(DbView().model()->rowCount(), 6);
    EXPECT_EQ(Cell(DbView(), 5, DbColIp), QStringLiteral("10.0.0.50"));
    EXPECT_EQ(Cell(DbView(), 5, DbColMac), QStringLiteral("00:1B:2C:3D:4E:5F"));
    EXPECT_EQ(Pane1(), QStringLiteral("Total 6 hosts."));
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 6u);
    const DatabaseRecord& added = *stored[5];
    EXPECT_EQ(added.ip, Ip("10.0.0.50"));
    EXPECT_EQ(added.mac, Mac("00:1b:2c:3d:4e:5f") | kMacTopBits);
    EXPECT_EQ(added.hostName, QStringLiteral("  Printer "));
    EXPECT_EQ(added.workgroup, QStringLiteral("lab"));
    EXPECT_EQ(added.userName, QStringLiteral("ops"));
    EXPECT_EQ(added.location, QStringLiteral("room 9"));
    EXPECT_EQ(added.comment, QStringLiteral("first line\nsecond"));
    EXPECT_EQ(added.color, 0u);
}

TEST_F(DbEditing, TheFieldsTakeNoMoreThanTheirLimitsAndCancelKeepsEverything)
{
    const QByteArray before = FileBytes();
    WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
        Type(dialog.MacEdit(), QString(20, u'A'));
        EXPECT_EQ(dialog.MacEdit()->text().size(), 17);
        Type(dialog.HostNameEdit(), QString(300, u'h'));
        EXPECT_EQ(dialog.HostNameEdit()->text().size(), 255);
        Type(dialog.LocationEdit(), QString(256, u'l'));
        EXPECT_EQ(dialog.LocationEdit()->text().size(), 255);
        Type(dialog.UserNameEdit(), QString(256, u'u'));
        EXPECT_EQ(dialog.UserNameEdit()->text().size(), 255);
        // A full comment refuses what is typed, wherever the cursor is, and keeps its end.
        auto* comment = dialog.CommentEdit();
        comment->setFocus();
        QTest::keyClicks(comment, QString(199, u'c') + QStringLiteral("EZ"));
        const QString full = QString(199, u'c') + u'E';
        EXPECT_EQ(comment->toPlainText(), full);
        QTest::keyClick(comment, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClicks(comment, QStringLiteral("xy"));
        QTest::keyClick(comment, Qt::Key_Return);
        EXPECT_EQ(comment->toPlainText(), full);
        // A paste keeps what fits, at the cursor, in place of the selection; undo takes
        // it back.
        QTextCursor cursor = comment->textCursor();
        cursor.setPosition(10);
        cursor.setPosition(12, QTextCursor::KeepAnchor);
        comment->setTextCursor(cursor);
        QApplication::clipboard()->setText(QStringLiteral("PASTE"));
        QTest::keyClick(comment, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(comment->toPlainText(), full.left(10) + QStringLiteral("PA") + full.mid(12));
        QTest::keyClick(comment, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(comment->toPlainText(), full);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    Frame().Action(ID_EDIT_ADD)->trigger();
    ASSERT_EQ(editor.shown, 1);
    EXPECT_EQ(DbView().model()->rowCount(), 5);
    EXPECT_EQ(FileBytes(), before);
    EXPECT_TRUE(prompt->shown.empty());
}

TEST_F(DbEditing, TabWalksTheEditorFromTopToBottom)
{
    QStringList walked;
    WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        dialog.IpEdit()->setFocus();
        for (int i = 0; i < 10; ++i) {
            walked << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    Frame().Action(ID_EDIT_ADD)->trigger();
    ASSERT_EQ(editor.shown, 1);
    EXPECT_EQ(walked, QStringList({"EditIp", "EditMac", "EditHostName", "EditWorkgroup",
                                   "EditUserName", "EditLocation", "ColorPicker", "EditComment",
                                   "ButtonOk", "ButtonCancel"}));
}

TEST_F(DbEditing, AddOfAKnownAddressAsksAndYesPutsTheNewRecordAtTheEnd)
{
    const auto fill = [&](CEditDlg& dialog, const char* name) {
        Type(dialog.IpEdit(), QStringLiteral("10.0.0.4"));
        Type(dialog.MacEdit(), QStringLiteral("02:00:00:00:00:44"));
        Type(dialog.HostNameEdit(), QString::fromLatin1(name));
        ClickOk(dialog);
    };
    // No: nothing changes, not even the file.
    const QByteArray before = FileBytes();
    {
        WhenModal<CEditDlg> editor([&](CEditDlg& dialog) { fill(dialog, "refused"); });
        prompt->answers = {PromptAnswer::No};
        Frame().Action(ID_EDIT_ADD)->trigger();
    }
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text, QStringLiteral("Are you overcover it?"));
    EXPECT_EQ(prompt->shown[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Question);
    EXPECT_EQ(FileBytes(), before);

    // Yes: one record with the address, now the last row.
    Frame().StatusPane(1)->setText(QStringLiteral("before"));
    {
        WhenModal<CEditDlg> editor([&](CEditDlg& dialog) { fill(dialog, "Replacement"); });
        prompt->answers = {PromptAnswer::Yes};
        Frame().Action(ID_EDIT_ADD)->trigger();
    }
    const QStringList names = {"delta", "charlie", "Bravo", "echo", "Replacement"};
    EXPECT_EQ(Column(DbView(), DbColHostName), names);
    EXPECT_EQ(StoredNames(), names);
    EXPECT_EQ(Cell(DbView(), 4, DbColIp), QStringLiteral("10.0.0.4"));
    EXPECT_EQ(Pane1(), QStringLiteral("before")); // the count did not change
}

TEST_F(DbEditing, ThePickedColourIsTheColourOfTheWholeRow)
{
    WhenModal<QColorDialog> colours([](QColorDialog& dialog) {
        dialog.setCurrentColor(QColor(0, 0, 255));
        dialog.accept();
    });
    WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
        CColorPicker* picker = dialog.ColorPicker();
        EXPECT_EQ(picker->GetDefaultColor(),
                  CColorPicker::FromQColor(QApplication::palette().color(QPalette::WindowText)));
        Type(dialog.IpEdit(), QStringLiteral("10.0.0.60"));
        Type(dialog.MacEdit(), QStringLiteral("02:00:00:00:00:60"));
        QTest::mouseClick(picker, Qt::LeftButton, {}, QPoint(8, picker->height() / 2));
        EXPECT_EQ(picker->GetColor(), MakeColorRef(0, 0, 255));
        ClickOk(dialog);
    });
    Frame().Action(ID_EDIT_ADD)->trigger();
    ASSERT_EQ(colours.shown, 1);
    for (int column = 0; column < DbColumnCount; ++column)
        EXPECT_EQ(CellColor(DbView(), 5, column), kBlue) << column;
    EXPECT_EQ(Stored()[5]->color, MakeColorRef(0, 0, 255));

    // "Automatic" of the button's menu gives the default colour back.
    CColorPicker picker;
    picker.SetDefaultColor(MakeColorRef(1, 2, 3));
    picker.SetColor(MakeColorRef(200, 0, 0));
    QAction* automatic = picker.menu()->findChild<QAction*>(QStringLiteral("AutomaticColor"));
    ASSERT_NE(automatic, nullptr);
    automatic->trigger();
    EXPECT_EQ(picker.GetColor(), MakeColorRef(1, 2, 3));
}

TEST_F(DbEditing, PropertiesEditsTheLowestSelectedRecordInItsPlace)
{
    SelectRows(DbView(), {3, 1});
    WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Record Properties"));
        EXPECT_EQ(dialog.IpEdit()->text(), QStringLiteral("10.0.0.4"));
        EXPECT_EQ(dialog.MacEdit()->text(), QStringLiteral("08:00:20:00:00:02"));
        EXPECT_EQ(dialog.HostNameEdit()->text(), QStringLiteral("Alpha"));
        EXPECT_EQ(dialog.LocationEdit()->text(), QStringLiteral("room 1"));
        EXPECT_EQ(dialog.ColorPicker()->GetColor(), MakeColorRef(255, 0, 0));
        dialog.CommentEdit()->setFocus();
        QTest::keyClicks(dialog.CommentEdit(), QStringLiteral("by the door"));
        ClickOk(dialog);
    });
    Frame().Action(ID_VIEW_PROPERTIES)->trigger();
    ASSERT_EQ(editor.shown, 1);
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 5u);
    EXPECT_EQ(stored[1]->comment, QStringLiteral("by the door"));
    EXPECT_EQ(stored[1]->hostName, QStringLiteral("Alpha"));
    EXPECT_EQ(stored[1]->ip, Ip("10.0.0.4"));
    EXPECT_EQ(stored[1]->color, MakeColorRef(255, 0, 0));
    // The editor does not show the names a scan found; they stay with the record.
    EXPECT_EQ(stored[1]->otherNames,
              (OtherNames{{QStringLiteral("alpha.local"), NameSource::Mdns}}));
    EXPECT_EQ(Cell(DbView(), 1, DbColComment), QStringLiteral("by the door"));
    EXPECT_EQ(Cell(DbView(), 1, DbColOtherNames), QStringLiteral("alpha.local (mDNS)"));
    EXPECT_TRUE(prompt->shown.empty());
}

TEST_F(DbEditing, PropertiesRefusesAnAddressAnotherRecordHolds)
{
    SelectRows(DbView(), {1});
    const QByteArray before = FileBytes();
    {
        WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
            Type(dialog.IpEdit(), QStringLiteral("10.0.0.30")); // delta's
            Type(dialog.HostNameEdit(), QStringLiteral("taken"));
            dialog.CommentEdit()->setPlainText(QStringLiteral("not kept"));
            ClickOk(dialog);
        });
        Frame().Action(ID_VIEW_PROPERTIES)->trigger();
    }
    ASSERT_EQ(prompt->Texts(), QStringList({"Record already existence!"}));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Cell(DbView(), 1, DbColHostName), QStringLiteral("Alpha"));
    EXPECT_TRUE(Cell(DbView(), 1, DbColComment).isEmpty());

    // A new address stays in the same row.
    {
        WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
            Type(dialog.IpEdit(), QStringLiteral("10.0.0.99"));
            ClickOk(dialog);
        });
        Frame().Action(ID_VIEW_PROPERTIES)->trigger();
    }
    EXPECT_EQ(Cell(DbView(), 1, DbColIp), QStringLiteral("10.0.0.99"));
    EXPECT_EQ(Stored()[1]->ip, Ip("10.0.0.99"));
    EXPECT_EQ(StoredNames(), QStringList({"delta", "Alpha", "charlie", "Bravo", "echo"}));
}

TEST_F(DbEditing, ADoubleClickOpensTheEditorOverEveryCellButManufactureAndOtherNames)
{
    CDBView& list = DbView();
    for (int column = 0; column < DbColumnCount; ++column) {
        if (column == DbColVendor || column == DbColOtherNames || column == DbColIpv6 ||
            column == DbColFirstSeen || column == DbColLastSeen)
            continue;
        list.horizontalScrollBar()->setValue(0);
        list.scrollTo(list.model()->index(2, column));
        DoubleClickCell(2, column);
        ASSERT_TRUE(Editing()) << column;
        const QRect cell = list.visualRect(list.model()->index(2, column));
        const int indent = column == DbColIp || column == DbColMac ? 21 : 3;
        EXPECT_EQ(Editor()->geometry().left(), cell.left() + indent) << column;
        EXPECT_EQ(Editor()->geometry().right(), cell.right() - 3) << column;
        EXPECT_EQ(Editor()->geometry().top(), cell.top()) << column;
        EXPECT_EQ(Editor()->text(), Cell(list, 2, column)) << column;
        EXPECT_TRUE(Editor()->hasFocus()) << column;
        QTest::keyClick(Editor(), Qt::Key_Escape);
        EXPECT_FALSE(Editing()) << column;
    }
    for (const int column : {int(DbColVendor), int(DbColOtherNames), int(DbColIpv6)}) {
        list.scrollTo(list.model()->index(1, column));
        DoubleClickCell(1, column);
        EXPECT_FALSE(Editing()) << column;
    }
}

TEST_F(DbEditing, EnterStoresTheTypedTextAndEscapeLeavesTheRecord)
{
    const QByteArray before = FileBytes();
    EditCell(1, DbColHostName, QStringLiteral("never"), Qt::Key_Escape);
    EXPECT_FALSE(Editing());
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Cell(DbView(), 1, DbColHostName), QStringLiteral("Alpha"));

    EditCell(1, DbColHostName, QStringLiteral(" alpha-2 "));
    EXPECT_FALSE(Editing());
    const auto stored = Stored();
    EXPECT_EQ(stored[1]->hostName, QStringLiteral(" alpha-2 "));
    EXPECT_EQ(stored[1]->location, QStringLiteral("room 1"));
    EXPECT_EQ(stored[1]->ip, Ip("10.0.0.4"));
    EXPECT_EQ(Cell(DbView(), 1, DbColHostName), QStringLiteral(" alpha-2 "));

    // Each text column takes its own field.
    EditCell(1, DbColWorkgroup, QStringLiteral("wg"));
    EditCell(1, DbColUserName, QStringLiteral("user"));
    EditCell(1, DbColLocation, QStringLiteral("hall"));
    DbView().scrollTo(DbView().model()->index(1, DbColComment));
    EditCell(1, DbColComment, QStringLiteral("note"));
    const auto edited = Stored();
    const DatabaseRecord& record = *edited[1];
    EXPECT_EQ(record.workgroup, QStringLiteral("wg"));
    EXPECT_EQ(record.userName, QStringLiteral("user"));
    EXPECT_EQ(record.location, QStringLiteral("hall"));
    EXPECT_EQ(record.comment, QStringLiteral("note"));
    EXPECT_TRUE(prompt->shown.empty());
}

TEST_F(DbEditing, AnAddressAnotherRowHoldsIsRefusedAfterTheEditorHasClosed)
{
    const QByteArray before = FileBytes();
    bool editorOpenDuringMessage = true;
    prompt->onAsk = [&] { editorOpenDuringMessage = Editing(); };
    EditCell(1, DbColIp, QStringLiteral("10.0.0.30"));
    // The message is posted, not shown from inside the end of the edit.
    EXPECT_TRUE(prompt->shown.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompt->shown.empty(); }, 2000));
    EXPECT_EQ(prompt->Texts(), QStringList({"Record already existence!"}));
    EXPECT_FALSE(editorOpenDuringMessage);
    EXPECT_EQ(Cell(DbView(), 1, DbColIp), QStringLiteral("10.0.0.4"));
    EXPECT_EQ(FileBytes(), before);

    // Its own address is accepted without a word; text that is no address changes nothing.
    EditCell(1, DbColIp, QStringLiteral("10.0.0.4"));
    EditCell(1, DbColIp, QStringLiteral("10.0.0"));
    EditCell(1, DbColMac, QStringLiteral("08:00:20:00:00"));
    QTest::qWait(20);
    EXPECT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(Cell(DbView(), 1, DbColMac), QStringLiteral("08:00:20:00:00:02"));
    EXPECT_EQ(FileBytes(), before);

    // A good MAC is stored with its top bits, a new address in the same row.
    EditCell(1, DbColMac, QStringLiteral("0a-0b-0c-0d-0e-0f"));
    EXPECT_EQ(Cell(DbView(), 1, DbColMac), QStringLiteral("08:00:20:00:00:02")) << "':' only";
    EditCell(1, DbColMac, QStringLiteral("0a:0b:0c:0d:0e:0f"));
    EditCell(1, DbColIp, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(Stored()[1]->mac, Mac("0a:0b:0c:0d:0e:0f") | kMacTopBits);
    EXPECT_EQ(Stored()[1]->ip, Ip("10.0.0.5"));
}

TEST_F(DbEditing, ScrollingAClickElsewhereOrASortEndsTheEditAndKeepsIt)
{
    CDBView& list = DbView();
    DoubleClickCell(0, DbColHostName);
    ASSERT_TRUE(Editing());
    Type(Editor(), QStringLiteral("scrolled"));
    list.horizontalScrollBar()->setValue(list.horizontalScrollBar()->value() + 40);
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Stored()[0]->hostName, QStringLiteral("scrolled"));

    list.horizontalScrollBar()->setValue(0);
    DoubleClickCell(0, DbColHostName);
    Type(Editor(), QStringLiteral("clicked away"));
    const QRect other = list.visualRect(list.model()->index(3, DbColIp));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, other.center());
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Stored()[0]->hostName, QStringLiteral("clicked away"));

    DoubleClickCell(0, DbColLocation);
    Type(Editor(), QStringLiteral("aaa first"));
    ClickHeader(list, DbColLocation);
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Column(list, DbColLocation),
              QStringList({"aaa first", "room 1", "room 2", "room 3", "room 4"}));
    EXPECT_EQ(Stored()[0]->location, QStringLiteral("aaa first"));
}

TEST_F(DbEditing, TheEditorKeepsItsKeysFromTheWindow)
{
    CDBView& list = DbView();
    DoubleClickCell(2, DbColHostName);
    ASSERT_TRUE(Editing());
    // Delete edits the text; the window's Delete command (which asks first) stays away.
    QTest::keyClick(Editor(), Qt::Key_Home);
    QTest::keyClick(Editor(), Qt::Key_Delete);
    EXPECT_EQ(Editor()->text(), QStringLiteral("harlie"));
    // Ctrl+A selects the text, not every row; Tab and the arrows leave the focus alone.
    QTest::keyClick(Editor(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Editor()->selectedText(), QStringLiteral("harlie"));
    QTest::keyClick(Editor(), Qt::Key_Tab);
    QTest::keyClick(Editor(), Qt::Key_Down);
    QTest::keyClick(Editor(), Qt::Key_Up);
    EXPECT_TRUE(Editing());
    EXPECT_TRUE(Editor()->hasFocus());
    EXPECT_EQ(list.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(list.currentIndex().row(), 2);
    EXPECT_TRUE(prompt->shown.empty());
    QTest::keyClick(Editor(), Qt::Key_Return);
    EXPECT_EQ(Stored()[2]->hostName, QStringLiteral("harlie"));
}

TEST_F(DbEditing, ACommandWhileACellIsEditedSeesTheEditedValue)
{
    SelectRows(DbView(), {1});
    DoubleClickCell(1, DbColHostName);
    ASSERT_TRUE(Editing());
    Type(Editor(), QStringLiteral("edited first"));
    // A toolbar button takes no focus, so the editor still has it when Properties runs.
    QString shown;
    WhenModal<CEditDlg> editor([&](CEditDlg& dialog) {
        shown = dialog.HostNameEdit()->text();
        dialog.reject();
    });
    Frame().Action(ID_VIEW_PROPERTIES)->trigger();
    EXPECT_EQ(shown, QStringLiteral("edited first"));
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Stored()[1]->hostName, QStringLiteral("edited first"));
}

TEST_F(DbEditing, ACommitTheFileRefusesIsUndoneAndKeepsEveryEarlierOne)
{
    EditCell(0, DbColHostName, QStringLiteral("committed"));
    ASSERT_EQ(Stored()[0]->hostName, QStringLiteral("committed"));

    // Another program holds the file: nothing can be written until it lets go.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EditCell(1, DbColHostName, QStringLiteral("refused"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
    EXPECT_TRUE(prompt->shown[0].text.contains(QDir::toNativeSeparators(path)));
    EXPECT_EQ(Cell(DbView(), 1, DbColHostName), QStringLiteral("Alpha"));
    EXPECT_EQ(StoredNames(), QStringList({"committed", "Alpha", "charlie", "Bravo", "echo"}));

    // The next change goes in as usual.
    EditCell(1, DbColHostName, QStringLiteral("later"));
    EXPECT_EQ(StoredNames(), QStringList({"committed", "later", "charlie", "Bravo", "echo"}));
    EXPECT_EQ(prompt->shown.size(), 1u);
}

} // namespace
