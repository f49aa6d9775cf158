#include "install/program_group.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "install/file_install.h"
#include "install/icons.h"

namespace {

constexpr const char* kGroupName = "Lumo for Windows";
constexpr const char* kViewerName = "Lumo for Windows";
constexpr const char* kHelpName = "Lumo Help";
constexpr int kHelpIndexCommand = 888;  // the viewer's "Index" help command
constexpr int kIconSize = 48;

// An XDG base directory: the variable when it holds an absolute path, else the default under home.
std::string BaseDirectory(const char* variable, const std::string& home, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    if (home.empty()) return {};
    return home + "/" + fallback;
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir && entry->pw_dir[0] == '/' ? entry->pw_dir : "";
}

// Creates path and its missing parents; false with errno set when one cannot be made.
bool MakeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || (length == 2 && lead < 0xC2) || i + length > text.size()) return false;
        unsigned code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next >> 6) != 2) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// One argument of an Exec line: quoted, with the characters the quoting reserves escaped and "%"
// doubled, so any path survives.
std::string ExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

// A value of a desktop entry: backslashes, line breaks and tabs written as escapes.
std::string EntryValue(const std::string& text) {
    std::string value;
    for (const char c : text) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\r': value += "\\r"; break;
        case '\t': value += "\\t"; break;
        default: value += c;
        }
    }
    return value;
}

std::string ApplicationEntry(const std::string& name, const std::string& comment, const std::string& exec,
                             const std::string& icon, const std::string& directory) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name=" + name + "\n"
           "Comment=" + comment + "\n"
           "Exec=" + EntryValue(exec) + "\n"
           "Path=" + EntryValue(directory) + "\n"
           "Icon=" + icon + "\n"
           "Terminal=false\n";
}

// The whole group: its files by place, in the order they are written (the menu file last, so a
// desktop that reads it finds everything it names).
struct GroupFile {
    std::string path;
    std::string bytes;
};

std::vector<GroupFile> GroupFiles(const MenuPlaces& places, const std::string& destination) {
    const std::string viewer = destination + "/wlumo";
    const std::string viewerIconPath = places.icons + "/" + kViewerIcon;
    const std::string helpIconPath = places.icons + "/" + kHelpIcon;
    const std::string viewerIconName = std::string(kViewerIcon).substr(0, std::string(kViewerIcon).size() - 4);
    const std::string helpIconName = std::string(kHelpIcon).substr(0, std::string(kHelpIcon).size() - 4);
    return {
        {viewerIconPath, PngBytes(PaintViewerIcon(kIconSize))},
        {helpIconPath, PngBytes(PaintHelpIcon(kIconSize))},
        {places.applications + "/" + kViewerEntry,
         ApplicationEntry(kViewerName, "View and convert pictures", ExecArgument(viewer) + " %F", viewerIconName,
                          destination)},
        // The help file is HTML under a name desktops take for a WinHelp file, which they cannot
        // show; the viewer's help window shows it, with its topics, from the file beside the viewer.
        {places.applications + "/" + kHelpEntry,
         ApplicationEntry(kHelpName, "Help on Lumo for Windows",
                          ExecArgument(viewer) + " --command " + std::to_string(kHelpIndexCommand), helpIconName,
                          destination)},
        {places.directories + "/" + kGroupDirectory,
         std::string("[Desktop Entry]\nType=Directory\nVersion=1.0\nName=") + kGroupName + "\nIcon=" + viewerIconName +
             "\n"},
        {places.menus + "/" + kGroupMenu,
         std::string("<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd\">\n"
                     "<Menu>\n"
                     "  <Name>Applications</Name>\n"
                     "  <Menu>\n"
                     "    <Name>") + kGroupName + "</Name>\n"
             "    <Directory>" + kGroupDirectory + "</Directory>\n"
             "    <Include>\n"
             "      <Filename>" + kViewerEntry + "</Filename>\n"
             "      <Filename>" + kHelpEntry + "</Filename>\n"
             "    </Include>\n"
             "  </Menu>\n"
             "</Menu>\n"},
    };
}

}  // namespace

std::string DdeErrorText(unsigned code) {
    switch (code) {
    case group_error::None: return "No Error";
    case group_error::NotInitialized: return "DDE Error: DLL not initialized";
    case group_error::InvalidParameter: return "DDE Error: Invalid Parameter";
    case group_error::NoConversation: return "DDE Error: conversation not established";
    default: return "Unknown DDE Error";
    }
}

std::optional<MenuPlaces> StartMenuClient(InstallerOutput& output) {
    const std::string home = HomeDirectory();
    const std::string data = BaseDirectory("XDG_DATA_HOME", home, ".local/share");
    const std::string config = BaseDirectory("XDG_CONFIG_HOME", home, ".config");
    if (data.empty() || config.empty()) {
        output.message(MessageKind::Information, "DDE Client Initialization Error");
        return std::nullopt;
    }
    return MenuPlaces{data + "/applications", data + "/desktop-directories", config + "/menus/applications-merged",
                      data + "/icons/hicolor/48x48/apps"};
}

bool CreateProgramGroup(const std::optional<MenuPlaces>& places, const std::string& destinationDir,
                        InstallerOutput& output) {
    // Connecting: the places exist and can be written.
    unsigned error = group_error::None;
    bool connected = false;
    if (!places) {
        error = group_error::NotInitialized;
    } else {
        connected = true;
        for (const std::string& place : {places->applications, places->directories, places->menus, places->icons})
            connected = connected && MakeDirectories(place);
        if (!connected) error = group_error::NoConversation;
    }
    if (!connected) {
        output.message(MessageKind::Information, DdeErrorText(error));
        output.message(MessageKind::Information, "Can't connect to PROGMAN");
    }

    // The command: desktop entries are UTF-8, so a destination that is not cannot be named in them.
    if (!IsUtf8(destinationDir)) {
        output.message(MessageKind::Information, "Error: Can't create data handle.");
        return false;
    }
    if (!connected) {
        output.message(MessageKind::Information,
                       DdeErrorText(places ? group_error::InvalidParameter : group_error::NotInitialized));
        return false;
    }

    // Running it: delete the group, then create it again, so an earlier installation leaves
    // nothing behind and the group ends with exactly its two entries.
    const std::vector<GroupFile> files = GroupFiles(*places, destinationDir);
    bool written = true;
    for (auto file = files.rbegin(); file != files.rend(); ++file)
        if (::unlink(file->path.c_str()) != 0 && errno != ENOENT) written = false;
    for (const GroupFile& file : files) written = written && WriteFileAtomically(file.path, file.bytes);
    if (!written) output.message(MessageKind::Information, DdeErrorText(group_error::WriteFailed));
    return written;
}
