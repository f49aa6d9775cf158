// Builds an Exif block (the TIFF structure ImageMetadata keeps, from its byte-order mark) out of
// fields given directory by directory: the main directory, its Exif and GPS sub-directories and the
// Exif directory's interoperability sub-directory. The writer lays the directories out one after
// the other, each followed by the values that do not fit in its entries, every directory and value
// on an even offset, entries sorted by tag, and adds the pointer entries of the sub-directories
// itself. Thumbnail directories are not written (their image data would need offsets of its own).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "formats/metadata/exif_block.h"

class ExifWriter {
public:
    // Values given as bytes must already be in the block's byte order.
    explicit ExifWriter(bool bigEndian = false) : bigEndian_(bigEndian) {}

    bool bigEndian() const { return bigEndian_; }

    // A field of count values of type, its value bytes in the block's order. Ignored (false) when
    // the directory is the thumbnail's, the type unknown, the bytes not count values of the type,
    // the tag a sub-directory pointer (the writer makes those) or already given for the directory.
    bool add(ExifIfd ifd, uint16_t tag, uint16_t type, uint32_t count, std::span<const uint8_t> value);
    // An ASCII field: the text and its terminating NUL.
    bool addText(ExifIfd ifd, uint16_t tag, std::string_view text);
    bool addShort(ExifIfd ifd, uint16_t tag, uint16_t value);
    bool addLong(ExifIfd ifd, uint16_t tag, uint32_t value);
    // RATIONAL values as numerator, denominator pairs.
    bool addRationals(ExifIfd ifd, uint16_t tag, std::span<const uint32_t> pairs);

    bool empty() const { return entries_.empty(); }
    // The whole block; empty when no field was given. A block past the 4 GiB that 32-bit offsets
    // reach cannot be built: also empty.
    std::vector<uint8_t> finish() const;

private:
    struct Entry {
        ExifIfd ifd;
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        std::vector<uint8_t> value;
    };
    bool has(ExifIfd ifd) const;
    void put16(uint8_t* at, uint32_t value) const;
    void put32(uint8_t* at, uint32_t value) const;

    bool bigEndian_;
    std::vector<Entry> entries_;
};
