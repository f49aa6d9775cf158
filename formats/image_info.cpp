#include "formats/image_info.h"

#include <strings.h>

#include <span>

#include "core/messages.h"
#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/gif/gif.h"
#include "formats/img.h"
#include "formats/jbig/jbig.h"
#include "formats/jpeg/jpeg.h"
#include "formats/load_limits.h"
#include "formats/mok/mok.h"
#include "formats/png/png.h"
#include "formats/profile_key.h"
#include "formats/tiff/tiff.h"

namespace {

// A format whose header tells its loaded size and kind: the reader, and the codec's load settings from
// the profile (which, for JPEG, change the kind and the size).
struct HeaderRoute {
    const char* extension;
    ImageInfo (*read)(const char* fileName);
    std::span<const ProfileKey> (*keys)();  // or null
    void (*setOption)(const char* name, int value);
};

// The other loaders are not read this way: the TIFF loader decides the kind from the directory through
// libtiff and the pixels it reads, JBIG, MOK and Photo CD from their options and decoded layers, the
// Photo CD overview from the pictures it reads, and raw fax has no header (its height is known only
// when the last row is decoded). They are loaded.
constexpr HeaderRoute kHeaderRoutes[] = {
    {"jpg", ReadJpegInfo, JpegProfileKeys, LumoSetIntOptionJpeg},
    {"bmp", ReadBmpInfo, nullptr, nullptr},
    {"gif", ReadGifInfo, nullptr, nullptr},
    {"png", ReadPngInfo, nullptr, nullptr},
    {"img", ReadIMGInfo, nullptr, nullptr},
    {"tif", ReadTiffInfo, nullptr, nullptr},
    {"mok", ReadMokInfo, MokProfileKeys, LumoSetIntOptionMok},
    {"bie", ReadJbigInfo, JbigProfileKeys, LumoSetIntOptionJbig},
};

void CopyLoadSettings(std::span<const ProfileKey> keys, void (*setOption)(const char*, int)) {
    for (const ProfileKey& key : keys)
        if (CopiedWhen(key, KeyUse::Load)) setOption(key.option, ReadProfileKeyInt(key));
}

}  // namespace

ImageInfo InfoOf(const IMG& image) { return {image.width, image.height, KindOf(image)}; }

std::optional<ImageInfo> ReadImageInfo(const char* fileName) {
    const std::string extension = SplitFileName(fileName).extension;
    for (const HeaderRoute& route : kHeaderRoutes) {
        if (strcasecmp(extension.c_str(), route.extension) != 0) continue;
        CopyLoadSettings(LoadLimitProfileKeys(), LumoSetIntOption);  // the pixel limit the loader checks
        if (route.keys) CopyLoadSettings(route.keys(), route.setOption);
        return route.read(fileName);
    }
    const ImagePtr image = LoadImageByExtension(fileName);
    if (!image) return std::nullopt;
    return InfoOf(*image);
}
