#include "cli/settings_command.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "jobs/settings.h"
#include "platform/profile.h"

namespace {

using Assignments = std::vector<std::pair<std::string, std::string>>;

// Splits and checks "KEY=VALUE" texts; on the first refusal prints it and yields nothing.
std::optional<Assignments> CheckedAssignments(const std::vector<std::string>& texts, const char* what) {
    Assignments assignments;
    for (const std::string& text : texts) {
        const size_t equals = text.find('=');
        if (equals == std::string::npos || equals == 0) {
            std::fprintf(stderr, "lumo: %s needs KEY=VALUE, not \"%s\"\n", what, text.c_str());
            return std::nullopt;
        }
        std::string key = text.substr(0, equals), value = text.substr(equals + 1);
        if (const std::optional<std::string> refusal = CheckSetting(key, value)) {
            // The dialogs' messages name the field ("Quality must be ..."): the assignment names the key.
            if (refusal->find(key) == std::string::npos) std::fprintf(stderr, "lumo: %s: %s\n", text.c_str(), refusal->c_str());
            else std::fprintf(stderr, "lumo: %s\n", refusal->c_str());
            return std::nullopt;
        }
        assignments.emplace_back(FindProfileKey(key)->key, std::move(value));
    }
    return assignments;
}

// "JpegQuality=90" and "(default 75)", with a note when the profile holds a value the key refuses.
void PrintSettings() {
    std::vector<std::pair<std::string, std::string>> lines;
    size_t width = 0;
    for (const ProfileKey* row : AllProfileKeys()) {
        const std::string value = SettingString(row->key);
        std::string note = std::string("(default ") + (*row->defaultValue ? row->defaultValue : "empty");
        if (CheckProfileValue(*row, value)) {
            note += "; not a valid value";
            if (IsNumericKey(*row)) note += ", read as " + std::to_string(SettingInt(row->key));
        }
        lines.emplace_back(std::string(row->key) + "=" + value, note + ")");
        width = std::max(width, lines.back().first.size());
    }
    for (const auto& [setting, note] : lines)
        std::printf("%-*s  %s\n", static_cast<int>(width), setting.c_str(), note.c_str());
}

}  // namespace

int RunSettings(const std::vector<std::string>& assignments) {
    if (assignments.empty()) {
        PrintSettings();
        return 0;
    }
    const std::optional<Assignments> checked = CheckedAssignments(assignments, "settings");
    if (!checked) return 2;
    if (const std::optional<std::string> failure = ApplySettings(*checked)) {
        std::fprintf(stderr, "lumo: %s\n", failure->c_str());
        return 1;
    }
    return 0;
}

bool ApplyProfileOverrides(const std::vector<std::string>& settings) {
    const std::optional<Assignments> checked = CheckedAssignments(settings, "--set");
    if (!checked) return false;
    for (const auto& [key, value] : *checked) SetProfileOverride(key, value);
    return true;
}
