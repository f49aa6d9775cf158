// What a photo file carries beside its pixels: the Exif block, the XMP packet, the ICC colour
// profile and the JPEG comment. It is kept beside the image record, not in it (the record's layout
// is fixed), owned by the record and freed with it by LumoFreeImage. The bytes are kept as the file
// held them; the codecs that read and write them live in formats/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"

struct ImageMetadata {
    std::vector<uint8_t> exif;  // a TIFF structure from its byte-order mark ("II*\0" or "MM\0*"), without "Exif\0\0"
    std::vector<uint8_t> xmp;   // the XMP packet (UTF-8 XML)
    std::vector<uint8_t> icc;   // the ICC profile, whole
    std::string comment;        // the JPEG comment text

    bool empty() const { return exif.empty() && xmp.empty() && icc.empty() && comment.empty(); }
};

// The image's metadata, or null when it carries none. The pointer is valid until the metadata is
// replaced or dropped, or the image freed.
const ImageMetadata* LumoGetMetadata(const IMG* image);
// Gives the image this metadata, replacing what it had; empty metadata is the same as dropping it.
void LumoSetMetadata(IMG* image, ImageMetadata metadata);
// Removes the image's metadata (nothing happens when it has none).
void LumoDropMetadata(IMG* image);
// Gives `to` a copy of what `from` carries (or nothing when `from` carries nothing). The operations
// that make one picture out of another (turns, rescales, conversions) call it, so a photo keeps its
// metadata through the edits a conversion makes.
void LumoCopyMetadata(const IMG* from, IMG* to);
