// The JPEG codec's module-wide settings, as the option functions of formats/jpeg/jpeg.h set them.
#pragma once

#include <optional>
#include <string>

struct JpegOptions {
    int quality = 75;        // saving: jpeg_set_quality, baseline tables forced (libjpeg clamps to 1..100)
    int readRgb = 1;         // loading: colour files as RGB; 0 quantizes them to a 256-colour palette
    int forceGray = 0;       // loading: every file as GRAY256
    int optimize = 0;        // saving: optimized Huffman tables
    int fast = 0;            // loading: fast IDCT, ordered dither, plain upsampling; saving: fast DCT
    int ratio = 1;           // loading: scale denominator outside thumbnail mode
    int crSubsampling = 2;   // saving: luminance sampling factor both ways (chroma keeps 1)
    int useFloat = 0;        // both: floating-point DCT, wins over fast
    int thumbnailWidth = 80;   // loading, thumbnail mode: target width
    int thumbnailHeight = 60;  // loading, thumbnail mode: target height
    int thumbnailMode = 0;     // loading: pick the denominator from the file size and the targets
    int autoRotate = 1;        // loading: turn the picture upright as its Exif Orientation tag says
    std::optional<std::string> comment = "Created by Lumo";  // saving: COM marker text; none when unset
};
