#include "formats/load_limits.h"

#include "core/messages.h"

void CheckPromisedSize(const char* module, const char* fileName, size_t pixelBytes, size_t dataBytes,
                       size_t maxExpansion) {
    constexpr size_t kAlwaysAccepted = size_t{64} << 20;
    if (pixelBytes <= kAlwaysAccepted || pixelBytes / maxExpansion <= dataBytes) return;
    LumoError(module, "%s: the header asks for %zu bytes of pixels from %zu bytes of data", fileName, pixelBytes,
              dataBytes);
}
