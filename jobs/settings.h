// The one table of the user's settings: every key of the "Lumo" section with its default and
// values (the codecs' rows and the front ends' own), read with the rules the whole system shares.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/profile_key.h"

// Every key, in the order `lumo settings` lists them.
const std::vector<const ProfileKey*>& AllProfileKeys();
// The row of a key (names compare without regard to case, as in the profile), or null.
const ProfileKey* FindProfileKey(std::string_view key);

// A numeric key's value: the profile's leading digits, or the row's default when the key is
// missing or holds no number. The key must be in the table.
int SettingInt(const char* key);
// A key's text as stored, or the row's default when it is missing.
std::string SettingString(const char* key);

// Null when the key is in the table and may hold the value, else the message that refuses it
// ("Unknown profile key X", or the row's message such as "Quality must be between 10 and 100").
std::optional<std::string> CheckSetting(std::string_view key, const std::string& value);

// Checks and writes KEY=VALUE assignments as one change: every assignment is checked first
// (unknown key, or a value the key's row refuses, with the dialog's message); only when all hold
// are they written, in one atomic rewrite of the profile under the table's spelling of each key.
// Yields the first refusal's message (or the failed write's), or nothing when all were written.
std::optional<std::string> ApplySettings(const std::vector<std::pair<std::string, std::string>>& assignments);
