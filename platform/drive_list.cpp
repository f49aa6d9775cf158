#include "platform/drive_list.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// File systems reached over a network; FUSE ones are listed as "fuse.<name>".
constexpr const char* kNetworkTypes[] = {"nfs",  "nfs4",      "cifs",   "smb3",       "smbfs",  "sshfs",
                                         "9p",   "afs",       "ceph",   "glusterfs",  "davfs",  "ncpfs",
                                         "fuse.sshfs", "fuse.rclone", "fuse.davfs2", "fuse.gvfsd-fuse"};

// Where desktops and users mount media that come and go.
constexpr const char* kRemovableParents[] = {"/media/", "/run/media/", "/mnt/"};

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// The mount table writes a space as "\040", a tab "\011", a newline "\012" and a backslash "\134".
std::string DecodeMountField(const std::string& field) {
    std::string decoded;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctalDigit(field[i + 1]) && IsOctalDigit(field[i + 2]) &&
            IsOctalDigit(field[i + 3])) {
            decoded += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            decoded += field[i];
        }
    }
    return decoded;
}

bool IsNetworkType(const std::string& type) {
    return std::any_of(std::begin(kNetworkTypes), std::end(kNetworkTypes), [&](const char* t) { return type == t; });
}

bool IsRemovablePlace(const std::string& mountPoint) {
    return std::any_of(std::begin(kRemovableParents), std::end(kRemovableParents), [&](const char* parent) {
        return StartsWith(mountPoint, parent) && mountPoint.size() > std::char_traits<char>::length(parent);
    });
}

void AddOnce(std::vector<std::string>& places, const std::string& place) {
    if (std::find(places.begin(), places.end(), place) == places.end()) places.push_back(place);
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::vector<std::string> RemovableAndNetworkMounts(const std::string& mountTableText) {
    std::vector<std::string> mounts;
    std::istringstream table(mountTableText);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type)) continue;
        mountPoint = DecodeMountField(mountPoint);
        if (mountPoint.empty() || mountPoint.front() != '/') continue;
        if (IsRemovablePlace(mountPoint) || IsNetworkType(type)) AddOnce(mounts, WithoutTrailingSlashes(mountPoint));
    }
    return mounts;
}

std::vector<std::string> ListDrives(const std::string& mountTableText, const std::string& home) {
    std::vector<std::string> drives{"/"};
    const std::string homeFolder = WithoutTrailingSlashes(home);
    if (!homeFolder.empty() && homeFolder.front() == '/') AddOnce(drives, homeFolder);
    for (const std::string& mount : RemovableAndNetworkMounts(mountTableText)) AddOnce(drives, mount);
    return drives;
}

std::vector<std::string> ListDrives() {
    std::ifstream table("/proc/self/mounts");
    const std::string text((std::istreambuf_iterator<char>(table)), std::istreambuf_iterator<char>());
    const char* home = std::getenv("HOME");
    return ListDrives(text, home ? home : "");
}

std::string DriveEntryText(const std::string& drive) { return "[-" + drive + "-]"; }

std::string DriveOfEntry(const std::string& entry) {
    if (entry.size() < 5 || !StartsWith(entry, "[-") || entry.compare(entry.size() - 2, 2, "-]") != 0) return {};
    return entry.substr(2, entry.size() - 4);
}

std::string DriveHolding(const std::string& directory, const std::vector<std::string>& drives) {
    if (directory.empty() || directory.front() != '/') return {};
    std::string best;
    for (const std::string& drive : drives) {
        const bool holds = drive == "/" || directory == drive || StartsWith(directory, drive + "/");
        if (holds && drive.size() > best.size()) best = drive;
    }
    return best;
}

bool ChangeDirectory(const std::string& name) {
    if (name.size() >= 3 && name.front() == '-' && name.back() == '-' && name[1] == '/')
        return ::chdir(name.substr(1, name.size() - 2).c_str()) == 0;
    return !name.empty() && ::chdir(name.c_str()) == 0;
}

std::string CurrentDirectory() {
    std::string buffer(256, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.c_str();
}
