#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

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

// The file as lines, so that a write changes only the one line it must.
std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
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

std::optional<std::string> ReadValue(const char* section, const char* key) {
    if (SameName(section, kProfileSection)) {
        auto found = Overrides().find(key);
        if (found != Overrides().end()) return found->second;
    }
    bool inSection = false;
    for (const std::string& line : ReadLines(ProfilePath())) {
        if (auto name = SectionName(line)) {
            inSection = SameName(*name, section);
            continue;
        }
        std::string entryKey, value;
        if (inSection && SplitEntry(line, entryKey, value) && SameName(entryKey, key)) return value;
    }
    return std::nullopt;
}

void MakeParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
}

bool WriteAtomically(const std::string& path, const std::string& contents) {
    MakeParentDirectories(path);
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    struct stat existing;
    ::fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644);
    bool ok = ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
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
    if (!value || value->empty()) return defaultValue;
    const char* p = value->c_str();
    while (*p == ' ' || *p == '\t') ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long result = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)) && result < 0x7fffffffL; ++p) result = result * 10 + (*p - '0');
    return static_cast<int>(negative ? -result : result);
}

std::string GetProfileStringA(const char* section, const char* key, const char* defaultValue) {
    return ReadValue(section, key).value_or(defaultValue ? defaultValue : "");
}

bool WriteProfileStringA(const char* section, const char* key, const char* value) {
    const std::string path = ProfilePath();
    std::vector<std::string> lines = ReadLines(path);
    const std::string newLine = value ? std::string(key) + "=" + value : std::string();

    // Find the section, and the key within it (or the end of the section's entries).
    size_t sectionStart = lines.size(), insertAt = lines.size();
    bool inSection = false, replaced = false;
    for (size_t i = 0; i < lines.size() && !replaced; ++i) {
        if (auto name = SectionName(lines[i])) {
            if (inSection) break;
            inSection = SameName(*name, section);
            if (inSection) sectionStart = insertAt = i + 1;
            continue;
        }
        std::string entryKey, entryValue;
        if (!inSection) continue;
        if (SplitEntry(lines[i], entryKey, entryValue) && SameName(entryKey, key)) {
            if (value) lines[i] = newLine;
            else lines.erase(lines.begin() + static_cast<long>(i));
            replaced = true;
        } else if (!Trim(lines[i]).empty()) {
            insertAt = i + 1;
        }
    }
    if (!replaced && value) {
        if (sectionStart == lines.size() && !inSection) {
            lines.push_back("[" + std::string(section) + "]");
            insertAt = lines.size();
        }
        lines.insert(lines.begin() + static_cast<long>(insertAt), newLine);
    }

    std::ostringstream contents;
    for (const std::string& line : lines) contents << line << '\n';
    return WriteAtomically(path, contents.str());
}

void SetProfileOverride(const std::string& key, const std::string& value) { Overrides()[key] = value; }
void ClearProfileOverrides() { Overrides().clear(); }
