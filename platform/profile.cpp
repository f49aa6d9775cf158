#include "platform/profile.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/message_box.h"
#include "platform/replace_file.h"

namespace {

// Section and key names compare without regard to case, as in WIN.INI.
bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

std::map<std::string, std::string, CaseInsensitiveLess>& Overrides() {
    static std::map<std::string, std::string, CaseInsensitiveLess> overrides;
    return overrides;
}

// A line of the file and the ending it had ("\n", "\r\n", or none at the end of the file), so that a
// write gives back every line it does not change byte for byte, CRLF files included.
struct RawLine {
    std::string text;
    std::string ending;
};

// Lines of a file's text, each with its ending.
std::vector<RawLine> SplitLines(const std::string& text) {
    std::vector<RawLine> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t newline = text.find('\n', start);
        const size_t next = newline == std::string::npos ? text.size() : newline + 1;
        RawLine line{text.substr(start, next - start), {}};
        const size_t endingLength = line.text.ends_with("\r\n") ? 2 : line.text.ends_with('\n') ? 1 : 0;
        line.ending = line.text.substr(line.text.size() - endingLength);
        line.text.resize(line.text.size() - endingLength);
        lines.push_back(std::move(line));
        start = next;
    }
    return lines;
}

// A profile is a few kilobytes; anything larger is not read (it would be parsed for nothing, or is
// not a profile at all).
constexpr off_t kMaxProfileSize = 1 << 20;

// What stat says about the file: when all of it is unchanged, the contents are taken to be unchanged
// (see ProfileCache::trusted for writes too close together for the clock to tell apart).
struct FileState {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit FileState(const struct stat* info = nullptr) {
        if (!info) return;
        exists = true;
        device = info->st_dev;
        inode = info->st_ino;
        size = info->st_size;
        modified = info->st_mtim;
        changed = info->st_ctim;
    }
    bool operator==(const FileState& other) const {
        const auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
               same(modified, other.modified) && same(changed, other.changed);
    }
};

FileState StatProfile(const std::string& path) {
    struct stat info;
    return FileState(::stat(path.c_str(), &info) == 0 ? &info : nullptr);
}

// The profile's text as one read found it: empty when there is no file, nothing when it exists but
// is not read (not a regular file, over the size limit, unreadable); then warning says why, if the
// user should be told.
struct ProfileText {
    FileState state;
    std::optional<std::string> text;
    std::string warning;
};

// Reads the profile without ever waiting: a FIFO or device is refused before it is opened (and the
// open does not block should the name change in between), and at most the size limit is read.
ProfileText ReadProfileText(const std::string& path) {
    ProfileText result;
    const auto refuse = [&](const char* why) {
        result.text.reset();
        result.warning = "The profile " + path + why + ": default settings are used";
        return result;
    };
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        result.text = std::string();
        return result;
    }
    result.state = FileState(&info);
    if (!S_ISREG(info.st_mode)) return refuse(" is not a regular file");
    if (info.st_size > kMaxProfileSize) return refuse(" is larger than 1 MiB");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return result;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    result.state = FileState(&info);
    // One byte past the limit tells a file that grew since the stat.
    std::string text;
    char block[1 << 16];
    ssize_t count = 0;
    while (regular && text.size() <= static_cast<size_t>(kMaxProfileSize) &&
           ((count = ::read(fd, block, sizeof block)) > 0 || (count < 0 && errno == EINTR)))
        if (count > 0) text.append(block, static_cast<size_t>(count));
    ::close(fd);
    if (!regular) return refuse(" is not a regular file");
    if (text.size() > static_cast<size_t>(kMaxProfileSize)) return refuse(" is larger than 1 MiB");
    if (count == 0) result.text = std::move(text);  // read to the end; a read error leaves nothing
    return result;
}

std::optional<std::string> SectionName(const std::string& line) {
    const std::string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
    const size_t close = trimmed.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(trimmed.substr(1, close - 1));
}

// Splits "key=value"; comments (';') and lines without '=' are not entries.
bool SplitEntry(const std::string& line, std::string& key, std::string& value) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') return false;
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos) return false;
    key = Trim(trimmed.substr(0, equals));
    value = Trim(trimmed.substr(equals + 1));
    return true;
}

std::string LowerCase(std::string text) {
    for (char& letter : text) letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    return text;
}

// Where the values of a parsed profile are found: section and key in lower case, as names compare.
std::string EntryName(const std::string& section, const std::string& key) {
    return LowerCase(section) + '\n' + LowerCase(key);
}

int64_t Nanoseconds(const timespec& time) { return int64_t{time.tv_sec} * 1000000000 + time.tv_nsec; }

// The profile as last read, so that a key costs a stat instead of a read and parse of the whole file.
struct ParsedProfile {
    std::string path;
    FileState state;
    // Two writes within one tick of the file system's clock can leave everything stat shows alike
    // (same size, inode and times). A file changed less than a second before it was read is therefore
    // read again at the next use, until its last change is safely in the past.
    bool trusted = false;
    std::map<std::string, std::string> values;  // EntryName -> the first value of that key in the file
};

ParsedProfile Parse(const std::string& path, const ProfileText& loaded, const timespec& readStart) {
    ParsedProfile parsed{path, loaded.state, false, {}};
    parsed.trusted = !loaded.state.exists || Nanoseconds(loaded.state.modified) + 1000000000 < Nanoseconds(readStart);
    std::optional<std::string> section;
    for (const RawLine& raw : SplitLines(loaded.text.value_or(std::string()))) {
        if (auto name = SectionName(raw.text)) {
            section = std::move(name);
            continue;
        }
        std::string key, value;
        if (section && SplitEntry(raw.text, key, value)) parsed.values.emplace(EntryName(*section, key), value);
    }
    return parsed;
}

// Every thread reads the settings (the batch converter's workers too): the parsed profile, and the
// warning last given, are shared under one lock.
std::mutex profileMutex;
std::optional<ParsedProfile> parsedProfile;

// The warning to give about a profile that is not read: once for each state of the file, not at every
// key. The caller shows it after releasing the lock (a message box may run an event loop that reads
// the profile again).
std::string TakeWarning(const ProfileText& loaded) {
    static std::string lastWarning;
    static FileState lastState;
    if (loaded.warning.empty() || (loaded.warning == lastWarning && loaded.state == lastState)) return {};
    lastWarning = loaded.warning;
    lastState = loaded.state;
    return loaded.warning;
}

void ShowWarning(const std::string& warning) {
    if (!warning.empty()) ShowMessageBox("Warning", warning.c_str(), MessageIcon::Exclamation);
}

std::optional<std::string> ReadValue(const char* section, const char* key) {
    if (SameName(section, kProfileSection)) {
        auto found = Overrides().find(key);
        if (found != Overrides().end()) return found->second;
    }
    const std::string path = ProfilePath();
    std::string warning;
    std::optional<std::string> value;
    {
        std::lock_guard lock(profileMutex);
        if (!parsedProfile || parsedProfile->path != path || !parsedProfile->trusted ||
            !(StatProfile(path) == parsedProfile->state)) {
            timespec readStart;
            ::clock_gettime(CLOCK_REALTIME, &readStart);
            const ProfileText loaded = ReadProfileText(path);
            warning = TakeWarning(loaded);
            parsedProfile = Parse(path, loaded, readStart);
        }
        const auto found = parsedProfile->values.find(EntryName(section, key));
        if (found != parsedProfile->values.end()) value = found->second;
    }
    ShowWarning(warning);
    return value;
}

void MakeParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
}

// Writes through a symbolic link, refuses a read-only file, keeps mode and owner, and leaves no
// temporary behind (platform/replace_file.h).
bool WriteAtomically(const std::string& path, const std::string& contents) {
    MakeParentDirectories(path);
    ReplacementFile file;
    if (file.open(path) != ReplaceStatus::Ready) return false;
    return std::fwrite(contents.data(), 1, contents.size(), file.stream()) == contents.size() && file.commit();
}

// Sets key in section (a null value removes it): the key's line is replaced in place, a new key
// goes after the section's last entry, a new section at the end of the file.
void SetLine(std::vector<RawLine>& lines, const char* section, const char* key, const char* value) {
    const std::string newLine = value ? std::string(key) + "=" + value : std::string();
    size_t insertAt = std::string::npos;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i].text)) {
            if (inSection) break;
            inSection = SameName(*name, section);
            if (inSection) insertAt = i + 1;
            continue;
        }
        std::string entryKey, entryValue;
        if (!inSection) continue;
        if (SplitEntry(lines[i].text, entryKey, entryValue) && SameName(entryKey, key)) {
            if (value) lines[i].text = newLine;
            else lines.erase(lines.begin() + static_cast<long>(i));
            return;
        }
        if (!Trim(lines[i].text).empty()) insertAt = i + 1;
    }
    if (!value) return;
    // New lines end as the file's lines do.
    std::string ending = "\n";
    for (const RawLine& line : lines)
        if (!line.ending.empty()) {
            ending = line.ending;
            break;
        }
    const bool sectionFound = insertAt != std::string::npos;
    if (!sectionFound) insertAt = lines.size();
    if (insertAt > 0 && lines[insertAt - 1].ending.empty()) lines[insertAt - 1].ending = ending;
    if (!sectionFound) {
        lines.push_back({std::string("[").append(section).append("]"), ending});
        insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<long>(insertAt), RawLine{newLine, ending});
}

// Reads the file, lets edit change its lines and writes the result in one atomic step. A profile
// that is not read (not a regular file, too large, unreadable) is not replaced.
template <typename Edit>
bool RewriteProfile(const Edit& edit) {
    const std::string path = ProfilePath();
    std::string warning;
    bool written = false;
    {
        std::lock_guard lock(profileMutex);
        const ProfileText loaded = ReadProfileText(path);
        warning = TakeWarning(loaded);
        if (loaded.text) {
            std::vector<RawLine> lines = SplitLines(*loaded.text);
            edit(lines);
            std::string contents;
            for (const RawLine& line : lines) contents += line.text + line.ending;
            written = WriteAtomically(path, contents);
        }
        parsedProfile.reset();  // read afresh at the next use, whatever this write did
    }
    ShowWarning(warning);
    return written;
}

}  // namespace

std::string ProfilePath() {
    if (const char* explicitPath = std::getenv("LUMO_PROFILE"); explicitPath && *explicitPath) return explicitPath;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/lumo/WIN.INI";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/lumo/WIN.INI";
}

int GetProfileIntA(const char* section, const char* key, int defaultValue) {
    const std::optional<std::string> value = ReadValue(section, key);
    if (!value) return defaultValue;
    const char* p = value->c_str();
    while (*p == ' ' || *p == '\t') ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    // No digit at all ("yes", "x", "", "-") is no number: the default, not 0.
    if (!std::isdigit(static_cast<unsigned char>(*p))) return defaultValue;
    long long result = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        result = std::min<long long>(result * 10 + (*p - '0'), INT_MAX);  // saturate rather than wrap
    return static_cast<int>(negative ? -result : result);
}

std::string GetProfileStringA(const char* section, const char* key, const char* defaultValue) {
    return ReadValue(section, key).value_or(defaultValue ? defaultValue : "");
}

bool WriteProfileStringA(const char* section, const char* key, const char* value) {
    return RewriteProfile([&](std::vector<RawLine>& lines) { SetLine(lines, section, key, value); });
}

bool WriteProfileStrings(const char* section, const std::vector<std::pair<std::string, std::string>>& entries) {
    return RewriteProfile([&](std::vector<RawLine>& lines) {
        for (const auto& [key, value] : entries) SetLine(lines, section, key.c_str(), value.c_str());
    });
}

void SetProfileOverride(const std::string& key, const std::string& value) { Overrides()[key] = value; }
void ClearProfileOverrides() { Overrides().clear(); }
