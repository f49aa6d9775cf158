// The program group "Lumo for Windows" as freedesktop menu entries of the user who installs: a menu
// directory with one entry for the viewer and one for its help, their icons, and a menu file that
// puts the two under the directory. The steps keep the shape of a conversation with a program
// manager (start the client, connect, build the command, run it, disconnect) and report failures
// with the same texts, because a failed group never fails the installation.
#pragma once

#include <optional>
#include <string>

#include "install/output.h"

// Where the group's files go, from $XDG_DATA_HOME and $XDG_CONFIG_HOME (defaults under the home).
struct MenuPlaces {
    std::string applications;  // desktop entries
    std::string directories;   // the menu directory's entry
    std::string menus;         // menu files merged into the applications menu
    std::string icons;         // 48x48 application icons
};

// Error codes of the group steps; DdeErrorText gives their texts.
namespace group_error {
constexpr unsigned None = 0;
constexpr unsigned NotInitialized = 0x4003;
constexpr unsigned InvalidParameter = 0x4006;
constexpr unsigned NoConversation = 0x400A;
constexpr unsigned WriteFailed = 0x400F;  // a file of the group could not be written
}  // namespace group_error
std::string DdeErrorText(unsigned code);

// Start-up: finds the places; without a home directory reports "DDE Client Initialization Error"
// and returns nothing (the group step then reports that it could not connect).
std::optional<MenuPlaces> StartMenuClient(InstallerOutput& output);

// Deletes and recreates the group for the files installed in destinationDir (an absolute path).
// Reports failures through output; returns true when the group was written.
bool CreateProgramGroup(const std::optional<MenuPlaces>& places, const std::string& destinationDir,
                        InstallerOutput& output);

// The file names of the group, for the places above.
constexpr const char* kViewerEntry = "lumo-wlumo.desktop";
constexpr const char* kHelpEntry = "lumo-help.desktop";
constexpr const char* kGroupDirectory = "lumo-for-windows.directory";
constexpr const char* kGroupMenu = "lumo-for-windows.menu";
constexpr const char* kViewerIcon = "lumo-wlumo.png";
constexpr const char* kHelpIcon = "lumo-help.png";
