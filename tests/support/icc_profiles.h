// ICC profiles made with Little CMS for tests, and attaching one to a picture.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image.h"

// Display P3: the P3 primaries, D65 white and the sRGB tone curve, described as "Display P3".
std::vector<uint8_t> DisplayP3Profile();
// sRGB primaries described as `description`; null for a profile without a description tag.
std::vector<uint8_t> ProfileDescribedAs(const char* description);
// Little CMS's own sRGB profile.
std::vector<uint8_t> SavedSrgbProfile();
// A linear gray profile (gamma 1): its mid-tones come out much lighter on the sRGB curve.
std::vector<uint8_t> LinearGrayProfile();
// Gives the image metadata holding the profile (and a comment, to see the rest kept).
void AttachProfile(IMG* image, std::vector<uint8_t> profile);
// Smooth gradients with saturated corners, as a photo has: re-encoding by a reference tool moves
// no level by more than 1 on such a picture, so a check within 2 levels leaves room for rounding only.
ImagePtr PhotoLike(int width, int height);
