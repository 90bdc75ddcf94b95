// With the Chinese language module in place, every text of the frame comes from it:
// menu titles and items, toolbar buttons, tooltips, the tabs, the target box's label, and
// the settings sheet.

#include "app/LanguageModule.h"
#include "app/LanveyApp.h"
#include "lang/LangString.h"
#include "lang/LangStringSource.h"
#include "test_ui_util.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/dialogs/CSettingSheet.h"
#include "ui/lists/CScanView.h"

#include <QAction>
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

} // namespace
