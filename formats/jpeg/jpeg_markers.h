// The markers of a JPEG file that carry what a photo holds beside its pixels: APP1 with the Exif
// block ("Exif\0\0", then a TIFF structure) or the XMP packet (Adobe's namespace, then the packet),
// APP2 with the chunks of the ICC profile, and COM with the comment. Reading takes them from the
// markers libjpeg kept; writing puts them after the JFIF header of a file being compressed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/image_metadata.h"
#include "formats/jpeg/jpeg_error.h"

// Asks libjpeg to keep the markers ReadMetadataMarkers reads: the profile's always (it is applied to
// what is shown and converted even when nothing is kept for saving), and with everything the Exif,
// XMP and comment markers too. Call before jpeg_read_header.
void KeepMetadataMarkers(j_decompress_ptr cinfo, bool everything);
// Asks libjpeg to keep the APP1 markers only (the Exif orientation of a load that keeps no metadata).
void KeepExifMarkers(j_decompress_ptr cinfo);

// The TIFF structure of the first Exif marker libjpeg kept (what follows "Exif\0\0"), or nothing.
std::span<const uint8_t> KeptExifBlock(const jpeg_decompress_struct& cinfo);

// Takes what the kept markers carry: the ICC profile reassembled from its chunks always, and with
// everything the first Exif block, the first standard XMP packet and the first comment. An Exif marker that holds no TIFF
// structure, and chunks that do not make one whole profile, are left out with a warning naming the
// file; a damaged Exif block is kept as it is (the walker reading it is bounds-checked). Runs
// under the error trap, between jpeg_read_header and jpeg_finish_decompress (which frees the markers).
void ReadMetadataMarkers(j_decompress_ptr cinfo, ImageMetadata& metadata, const char* fileName, bool everything);

// The contents of the markers a saved file gets, made before compression (outside the error trap).
struct JpegMetadataMarkers {
    std::vector<uint8_t> exif;     // "Exif\0\0" and the block with the saved picture's pixel size, or empty
    std::vector<uint8_t> xmp;      // the namespace signature and the packet, or empty
    std::span<const uint8_t> icc;  // the profile when it describes the saved pixels, or empty
    std::optional<std::string> comment;
};

// What a file saved from image carries: its kept metadata (null for none) where a marker holds it,
// the profile only beside pixels of its colour space (gray or colour file), and the picture's own
// comment, else commentOption. A block too large for one marker is left out with a warning.
JpegMetadataMarkers PrepareMetadataMarkers(const ImageMetadata* metadata, const IMG& image, bool grayFile,
                                           const std::optional<std::string>& commentOption);
// Writes them; call between jpeg_start_compress and the first row. Runs under the error trap.
void WriteMetadataMarkers(j_compress_ptr cinfo, const JpegMetadataMarkers& markers);
