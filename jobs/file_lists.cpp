#include "jobs/file_lists.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool Matches(const char* name, const char* pattern) {
    // Iterative wildcard match: on a mismatch after a "*", the star takes one more character.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && Lower(*pattern) == Lower(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

}  // namespace

bool ListOrder(const std::string& a, const std::string& b) {
    const int folded = strcasecmp(a.c_str(), b.c_str());
    return folded != 0 ? folded < 0 : a < b;
}

bool MatchesPattern(const std::string& name, const char* pattern) { return Matches(name.c_str(), pattern); }

std::vector<std::string> ListMatchingFiles(const std::string& folder, std::span<const char* const> patterns) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder.empty() ? "." : folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        std::error_code ignored;
        if (!entry.is_regular_file(ignored)) continue;  // symbolic links to files count as files
        const std::string name = entry.path().filename().string();
        if (std::any_of(patterns.begin(), patterns.end(), [&](const char* p) { return Matches(name.c_str(), p); }))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), ListOrder);
    return names;
}
