#include "ui/commands/CommandTable.h"

#include "app/LanveyApp.h"
#include "lang/LangString.h"
#include "ui/commands/CommandIds.h"

#include <QRegularExpression>
#include <cstring>
#include <utility>

namespace
{

// Menu 128's texts carry ids of their own (0xF000 up) in the string tables, so that a
// language module translates the menus like every other text.
const std::pair<const char*, quint16> kMenuTextIds[] = {
    {"File", 61440},
    {"Edit", 61441},
    {"View", 61442},
    {"Scan", 61443},
    {"Setting", 61444},
    {"Help", 61445},
    {"Import...", 61446},
    {"Export All Items...", 61447},
    {"Export Selected Items...", 61448},
    {"&Print...", 61449},
    {"Print Preview", 61450},
    {"Print Setup...", 61451},
    {"Exit", 61452},
    {"Add", 61453},
    {"Add To Database", 61454},
    {"Add to NameTable with", 61455},
    {"IP Address", 61456},
    {"MAC Address", 61457},
    {"IP and MAC Address", 61458},
    {"Copy", 61459},
    {"Delete", 61460},
    {"Find...", 61461},
    {"Find Next", 61462},
    {"Select All", 61463},
    {"Cut", 61464},
    {"Paste", 61465},
    {"Status Bar", 61466},
    {"Properties", 61467},
    {"Start", 61468},
    {"Pause", 61469},
    {"Stop", 61470},
    {"Setting...", 61471},
    {"&Contents...", 61472},
    {"&Search...", 61473},
    {"Check for Latest &Version...", 61474},
    {"Norvane H&omepage...", 61475},
    {"Official Norvane Support &Forum", 61476},
    {"&About Norvane Lanvey...", 61477},
    {"Watch", 0xF312},
};

QString PromptText(int id)
{
    const CommandInfo* info = FindCommand(id);
    if (!info || !*info->promptDefault)
        return {};
    return FormatLangStringA(static_cast<quint16>(id), info->promptDefault);
}

} // namespace

QString MenuText(const char* english)
{
    for (const auto& [text, id] : kMenuTextIds)
        if (std::strcmp(text, english) == 0)
            return FormatLangStringA(id, english);
    return QString::fromUtf8(english);
}

const std::vector<CommandInfo>& CommandTable()
{
    static const std::vector<CommandInfo> table = {
        {ID_FILE_IMPORT, "Import...", "Import record from specified file\nImport", "document-open",
         "import.png"},
        {ID_FILE_EXPORT_ALL, "Export All Items...", "Export all records to file\nExport All",
         "document-save", "export_all.png"},
        {ID_FILE_EXPORT_SELECTED, "Export Selected Items...",
         "Export selected records file\nExport Selected", "document-save-as",
         "export_selected.png"},
        {ID_FILE_PRINT, "&Print...", "Print", "document-print", "print.png"},
        {ID_FILE_PRINT_PREVIEW, "Print Preview", "Print Preview", "document-print-preview",
         "print_preview.png"},
        {ID_FILE_PRINT_SETUP, "Print Setup...", "", "document-page-setup", ""},
        {ID_APP_EXIT, "Exit", "", "application-exit", ""},
        {ID_EDIT_ADD, "Add", "Add new record to database\nAdd", "list-add", "add.png"},
        {ID_EDIT_ADD_TO_DATABASE, "Add To Database", "Add scan record to database\nAdd to database",
         "", "add_to_database.png"},
        {ID_NAMETABLE_POPUP, kNameTableMenuTitle, "", "", "nametable.png"},
        {ID_NAMETABLE_IP, "IP Address", "Add IP record to tessera name table\nAdd to NameTable", "",
         ""},
        {ID_NAMETABLE_MAC, "MAC Address", "Add MAC record to tessera name table\nAdd to NameTable",
         "", ""},
        {ID_NAMETABLE_IP_MAC, "IP and MAC Address",
         "Add IP address and MAC address record to tessera name table\nAdd to NameTable", "", ""},
        {ID_EDIT_COPY, "Copy", "Copy records\nCopy", "edit-copy", "copy.png"},
        {ID_EDIT_DELETE, "Delete", "Delete record from database\nDelete", "edit-delete",
         "delete.png"},
        {ID_EDIT_FIND, "Find...", "Find records with specified text\nFind", "edit-find",
         "find.png"},
        {ID_EDIT_FIND_NEXT, "Find Next", "", "", ""},
        {ID_EDIT_SELECT_ALL, "Select All", "Select all records\nSelect All", "edit-select-all", ""},
        {ID_EDIT_CUT, "Cut", "Cut", "edit-cut", "cut.png"},
        {ID_EDIT_PASTE, "Paste", "Paste", "edit-paste", "paste.png"},
        {ID_VIEW_STATUS_BAR, "Status Bar", "", "", ""},
        {ID_VIEW_PROPERTIES, "Properties", "View and modify the record properties\nProperties",
         "document-properties", "properties.png"},
        {ID_SCAN_START, "Start", "Start scan\nStart", "media-playback-start", "start.png"},
        {ID_SCAN_PAUSE, "Pause", "Pause scan\nPause", "media-playback-pause", "pause.png"},
        {ID_SCAN_STOP, "Stop", "Stop scan\nStop", "media-playback-stop", "stop.png"},
        {ID_SCAN_WATCH, "Watch",
         "Watch the target: sweep it now and every few minutes, and listen to the network in "
         "between\nWatch",
         "", "watch.png"},
        {ID_SETTING, "Setting...", "Setting", "preferences-system", "setting.png"},
        {ID_HELP_FINDER, "&Contents...", "Help Content\nHelp", "help-contents", "help.png"},
        {ID_HELP_SEARCH, "&Search...", "Help Search\nSearch", "system-search", "search.png"},
        {ID_HELP_CHECK_VERSION, "Check for Latest &Version...",
         "Go to Norvane website and check for the latest version\nCheck for Latest Version ", "",
         ""},
        {ID_HELP_HOMEPAGE, "Norvane H&omepage...", "Visit Norvane Website", "go-home",
         "homepage.png"},
        {ID_HELP_FORUM, "Official Norvane Support &Forum", "Norvane Support Forum", "", ""},
        {ID_APP_ABOUT, "&About Norvane Lanvey...", "About", "help-about", "about.png"},
        {ID_HELP, "Help", "", "", ""},
    };
    return table;
}

const CommandInfo* FindCommand(int id)
{
    for (const CommandInfo& info : CommandTable())
        if (info.id == id)
            return &info;
    return nullptr;
}

QString CommandPrompt(int id)
{
    return PromptText(id).section(QLatin1Char('\n'), 0, 0);
}

QString CommandTooltip(int id)
{
    const QString text = PromptText(id);
    const qsizetype split = text.indexOf(QLatin1Char('\n'));
    return split < 0 ? QString() : text.mid(split + 1);
}

QString CommandButtonText(int id)
{
    const QString tooltip = CommandTooltip(id).trimmed();
    if (!tooltip.isEmpty())
        return tooltip;
    const CommandInfo* info = FindCommand(id);
    if (!info)
        return {};
    QString text = MenuText(info->menuText);
    // Translations write the access key as "(&X)" after the text; a button shows neither.
    text.remove(QRegularExpression(QStringLiteral("\\(&[^)]\\)")));
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

const std::vector<MenuInfo>& MainMenu()
{
    static const std::vector<MenuInfo> menus = {
        {"File",
         {ID_FILE_IMPORT, ID_FILE_EXPORT_ALL, ID_FILE_EXPORT_SELECTED, 0, ID_FILE_PRINT,
          ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, 0, ID_APP_EXIT}},
        {"Edit",
         {ID_EDIT_ADD, ID_EDIT_ADD_TO_DATABASE, kSubmenuNameTable, ID_EDIT_COPY, ID_EDIT_DELETE, 0,
          ID_EDIT_FIND, 0, ID_EDIT_SELECT_ALL}},
        {"View", {ID_VIEW_STATUS_BAR, 0, ID_VIEW_PROPERTIES}},
        {"Scan", {ID_SCAN_START, ID_SCAN_PAUSE, ID_SCAN_STOP, 0, ID_SCAN_WATCH}},
        {"Setting", {ID_SETTING}},
        {"Help",
         {ID_HELP_FINDER, ID_HELP_SEARCH, 0, ID_HELP_CHECK_VERSION, ID_HELP_HOMEPAGE, ID_HELP_FORUM,
          0, ID_APP_ABOUT}},
    };
    return menus;
}

const std::vector<int>& NameTableMenu()
{
    static const std::vector<int> items = {ID_NAMETABLE_IP, ID_NAMETABLE_MAC, ID_NAMETABLE_IP_MAC};
    return items;
}

const std::vector<int>& ScanToolbarButtons()
{
    static const std::vector<int> buttons = {ID_SETTING,
                                             0,
                                             ID_SCAN_TARGET,
                                             ID_SCAN_START,
                                             ID_SCAN_PAUSE,
                                             ID_SCAN_STOP,
                                             ID_SCAN_WATCH,
                                             0,
                                             ID_FILE_EXPORT_ALL,
                                             ID_FILE_EXPORT_SELECTED,
                                             0,
                                             ID_EDIT_ADD_TO_DATABASE,
                                             ID_NAMETABLE_POPUP,
                                             ID_EDIT_COPY,
                                             ID_EDIT_DELETE,
                                             0,
                                             ID_EDIT_FIND};
    return buttons;
}

const std::vector<int>& DatabaseToolbarButtons()
{
    static const std::vector<int> buttons = {ID_FILE_IMPORT,
                                             ID_FILE_EXPORT_ALL,
                                             ID_FILE_EXPORT_SELECTED,
                                             0,
                                             ID_EDIT_ADD,
                                             ID_NAMETABLE_POPUP,
                                             ID_EDIT_COPY,
                                             ID_EDIT_DELETE,
                                             0,
                                             ID_EDIT_FIND,
                                             0,
                                             ID_VIEW_PROPERTIES};
    return buttons;
}

const std::vector<int>& WatchToolbarButtons()
{
    static const std::vector<int> buttons = {ID_SETTING,
                                             0,
                                             ID_SCAN_TARGET,
                                             ID_SCAN_WATCH,
                                             0,
                                             ID_FILE_EXPORT_ALL,
                                             ID_FILE_EXPORT_SELECTED,
                                             0,
                                             ID_EDIT_ADD_TO_DATABASE,
                                             ID_EDIT_COPY,
                                             0,
                                             ID_EDIT_FIND};
    return buttons;
}

const std::vector<int>& ExtraToolbarButtons()
{
    static const std::vector<int> buttons = {ID_APP_ABOUT,  ID_HELP_FINDER,   ID_FILE_PRINT_PREVIEW,
                                             ID_FILE_PRINT, ID_HELP_HOMEPAGE, ID_EDIT_CUT,
                                             ID_EDIT_PASTE, ID_HELP_SEARCH};
    return buttons;
}

const std::vector<AcceleratorInfo>& AcceleratorTable()
{
    static const std::vector<AcceleratorInfo> table = {
        {QKeySequence(Qt::CTRL | Qt::Key_Q), ID_APP_EXIT},
        {QKeySequence(Qt::CTRL | Qt::Key_I), ID_EDIT_ADD_TO_DATABASE},
        {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
        {QKeySequence(Qt::Key_Delete), ID_EDIT_DELETE},
        {QKeySequence(Qt::CTRL | Qt::Key_F), ID_EDIT_FIND},
        {QKeySequence(Qt::Key_F3), ID_EDIT_FIND_NEXT},
        {QKeySequence(Qt::CTRL | Qt::Key_A), ID_EDIT_SELECT_ALL},
        {QKeySequence(Qt::CTRL | Qt::Key_P), ID_FILE_PRINT},
        {QKeySequence(Qt::Key_F5), ID_SCAN_START},
        {QKeySequence(Qt::Key_F6), ID_SCAN_WATCH},
        {QKeySequence(Qt::Key_F7), ID_SCAN_PAUSE},
        {QKeySequence(Qt::Key_F8), ID_SCAN_STOP},
        {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
        {QKeySequence(Qt::Key_F1), ID_HELP},
    };
    return table;
}

QString AppTitle()
{
    return FormatLangString(IDS_APP_TITLE, QString::fromUtf8(kProductName));
}
