// ICC profiles made with Little CMS for tests: an sRGB profile under a description of the test's
// choosing, or with no description at all.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <vector>

// The profile's bytes; closes the profile.
inline std::vector<uint8_t> SavedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// sRGB primaries described as `description`; null for a profile without a description tag.
inline std::vector<uint8_t> ProfileDescribedAs(const char* description) {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    if (!description) {
        cmsWriteTag(profile, cmsSigProfileDescriptionTag, nullptr);  // removes the tag
        return SavedProfile(profile);
    }
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", description);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    return SavedProfile(profile);
}
