// "lumo settings": lists every key of the user's settings with its value and default, or checks and
// writes KEY=VALUE assignments; and the checked "--set KEY=VALUE" overrides of info and convert.
#pragma once

#include <string>
#include <vector>

// No assignments: prints one line per key and returns 0. Otherwise writes them all and returns 0,
// or returns 2 (nothing written) when one is malformed, names an unknown key or holds a refused
// value, and 1 when the profile could not be written.
int RunSettings(const std::vector<std::string>& assignments);

// Checks "--set" assignments as `lumo settings` does and overrides those keys for this run only;
// false (with the message on standard error, nothing overridden) when one is refused.
bool ApplyProfileOverrides(const std::vector<std::string>& settings);
