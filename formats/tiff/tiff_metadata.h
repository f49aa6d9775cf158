// What a TIFF file carries beside its pixels, kept through a load and written back by the saver:
// the ICC profile (tag 34675), the XMP packet (tag 700) and the Exif data, that is the photo tags of
// the image's directory with its Exif (34665) and GPS (34853) sub-directories, turned into one Exif
// block (a TIFF structure of its own, see formats/metadata/exif_writer.h).
#pragma once

#include <cstdint>

#include "core/image.h"
#include "core/image_metadata.h"
#include "formats/tiff/tiff_error.h"
#include "formats/tiff/tiff_layout.h"

// The Orientation the loaded pixels still need: the file's value, or what is left of it after the
// reader turned the picture (our strip reader puts bottom-left files upright, libtiff's RGBA reader
// undoes the flips of every orientation, leaving a diagonal mirror for 5 to 8).
int OrientationAfterReading(TiffReader reader, int orientation);

// The metadata of the handle's current directory (the image just read), orientation being the value
// its Exif block is to hold. The Exif directories are read from the file's bytes, each offset and
// count checked against the file; a damaged sub-directory is left out with a warning, never failing
// the load. Nothing is read when no metadata is kept.
ImageMetadata ReadTiffMetadata(TiffHandle& tiff, int orientation);

// The saver's part, in two steps around the image directory. libtiff writes the Exif and GPS
// directories before the image's (each through a custom directory of its own); the image directory,
// started afresh, then points at them and stays the first directory of the file.
struct TiffExifOffsets {
    uint64_t exif = 0;  // 0: no such directory written
    uint64_t gps = 0;
};
// Writes the Exif and GPS directories of the metadata's Exif block (the fields libtiff knows, with
// PixelXDimension and PixelYDimension set to the saved size) and starts the image directory.
TiffExifOffsets WriteTiffExifDirectories(TiffHandle& tiff, const ImageMetadata& metadata, int width, int height);
// Sets the metadata's tags on the image directory: the profile when it describes pixels of the
// written photometric interpretation, the XMP packet, the photo tags of the Exif block's main
// directory and the pointers to the directories written before.
void SetTiffMetadataTags(TiffHandle& tiff, const ImageMetadata& metadata, uint16_t photometric,
                         const TiffExifOffsets& offsets);
