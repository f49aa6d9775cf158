// The bytes of a PNG file as the loader hands them to libspng: the signature and then only the chunks
// a picture is made of (the critical ones, tRNS and pHYs), and, when metadata is kept, the chunks
// that carry it (eXIf, iCCP, tEXt, zTXt, iTXt). Every other ancillary chunk is skipped in the file,
// unread, so that none of them costs memory or can make a picture fail to load, however large it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/input_file.h"

class PngStream {
public:
    PngStream(InputFile& file, bool withMetadata) : file_(file), withMetadata_(withMetadata) {}

    // The first bytes of the file, read ahead for the loader to examine (fewer when the file is shorter);
    // read() still gives them.
    size_t peek(const uint8_t*& bytes);
    // Fills out with the next length bytes; false when the file ends first.
    bool read(uint8_t* out, size_t length);
    // Whether a chunk of metadata was passed on so far.
    bool passedMetadata() const { return passedMetadata_; }

private:
    static constexpr size_t kPeekSize = 24;  // the signature and IHDR up to its width and height

    size_t rawRead(uint8_t* out, size_t count);  // from the bytes read ahead, then the file
    void rawSkip(uint64_t count);

    InputFile& file_;
    bool withMetadata_;
    bool passedMetadata_ = false;
    uint8_t ahead_[kPeekSize] = {};
    size_t aheadSize_ = 0;
    size_t aheadUsed_ = 0;
    bool peeked_ = false;
    size_t signatureLeft_ = 8;
    uint8_t header_[8] = {};  // length and type of the chunk being passed on
    size_t headerLeft_ = 0;   // bytes of header_ not yet passed on
    uint64_t bodyLeft_ = 0;   // bytes of its data and CRC not yet passed on
};
