// The command bars: menus, toolbars and accelerators with their ids and texts, the
// prompts in the status bar, and the icons that no button may lack.

#include "test_ui_util.h"
#include "ui/commands/CommandTable.h"

#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>
#include <QWidgetAction>

using UiCommandBars = FrameTest;

TEST_F(UiCommandBars, MenusCarryTheirItemsTextsAndAccessKeys)
{
    const std::vector<std::pair<QString, std::vector<std::pair<int, QString>>>> expected = {
        {"File",
         {{32773, "Import..."},
          {32787, "Export All Items..."},
          {32789, "Export Selected Items..."},
          {0, ""},
          {57607, "&Print..."},
          {57609, "Print Preview"},
          {57606, "Print Setup..."},
          {0, ""},
          {57665, "Exit"}}},
        {"Edit",
         {{32774, "Add"},
          {32775, "Add To Database"},
          {-1, "Add to NameTable with"},
          {57634, "Copy"},
          {32781, "Delete"},
          {0, ""},
          {57636, "Find..."},
          {0, ""},
          {57642, "Select All"}}},
        {"View", {{59393, "Status Bar"}, {0, ""}, {32776, "Properties"}}},
        {"Scan", {{32783, "Start"}, {32784, "Pause"}, {32785, "Stop"}, {0, ""}, {62225, "Watch"}}},
        {"Setting", {{32786, "Setting..."}}},
        {"Help",
         {{57671, "&Contents..."},
          {32830, "&Search..."},
          {0, ""},
          {32791, "Check for Latest &Version..."},
          {32792, "Norvane H&omepage..."},
          {32828, "Official Norvane Support &Forum"},
          {0, ""},
          {57664, "&About Norvane Lanvey..."}}},
    };
    const QList<QAction*> menus = Frame().menuBar()->actions();
    ASSERT_EQ(menus.size(), qsizetype(expected.size()));
    for (size_t m = 0; m < expected.size(); ++m) {
        SCOPED_TRACE(expected[m].first.toStdString());
        QMenu* menu = menus[qsizetype(m)]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title(), expected[m].first);
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), qsizetype(expected[m].second.size()));
        for (size_t i = 0; i < expected[m].second.size(); ++i) {
            const auto& [id, text] = expected[m].second[i];
            QAction* item = items[qsizetype(i)];
            if (id == 0) {
                EXPECT_TRUE(item->isSeparator()) << i;
            } else if (id == -1) {
                ASSERT_NE(item->menu(), nullptr);
                EXPECT_EQ(item->menu()->title(), text);
            } else {
                EXPECT_EQ(item->data().toInt(), id) << i;
                EXPECT_EQ(item->text(), text) << id;
            }
        }
    }

    QMenu* nameTable = Frame().NameTablePopupMenu();
    const QList<QAction*> nameItems = nameTable->actions();
    ASSERT_EQ(nameItems.size(), 3);
    EXPECT_EQ(nameItems[0]->data().toInt(), 32824);
    EXPECT_EQ(nameItems[0]->text(), "IP Address");
    EXPECT_EQ(nameItems[1]->data().toInt(), 32825);
    EXPECT_EQ(nameItems[1]->text(), "MAC Address");
    EXPECT_EQ(nameItems[2]->data().toInt(), 32822);
    EXPECT_EQ(nameItems[2]->text(), "IP and MAC Address");
}

TEST_F(UiCommandBars, ToolbarsHoldTheirButtonSetsWithTextUnderEveryIcon)
{
    EXPECT_EQ(Frame().StandardToolBar()->windowTitle(), "Standard");
    EXPECT_EQ(BarIds(Frame().StandardToolBar()),
              (std::vector<int>{32786, 0, 32782, 32783, 32784, 32785, 62225, 0, 32787, 32789, 0,
                                32775, 215, 57634, 32781, 0, 57636}));
    EXPECT_EQ(Frame().ExtraToolBar()->windowTitle(), "Extra");
    EXPECT_EQ(BarIds(Frame().ExtraToolBar()),
              (std::vector<int>{57664, 57671, 57609, 57607, 32792, 57635, 57637, 32830}));

    for (QToolBar* bar : {Frame().StandardToolBar(), Frame().ExtraToolBar()}) {
        EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_FALSE(bar->isMovable());
        for (QAction* action : bar->actions()) {
            if (action->isSeparator() || qobject_cast<QWidgetAction*>(action))
                continue;
            const int id = action->data().toInt();
            EXPECT_FALSE(action->icon().pixmap(QSize(24, 24)).isNull()) << "no icon for " << id;
            if (id != ID_NAMETABLE_POPUP) {
                EXPECT_FALSE(action->iconText().isEmpty()) << "no text for " << id;
            }
        }
    }
    // The text under a button is the tooltip part of the prompt, or the menu text.
    EXPECT_EQ(Frame().Action(ID_SCAN_START)->iconText(), "Start");
    EXPECT_EQ(Frame().Action(ID_EDIT_ADD_TO_DATABASE)->iconText(), "Add to database");
    EXPECT_EQ(Frame().Action(ID_FILE_EXPORT_SELECTED)->iconText(), "Export Selected");
    EXPECT_EQ(Frame().Action(ID_SETTING)->iconText(), "Setting");
    EXPECT_EQ(Frame().Action(ID_FILE_PRINT)->iconText(), "Print");

    // Button 215 opens the "Add to NameTable with" menu and shows its icon only.
    auto* popup = qobject_cast<QToolButton*>(
        Frame().StandardToolBar()->widgetForAction(Frame().Action(ID_NAMETABLE_POPUP)));
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->popupMode(), QToolButton::InstantPopup);
    EXPECT_EQ(popup->toolButtonStyle(), Qt::ToolButtonIconOnly);
    ASSERT_NE(popup->defaultAction()->menu(), nullptr);
    EXPECT_EQ(popup->defaultAction()->menu()->title(), "Add to NameTable with");

    // The logo stands on the row of "Standard", "Extra" on the row below.
    EXPECT_EQ(Frame().toolBarArea(Frame().ImageToolBar()), Qt::TopToolBarArea);
    EXPECT_FALSE(Frame().toolBarBreak(Frame().ImageToolBar()));
    EXPECT_TRUE(Frame().toolBarBreak(Frame().ExtraToolBar()));
    auto* logo = Frame().ImageToolBar()->findChild<QLabel*>(QStringLiteral("Logo"));
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->pixmap().isNull());
}

TEST_F(UiCommandBars, PromptsShowInPaneZeroAndTooltipsOnTheButtons)
{
    QAction* start = Frame().Action(ID_SCAN_START);
    EXPECT_EQ(start->statusTip(), "Start scan");
    EXPECT_EQ(start->toolTip(), "Start");
    EXPECT_EQ(Frame().Action(ID_FILE_EXPORT_SELECTED)->statusTip(), "Export selected records file");
    EXPECT_EQ(Frame().Action(ID_HELP_HOMEPAGE)->statusTip(), "Visit Norvane Website");

    EXPECT_EQ(Frame().StatusPane(0)->width(), 300);
    EXPECT_TRUE(Frame().Action(ID_EDIT_FIND)->showStatusText(&Frame()));
    EXPECT_EQ(Frame().StatusPane(0)->text(), "Find records with specified text");
    // Pane 1 keeps its own text meanwhile.
    Frame().SetStatusPane1(QStringLiteral("Found 3 hosts."));
    start->showStatusText(&Frame());
    EXPECT_EQ(Frame().StatusPane(0)->text(), "Start scan");
    EXPECT_EQ(Pane1(), "Found 3 hosts.");
}

TEST_F(UiCommandBars, AcceleratorTableBindsItsKeys)
{
    const std::vector<std::pair<QKeySequence, int>> expected = {
        {QKeySequence("Ctrl+Q"), 57665}, {QKeySequence("Ctrl+I"), 32775},
        {QKeySequence("Ctrl+C"), 57634}, {QKeySequence("Del"), 32781},
        {QKeySequence("Ctrl+F"), 57636}, {QKeySequence("F3"), 32793},
        {QKeySequence("Ctrl+A"), 57642}, {QKeySequence("Ctrl+P"), 57607},
        {QKeySequence("F5"), 32783},     {QKeySequence("F6"), 62225},
        {QKeySequence("F7"), 32784},     {QKeySequence("F8"), 32785},
        {QKeySequence("Ctrl+X"), 57635}, {QKeySequence("Ctrl+V"), 57637},
        {QKeySequence("F1"), 57670},
    };
    int bound = 0;
    for (const CommandInfo& info : CommandTable()) {
        QAction* action = Frame().Action(info.id);
        ASSERT_NE(action, nullptr);
        if (action->shortcut().isEmpty())
            continue;
        ++bound;
        const auto found = std::find_if(expected.begin(), expected.end(),
                                        [&](const auto& entry) { return entry.second == info.id; });
        ASSERT_NE(found, expected.end()) << "unexpected key on " << info.id;
        EXPECT_EQ(action->shortcut(), found->first) << info.id;
        // The keys work wherever the focus is in the window.
        EXPECT_EQ(action->shortcutContext(), Qt::WindowShortcut);
        EXPECT_TRUE(Frame().actions().contains(action));
    }
    EXPECT_EQ(bound, int(expected.size()));
}

TEST_F(UiCommandBars, StatusBarCommandTogglesTheBarAndItsCheck)
{
    Frame().show();
    QAction* statusBarCommand = Frame().Action(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(statusBarCommand->isChecked());
    statusBarCommand->trigger();
    EXPECT_FALSE(Frame().statusBar()->isVisible());
    EXPECT_FALSE(statusBarCommand->isChecked());
    statusBarCommand->trigger();
    EXPECT_TRUE(Frame().statusBar()->isVisible());
    EXPECT_TRUE(statusBarCommand->isChecked());
}
