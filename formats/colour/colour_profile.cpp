#include "formats/colour/colour_profile.h"

#include <vector>

#include "formats/colour/lcms_session.h"

std::optional<std::string> ProfileDescription(std::span<const uint8_t> profile) {
    if (profile.empty()) return std::nullopt;
    LcmsSession session;
    cmsHPROFILE opened = session.open(profile);
    if (!opened) return std::nullopt;
    const cmsUInt32Number size = cmsGetProfileInfoASCII(opened, cmsInfoDescription, "en", "US", nullptr, 0);
    if (size <= 1) return std::string();
    std::vector<char> text(size);
    cmsGetProfileInfoASCII(opened, cmsInfoDescription, "en", "US", text.data(), size);
    std::string description(text.data());
    for (char& c : description)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    const size_t first = description.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return description.substr(first, description.find_last_not_of(' ') - first + 1);
}
