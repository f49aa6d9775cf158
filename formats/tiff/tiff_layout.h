// What the first directory of a TIFF file becomes: its tags, the image kind its layout maps to and
// the pixel reader that fills it. The loader and the header reader of `lumo info` both decide here,
// so the kind told before loading is the kind a load gives.
#pragma once

#include <cstdint>

#include "core/image.h"
#include "formats/tiff/tiff_error.h"

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

enum class TiffReader { Scanline, Tile, Plane, Rgba, YCbCr };

struct TiffLayout {
    TiffTags tags;
    ImageKind kind = ImageKind::RGB;
    TiffReader reader = TiffReader::Rgba;
    PalettePtr palette;   // palette layouts: the ColorMap
    bool invert = false;  // min-is-white read by our own readers
};

// Reads the current directory's tags and decides the layout, refusing (module "LumoLoadTiff") what
// no reader handles and sizes past the load limit. JPEG-compressed YCbCr is switched to libtiff's RGB
// output on the handle, as the readers expect it.
TiffLayout DecideTiffLayout(TiffHandle& tiff, const char* name);
