// The LZW decoder of GIF image data: reads the data sub-blocks of one image from the file and
// writes palette indices, in file order, into one buffer that holds the whole picture.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "formats/gif/gif_data_buffer.h"
#include "formats/input_file.h"

class GifLzwDecoder {
public:
    // The largest minimum code size whose codes fit the 12-bit string table.
    static constexpr int kMaxInputCodeSize = 11;

    // inputCodeSize is the minimum code size byte of the image, at most kMaxInputCodeSize; pixels
    // receives total indices (the low 8 bits of each).
    GifLzwDecoder(InputFile& file, int inputCodeSize, uint8_t* pixels, size_t total);

    // Decodes until at least the first `end` pixels are stored (a string may run further). Damaged
    // data is reported with warnings and decodes to index 0; once the data has ended, every further
    // pixel is 0.
    void decodeTo(size_t end);

private:
    static constexpr int kTableSize = 4096;  // codes of at most 12 bits

    // One string of the table. Every string is its prefix string plus one pixel; most strings also
    // sit somewhere in the pixels already stored, and are copied from there.
    struct Entry {
        const uint8_t* copy;  // the pixels of the string: in the picture, or in a table of single
                              // pixels for the literal codes; null for the clear and end codes and
                              // for strings stored nowhere whole
        uint16_t length;      // the number of pixels of the string
        uint16_t prefix;      // the code of its prefix string
        uint8_t suffix;       // its last pixel
    };

    void decodeFast(size_t end);
    void decodeSlowly(int code);
    int restartAfterClear();
    void resetTable();
    void addString(int firstPixel);
    int readCode();

    const int inputCodeSize_;   // minimum code size byte of the image
    const int clearCode_;       // 1 << inputCodeSize_
    const int endCode_;         // clearCode_ + 1
    int codeSize_ = 0;          // current code width in bits, at most 12
    int limitCode_ = 0;         // first code value that needs one more bit
    int maxCode_ = 0;           // next free slot of the string table
    int firstCode_ = 0;         // first pixel of the last string
    int oldCode_ = 0;           // the previous code
    bool firstTime_ = true;     // the first read behaves as if a clear code had been read
    bool ended_ = false;        // an end code (or the end of the data) has been met: the rest is 0

    // The codes arrive least significant bit first across the sub-blocks, as if the blocks were one
    // stream, which the data buffer holds.
    GifDataBuffer data_;
    size_t bitPosition_ = 0;  // the next code's first bit in data_

    uint8_t* const pixels_;
    const size_t total_;
    size_t position_ = 0;         // pixels stored so far
    size_t lastStart_ = 0;        // where the last string starts in pixels_
    bool lastIsOldCode_ = false;  // the last string stored is the string of oldCode_

    LumoBuffer<Entry> table_;     // the string table, by code
    LumoBuffer<uint8_t> stack_;   // the pixels of a string gathered from its last one back
};
