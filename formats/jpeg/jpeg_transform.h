// Lossless quarter turns and mirror images of JPEG files through TurboJPEG's transform: the
// compressed DCT coefficients are moved, never decoded to pixels or compressed again, so the
// quantization tables and every coefficient stay as they were; the APP and COM markers are copied.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/orientation.h"

struct JpegTurn {
    Orientation step = Orientation::Upright;  // the turn of the picture as it is shown
    // The picture is shown upright by its Exif Orientation (AutoRotate): that step comes first and
    // the tag becomes 1. Otherwise the tag is left as it is and only step is applied.
    bool uprightFirst = true;
    bool keepMarkers = true;  // copy the APP and COM markers (KeepMetadata); none are written otherwise
};

struct JpegTurnSize {
    int width = 0;  // of the new picture
    int height = 0;
    int untrimmedWidth = 0;  // what the turn would give with the partial edge blocks kept
    int untrimmedHeight = 0;
    bool trimmed() const { return width != untrimmedWidth || height != untrimmedHeight; }
};

struct TurnedJpeg {
    std::vector<uint8_t> bytes;  // the whole new file
    JpegTurnSize size;
};

// Turns the file held in bytes (name stands for it in messages). The partial blocks at the right
// and bottom edges that the turn would have to move to the left or top cannot turn exactly: they
// are dropped, as `jpegtran -trim` does. Data TurboJPEG refuses, or warns about (a truncated file),
// is a LumoError (module "TurnJpeg") with TurboJPEG's message and the name.
TurnedJpeg TurnJpegBytes(std::span<const uint8_t> bytes, const char* name, const JpegTurn& turn);

// Reads source whole, turns it and writes target through the output-file helper (a failure leaves
// an existing target as it was; source and target may be the same file). A trimmed picture is
// reported with a warning giving both sizes. Yields the size written.
JpegTurnSize LumoTurnJpegFile(const char* source, const char* target, const JpegTurn& turn);
