#pragma once

#include <QString>

// Command ids: the numbers the menus, toolbars and accelerators share. They keep the
// values of the program's resource ids so that the string table's prompts (which carry
// the command's own id) line up.
enum CommandId : int {
    ID_NAMETABLE_POPUP = 215, // toolbar popup button "Add to NameTable with"
    ID_FILE_IMPORT = 32773,
    ID_EDIT_ADD = 32774,
    ID_EDIT_ADD_TO_DATABASE = 32775,
    ID_VIEW_PROPERTIES = 32776,
    ID_EDIT_DELETE = 32781,
    ID_SCAN_TARGET = 32782, // the scan-target box on the "Standard" toolbar
    ID_SCAN_START = 32783,
    ID_SCAN_PAUSE = 32784,
    ID_SCAN_STOP = 32785,
    ID_SETTING = 32786,
    ID_FILE_EXPORT_ALL = 32787,
    ID_FILE_EXPORT_SELECTED = 32789,
    ID_HELP_CHECK_VERSION = 32791,
    ID_HELP_HOMEPAGE = 32792,
    ID_EDIT_FIND_NEXT = 32793,
    ID_NAMETABLE_IP_MAC = 32822,
    ID_NAMETABLE_IP = 32824,
    ID_NAMETABLE_MAC = 32825,
    ID_HELP_FORUM = 32828,
    ID_HELP_SEARCH = 32830,
    ID_SCAN_SHOW_DIFFERENT_DETAILS = 32835, // scan list: the mismatch detail of a row
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_FIND = 57636,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_SELECT_ALL = 57642,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_INDEX = 57667,
    ID_CONTEXT_HELP = 57669,
    ID_HELP = 57670,
    ID_HELP_FINDER = 57671,
    ID_VIEW_STATUS_BAR = 59393,
    // Commands of our own take ids of our own strings, so that the prompt has one too.
    ID_SCAN_WATCH = 0xF311,
};

// The message that carries the application title (the caption).
inline constexpr int IDS_APP_TITLE = 57344;

// That title in the language in use: the main window's caption, the head of a printout.
QString AppTitle();
