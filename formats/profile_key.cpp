#include "formats/profile_key.h"

#include <charconv>
#include <climits>
#include <vector>

#include "platform/profile.h"

namespace {

// One comma-separated item of a row's values: a word, or the integers low..high.
struct ValueItem {
    std::string word;
    bool numeric = false;
    int low = 0;
    int high = 0;
};

// The whole text as a decimal integer, or nothing (no blanks, no trailing letters, no overflow).
std::optional<int> WholeInteger(const std::string& text) {
    int number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return number;
}

// "10-100", "32-" (no upper bound), "5", or a word.
ValueItem ParseItem(const std::string& text) {
    ValueItem item;
    item.word = text;
    const size_t dash = text.find('-', 1);
    const std::optional<int> low = WholeInteger(text.substr(0, dash));
    if (!low) return item;
    item.low = *low;
    item.high = *low;
    if (dash != std::string::npos) {
        const std::string upper = text.substr(dash + 1);
        const std::optional<int> high = upper.empty() ? std::optional<int>(INT_MAX) : WholeInteger(upper);
        if (!high) return item;
        item.high = *high;
    }
    item.numeric = true;
    return item;
}

std::vector<ValueItem> ParseValues(const char* values) {
    std::vector<ValueItem> items;
    const std::string text = values ? values : "";
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        items.push_back(ParseItem(text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

std::string Describe(const ValueItem& item) {
    if (!item.numeric) return item.word.empty() ? "empty" : item.word;
    if (item.low == item.high) return std::to_string(item.low);
    if (item.high == INT_MAX) return std::to_string(item.low) + " or more";
    return std::to_string(item.low) + " to " + std::to_string(item.high);
}

// "JpegRatio must be one of 1, 2, 4, 8", "PcdSize must be between 1 and 5".
std::string RefusalMessage(const ProfileKey& key, const std::vector<ValueItem>& items) {
    if (key.invalidMessage) return key.invalidMessage;
    const std::string name = key.key;
    if (items.size() == 1 && items[0].numeric && items[0].low != items[0].high && items[0].high != INT_MAX)
        return name + " must be between " + std::to_string(items[0].low) + " and " + std::to_string(items[0].high);
    std::string list;
    for (const ValueItem& item : items) list += (list.empty() ? "" : ", ") + Describe(item);
    return name + " must be one of " + list;
}

}  // namespace

bool IsNumericKey(const ProfileKey& key) {
    for (const ValueItem& item : ParseValues(key.values))
        if (!item.numeric) return false;
    return true;
}

std::optional<std::string> CheckProfileValue(const ProfileKey& key, const std::string& value) {
    const std::vector<ValueItem> items = ParseValues(key.values);
    const std::optional<int> number = WholeInteger(value);
    for (const ValueItem& item : items) {
        if (item.numeric ? number && *number >= item.low && *number <= item.high : value == item.word)
            return std::nullopt;
    }
    return RefusalMessage(key, items);
}

int DefaultInt(const ProfileKey& key) { return WholeInteger(key.defaultValue).value_or(0); }

int ReadProfileKeyInt(const ProfileKey& key) { return ProfileInt(key.key, DefaultInt(key)); }

bool CopiedWhen(const ProfileKey& key, KeyUse direction) {
    return key.option && (static_cast<int>(key.use) & static_cast<int>(direction)) != 0;
}
