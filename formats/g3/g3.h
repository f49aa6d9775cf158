// Raw Group 3 fax (".fax"): loads headerless CCITT Group 3 data, 1-D or 2-D coded in either bit
// order (both found from the data itself), as a BW image 1728 pixels wide at 196 dots per inch.
// Rows are decoded by libtiff's Group 3 decoder; rows that fail are replaced by the last good row
// and the picture is repaired afterwards. There is no fax writer.
#pragma once

#include "core/image.h"
#include "formats/input_file.h"

// Null, without a message, when the data is not recognised as fax data (under 100 bytes, or no
// reading of it decodes well enough).
ImagePtr LumoLoadG3(const char* fileName);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadG3From(InputFile& file);

// Options: "2d" and "msbtolsb" are set by every load to what it detected (non-zero: two-dimensional
// coding; bits filled from the most significant bit); "stretch" (0): non-zero stores every decoded
// row twice, for low-resolution faxes.
void LumoSetIntOptionG3(const char* name, int value);
int LumoGetIntOptionG3(const char* name);
