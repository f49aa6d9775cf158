#include "formats/colour/colour_profile.h"

#include <vector>

#include "formats/colour/lcms_session.h"

std::string ProfileDescription(std::span<const uint8_t> profile) {
    LcmsSession session;
    cmsHPROFILE opened = session.open(profile);
    if (!opened) return {};
    const cmsUInt32Number size = cmsGetProfileInfoASCII(opened, cmsInfoDescription, "en", "US", nullptr, 0);
    if (size <= 1) return {};
    std::vector<char> text(size);
    cmsGetProfileInfoASCII(opened, cmsInfoDescription, "en", "US", text.data(), size);
    return std::string(text.data());
}
