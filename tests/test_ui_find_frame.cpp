// The Find dialog in the main window: created hidden with the frame, shown by Find
// (Ctrl+F), and searching the list of the current tab.

#include "support/AddressText.h"
#include "test_ui_util.h"
#include "ui/dialogs/CFindDlg.h"
#include "ui/dialogs/FindTarget.h"
#include "ui/lists/CDBView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace
{

class FrameFind : public FrameTest
{
protected:
    CFindDlg& Dialog() { return *Frame().FindDialog(); }

    void PressCtrlF()
    {
        QTest::keyClick(&Frame(), Qt::Key_F, Qt::ControlModifier);
        QApplication::setActiveWindow(&Dialog());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Dialog()));
    }

    void AddDatabaseHost(const char* ip, const char* mac, const char* name)
    {
        auto record = std::make_unique<DatabaseRecord>();
        record->ip = GetIpAddress(QString::fromLatin1(ip));
        record->mac = GetMacAddress(QString::fromLatin1(mac), QLatin1Char(':'));
        record->hostName = QString::fromLatin1(name);
        doc.AppendDatabaseRecord(std::move(record));
    }

    // The lists as the dialog sees them; null while a list cannot be searched.
    FindTarget* ScanTarget() { return dynamic_cast<FindTarget*>(Frame().TabView()->ScanView()); }
    FindTarget* DatabaseTarget()
    {
        return dynamic_cast<FindTarget*>(Frame().TabView()->DatabaseView());
    }
};

} // namespace

TEST_F(FrameFind, TheDialogIsCreatedHiddenAndOwnedByTheFrame)
{
    CFindDlg* dialog = Frame().FindDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->parentWidget(), &Frame());
    EXPECT_TRUE(dialog->isWindow());
    EXPECT_FALSE(dialog->isModal());
}

TEST_F(FrameFind, CtrlFShowsItWithThePreviousTextSelected)
{
    ShowActive();
    PressCtrlF();
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(QApplication::focusWidget(), Dialog().FindEdit());
    QTest::keyClicks(Dialog().FindEdit(), QStringLiteral("reception"));
    QTest::keyClick(Dialog().FindEdit(), Qt::Key_Escape);
    EXPECT_FALSE(Dialog().isVisible());

    QApplication::setActiveWindow(&Frame());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    PressCtrlF();
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(Dialog().FindEdit()->selectedText(), QStringLiteral("reception"));
}

TEST_F(FrameFind, TheFindCommandOfTheMenuShowsIt)
{
    ShowActive();
    ASSERT_TRUE(Frame().Action(ID_EDIT_FIND)->isEnabled());
    Frame().Action(ID_EDIT_FIND)->trigger();
    EXPECT_TRUE(Dialog().isVisible());
    // Asking again while it is open keeps the one dialog.
    Frame().Action(ID_EDIT_FIND)->trigger();
    EXPECT_EQ(Frame().findChildren<CFindDlg*>().size(), 1);
}

TEST_F(FrameFind, TheDialogSearchesTheListOfTheCurrentTab)
{
    ASSERT_TRUE(ScanTarget() && DatabaseTarget()) << "both lists can be searched";
    EXPECT_EQ(Frame().ActiveFindTarget(), ScanTarget());
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    EXPECT_EQ(Frame().ActiveFindTarget(), DatabaseTarget());
    Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
    EXPECT_EQ(Frame().ActiveFindTarget(), ScanTarget());
}

TEST_F(FrameFind, WithTheDatabaseTabTheDatabaseListIsSearched)
{
    AddDatabaseHost("198.18.0.3", "7C:BC:84:5C:00:03", "PRINTER-2F");
    AddDatabaseHost("198.18.0.7", "78:13:05:30:00:07", "NAS");
    AddDatabaseHost("198.18.0.8", "70:B3:D5:61:10:08", "SCANNER-3");
    ASSERT_TRUE(ScanTarget() && DatabaseTarget()) << "both lists can be searched";
    ShowActive();
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    CDBView* list = Frame().TabView()->DatabaseView();

    PressCtrlF();
    QTest::keyClicks(Dialog().FindEdit(), QStringLiteral("er-"));
    QTest::mouseClick(Dialog().FindNextButton(), Qt::LeftButton);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(list->currentIndex().row(), 0);
    EXPECT_EQ(DatabaseTarget()->GetLastFindText(), QStringLiteral("er-"));
    EXPECT_EQ(ScanTarget()->GetLastFindText(), QString());

    // Again with the same text: on after the row found before (the vendor of the NAS,
    // "microtec Sicherheitstechnik", holds "er" but not "er-").
    QApplication::setActiveWindow(&Frame());
    PressCtrlF();
    QTest::keyClick(Dialog().FindEdit(), Qt::Key_Return);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(list->currentIndex().row(), 2);
    EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'|').toStdString();

    // The scan list is empty: a miss, reported once, and the dialog stays open.
    Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
    QApplication::setActiveWindow(&Frame());
    PressCtrlF();
    QTest::keyClick(Dialog().FindEdit(), Qt::Key_Return);
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(ScanTarget()->GetLastFindText(), QStringLiteral("er-"));
    EXPECT_EQ(prompt->Texts(), QStringList{QStringLiteral("The specified text was not found.")});
}

TEST_F(FrameFind, AHitIsBroughtIntoViewWithoutScrollingBackToTheFirstColumn)
{
    for (int i = 1; i <= 80; ++i)
        AddDatabaseHost(qPrintable(QStringLiteral("198.18.1.%1").arg(i)), "02:00:00:00:00:01",
                        qPrintable(QStringLiteral("HOST-%1").arg(i, 3, 10, QLatin1Char('0'))));
    ShowActive();
    Frame().resize(420, 360);
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    CDBView* list = Frame().TabView()->DatabaseView();
    QApplication::processEvents();
    QScrollBar* across = list->horizontalScrollBar();
    ASSERT_GT(across->maximum(), 0) << "the columns fit; the window is too wide for the test";
    across->setValue(across->maximum());

    PressCtrlF();
    QTest::keyClicks(Dialog().FindEdit(), QStringLiteral("HOST-077"));
    QTest::mouseClick(Dialog().FindNextButton(), Qt::LeftButton);
    ASSERT_EQ(list->currentIndex().row(), 76);
    EXPECT_EQ(across->value(), across->maximum());
    const int top = list->rowViewportPosition(76);
    EXPECT_TRUE(top >= 0 && top + list->rowHeight(76) <= list->viewport()->height())
        << "the row is not in view: " << top;
}
