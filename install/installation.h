// The installation itself, the same with the dialog and without it: the destination directory (one
// level made when missing), the viewer and its help file copied into it, then the program group.
#pragma once

#include <optional>
#include <string>

#include "install/output.h"
#include "install/program_group.h"

// The files installed, in order, each under its own name.
constexpr const char* kInstalledFiles[] = {"wlumo", "lumo.hlp"};

// Where the files are taken from: the folder that holds the running setup program.
std::string ProgramDirectory();

// The directory proposed in the dialog: WLUMO in the user's home.
std::string ProposedDestination();

// Runs the installation into the directory the user named; true when it ended with
// "Installation Done !!" (a group that could not be made does not count as a failure).
bool RunInstallation(const std::string& destination, const std::string& sourceDir,
                     const std::optional<MenuPlaces>& menuClient, InstallerOutput& output);
