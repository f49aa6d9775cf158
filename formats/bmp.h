// BMP: loads 1-, 4-, 8-, 16-, 24- and 32-bit files (plain, RLE8, RLE4, bit fields; core, info, V4 and V5
// headers; bottom-up or top-down); saves every kind as an uncompressed bottom-up file with a 40-byte header.
#pragma once

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/image_info.h"
#include "formats/input_file.h"

ImagePtr LumoLoadBmp(const char* fileName);
// The size and kind LumoLoadBmp would give, from the headers and colour table alone.
ImageInfo ReadBmpInfo(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadBmpFrom(InputFile& file);
void SaveBmp(const IMG* image, const char* fileName);
// Writes the whole file to sink, with the per-row progress reports but without the start and end
// reports that belong to the caller (the clipboard hands a BMP over from memory).
void WriteBmp(const IMG* image, const ByteSink& sink);

// The option "compress" (stored only: files are always written uncompressed).
void LumoSetIntOptionBmp(const char* name, int value);
int LumoGetIntOptionBmp(const char* name);
