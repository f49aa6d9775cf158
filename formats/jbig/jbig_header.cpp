#include "formats/jbig/jbig_header.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/options.h"
#include "formats/byte_order.h"
#include "formats/jbig/jbig.h"

JbigHeader ReadJbigHeader(const uint8_t* b) {
    return {b[0], b[1], b[2], b[3], ReadBE32(b + 4), ReadBE32(b + 8), ReadBE32(b + 12), b[16], b[17], b[18], b[19]};
}

void CheckJbigHeader(const JbigHeader& header, const char* fileName) {
    constexpr const char* kModule = "LumoLoadJbig";
    CheckLoadSize(kModule, static_cast<long>(header.width), static_cast<long>(header.height));
    if (header.planes <= 1) return;
    const long long pixels = static_cast<long long>(header.width) * static_cast<long long>(header.height);
    const int limit = LumoGetIntOption("maxpixels");
    const long long cap = limit > 0 ? limit : static_cast<long long>(kMaxImageDimension) * kMaxImageDimension;
    if (pixels * header.planes > cap)
        LumoError(kModule, "%s: %d bit planes of %lu x %lu pixels exceed the limit of %lld pixels (raise MaxPixels)",
                  fileName, header.planes, header.width, header.height, cap);
}

std::optional<JbigMaxSize> JbigLoadMaxSize() {
    const int width = LumoGetIntOptionJbig("maxsizew");
    const int height = LumoGetIntOptionJbig("maxsizeh");
    if (width == 0 || height == 0) return std::nullopt;
    return JbigMaxSize{static_cast<unsigned long>(width), static_cast<unsigned long>(height)};
}
