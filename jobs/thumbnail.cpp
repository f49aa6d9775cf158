#include "jobs/thumbnail.h"

#include <strings.h>

#include <algorithm>

#include "core/convert.h"
#include "core/messages.h"
#include "core/rescale.h"
#include "formats/avif/avif.h"
#include "formats/jxl/jxl.h"
#include "formats/bmp.h"
#include "formats/dispatch.h"
#include "formats/g3/g3.h"
#include "formats/gif/gif.h"
#include "formats/img.h"
#include "formats/jbig/jbig.h"
#include "formats/jpeg/jpeg.h"
#include "formats/load_limits.h"
#include "formats/metadata/keep_metadata.h"
#include "formats/mok/mok.h"
#include "formats/pcd/pcd.h"
#include "formats/png/png.h"
#include "formats/tiff/tiff.h"
#include "formats/webp/webp.h"
#include "platform/message_box.h"
#include "platform/profile.h"

namespace {

// One row of the thumbnail table: the loader of an extension, the reduced-size options it gets before
// loading, and those put back afterwards (also when the load fails, so that a failed thumbnail never
// leaves the next ordinary load reduced).
struct ThumbnailRoute {
    const char* extension;
    ImagePtr (*load)(const char* fileName);
    void (*before)(PixelSize cell);  // or null
    void (*after)();                 // or null
};

void SmallestJbigLayer(PixelSize) {
    LumoSetIntOptionJbig("maxsizew", 160);
    LumoSetIntOptionJbig("maxsizeh", 120);
}
void AnyJbigLayer() {
    LumoSetIntOptionJbig("maxsizew", 0);
    LumoSetIntOptionJbig("maxsizeh", 0);
}
void SmallestPcdPicture(PixelSize) {
    LumoSetIntOptionPcd("pcdsize", 1);
    LumoSetIntOptionPcd("crsubsampled", 1);
}
void EighthMokLevel(PixelSize) { LumoSetIntOptionMok("mokratio", 4); }
void ReduceJpegTo(PixelSize target) {
    LumoSetIntOptionJpeg("thumbnailmode", 1);
    LumoSetIntOptionJpeg("thumbnailw", target.width);
    LumoSetIntOptionJpeg("thumbnailh", target.height);
}
void JpegThumbnailMode(PixelSize cell) {
    LumoSetIntOptionJpeg("fast", 1);
    LumoSetIntOptionJpeg("readrgb", 1);
    LumoSetIntOptionJpeg("forcegray", 0);
    ReduceJpegTo(cell);
}
void JpegFullSize() { LumoSetIntOptionJpeg("thumbnailmode", 0); }
// libwebp scales a still picture while it decodes it, straight to the size the cell takes.
void WebpFitIn(PixelSize cell) {
    LumoSetIntOptionWebp("thumbnailw", cell.width);
    LumoSetIntOptionWebp("thumbnailh", cell.height);
}
void WebpFullSize() {
    LumoSetIntOptionWebp("thumbnailw", 0);
    LumoSetIntOptionWebp("thumbnailh", 0);
}

// A format joins the contact sheets with one row.
constexpr ThumbnailRoute kThumbnailRoutes[] = {
    {"tif", LumoLoadTiff, nullptr, nullptr},
    {"gif", LumoLoadGif, nullptr, nullptr},
    {"bie", LumoLoadJbig, SmallestJbigLayer, AnyJbigLayer},
    {"bmp", LumoLoadBmp, nullptr, nullptr},
    {"pcd", LumoLoadPcd, SmallestPcdPicture, nullptr},
    {"img", LumoLoadIMG, nullptr, nullptr},
    {"fax", LumoLoadG3, nullptr, nullptr},
    {"mok", LumoLoadMok, EighthMokLevel, nullptr},
    {"jpg", LumoLoadJpeg, JpegThumbnailMode, JpegFullSize},
    {"png", LumoLoadPng, nullptr, nullptr},
    {"webp", LumoLoadWebp, WebpFitIn, WebpFullSize},
    {"avif", LumoLoadAvif, nullptr, nullptr},  // libavif decodes at full size only
    {"jxl", LumoLoadJxl, nullptr, nullptr},    // no reduced decoding in libjxl 0.7's API
};

// Runs a row's "after" step however the load ends.
struct AfterLoad {
    void (*after)();
    ~AfterLoad() {
        if (after) after();
    }
};

}  // namespace

ReducedJpegDecode::ReducedJpegDecode(PixelSize target)
    : previousTarget_{LumoGetIntOptionJpeg("thumbnailw"), LumoGetIntOptionJpeg("thumbnailh")} {
    ReduceJpegTo(target);
}

ReducedJpegDecode::~ReducedJpegDecode() {
    JpegFullSize();
    LumoSetIntOptionJpeg("thumbnailw", previousTarget_.width);
    LumoSetIntOptionJpeg("thumbnailh", previousTarget_.height);
}

ImagePtr LoadThumbnail(const char* fileName, PixelSize cell) {
    const std::string extension = LoadExtensionOf(fileName);
    for (const ThumbnailRoute& route : kThumbnailRoutes) {
        if (strcasecmp(extension.c_str(), route.extension) != 0) continue;
        // The pixel limit every load honours, from the profile as the dispatch sets it.
        for (const ProfileKey& key : LoadLimitProfileKeys()) LumoSetIntOption(key.option, ReadProfileKeyInt(key));
        if (route.before) route.before(cell);
        const AfterLoad restore{route.after};
        const MetadataOff noMetadata;  // thumbnails carry none: their files' metadata is not read
        ImagePtr thumbnail = route.load(fileName);
        if (thumbnail) LumoDropMetadata(thumbnail.get());  // nor the profile loads always keep
        return thumbnail;
    }
    ShowMessageBox(fileName, "Unknown file extension", MessageIcon::Error);
    return nullptr;
}

ImagePtr FitToCell(ImagePtr picture, PixelSize cell) {
    int w = picture->width, h = picture->height;
    if (w > cell.width) {
        h = h * cell.width / w;
        w = cell.width;
    }
    if (h > cell.height) {
        w = w * cell.height / h;
        h = cell.height;
    }
    // A very thin picture keeps one row or column instead of shrinking to nothing.
    w = std::max(w, 1);
    h = std::max(h, 1);
    const bool resized = w != picture->width || h != picture->height;
    if (IsKind(*picture, ImageKind::RGB) && !resized) return picture;
    if (resized) {
        if (LumoVerbose()) LumoWarning(nullptr, "Rescaling to %dx%d....", w, h);
        return LumoRescaleConvert(picture.get(), w, h, COLOR, 24);
    }
    if (LumoVerbose()) LumoWarning(nullptr, "Converting to RGB....");
    return LumoToRGB(picture.get());
}

ImagePtr MakeCellPicture(const char* fileName, PixelSize cell) {
    ImagePtr thumbnail = LoadThumbnail(fileName, cell);
    return thumbnail ? FitToCell(std::move(thumbnail), cell) : nullptr;
}
