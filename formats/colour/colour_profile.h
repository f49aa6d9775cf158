// Reading ICC profiles with Little CMS 2: what a profile calls itself, for the viewer's
// Properties window and for messages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The profile's description text ("Display P3", "sRGB IEC61966-2.1", ...) in English where the
// profile offers several languages, control characters made blanks; an empty text when the profile
// has none; nothing when the bytes are no profile lcms can open. Never reports anything.
std::optional<std::string> ProfileDescription(std::span<const uint8_t> profile);
