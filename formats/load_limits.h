// The guards every loader applies before it allocates from header fields.
#pragma once

#include <cstddef>
#include <span>

#include "formats/profile_key.h"

// The default size of picture CheckPromisedSize accepts whatever the data left.
constexpr size_t kPromiseAlwaysAccepted = size_t{64} << 20;

// Refuses (module, "%s: the header asks for %zu bytes of pixels from %zu bytes of data") a header
// whose picture could not come from the bytes the file still holds: pixelBytes may be at most
// maxExpansion times the data left, and any picture up to alwaysAccepted bytes is accepted.
void CheckPromisedSize(const char* module, const char* fileName, size_t pixelBytes, size_t dataBytes,
                       size_t maxExpansion, size_t alwaysAccepted = kPromiseAlwaysAccepted);

// The key MaxPixels: the most pixels a loaded picture may have (the global option "maxpixels",
// checked by CheckLoadSize). The dispatch copies it into the option before every load.
std::span<const ProfileKey> LoadLimitProfileKeys();
