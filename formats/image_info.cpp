#include "formats/image_info.h"

#include <span>

#include "core/messages.h"
#include "formats/avif/avif.h"
#include "formats/jxl/jxl.h"
#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/gif/gif.h"
#include "formats/img.h"
#include "formats/jbig/jbig.h"
#include "formats/jpeg/jpeg.h"
#include "formats/load_limits.h"
#include "formats/mok/mok.h"
#include "formats/pcd/pcd.h"
#include "formats/png/png.h"
#include "formats/profile_key.h"
#include "formats/tiff/tiff.h"
#include "formats/webp/webp.h"

namespace {

// A format whose header tells its loaded size and kind: the reader (none where the load gives no
// image), and the codec's load settings from the profile (which change the kind or the size for
// JPEG, MOK, JBIG and Photo CD).
struct HeaderRoute {
    const char* route;  // the dispatch's name of the loader (LoadRouteName)
    std::optional<ImageInfo> (*read)(const char* fileName);
    std::span<const ProfileKey> (*keys)();  // or null
    void (*setOption)(const char* name, int value);
};

template <ImageInfo (*Read)(const char*)>
std::optional<ImageInfo> Always(const char* fileName) {
    return Read(fileName);
}

// Raw fax is not read this way: it has no header, and its height is known only once the last row
// is decoded (and the rows are found by trial decoding), so `lumo info` loads it.
constexpr HeaderRoute kHeaderRoutes[] = {
    {"jpg", Always<ReadJpegInfo>, JpegProfileKeys, LumoSetIntOptionJpeg},
    {"bmp", Always<ReadBmpInfo>, nullptr, nullptr},
    {"gif", Always<ReadGifInfo>, nullptr, nullptr},
    {"png", Always<ReadPngInfo>, nullptr, nullptr},
    {"webp", Always<ReadWebpInfo>, nullptr, nullptr},
    {"avif", Always<ReadAvifInfo>, nullptr, nullptr},
    {"jxl", Always<ReadJxlInfo>, nullptr, nullptr},
    {"img", Always<ReadIMGInfo>, nullptr, nullptr},
    {"tif", Always<ReadTiffInfo>, TiffLoadKeys, LumoSetIntOptionTiff},
    {"mok", Always<ReadMokInfo>, MokProfileKeys, LumoSetIntOptionMok},
    {"bie", Always<ReadJbigInfo>, JbigProfileKeys, LumoSetIntOptionJbig},
    {"pcd", ReadPcdInfo, PcdProfileKeys, LumoSetIntOptionPcd},
    {"overview", Always<ReadPcdOverviewInfo>, nullptr, nullptr},
};

void CopyLoadSettings(std::span<const ProfileKey> keys, void (*setOption)(const char*, int)) {
    for (const ProfileKey& key : keys)
        if (CopiedWhen(key, KeyUse::Load)) setOption(key.option, ReadProfileKeyInt(key));
}

}  // namespace

ImageInfo InfoOf(const IMG& image) { return {image.width, image.height, KindOf(image)}; }

std::optional<ImageInfo> ReadImageInfo(const char* fileName) {
    const std::string name = LoadRouteName(fileName);
    for (const HeaderRoute& route : kHeaderRoutes) {
        if (name != route.route) continue;
        CopyLoadSettings(LoadLimitProfileKeys(), LumoSetIntOption);  // the pixel limit the loader checks
        if (route.keys) CopyLoadSettings(route.keys(), route.setOption);
        return route.read(fileName);
    }
    const ImagePtr image = LoadImageByExtension(fileName);
    if (!image) return std::nullopt;
    return InfoOf(*image);
}
