#include "formats/load_limits.h"

#include "core/messages.h"

namespace {

constexpr ProfileKey kLoadLimitProfileKeys[] = {
    {"MaxPixels", "178956970", "0-", "maxpixels", KeyUse::Load},
};

}  // namespace

void CheckPromisedSize(const char* module, const char* fileName, size_t pixelBytes, size_t dataBytes,
                       size_t maxExpansion, size_t alwaysAccepted) {
    if (pixelBytes <= alwaysAccepted || pixelBytes / maxExpansion <= dataBytes) return;
    LumoError(module, "%s: the header asks for %zu bytes of pixels from %zu bytes of data", fileName, pixelBytes,
              dataBytes);
}

std::span<const ProfileKey> LoadLimitProfileKeys() { return kLoadLimitProfileKeys; }
