// What a file's first bytes say it is: the formats that open with a signature of their own.
// IMG (whose "IM" a loader tolerates missing) and raw fax files have none and go by their extension.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The dispatch's extension of the format the bytes open with ("bmp", "gif", "jpg", "tif", "bie",
// "mok", "pcd", "png", "webp", "avif", "jxl"), or empty when they match no signature. A Photo CD overview sheet gives
// "pcd" with overview set.
struct Signature {
    std::string extension;
    bool overview = false;
};
Signature SignatureOf(const uint8_t* bytes, size_t size);

// The signature of a file on disk; empty for anything but a readable regular file (a FIFO or a
// device is not opened, so that the loader reports it without waiting on it).
Signature FileSignature(const char* fileName);
