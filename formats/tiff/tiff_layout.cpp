// Layouts with no image kind of their own (2, 12 or 16 bits per sample, gray with alpha, 1- or 2-bit
// palettes, ...) are read through libtiff's RGBA conversion where libtiff can, and refused otherwise.
#include "formats/tiff/tiff_layout.h"

#include "core/messages.h"
#include "formats/tiff/tiff_readers.h"

namespace {

constexpr const char* kModule = kTiffLoadModule;

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

// The ColorMap as an image palette, each 16-bit entry reduced to its high byte.
PalettePtr ReadPalette(TiffHandle& tiff, int entries, const char* name) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!GetTiffField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        LumoError(kModule, "Palette image without a ColorMap: %s", name);
    PalettePtr palette = CreateIMGPalette(entries);
    for (int i = 0; i < entries; ++i) LumoSetPaletteEntry(palette.get(), i, red[i] >> 8, green[i] >> 8, blue[i] >> 8);
    return palette;
}

TiffReader ContiguousReader(const TiffTags& tags) { return tags.tiled ? TiffReader::Tile : TiffReader::Scanline; }

// The layout of the file's samples mapped to an image kind and a reader. Compression 7 YCbCr has
// already been turned into RGB by libtiff's JPEG codec (photometric is 2 in effective then).
void ChooseLayout(TiffHandle& tiff, const TiffTags& effective, TiffLayout& layout, const char* name) {
    const uint16_t photometric = effective.photometric;
    const uint16_t bits = effective.bitsPerSample;
    const uint16_t samples = effective.samplesPerPixel;
    const bool gray = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
    if (samples == 1 && gray && (bits == 1 || bits == 4 || bits == 8)) {
        layout.kind = bits == 1 ? ImageKind::BW : bits == 4 ? ImageKind::GRAY16 : ImageKind::GRAY256;
        layout.reader = ContiguousReader(effective);
        layout.invert = photometric == PHOTOMETRIC_MINISWHITE;
        return;
    }
    if (photometric == PHOTOMETRIC_PALETTE && samples == 1) {
        // A palette image has at most 256 colours; 1- and 2-bit ones go through RGBA below.
        if (bits > 8) LumoError(kModule, "Can't handle palette images of %u bits per sample: %s", bits, name);
        if (bits == 4 || bits == 8) {
            layout.kind = bits == 4 ? ImageKind::COLOR16 : ImageKind::COLOR256;
            layout.reader = ContiguousReader(effective);
            layout.palette = ReadPalette(tiff, 1 << bits, name);
            return;
        }
    }
    if (samples == 3 && bits == 8 && photometric == PHOTOMETRIC_RGB) {
        layout.kind = ImageKind::RGB;
        if (effective.contiguous())
            layout.reader = ContiguousReader(effective);
        else
            layout.reader = effective.tiled ? TiffReader::Rgba : TiffReader::Plane;
        return;
    }
    if (samples == 3 && bits == 8 && photometric == PHOTOMETRIC_YCBCR && effective.contiguous() && !effective.tiled) {
        layout.kind = ImageKind::RGB;
        layout.reader = TiffReader::YCbCr;
        return;
    }
    // Four samples (CMYK, RGB with alpha), separated inks, tiled or planar YCbCr and every layout
    // without a kind: libtiff's RGBA conversion, when it knows the layout.
    char reason[1024] = "";
    const int convertible = TIFFRGBAImageOK(tiff.get(), reason);
    tiff.check(kModule);
    if (!convertible) LumoError(kModule, "Can't load %s: %s", name, reason);
    layout.kind = gray ? ImageKind::GRAY256 : ImageKind::RGB;
    layout.reader = TiffReader::Rgba;
}

}  // namespace

TiffLayout DecideTiffLayout(TiffHandle& tiff, const char* name) {
    tiff.check(kModule);  // what libtiff reported while it read the directory
    TiffLayout layout;
    layout.tags = ReadTags(tiff, name);
    const TiffTags& tags = layout.tags;
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

    ChooseLayout(tiff, effective, layout, name);
    return layout;
}
