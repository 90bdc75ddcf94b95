#pragma once

#include <QKeySequence>
#include <QString>
#include <vector>

// The command bars as data: every command with its menu text, its prompt's default
// text and its icon; the menus, the toolbar button sets and the accelerator table.

struct CommandInfo {
    int id;
    const char* menuText;      // "&" marks the access key; also the text of commands
                               // that stand only on a toolbar or in the accelerators
    const char* promptDefault; // status prompt, then after "\n" the tooltip; may be empty
    const char* themeIcon;     // freedesktop icon name, empty for none
    const char* iconFile;      // icon shipped with the program, empty for none
};

// A text of menu 128 (a menu title or a command's menu text) in the current language.
QString MenuText(const char* english);

// Every command the frame creates an action for, in no particular order.
const std::vector<CommandInfo>& CommandTable();
const CommandInfo* FindCommand(int id);

// The prompt of `id` through the message formatter, split into its two parts.
QString CommandPrompt(int id);  // the part before "\n"
QString CommandTooltip(int id); // the part after it, empty when there is none
// The text under a toolbar button: the tooltip, or the menu text without its access
// key and trailing dots when the prompt has no tooltip part.
QString CommandButtonText(int id);

// Menu 128. An item id of 0 is a separator; kSubmenuNameTable stands for the
// "Add to NameTable with" submenu.
inline constexpr int kSubmenuNameTable = -215;
struct MenuInfo {
    const char* title;
    std::vector<int> items;
};
const std::vector<MenuInfo>& MainMenu();
// Menu 215, the submenu and the popup button's menu.
inline constexpr const char* kNameTableMenuTitle = "Add to NameTable with";
const std::vector<int>& NameTableMenu();

// Toolbar button sets; 0 is a separator, ID_SCAN_TARGET the scan-target box.
const std::vector<int>& ScanToolbarButtons();     // toolbar 130, scan tab
const std::vector<int>& DatabaseToolbarButtons(); // toolbar 210, database tab
const std::vector<int>& WatchToolbarButtons();    // the watch tab
const std::vector<int>& ExtraToolbarButtons();    // toolbar 166

// Accelerator table 128.
struct AcceleratorInfo {
    QKeySequence keys;
    int id;
};
const std::vector<AcceleratorInfo>& AcceleratorTable();
