// The Orientation tag of the Exif block that cameras and phones store in a JPEG file's APP1 marker.
#pragma once

#include <cstddef>
#include <cstdint>

// The tag's value 1..8 from an APP1 marker's contents ("Exif\0\0" and a TIFF structure), or 1
// (upright) when the block is not Exif, holds no such tag, or is damaged: every offset is checked
// against the block's length before it is read.
int ExifOrientation(const uint8_t* data, size_t size);
