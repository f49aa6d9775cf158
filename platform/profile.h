// The user's settings: the "Lumo" section (and any other) of an INI file standing in for WIN.INI.
// The file is $LUMO_PROFILE when set, else $XDG_CONFIG_HOME/lumo/WIN.INI (~/.config/lumo/WIN.INI).
// Every read looks at the file, so a change by another program or dialog takes effect at the next read;
// the file is parsed once and read again only when stat shows it changed (or it changed within a
// second of the last read, too close for its time stamp to tell). Only a regular file of at most 1 MiB
// is read: anything else (a FIFO, a device, a huge file) gives one warning through the message box and
// the defaults, and is never replaced by a write.
#pragma once

#include <string>
#include <utility>
#include <vector>

constexpr const char* kProfileSection = "Lumo";

// Where the profile lives now.
std::string ProfilePath();

// GetProfileIntA: the leading blanks, sign and decimal digits of the value ("12abc" gives 12,
// numbers beyond the int range saturate); a missing key, or a value with no digit after the
// blanks and sign ("abc", "", "-"), gives the default.
int GetProfileIntA(const char* section, const char* key, int defaultValue);
// GetProfileStringA without the buffer: the value, or the default when the key is missing.
std::string GetProfileStringA(const char* section, const char* key, const char* defaultValue);
// WriteProfileStringA: sets the key (a null value removes it) and rewrites the file atomically,
// keeping every other line of the file byte for byte (comments, other sections, CRLF endings).
// Returns false when the file could not be read or written; the file is then left as it was.
bool WriteProfileStringA(const char* section, const char* key, const char* value);
// Sets several keys in one atomic rewrite: either all of them are written or none.
bool WriteProfileStrings(const char* section, const std::vector<std::pair<std::string, std::string>>& entries);

// The "Lumo" section, the one the program reads.
inline int ProfileInt(const char* key, int defaultValue) { return GetProfileIntA(kProfileSection, key, defaultValue); }
inline std::string ProfileString(const char* key, const char* defaultValue) {
    return GetProfileStringA(kProfileSection, key, defaultValue);
}

// Overrides a key of the "Lumo" section for this process only (the command line's --set KEY=VALUE);
// reads see the override, the file is not touched.
void SetProfileOverride(const std::string& key, const std::string& value);
void ClearProfileOverrides();
