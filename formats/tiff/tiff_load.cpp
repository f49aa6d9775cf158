// Loading the first image of a TIFF file: the layout decided from its directory (tiff_layout.h), the
// resolution, and the pixel reader the layout names.
#include <cmath>
#include <cstring>

#include "core/image.h"
#include "core/messages.h"
#include "core/orientation.h"
#include "formats/tiff/tiff.h"
#include "formats/tiff/tiff_layout.h"
#include "formats/tiff/tiff_metadata.h"
#include "formats/tiff/tiff_options.h"
#include "formats/tiff/tiff_readers.h"

namespace {

constexpr const char* kModule = kTiffLoadModule;

// Dots per inch from XResolution, YResolution and ResolutionUnit. Without an absolute unit the
// picture is taken to be 4 inches wide, keeping the ratio of the two values.
void SetResolution(TiffHandle& tiff, IMG& image) {
    float x = 0, y = 0;
    uint16_t unit = 0;
    GetTiffField(tiff, TIFFTAG_XRESOLUTION, &x);
    GetTiffField(tiff, TIFFTAG_YRESOLUTION, &y);
    // A value that is not a finite positive number states nothing.
    if (!(std::isfinite(x) && x > 0)) x = 0;
    if (!(std::isfinite(y) && y > 0)) y = 0;
    if (GetTiffField(tiff, TIFFTAG_RESOLUTIONUNIT, &unit)) {
        if (unit == RESUNIT_NONE) {
            const float fourInch = static_cast<float>(image.width / 4);
            // Without both values there is no ratio to keep: the pixels are taken as square.
            x = x > 0 && y > 0 ? fourInch * x / y : fourInch;
            y = fourInch;
        } else if (unit == RESUNIT_CENTIMETER) {
            x *= 2.54f;
            y *= 2.54f;
        }
    }
    image.xResolution = std::isfinite(x) ? x : 0;
    image.yResolution = std::isfinite(y) ? y : 0;
}

// Contiguous 8-bit CMYK with an embedded CMYK profile goes through the profile; null otherwise (then
// libtiff's plain formula makes light of the ink).
std::unique_ptr<InkConverter> InkProfileOf(TiffHandle& tiff, const TiffLayout& layout) {
    const TiffTags& tags = layout.tags;
    if (layout.reader != TiffReader::Rgba || tags.photometric != PHOTOMETRIC_SEPARATED || tags.samplesPerPixel != 4 ||
        tags.bitsPerSample != 8 || !tags.contiguous())
        return nullptr;
    uint32_t size = 0;
    const void* data = nullptr;
    if (!GetTiffField(tiff, TIFFTAG_ICCPROFILE, &size, &data) || !data || size == 0) return nullptr;
    return InkConverter::Make({static_cast<const uint8_t*>(data), size}, false, kModule);
}

}  // namespace

ImagePtr LoadTiffFrom(TiffHandle& tiff, const char* name) {
    TiffLayout layout = DecideTiffLayout(tiff, name);
    const TiffTags& tags = layout.tags;
    ImagePtr image = LumoCreateImage(static_cast<int>(tags.width), static_cast<int>(tags.height),
                                     ColorClassOf(layout.kind), std::move(layout.palette), BitsPerPixelOf(layout.kind));
    SetResolution(tiff, *image);
    // Turned upright: the readers copy the rows as stored (the strip reader reads a bottom-left file
    // from the bottom, which leaves it upright; libtiff's RGBA reader does part of the turn itself),
    // and what the pixels still need is the JPEG path's turn.
    const int stored = tags.orientation;
    const bool turn = CurrentTiffOptions().autoRotate != 0 && IsOrientation(stored);
    const int readAs = turn && !(layout.reader == TiffReader::Scanline && stored == ORIENTATION_BOTLEFT)
                           ? ORIENTATION_TOPLEFT
                           : stored;
    switch (layout.reader) {
        case TiffReader::Scanline: ReadTiffScanlines(tiff, *image, readAs); break;
        case TiffReader::Tile: ReadTiffTiles(tiff, *image, readAs, tags.tileWidth, tags.tileLength); break;
        case TiffReader::Plane: ReadTiffPlanes(tiff, *image, readAs); break;
        case TiffReader::Rgba: ReadTiffRgba(tiff, *image, InkProfileOf(tiff, layout).get()); break;
        case TiffReader::YCbCr: ReadTiffYCbCr(tiff, *image, readAs); break;
    }
    // Our readers copy the file's values; the image kinds have 0 = black.
    if (layout.invert) LumoInvertImage(image.get());
    int remaining = OrientationAfterReading(layout.reader, stored);
    if (turn && remaining != 1) {
        image = LumoOrientImage(image.get(), static_cast<Orientation>(remaining));
        remaining = 1;
    }
    LumoSetMetadata(image.get(), ReadTiffMetadata(tiff, remaining));
    if (tags.photometric == PHOTOMETRIC_SEPARATED) DropInkProfile(image.get());
    return image;
}

namespace {

// Makes the page the "page" option names the current directory.
void SelectPage(TiffHandle& tiff, const char* path) {
    const int page = CurrentTiffOptions().page;
    if (page == 1) return;
    if (page < 1 || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1))) {
        tiff.takeError();
        LumoError(kModule, "%s has no page %d", path, page);
    }
    tiff.check(kModule);
}

}  // namespace

ImagePtr LumoLoadTiff(const char* path) {
    TiffHandle tiff = LumoOpenTiff(path, "r");
    SelectPage(tiff, path);
    ImagePtr image = LoadTiffFrom(tiff, path);
    tiff.close(kModule);
    return image;
}

ImageInfo ReadTiffInfoFrom(TiffHandle& tiff, const char* name) {
    const TiffLayout layout = DecideTiffLayout(tiff, name);
    const int width = static_cast<int>(layout.tags.width), height = static_cast<int>(layout.tags.height);
    // The sides of the picture as a load gives it: swapped by the quarter turns and diagonal mirrors.
    const int stored = layout.tags.orientation;
    const int remaining = CurrentTiffOptions().autoRotate != 0 && IsOrientation(stored) ? stored
                                                                                        : OrientationAfterReading(layout.reader, stored);
    if (remaining >= 5) return {height, width, layout.kind};
    return {width, height, layout.kind};
}

std::vector<ImageInfo> ReadTiffPages(const char* path) {
    constexpr size_t kMostPages = 100000;
    TiffHandle tiff = LumoOpenTiff(path, "r");
    std::vector<ImageInfo> pages;
    do {
        pages.push_back(ReadTiffInfoFrom(tiff, path));
        tiff.check(kModule);
    } while (pages.size() < kMostPages && TIFFReadDirectory(tiff.get()));
    tiff.takeError();  // a damaged directory after the last good one ends the list
    tiff.close(kModule);
    return pages;
}

ImageInfo ReadTiffInfo(const char* path) {
    TiffHandle tiff = LumoOpenTiff(path, "r");
    SelectPage(tiff, path);
    const ImageInfo info = ReadTiffInfoFrom(tiff, path);
    tiff.close(kModule);
    return info;
}
