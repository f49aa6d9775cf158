// The viewer's commands as data: menu texts, status-line help, help topics and the handler of each
// command; the menu bar "MAINMENU"; the accelerator table "ACC_LUMO"; the string table.
#pragma once

#include <span>

class FrameWindow;
struct CommandInfo;

// The code that carries a command out, on the frame and its active image window. Handlers live in
// the file of their command family (window, image, option, help commands, ...); library errors
// arrive as LumoFailure at the frame's one recovery point.
using CommandHandler = void (*)(FrameWindow& frame, const CommandInfo& command);

struct CommandInfo {
    int id;                // command id (viewer/commands/command_ids.h)
    const char* menuText;  // with its mnemonic and, after a tab, the key names the menu shows
    int helpString;        // string-table id of the status-line help, 0 for none
    int helpContext;       // topic of the help file, -1 for none
    CommandHandler run;    // null: not available in this build (the item stays greyed)
    int zoom = 0;          // the percent a zoom command sets, 0 for other commands
};

// Every command of the menus and the menu-bar help item, or null for an unknown id.
std::span<const CommandInfo> Commands();
const CommandInfo* FindCommand(int id);

// A popup of the menu bar: its title and its item ids in order, 0 standing for a separator.
struct MenuPopup {
    const char* title;
    std::span<const int> items;
};
std::span<const MenuPopup> MainMenu();

// A key of "ACC_LUMO" in QKeySequence's portable text ("Ctrl+F12") and the command it sends.
struct Accelerator {
    const char* keys;
    int id;
};
std::span<const Accelerator> AcceleratorTable();
// The keys a multiple-document frame handles itself beside "ACC_LUMO": Ctrl+F4 closes the active
// image window, as the File menu's "&Close\tCtrl+F4" says.
std::span<const Accelerator> DocumentWindowKeys();

// A text of the string table, or null when the id has none.
const char* StringResource(int id);

// String-table ids with a fixed use.
constexpr int kToolbarShownHelp = 26;   // help of "&Toolbar visible" while the toolbar shows
constexpr int kToolbarHiddenHelp = 27;  // ... while it is hidden
constexpr int kRecentFileHelp = 49;     // every item of the recent-file list
constexpr int kWindowListHelp = 50;     // every item of the Windows menu's list of image windows

// Status-line and message texts of the menus.
constexpr const char* kPopupHelpText = "You have selected a menu - please choose an option";
constexpr const char* kHelpModePrompt =
    "Choisissez une commande du menu ou un outil pour avoir l'aide correspondante";
constexpr const char* kNoHelpText = "No help available for this option";
constexpr const char* kLoadingText = "Chargement";
