// The main window itself: the caption, the stored placement, the close (also the
// uninstaller's), the update check one second after start, the help and web commands,
// the About box and the settings command.

#include "test_ui_util.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/dialogs/CSettingGlobalPage.h"
#include "ui/dialogs/CSettingSheet.h"
#include "app/ProfileSettings.h"
#include "ui/frame/WindowPlacement.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

using FrameWindow = FrameTest;

TEST_F(FrameWindow, CaptionStaysTheApplicationTitle)
{
    EXPECT_EQ(Frame().windowTitle(), "Norvane Lanvey");
    Frame().setWindowTitle(QStringLiteral("Untitled - Lanvey"));
    EXPECT_EQ(Frame().windowTitle(), "Norvane Lanvey");
    Frame().setWindowTitle(QString());
    EXPECT_EQ(Frame().windowTitle(), "Norvane Lanvey");
}

TEST_F(FrameWindow, PlacementIsSavedOnCloseAndRestoredAtTheNextStart)
{
    Frame().RestorePlacementAndShow();
    Frame().setGeometry(60, 70, 700, 500);
    ASSERT_TRUE(Frame().close());
    const std::optional<WindowPlacement> stored =
        DecodeWindowPlacement(GetProfileBinary(QStringLiteral("WindowsPos")));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->state, PlacementShowState::Normal);
    EXPECT_FALSE(GetProfileBinary(QStringLiteral("CommandBars_ver10"), QString()).isEmpty());
    frame.reset();

    Frame().RestorePlacementAndShow();
    EXPECT_EQ(Frame().size(), QSize(700, 500));
    EXPECT_FALSE(Frame().isMinimized());
}

TEST_F(FrameWindow, MinimisedOrUnreadablePlacementIsIgnored)
{
    // The same geometry that is applied when stored as normal...
    QWidget sample;
    sample.setGeometry(40, 50, 640, 480);
    sample.show();
    const QByteArray geometry = sample.saveGeometry();
    WriteProfileBinary(QStringLiteral("WindowsPos"),
                       EncodeWindowPlacement(PlacementShowState::Normal, geometry));
    Frame().RestorePlacementAndShow();
    EXPECT_EQ(Frame().size(), QSize(640, 480));
    frame.reset();

    // ...is ignored when its show state is minimised: the window opens normally.
    WriteProfileBinary(QStringLiteral("WindowsPos"),
                       EncodeWindowPlacement(PlacementShowState::Minimized, geometry));
    Frame().RestorePlacementAndShow();
    EXPECT_FALSE(Frame().isMinimized());
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_NE(Frame().size(), QSize(640, 480));
    frame.reset();

    for (const QByteArray& bad : {QByteArray("LVWP\x01", 5), QByteArray(44, 'x'),
                                  EncodeWindowPlacement(PlacementShowState::Normal, "garbage")}) {
        WriteProfileBinary(QStringLiteral("WindowsPos"), bad);
        Frame().RestorePlacementAndShow();
        EXPECT_TRUE(Frame().isVisible());
        EXPECT_NE(Frame().size(), QSize(640, 480));
        frame.reset();
    }
}

TEST_F(FrameWindow, UninstallerCloseDuringAScanCancelsItAndSavesThePlacement)
{
    UseProbe("192.168.1.0", 256);
    HoldWorkers();
    WriteProfileInt(QStringLiteral("Threads"), 2);
    Frame().RestorePlacementAndShow();
    Frame().Action(ID_SCAN_START)->trigger();
    ASSERT_TRUE(gate.WaitForHeld(2));
    ASSERT_FALSE(g_hCancelScanEvent.IsSet());

    Frame().CloseFromUninstaller();
    EXPECT_TRUE(g_hCancelScanEvent.IsSet());
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_TRUE(DecodeWindowPlacement(GetProfileBinary(QStringLiteral("WindowsPos"))).has_value());
    EXPECT_FALSE(GetProfileBinary(QStringLiteral("CommandBars_ver10"), QString()).isEmpty());

    // The workers see the stop as soon as they go on, and nothing more is asked.
    gate.Open();
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(probe->CallsFor(HostOrderOf("192.168.1.100")), 0);
}

TEST_F(FrameWindow, AutomaticUpdateCheckRunsOnceAboutOneSecondAfterStart)
{
    autoCheckUpdate = true;
    Frame();
    EXPECT_TRUE(updateChecks.empty());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !updateChecks.empty(); }, 3000));
    EXPECT_EQ(updateChecks, std::vector<int>{1});
    QTest::qWait(1200);
    EXPECT_EQ(updateChecks, std::vector<int>{1});

    // The menu command asks with 0.
    Frame().Action(ID_HELP_CHECK_VERSION)->trigger();
    EXPECT_EQ(updateChecks, (std::vector<int>{1, 0}));
}

TEST_F(FrameWindow, NoUpdateCheckWhenAutomaticCheckingIsOff)
{
    autoCheckUpdate = false;
    Frame();
    QTest::qWait(1300);
    EXPECT_TRUE(updateChecks.empty());
}

TEST_F(FrameWindow, HelpAndWebCommandsOpenTheirPages)
{
    Frame().Action(ID_HELP_HOMEPAGE)->trigger();
    Frame().Action(ID_HELP_FORUM)->trigger();
    Frame().Action(ID_HELP_FINDER)->trigger();
    Frame().Action(ID_HELP_SEARCH)->trigger();
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[0].scheme(), "https");
    EXPECT_NE(opened[0], opened[1]);
    // Without a help file both help commands open the help web page.
    EXPECT_EQ(opened[2], opened[3]);
    EXPECT_EQ(opened[2].scheme(), "https");
    EXPECT_NE(opened[2], opened[0]);
    const QUrl englishHome = opened[0];
    const QUrl englishHelp = opened[2];
    frame.reset();
    opened.clear();

    // Without any program to open a page, the user is told which page it was.
    urlOpens = false;
    Frame().Action(ID_HELP_HOMEPAGE)->trigger();
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Warning);
    EXPECT_TRUE(prompt->shown[0].text.contains(englishHome.toString()));
    urlOpens = true;
    opened.clear();

    // F1 is Help, wherever the focus is: here the help web page again.
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    Frame().ScanView()->setFocus();
    QTest::keyClick(Frame().ScanView(), Qt::Key_F1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], englishHelp);
    frame.reset();
    opened.clear();

    // A Chinese interface gets the other variant of the site; a help file is opened itself.
    language = QStringLiteral("zh_cn");
    helpFile = QStringLiteral("/opt/lanvey/help/zh_cn/Lanvey.chm");
    Frame().Action(ID_HELP_HOMEPAGE)->trigger();
    Frame().Action(ID_HELP_FINDER)->trigger();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_NE(opened[0], englishHome);
    EXPECT_EQ(opened[1], QUrl::fromLocalFile(helpFile));
    EXPECT_NE(opened[1], englishHelp);
}

TEST_F(FrameWindow, AboutBoxShowsNameAndVersionWithBuild)
{
    EXPECT_EQ(AboutVersionText(QStringLiteral("2.2.1.315")), "Version 2.2 (Build 315)");
    EXPECT_EQ(AboutVersionText(QStringLiteral("3.10.0.4711")), "Version 3.10 (Build 4711)");

    CAboutDlg* shown = nullptr;
    QString product;
    QString version;
    QString caption;
    int width = 0;
    int captionWidth = 0;
    QTimer::singleShot(0, [&] {
        shown = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (shown) {
            product = shown->ProductLabel()->text();
            version = shown->VersionLabel()->text();
            caption = shown->windowTitle();
            width = shown->width();
            captionWidth = shown->fontMetrics().horizontalAdvance(caption);
            shown->accept();
        }
    });
    Frame().Action(ID_APP_ABOUT)->trigger();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(product, "Norvane Lanvey");
    // The build's own version, in the box's form.
    const QStringList parts = QString::fromLatin1(kProductVersion).split(QLatin1Char('.'));
    ASSERT_EQ(parts.size(), 4);
    EXPECT_EQ(version,
              QStringLiteral("Version %1.%2 (Build %3)").arg(parts[0], parts[1], parts[3]));
    EXPECT_EQ(caption, "About Norvane Lanvey");
    // Room for the caption beside the title bar's buttons.
    EXPECT_GE(width, captionWidth + 120);
}

TEST_F(FrameWindow, SettingCommandOpensTheSheetAndCarriesAliasThrough)
{
    WriteProfileInt(QStringLiteral("Alias"), 3);
    bool sawSheet = false;
    QString caption;
    bool hasApply = true;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CSettingSheet*>(QApplication::activeModalWidget());
        if (!sheet)
            return;
        sawSheet = true;
        caption = sheet->windowTitle();
        hasApply = sheet->Buttons()->button(QDialogButtonBox::Apply) != nullptr;
        sheet->Page()->Slider()->setValue(42);
        QTest::mouseClick(sheet->Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    Frame().Action(ID_SETTING)->trigger();
    ASSERT_TRUE(sawSheet);
    EXPECT_EQ(caption, "Setting");
    EXPECT_FALSE(hasApply);
    EXPECT_EQ(Frame().Alias(), 3);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Threads"), -1), 42);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Alias"), -1), 3);
}
