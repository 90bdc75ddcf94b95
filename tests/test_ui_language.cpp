// With the Chinese language module in place, every text of the frame comes from it:
// menu titles and items, toolbar buttons, tooltips, the tabs, the target box's label, and
// the settings sheet.

#include "app/LanguageModule.h"
#include "app/LanveyApp.h"
#include "lang/LangString.h"
#include "lang/LangStringSource.h"
#include "test_ui_util.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/dialogs/CAlarmDlg.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/dialogs/CEditDlg.h"
#include "ui/dialogs/CSettingSheet.h"
#include "ui/dialogs/CShowDetailDlg.h"
#include "ui/lists/CScanView.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolBar>
#include <QWidgetAction>

namespace
{

// Every text a user reads on the frame, by where it stands.
std::map<QString, QString> FrameTexts(CMainFrame& frame)
{
    std::map<QString, QString> texts;
    for (QAction* title : frame.menuBar()->actions()) {
        texts[QStringLiteral("menu ") + QString::number(texts.size())] = title->text();
        if (QMenu* menu = title->menu())
            for (QAction* item : menu->actions())
                if (!item->isSeparator() && !item->text().isEmpty())
                    texts[QStringLiteral("item %1").arg(item->data().toInt())] = item->text();
    }
    for (QToolBar* bar : frame.findChildren<QToolBar*>()) {
        for (QAction* action : bar->actions()) {
            if (action->isSeparator() || qobject_cast<QWidgetAction*>(action))
                continue;
            if (!action->iconText().isEmpty())
                texts[QStringLiteral("button %1").arg(action->data().toInt())] = action->iconText();
            if (!action->toolTip().isEmpty())
                texts[QStringLiteral("tip %1").arg(action->data().toInt())] = action->toolTip();
        }
    }
    for (QTabWidget* tabs : frame.findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i)
            texts[QStringLiteral("tab %1").arg(i)] = tabs->tabText(i);
    for (QLabel* label : frame.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts[QStringLiteral("label ") + label->objectName() + label->text()] = label->text();
    return texts;
}

// Every text of a dialog, by its place: the caption, labels, buttons, group titles and
// the items of button menus. Values the dialog shows (addresses, names) are left out.
QStringList DialogTexts(QDialog& dialog)
{
    QStringList texts = {dialog.windowTitle()};
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty() && label->textFormat() != Qt::PlainText)
            texts << label->text();
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        if (!button->text().isEmpty())
            texts << button->text();
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>())
        if (!group->title().isEmpty())
            texts << group->title();
    for (QMenu* menu : dialog.findChildren<QMenu*>())
        for (QAction* item : menu->actions())
            texts << item->text();
    return texts;
}

// The texts of the database dialogs as they are shown: the record editor in both modes,
// the replace confirmation and the detail.
QStringList DatabaseDialogTexts()
{
    QStringList texts;
    for (int mode : {CEditDlg::AddMode, CEditDlg::PropertiesMode}) {
        CEditDlg editor;
        editor.m_nMode = mode;
        WhenModal<CEditDlg> read([&](CEditDlg& dialog) {
            texts << DialogTexts(dialog);
            dialog.reject();
        });
        editor.exec();
    }
    CAlarmDlg confirm(nullptr);
    WhenModal<CAlarmDlg> read([&](CAlarmDlg& dialog) {
        texts << DialogTexts(dialog);
        dialog.reject();
    });
    confirm.exec();
    CShowDetailDlg detail;
    texts << DialogTexts(detail);
    return texts;
}

class UiLanguage : public FrameTest
{
protected:
    void TearDown() override
    {
        SetLangStringSource(nullptr);
        FrameTest::TearDown();
    }
};

TEST_F(UiLanguage, TheChineseModuleSwitchesEveryTextOfTheFrame)
{
    const std::map<QString, QString> english = FrameTexts(Frame());
    frame.reset();

    CLanguageModule module;
    ASSERT_EQ(module.Load(QStringLiteral(LANVEY_BINARY_DIR "/"), QStringLiteral("zh_cn"),
                          QString::fromLatin1(kProductVersion)),
              CLanguageModule::Status::Loaded);
    SetLangStringSource(module.Strings());
    const std::map<QString, QString> chinese = FrameTexts(Frame());

    ASSERT_GT(english.size(), 60u);
    int compared = 0;
    for (const auto& [where, text] : english) {
        // Labels are keyed by their text, so the English ones have no Chinese partner.
        if (where.startsWith(QStringLiteral("label ")))
            continue;
        const auto it = chinese.find(where);
        ASSERT_NE(it, chinese.end()) << where.toStdString();
        EXPECT_NE(it->second, text) << where.toStdString() << " stays " << text.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 60);
    // The target box's label and the host count in the status bar.
    bool labelSwitched = false;
    for (const auto& [where, text] : chinese)
        labelSwitched |= text == QStringLiteral("本地子网");
    EXPECT_TRUE(labelSwitched);

    CSettingSheet sheet(FormatLangString(140, QStringLiteral("Setting")), 0, nullptr);
    EXPECT_EQ(sheet.windowTitle(), QStringLiteral("设置"));
    QStringList sheetTexts;
    for (QLabel* label : sheet.findChildren<QLabel*>())
        sheetTexts << label->text();
    for (QTabWidget* tabs : sheet.findChildren<QTabWidget*>())
        sheetTexts << tabs->tabText(0);
    EXPECT_TRUE(sheetTexts.contains(QStringLiteral("常规"))) << sheetTexts.join(u'|').toStdString();
    EXPECT_TRUE(sheetTexts.contains(QStringLiteral("扫描线程数：")))
        << sheetTexts.join(u'|').toStdString();

    // Texts of the windows' own: the About caption and the list menus.
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Norvane Lanvey"));
    QStringList menuTexts;
    const std::unique_ptr<QMenu> menu = Frame().ScanView()->CreateContextMenu();
    for (QAction* action : menu->actions())
        menuTexts << action->text();
    EXPECT_TRUE(menuTexts.contains(QStringLiteral("复制(&C)")))
        << menuTexts.join(u'|').toStdString();
    EXPECT_TRUE(menuTexts.contains(QStringLiteral("显示差异详情...")));
}

TEST_F(UiLanguage, TheChineseModuleSwitchesEveryTextOfTheDatabaseDialogs)
{
    const QStringList english = DatabaseDialogTexts();
    CLanguageModule module;
    ASSERT_EQ(module.Load(QStringLiteral(LANVEY_BINARY_DIR "/"), QStringLiteral("zh_cn"),
                          QString::fromLatin1(kProductVersion)),
              CLanguageModule::Status::Loaded);
    SetLangStringSource(module.Strings());
    const QStringList chinese = DatabaseDialogTexts();

    ASSERT_EQ(chinese.size(), english.size());
    EXPECT_GT(english.size(), 40);
    for (qsizetype i = 0; i < english.size(); ++i)
        EXPECT_NE(chinese[i], english[i]) << english[i].toStdString();
    EXPECT_TRUE(chinese.contains(QStringLiteral("添加新记录")));
    EXPECT_TRUE(chinese.contains(QStringLiteral("记录属性")));
    EXPECT_TRUE(chinese.contains(QStringLiteral("扫描记录")));
    EXPECT_TRUE(chinese.contains(QStringLiteral("全部否")));
}

} // namespace
