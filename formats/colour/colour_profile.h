// Reading ICC profiles with Little CMS 2: what a profile calls itself, for the viewer's
// Properties window and for messages.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The profile's description text ("Display P3", "sRGB IEC61966-2.1", ...) in English where the
// profile offers several languages; empty when the bytes are no profile lcms can open or the
// profile has no description. Never reports anything.
std::string ProfileDescription(std::span<const uint8_t> profile);
