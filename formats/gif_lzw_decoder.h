// The LZW decoder of GIF image data: reads the data sub-blocks of one image from the file and
// writes palette indices, in file order, into one buffer that holds the whole picture.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "formats/input_file.h"

// Readers shared by the loader and the decoder; a byte missing at the end of the file is the error
// "Premature EOF in GIF file".
int ReadGifByte(InputFile& file);
void ReadGifBytes(InputFile& file, uint8_t* bytes, size_t count);
// Skips data sub-blocks up to and including the zero-length block that ends them.
void SkipGifSubBlocks(InputFile& file);

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
    static constexpr uint32_t kNowhere = UINT32_MAX;

    void decodeSlowly(int code);
    void putString(int code, size_t length);
    int restartAfterClear();
    void resetTable();
    void addString(int firstPixel);
    int readCode();
    bool readMoreBits();

    InputFile& file_;
    const int inputCodeSize_;   // minimum code size byte of the image
    const int clearCode_;       // 1 << inputCodeSize_
    const int endCode_;         // clearCode_ + 1
    int codeSize_ = 0;          // current code width in bits, at most 12
    int limitCode_ = 0;         // first code value that needs one more bit
    int maxCode_ = 0;           // next free slot of the string table
    int firstCode_ = 0;         // first pixel of the last string
    int oldCode_ = 0;           // the previous code
    bool firstTime_ = true;     // the first read behaves as if a clear code had been read
    bool outOfBlocks_ = false;  // the zero-length block that ends the data has been read
    bool ended_ = false;        // an end code (or the end of the data) has been met: the rest is 0

    // The codes arrive least significant bit first across the sub-blocks, as if the blocks were one
    // stream; a new sub-block is read only when a code needs bits beyond the current one.
    uint64_t bitBuffer_ = 0;       // bits read and not yet used, the next one lowest
    int bitCount_ = 0;             // valid bits in bitBuffer_
    uint8_t block_[255 + 8] = {};  // the current sub-block, and room for an 8-byte load at its end
    int blockLength_ = 0;
    int blockPosition_ = 0;  // next byte of block_ to move into bitBuffer_

    uint8_t* const pixels_;
    const size_t total_;
    size_t position_ = 0;         // pixels stored so far
    size_t lastStart_ = 0;        // where the last string starts in pixels_
    bool lastIsOldCode_ = false;  // the last string stored is the string of oldCode_

    // The string table. Every string is its prefix string plus one pixel; most strings also sit
    // somewhere in the pixels already stored, and are copied from there.
    LumoBuffer<uint16_t> prefix_;  // per code: the code of its prefix string
    LumoBuffer<uint8_t> suffix_;   // per code: the last pixel of its string
    LumoBuffer<uint16_t> length_;  // per code: the number of pixels of its string
    LumoBuffer<uint32_t> start_;   // per code: where a copy of its string starts in pixels_, or kNowhere
    LumoBuffer<uint8_t> stack_;    // the pixels of a string gathered from its last one back
};
