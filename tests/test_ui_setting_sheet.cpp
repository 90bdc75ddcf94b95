// The settings sheet: the thread count slider, what OK stores and Cancel does not.

#include "app/ProfileSettings.h"
#include "app/WatchSession.h"
#include "test_ui_util.h"
#include "ui/dialogs/CSettingGlobalPage.h"
#include "ui/dialogs/CSettingSheet.h"
#include "ui/dialogs/CSettingWatchPage.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

class SettingSheet : public ::testing::Test
{
protected:
    void SetUp() override { TestProfile().clear(); }
    void TearDown() override { TestProfile().clear(); }

    static void Click(CSettingSheet& sheet, QDialogButtonBox::StandardButton which)
    {
        QTest::mouseClick(sheet.Buttons()->button(which), Qt::LeftButton);
    }
    static bool Stored(const char* entry)
    {
        return TestProfile().contains(QStringLiteral("Settings/General/") + QLatin1String(entry));
    }
};

TEST_F(SettingSheet, FirstUseShowsTwentyAndOkStoresTwentyAndAliasZero)
{
    CSettingSheet sheet(QStringLiteral("Setting"), 0);
    sheet.show();
    EXPECT_EQ(sheet.windowTitle(), "Setting");
    auto* tabs = sheet.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Watch");
    EXPECT_EQ(sheet.Buttons()->button(QDialogButtonBox::Ok)->text(), "OK");
    EXPECT_EQ(sheet.Buttons()->button(QDialogButtonBox::Cancel)->text(), "Cancel");
    EXPECT_EQ(sheet.Buttons()->button(QDialogButtonBox::Apply), nullptr);

    QSlider* slider = sheet.Page()->Slider();
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 100);
    EXPECT_EQ(slider->value(), 20);
    EXPECT_EQ(sheet.Page()->ValueLabel()->text(), "20");
    Click(sheet, QDialogButtonBox::Ok);
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Threads"), -1), 20);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Alias"), -1), 0);
}

TEST_F(SettingSheet, TheSendRateIsNormalAtFirstAndOkStoresGentleOrACustomRate)
{
    {
        CSettingSheet sheet(QStringLiteral("Setting"), 0);
        QComboBox* choice = sheet.Page()->RateChoice();
        EXPECT_EQ(choice->currentIndex(), int(SendRateMode::Normal));
        EXPECT_FALSE(sheet.Page()->CustomRate()->isEnabled());
        choice->setCurrentIndex(int(SendRateMode::Gentle));
        Click(sheet, QDialogButtonBox::Ok);
    }
    EXPECT_EQ(StoredSendRate(), 10);
    CSettingSheet sheet(QStringLiteral("Setting"), 0);
    EXPECT_EQ(sheet.Page()->RateChoice()->currentIndex(), int(SendRateMode::Gentle));
    sheet.Page()->RateChoice()->setCurrentIndex(int(SendRateMode::Custom));
    EXPECT_TRUE(sheet.Page()->CustomRate()->isEnabled());
    sheet.Page()->CustomRate()->setValue(250);
    Click(sheet, QDialogButtonBox::Ok);
    EXPECT_EQ(StoredSendRate(), 250);
}

TEST_F(SettingSheet, TheWatchPageShowsItsDefaultsAndOkStoresItsValuesWithinTheirRanges)
{
    CSettingSheet sheet(QStringLiteral("Setting"), 0);
    sheet.show();
    CSettingWatchPage& page = *sheet.WatchPage();
    EXPECT_EQ(page.IntervalBox()->value(), 5);
    EXPECT_EQ(page.RateBox()->value(), 50);
    EXPECT_EQ(page.GoneAfterBox()->value(), 3);
    EXPECT_FALSE(page.NewOnlyButton()->isChecked());
    page.IntervalBox()->setValue(90); // held to 60
    page.RateBox()->setValue(20);
    page.NewOnlyButton()->setChecked(true);
    Click(sheet, QDialogButtonBox::Ok);
    const WatchSettings stored = WatchSettings::Stored();
    EXPECT_EQ(stored.intervalMinutes, 60);
    EXPECT_EQ(stored.rate, 20);
    EXPECT_EQ(stored.goneAfter, 3);
    EXPECT_EQ(stored.notify, WatchNotifications::Choice::NewHostsOnly);
}

TEST_F(SettingSheet, SliderAtItsRightEndShowsAndStoresOneHundred)
{
    CSettingSheet sheet(QStringLiteral("Setting"), 5);
    sheet.show();
    QSlider* slider = sheet.Page()->Slider();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(slider->value(), 100);
    EXPECT_EQ(sheet.Page()->ValueLabel()->text(), "100");
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(sheet.Page()->ValueLabel()->text(), "99");
    QTest::keyClick(slider, Qt::Key_End);
    Click(sheet, QDialogButtonBox::Ok);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Threads"), -1), 100);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Alias"), -1), 5);
}

TEST_F(SettingSheet, CancelStoresNothingAndTheNextOpeningShowsTheStoredValue)
{
    {
        CSettingSheet sheet(QStringLiteral("Setting"), 0);
        sheet.show();
        sheet.Page()->Slider()->setValue(77);
        Click(sheet, QDialogButtonBox::Cancel);
        EXPECT_EQ(sheet.result(), QDialog::Rejected);
    }
    EXPECT_FALSE(Stored("Threads"));
    EXPECT_FALSE(Stored("Alias"));

    WriteProfileInt(QStringLiteral("Threads"), 35);
    {
        CSettingSheet sheet(QStringLiteral("Setting"), 9);
        sheet.show();
        sheet.Page()->Slider()->setValue(60);
        sheet.reject(); // closing the window is a Cancel too
    }
    EXPECT_EQ(GetProfileInt(QStringLiteral("Threads"), -1), 35);
    EXPECT_FALSE(Stored("Alias"));

    CSettingSheet again(QStringLiteral("Setting"), 0);
    EXPECT_EQ(again.Page()->Slider()->value(), 35);
    EXPECT_EQ(again.Page()->ValueLabel()->text(), "35");
}

TEST_F(SettingSheet, StoredValuesOutsideTheRangeOpenAtTheNearestEnd)
{
    WriteProfileInt(QStringLiteral("Threads"), 250);
    {
        CSettingSheet sheet(QStringLiteral("Setting"), 0);
        EXPECT_EQ(sheet.Page()->Slider()->value(), 100);
        EXPECT_EQ(sheet.Page()->ValueLabel()->text(), "100");
        sheet.show();
        Click(sheet, QDialogButtonBox::Ok);
    }
    EXPECT_EQ(GetProfileInt(QStringLiteral("Threads"), -1), 100);

    WriteProfileInt(QStringLiteral("Threads"), -4);
    CSettingSheet low(QStringLiteral("Setting"), 0);
    EXPECT_EQ(low.Page()->Slider()->value(), 1);
    EXPECT_EQ(low.Page()->ValueLabel()->text(), "1");
}
