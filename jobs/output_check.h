// lumo convert --verify: an output in a format that keeps every pixel is loaded again and compared
// with the picture that was saved, so that a fault of a saver or of the disk is found at once.
#pragma once

#include <string>

#include "core/image.h"

// True when a file of the format (an extension such as "png") holds this picture's colours exactly:
// BMP, PNG and TIFF (unless the TIFF rule picks JPEG) for every kind, GIF for palette and gray
// pictures, MOK for what it saves, JBIG for black and white, IMG for gray and black and white, WebP
// when the profile asks for lossless files (WebpLossless=1).
bool SavesExactly(const std::string& extension, const IMG& image);

// Loads target and compares its size and colours with image. A file that does not load, or differs,
// is a LumoFailure (module "VerifyOutput") naming the first difference.
void VerifySavedPicture(const std::string& target, const std::string& extension, const IMG& image);
