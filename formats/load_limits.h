// The guard every loader applies before it allocates from header fields.
#pragma once

#include <cstddef>

// Refuses (module, "%s: the header asks for %zu bytes of pixels from %zu bytes of data") a header
// whose picture could not come from the bytes the file still holds: pixelBytes may be at most
// maxExpansion times the data left, and any picture up to 64 MiB is always accepted.
void CheckPromisedSize(const char* module, const char* fileName, size_t pixelBytes, size_t dataBytes,
                       size_t maxExpansion);
