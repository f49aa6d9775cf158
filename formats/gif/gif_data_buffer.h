// The LZW data of one GIF image as one run of bytes: the payloads of its data sub-blocks, read from
// the file in large chunks, so that the decoder reads a code with one 8-byte load at a bit position
// and needs no per-block logic.
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

class GifDataBuffer {
public:
    // How the data is known to end, once the reading has got that far.
    enum class End {
        notYet,     // more sub-blocks may follow
        complete,   // the zero-length block that ends the data has been read
        truncated,  // the file ends inside the sub-blocks: needing those bytes is "Premature EOF"
    };

    explicit GifDataBuffer(InputFile& file);

    // The bytes held; 8 bytes can be loaded at any position below usableBits() / 8.
    const uint8_t* bytes() const { return bytes_.get(); }
    // The bits of the whole sub-blocks held. A sub-block only read in part does not count: the file
    // may end before the rest of it, and then none of it may be used.
    size_t usableBits() const { return 8 * usable_; }
    End end() const { return end_; }

    // Makes sure the bits from bitPosition to bitPosition + count are held, reading on as needed (which
    // moves bitPosition down); false when the data ends before them, and "Premature EOF in GIF file"
    // when the file does.
    bool fetch(size_t& bitPosition, size_t count);
    // Drops the bytes before the one holding bitPosition and reads on until the buffer is full or
    // the data has ended; yields bitPosition moved down by the bytes dropped.
    size_t refill(size_t bitPosition);
    // Reads past the rest of the data, up to the zero-length block; "Premature EOF in GIF file"
    // when the file ends first.
    void skipRest();

private:
    static constexpr size_t kCapacity = 64 * 1024;  // bytes of data held at most
    static constexpr size_t kLoadSlack = 8;          // room for an 8-byte load at the last byte
    static constexpr size_t kChunk = 64 * 1024;      // bytes read from the file at a time

    InputFile& file_;
    LumoBuffer<uint8_t> bytes_;  // the payloads of the sub-blocks, in file order
    size_t held_ = 0;            // bytes in bytes_, a part of the sub-block still being read included
    size_t usable_ = 0;          // bytes of whole sub-blocks in bytes_
    End end_ = End::notYet;

    LumoBuffer<uint8_t> chunk_;  // file bytes read ahead: sub-block lengths and payloads
    size_t chunkLength_ = 0;
    size_t chunkPosition_ = 0;   // next byte of chunk_ to parse
    size_t blockLeft_ = 0;       // payload bytes of the current sub-block not yet parsed
};
