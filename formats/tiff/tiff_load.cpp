// Loading the first image of a TIFF file: the tags, the image kind its layout maps to, and the
// choice of pixel reader. Layouts with no image kind of their own (2, 12 or 16 bits per sample, gray
// with alpha, 1- or 2-bit palettes, ...) are read through libtiff's RGBA conversion where libtiff can,
// and refused otherwise.
#include <cmath>
#include <cstring>

#include "core/image.h"
#include "core/messages.h"
#include "formats/tiff/tiff.h"
#include "formats/tiff/tiff_readers.h"

namespace {

constexpr const char* kModule = kTiffLoadModule;

// The tags the loader reads before it decides anything.
struct TiffTags {
    uint32_t width = 0;             // ImageWidth
    uint32_t height = 0;            // ImageLength
    bool tiled = false;             // TileWidth and TileLength present
    uint32_t tileWidth = 0;         // TileWidth (tiled files)
    uint32_t tileLength = 0;        // TileLength (tiled files)
    uint16_t bitsPerSample = 1;     // BitsPerSample
    uint16_t photometric = 0;       // PhotometricInterpretation
    uint16_t samplesPerPixel = 1;   // SamplesPerPixel
    uint16_t planar = PLANARCONFIG_CONTIG;   // PlanarConfiguration
    uint16_t orientation = ORIENTATION_TOPLEFT;  // Orientation
    uint16_t compression = COMPRESSION_NONE;     // Compression

    // With one sample per pixel the planar configuration changes nothing in the data.
    bool contiguous() const { return planar == PLANARCONFIG_CONTIG || samplesPerPixel == 1; }
};

enum class Reader { Scanline, Tile, Plane, Rgba, YCbCr };

// What the file becomes: the kind of the image, its palette and the reader that fills it.
struct Layout {
    ImageKind kind = ImageKind::RGB;
    Reader reader = Reader::Rgba;
    PalettePtr palette;
    bool invert = false;  // min-is-white read by our own readers
};

TiffTags ReadTags(TiffHandle& tiff, const char* name) {
    TiffTags tags;
    GetTiffField(tiff, TIFFTAG_IMAGEWIDTH, &tags.width);
    GetTiffField(tiff, TIFFTAG_IMAGELENGTH, &tags.height);
    tags.tiled = TIFFIsTiled(tiff.get()) != 0;
    tiff.check(kModule);
    if (tags.tiled) {
        GetTiffField(tiff, TIFFTAG_TILEWIDTH, &tags.tileWidth);
        GetTiffField(tiff, TIFFTAG_TILELENGTH, &tags.tileLength);
    }
    GetTiffFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &tags.bitsPerSample);
    if (!GetTiffField(tiff, TIFFTAG_PHOTOMETRIC, &tags.photometric))
        LumoError(kModule, "Can't handle photometric interpretation for %s", name);
    GetTiffFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &tags.samplesPerPixel);
    GetTiffFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &tags.planar);
    GetTiffFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &tags.orientation);
    GetTiffFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &tags.compression);
    return tags;
}

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

// The ColorMap as an image palette, each 16-bit entry reduced to its high byte.
PalettePtr ReadPalette(TiffHandle& tiff, int entries, const char* name) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!GetTiffField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        LumoError(kModule, "Palette image without a ColorMap: %s", name);
    PalettePtr palette = CreateIMGPalette(entries);
    for (int i = 0; i < entries; ++i) LumoSetPaletteEntry(palette.get(), i, red[i] >> 8, green[i] >> 8, blue[i] >> 8);
    return palette;
}

Reader ContiguousReader(const TiffTags& tags) { return tags.tiled ? Reader::Tile : Reader::Scanline; }

// The layout of the file's samples mapped to an image kind and a reader. Compression 7 YCbCr has
// already been turned into RGB by libtiff's JPEG codec (photometric is 2 here then).
Layout ChooseLayout(TiffHandle& tiff, const TiffTags& tags, const char* name) {
    const uint16_t photometric = tags.photometric;
    const uint16_t bits = tags.bitsPerSample;
    const uint16_t samples = tags.samplesPerPixel;
    const bool gray = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
    Layout layout;
    if (samples == 1 && gray && (bits == 1 || bits == 4 || bits == 8)) {
        layout.kind = bits == 1 ? ImageKind::BW : bits == 4 ? ImageKind::GRAY16 : ImageKind::GRAY256;
        layout.reader = ContiguousReader(tags);
        layout.invert = photometric == PHOTOMETRIC_MINISWHITE;
        return layout;
    }
    if (photometric == PHOTOMETRIC_PALETTE && samples == 1) {
        // A palette image has at most 256 colours; 1- and 2-bit ones go through RGBA below.
        if (bits > 8) LumoError(kModule, "Can't handle palette images of %u bits per sample: %s", bits, name);
        if (bits == 4 || bits == 8) {
            layout.kind = bits == 4 ? ImageKind::COLOR16 : ImageKind::COLOR256;
            layout.reader = ContiguousReader(tags);
            layout.palette = ReadPalette(tiff, 1 << bits, name);
            return layout;
        }
    }
    if (samples == 3 && bits == 8 && photometric == PHOTOMETRIC_RGB) {
        layout.kind = ImageKind::RGB;
        if (tags.contiguous())
            layout.reader = ContiguousReader(tags);
        else
            layout.reader = tags.tiled ? Reader::Rgba : Reader::Plane;
        return layout;
    }
    if (samples == 3 && bits == 8 && photometric == PHOTOMETRIC_YCBCR && tags.contiguous() && !tags.tiled) {
        layout.kind = ImageKind::RGB;
        layout.reader = Reader::YCbCr;
        return layout;
    }
    // Four samples (CMYK, RGB with alpha), separated inks, tiled or planar YCbCr and every layout
    // without a kind: libtiff's RGBA conversion, when it knows the layout.
    char reason[1024] = "";
    const int convertible = TIFFRGBAImageOK(tiff.get(), reason);
    tiff.check(kModule);
    if (!convertible) LumoError(kModule, "Can't load %s: %s", name, reason);
    layout.kind = gray ? ImageKind::GRAY256 : ImageKind::RGB;
    layout.reader = Reader::Rgba;
    return layout;
}

}  // namespace

ImagePtr LoadTiffFrom(TiffHandle& tiff, const char* name) {
    tiff.check(kModule);  // what libtiff reported while it read the directory
    const TiffTags tags = ReadTags(tiff, name);
    if (tags.compression == COMPRESSION_OJPEG) LumoError(kModule, "Unable to read Old-Style JPEG compressed files");
    CheckLoadSize(kModule, tags.width, tags.height);

    TiffTags effective = tags;
    switch (tags.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_RGB:
        case PHOTOMETRIC_PALETTE:
        case PHOTOMETRIC_SEPARATED: break;
        case PHOTOMETRIC_YCBCR:
            // libtiff's JPEG codec turns YCbCr into RGB itself.
            if (tags.compression == COMPRESSION_JPEG && tags.planar == PLANARCONFIG_CONTIG) {
                TIFFSetField(tiff.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
                tiff.check(kModule);
                effective.photometric = PHOTOMETRIC_RGB;
            }
            break;
        default: LumoError(kModule, "Can't handle photometric interpretation for %s", name);
    }
    if (tags.planar != PLANARCONFIG_CONTIG && tags.planar != PLANARCONFIG_SEPARATE)
        LumoError(kModule, "Unknown planar configuration");

    Layout layout = ChooseLayout(tiff, effective, name);
    ImagePtr image = LumoCreateImage(static_cast<int>(tags.width), static_cast<int>(tags.height),
                                     ColorClassOf(layout.kind), std::move(layout.palette), BitsPerPixelOf(layout.kind));
    SetResolution(tiff, *image);
    switch (layout.reader) {
        case Reader::Scanline: ReadTiffScanlines(tiff, *image, tags.orientation); break;
        case Reader::Tile: ReadTiffTiles(tiff, *image, tags.orientation, tags.tileWidth, tags.tileLength); break;
        case Reader::Plane: ReadTiffPlanes(tiff, *image, tags.orientation); break;
        case Reader::Rgba: ReadTiffRgba(tiff, *image); break;
        case Reader::YCbCr: ReadTiffYCbCr(tiff, *image, tags.orientation); break;
    }
    // Our readers copy the file's values; the image kinds have 0 = black.
    if (layout.invert) LumoInvertImage(image.get());
    return image;
}

ImagePtr LumoLoadTiff(const char* path) {
    TiffHandle tiff = LumoOpenTiff(path, "r");
    ImagePtr image = LoadTiffFrom(tiff, path);
    tiff.close(kModule);
    return image;
}
