// The places a user browses files from, standing in for the drive letters of the file dialogs:
// the root "/", the home folder, and the mounted removable media and network shares of the mount
// table. Each is shown in a drive list as "[-PATH-]"; choosing one changes to it.
#pragma once

#include <string>
#include <vector>

// "/", then the home folder (when set and not "/"), then the removable media and network shares
// mounted in the table (in its order, each once). The table is a /proc/self/mounts text.
std::vector<std::string> ListDrives(const std::string& mountTableText, const std::string& home);
// The same for this system: /proc/self/mounts and $HOME.
std::vector<std::string> ListDrives();

// The mount points of a mount-table text that hold removable media (mounted under /media,
// /run/media or /mnt) or network shares (NFS, SMB/CIFS, SSHFS, WebDAV and the like).
std::vector<std::string> RemovableAndNetworkMounts(const std::string& mountTableText);

// "[-/media/usb-]": a drive's entry in a drive list; and the drive an entry names (empty when
// the text is not an entry).
std::string DriveEntryText(const std::string& drive);
std::string DriveOfEntry(const std::string& entry);

// The drive that holds a directory: the longest drive that is the directory or one of its
// parents ("/" at worst). Empty when the list is empty or the directory is not absolute.
std::string DriveHolding(const std::string& directory, const std::vector<std::string>& drives);

// Changes the process's current directory. A name of the form "-PATH-" (a drive entry without its
// brackets) changes to the drive PATH; any other name is a directory, relative to the current one.
// True on success; on failure the current directory stays.
bool ChangeDirectory(const std::string& name);
// The process's current directory (empty when it cannot be read).
std::string CurrentDirectory();
