// The JPEG decoder behind LumoLoadJpeg and LoadJpegFrom.
#pragma once

#include <string>

#include "core/image.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/jpeg/jpeg_options.h"

// Decodes the file from its current position. When libjpeg gives up it yields null, with the
// library's message in failure, after the libjpeg object was destroyed; the caller reports it.
// Other failures (a size the image record cannot hold or the data cannot promise, no memory)
// are reported here through LumoError. Progress: -1 before decoding and one value per row;
// the caller reports the end.
ImagePtr DecodeJpeg(InputFile& file, const JpegOptions& options, std::string& failure);

// Reads the header only and tells the size and kind DecodeJpeg would give with these options (the
// reduced scale and the Exif turn included). False with libjpeg's message in failure when it gives up.
bool ReadJpegHeaderInfo(InputFile& file, const JpegOptions& options, ImageInfo& info, std::string& failure);
