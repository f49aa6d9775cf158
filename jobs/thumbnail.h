// Thumbnails for contact sheets: each format loaded at reduced size where it can be (JPEG scaled
// decoding, the smallest Photo CD picture, the eighth-size MOK level, a small JBIG layer), then
// fitted into a cell as an RGB picture.
#pragma once

#include "core/image.h"

struct PixelSize {  // a width and height in pixels: of a sheet or of its cells
    int width;
    int height;
};

// While it lives, JPEG loads decode at the largest reduction libjpeg offers (1/2, 1/4, 1/8) that still
// gives at least target in both directions of the upright picture, and at full size when the file is
// less than twice the target either way. Full-size decoding is put back afterwards, also when a load
// fails, so that no later load is reduced by mistake. Other formats ignore it.
class ReducedJpegDecode {
public:
    explicit ReducedJpegDecode(PixelSize target);
    ~ReducedJpegDecode();
    ReducedJpegDecode(const ReducedJpegDecode&) = delete;
    ReducedJpegDecode& operator=(const ReducedJpegDecode&) = delete;

private:
    PixelSize previousTarget_;
};

// Loads the file by its extension (any case) through the thumbnail table, with the reduced-size
// options of its codec set first. An extension without a row shows the message box "Unknown file
// extension" captioned with the file name and yields null. Codec failures are LumoFailure.
ImagePtr LoadThumbnail(const char* fileName, PixelSize cell);

// The picture that goes into a cell: fitted inside the cell with its aspect ratio kept (integer
// arithmetic, never below 1 x 1), rescaled and converted to RGB; an RGB picture that already fits is
// returned as it is.
ImagePtr FitToCell(ImagePtr picture, PixelSize cell);

// LoadThumbnail then FitToCell: the cell picture of one file, or null when the file gives no thumbnail.
// Worker processes make these; the placing stays in one process.
ImagePtr MakeCellPicture(const char* fileName, PixelSize cell);
