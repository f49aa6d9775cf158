// TIFF through libtiff: loads the first image of a file (strips or tiles, contiguous or separate
// planes, every photometric interpretation that maps to an image kind; 8-bit CMYK through its
// embedded CMYK profile when it carries one) and saves any kind as a single-image file (none,
// Group 3/4 fax, LZW with or without predictor, JPEG, PackBits; RGB also as YCbCr by an encoder of
// our own). LZW strips are coded by our own encoder (tiff_lzw_encoder.h) and written raw; libtiff
// codes the others. The profile, XMP packet and Exif data go with the picture both ways
// (tiff_metadata.h). libtiff's errors reach the caller through TiffHandle.
#pragma once

#include <span>
#include <vector>

#include "core/image.h"
#include "formats/image_info.h"
#include "formats/memory_buffer.h"
#include "formats/profile_key.h"
#include "formats/tiff/tiff_error.h"

// Opens path through libtiff (mode "r" or "w"); a refusal is "Can't open TIFF File %s" (module
// "LumoOpenTiff"). Reading takes regular files only.
TiffHandle LumoOpenTiff(const char* path, const char* mode);

ImagePtr LumoLoadTiff(const char* path);
// The loader over an open handle (memory buffers and the fuzz harness read this way); name stands
// for the file in messages. The handle is left open.
ImagePtr LoadTiffFrom(TiffHandle& tiff, const char* name);
// The size and kind a load would give, from the first directory alone (no pixel is read); the same
// refusals as the loader's before it reads pixels.
ImageInfo ReadTiffInfo(const char* path);
ImageInfo ReadTiffInfoFrom(TiffHandle& tiff, const char* name);

// Writes the image; an existing file is replaced only once the whole new file is written.
void LumoSaveTiff(const IMG* image, const char* path);
// Writes the image into a handle opened for writing and closes it (closing writes the directory).
void WriteTiff(const IMG* image, TiffHandle& tiff);
// The whole file in memory, written with the current options (the PostScript writer embeds it).
MemoryBufferPtr SaveTiffToMemory(const IMG* image);

// The options "compression", "optionsg3", "predictor", "rowsperstrip", "ycbcr", "hsubsampling",
// "vsubsampling", "autorotate" (1: loads turn the picture upright by its Orientation tag, as JPEG
// loads do by the Exif tag; 0: the rows are read as if the first were the top, with a warning) and
// "page" (1: the page that LumoLoadTiff and ReadTiffInfo read, counted from 1; a file without it is
// "%s has no page %d"); an unknown name is "Unknown tiff option: %s".
void LumoSetIntOptionTiff(const char* name, int value);
int LumoGetIntOptionTiff(const char* name);
// The option "software": the Software tag written (none when set to null). The text is copied.
// Its default is the program's name and version.
inline constexpr char kSoftwareName[] = "Lumo 1.2e";
void LumoSetStringOptionTiff(const char* name, const char* text);
const char* LumoGetStringOptionTiff(const char* name);

// The size and kind of each page of the file as a load of it gives them (at most 100,000 pages).
std::vector<ImageInfo> ReadTiffPages(const char* path);

// The profile keys of the TIFF settings ("TiffCompression", "TiffBWCompression",
// "TiffColorCompression", "TiffPredictor"); the dispatch's TIFF rule reads them as words.
std::span<const ProfileKey> TiffProfileKeys();
