// The Find dialog on its own, over a stand-in list that records every search it is
// asked for and keeps the last text as a list does.

#include "ui/dialogs/CFindDlg.h"
#include "ui/dialogs/FindTarget.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace
{

class RecordingTarget final : public FindTarget
{
public:
    struct Call {
        QString text;
        bool matchCase;
        bool continueSearch;
        friend bool operator==(const Call&, const Call&) = default;
    };

    bool FindText(const QString& text, bool matchCase, bool continueSearch) override
    {
        calls.push_back({text, matchCase, continueSearch});
        m_lastText = text;
        if (hits.empty())
            return false;
        const bool hit = hits.front();
        hits.pop_front();
        return hit;
    }
    QString GetLastFindText() const override { return m_lastText; }

    std::vector<Call> calls;
    std::deque<bool> hits; // answers in order; a miss once they run out

private:
    QString m_lastText;
};

void PrintTo(const RecordingTarget::Call& call, std::ostream* os)
{
    *os << '{' << call.text.toStdString() << ", matchCase=" << call.matchCase
        << ", continue=" << call.continueSearch << '}';
}

class FindDialog : public ::testing::Test
{
protected:
    void ShowActive()
    {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    // Replaces the text as the user would: the shown dialog has it all selected.
    void Type(const char* text)
    {
        dialog.FindEdit()->selectAll();
        QTest::keyClicks(dialog.FindEdit(), QString::fromLatin1(text));
    }

    void ClickFindNext() { QTest::mouseClick(dialog.FindNextButton(), Qt::LeftButton); }

    // On the box itself: the check box's widget is wider than the box and its text.
    void ClickMatchCase()
    {
        QCheckBox* box = dialog.MatchCaseBox();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    RecordingTarget target;
    FindTarget* active = &target;
    CFindDlg dialog{[this] { return active; }};
};

using Call = RecordingTarget::Call;

} // namespace

TEST_F(FindDialog, HasTheFindCaptionAndControls)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Find"));
    EXPECT_EQ(dialog.MatchCaseBox()->text(), QStringLiteral("Match Case"));
    EXPECT_EQ(dialog.FindNextButton()->text(), QStringLiteral("Find Next"));
    EXPECT_EQ(dialog.CloseButton()->text(), QStringLiteral("Close"));
    EXPECT_FALSE(dialog.isModal());
    EXPECT_FALSE(dialog.MatchCaseBox()->isChecked());
}

TEST_F(FindDialog, NewTextStartsAtRowZeroAndAHitHidesTheDialog)
{
    ShowActive();
    Type("printer");
    target.hits = {true};
    ClickFindNext();
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0], (Call{QStringLiteral("printer"), false, false}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FindDialog, SameTextAgainContinuesAfterTheFocusedRow)
{
    ShowActive();
    Type("printer");
    target.hits = {true, true};
    ClickFindNext();
    ShowActive();
    ClickFindNext();
    ASSERT_EQ(target.calls.size(), 2u);
    EXPECT_EQ(target.calls[1], (Call{QStringLiteral("printer"), false, true}));
}

TEST_F(FindDialog, ChangingOnlyMatchCaseContinues)
{
    ShowActive();
    Type("Printer");
    ClickFindNext();
    ClickMatchCase();
    ASSERT_TRUE(dialog.MatchCaseBox()->isChecked());
    ClickFindNext();
    ASSERT_EQ(target.calls.size(), 2u);
    EXPECT_EQ(target.calls[0], (Call{QStringLiteral("Printer"), false, false}));
    EXPECT_EQ(target.calls[1], (Call{QStringLiteral("Printer"), true, true}));
}

TEST_F(FindDialog, ATextThatDiffersOnlyInCaseStartsOver)
{
    ShowActive();
    Type("printer");
    ClickFindNext();
    Type("PRINTER");
    ClickFindNext();
    Type("printer2");
    ClickFindNext();
    ASSERT_EQ(target.calls.size(), 3u);
    EXPECT_FALSE(target.calls[1].continueSearch);
    EXPECT_EQ(target.calls[1].text, QStringLiteral("PRINTER"));
    EXPECT_FALSE(target.calls[2].continueSearch);
}

TEST_F(FindDialog, TheListsLastTextDecidesNotTheDialogsOwn)
{
    // Another way of searching (F3 on the list) changed the list's last text.
    ShowActive();
    Type("nas");
    ClickFindNext();
    target.FindText(QStringLiteral("kiosk"), false, false);
    ClickFindNext();
    ASSERT_EQ(target.calls.size(), 3u);
    EXPECT_EQ(target.calls[2], (Call{QStringLiteral("nas"), false, false}));
}

TEST_F(FindDialog, EnterRunsFindNextAndAMissKeepsTheDialogOpen)
{
    ShowActive();
    Type("nothing-like-this");
    QTest::keyClick(dialog.FindEdit(), Qt::Key_Return);
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0], (Call{QStringLiteral("nothing-like-this"), false, false}));
    EXPECT_TRUE(dialog.isVisible());

    // Enter on the Close button or the check box is Find Next as well.
    dialog.CloseButton()->setFocus();
    QTest::keyClick(dialog.CloseButton(), Qt::Key_Enter);
    QTest::keyClick(dialog.MatchCaseBox(), Qt::Key_Return);
    EXPECT_EQ(target.calls.size(), 3u);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(FindDialog, EnterOnAHitHidesTheDialog)
{
    ShowActive();
    Type("nas");
    target.hits = {true};
    QTest::keyClick(dialog.FindEdit(), Qt::Key_Return);
    EXPECT_EQ(target.calls.size(), 1u);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(FindDialog, EmptyTextDoesNothing)
{
    ShowActive();
    ClickFindNext();
    QTest::keyClick(dialog.FindEdit(), Qt::Key_Return);
    EXPECT_TRUE(target.calls.empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(FindDialog, NoActiveListDoesNothing)
{
    active = nullptr;
    ShowActive();
    Type("nas");
    ClickFindNext();
    EXPECT_TRUE(target.calls.empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(FindDialog, EscapeAndCloseHideItAndKeepTextAndCase)
{
    ShowActive();
    Type("nas");
    ClickMatchCase();
    QTest::keyClick(dialog.FindEdit(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());

    ShowActive();
    EXPECT_EQ(dialog.FindEdit()->text(), QStringLiteral("nas"));
    EXPECT_TRUE(dialog.MatchCaseBox()->isChecked());
    QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(target.calls.empty());
}

TEST_F(FindDialog, ShowingAgainSelectsThePreviousTextSoTypingReplacesIt)
{
    ShowActive();
    QTest::keyClicks(dialog.FindEdit(), QStringLiteral("workstation"));
    dialog.hide();
    ShowActive();
    EXPECT_EQ(QApplication::focusWidget(), dialog.FindEdit());
    EXPECT_EQ(dialog.FindEdit()->selectedText(), QStringLiteral("workstation"));
    QTest::keyClicks(dialog.FindEdit(), QStringLiteral("nas"));
    EXPECT_EQ(dialog.FindEdit()->text(), QStringLiteral("nas"));
}
