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

// A line of the file and the ending it had ("\n", "\r\n", or none at the end of the file), so that a
// write gives back every line it does not change byte for byte, CRLF files included.
struct RawLine {
    std::string text;
    std::string ending;
};

// The file as lines; an empty list when there is no file, nothing when it exists but cannot be
// read (a write must then fail rather than replace the file with the one key it sets).
std::optional<std::vector<RawLine>> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        struct stat existing;
        if (::stat(path.c_str(), &existing) == 0) return std::nullopt;
        return std::vector<RawLine>{};
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) return std::nullopt;
    const std::string text = contents.str();
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
    for (const RawLine& raw : ReadLines(ProfilePath()).value_or(std::vector<RawLine>{})) {
        const std::string& line = raw.text;
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

// Reads the file, lets edit change its lines and writes the result in one atomic step.
template <typename Edit>
bool RewriteProfile(const Edit& edit) {
    const std::string path = ProfilePath();
    std::optional<std::vector<RawLine>> lines = ReadLines(path);
    if (!lines) return false;
    edit(*lines);
    std::string contents;
    for (const RawLine& line : *lines) contents += line.text + line.ending;
    return WriteAtomically(path, contents);
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
