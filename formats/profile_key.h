// A key of the user's settings (the "Lumo" section of the profile): its default, the values it may
// hold, and the codec option the format dispatch copies it into. Each codec keeps its own rows
// beside its option table; the dispatch, the viewer's option dialogs and `lumo settings` read them.
#pragma once

#include <optional>
#include <string>

// When the dispatch copies a key into its codec's option.
enum class KeyUse { Load = 1, Save = 2, LoadAndSave = 3, None = 0 };

struct ProfileKey {
    const char* key;           // "JpegQuality"
    const char* defaultValue;  // "75"; numbers as decimal text
    // The values a user may give: integer ranges and single values separated by commas ("10-100",
    // "0,1", "1,2,4,8", "0,32-" for 0 or 32 and more), or words ("LZW,Packbits,Raw"; a leading
    // comma allows the empty value). Words compare exactly (case-sensitive).
    const char* values;
    const char* option;  // the codec option the dispatch sets from it, or null
    KeyUse use;
    // The viewer's message for a value out of range ("Quality must be between 10 and 100"), or null
    // when no dialog checks the key (a message naming the key and its values is made instead).
    const char* invalidMessage = nullptr;
};

// True when the row's values are integers (its default is a number).
bool IsNumericKey(const ProfileKey& key);
// Null when value is one the key may hold, else the message that refuses it. A numeric key takes
// only a whole decimal integer ("75abc", "abc" and "" are refused, though the profile reads them).
std::optional<std::string> CheckProfileValue(const ProfileKey& key, const std::string& value);

// The row's default as a number (numeric keys only).
int DefaultInt(const ProfileKey& key);
// A numeric key's value in the profile as the whole system reads it: the leading digits, or the
// row's default when the key is missing or holds no number.
int ReadProfileKeyInt(const ProfileKey& key);
// True when the dispatch copies the key into its codec's option in that direction (Load or Save).
bool CopiedWhen(const ProfileKey& key, KeyUse direction);
