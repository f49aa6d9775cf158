#include "jobs/settings.h"

#include <strings.h>

#include <cstring>
#include <span>

#include "core/messages.h"
#include "formats/gif/gif.h"
#include "formats/jbig/jbig.h"
#include "formats/jpeg/jpeg.h"
#include "formats/load_limits.h"
#include "formats/metadata/keep_metadata.h"
#include "formats/mok/mok.h"
#include "formats/pcd/pcd.h"
#include "formats/png/png.h"
#include "formats/avif/avif.h"
#include "formats/jxl/jxl.h"
#include "formats/ps/ps.h"
#include "formats/tiff/tiff.h"
#include "formats/webp/webp.h"
#include "jobs/conversion.h"
#include "platform/profile.h"

namespace {

// The viewer's own keys: its frame and image windows read them.
constexpr ProfileKey kViewerProfileKeys[] = {
    {"ToolBarVisible", "1", "0,1", nullptr, KeyUse::None},
    {"AutoCascade", "1", "0,1", nullptr, KeyUse::None},
    // Pictures larger than their new window open at the zoom that shows them whole.
    {"OpenFitted", "1", "0,1", nullptr, KeyUse::None},
};

const ProfileKey& RowOf(const char* key) {
    const ProfileKey* row = FindProfileKey(key);
    if (!row) LumoError("Settings", "Unknown profile key %s", key);
    return *row;
}

}  // namespace

const std::vector<const ProfileKey*>& AllProfileKeys() {
    // The viewer's keys, the conversion's, the limit every loader checks, what loads and saves keep,
    // then the codecs'.
    static const std::vector<const ProfileKey*> keys = [] {
        std::vector<const ProfileKey*> all;
        for (std::span<const ProfileKey> rows : {std::span<const ProfileKey>(kViewerProfileKeys),
                                                 ConversionProfileKeys(), LoadLimitProfileKeys(), MetadataProfileKeys(),
                                                 JpegProfileKeys(), GifProfileKeys(), TiffProfileKeys(),
                                                 PSProfileKeys(), JbigProfileKeys(), MokProfileKeys(),
                                                 PcdProfileKeys(), PngProfileKeys(), WebpProfileKeys(),
                                                 AvifProfileKeys(), JxlProfileKeys()})
            for (const ProfileKey& row : rows) all.push_back(&row);
        return all;
    }();
    return keys;
}

const ProfileKey* FindProfileKey(std::string_view key) {
    for (const ProfileKey* row : AllProfileKeys())
        if (key.size() == std::strlen(row->key) && strncasecmp(row->key, key.data(), key.size()) == 0) return row;
    return nullptr;
}

int SettingInt(const char* key) { return ReadProfileKeyInt(RowOf(key)); }

std::string SettingString(const char* key) { return ProfileString(key, RowOf(key).defaultValue); }

std::optional<std::string> CheckSetting(std::string_view key, const std::string& value) {
    const ProfileKey* row = FindProfileKey(key);
    if (!row) return "Unknown profile key " + std::string(key);
    return CheckProfileValue(*row, value);
}

std::optional<std::string> ApplySettings(const std::vector<std::pair<std::string, std::string>>& assignments) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& [key, value] : assignments) {
        if (std::optional<std::string> refusal = CheckSetting(key, value)) return refusal;
        entries.emplace_back(FindProfileKey(key)->key, value);  // stored under the table's spelling
    }
    if (!WriteProfileStrings(kProfileSection, entries)) return "Can't write the profile " + ProfilePath();
    return std::nullopt;
}
