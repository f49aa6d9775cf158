// The bit stream of MOK files. A field of n bits goes least significant bit first into bytes that
// fill from their most significant bit (128) down to the least (1). Both directions keep the stream
// in a 64-bit accumulator, first bit lowest, so that a field is one shift and one or (no call per
// bit); each byte is bit-reversed once, as it leaves the writer or enters the reader.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/memory.h"
#include "formats/byte_sink.h"
#include "formats/input_file.h"

namespace mok_bits {

// The byte with its bits in the opposite order.
constexpr std::array<uint8_t, 256> kReversed = [] {
    std::array<uint8_t, 256> table{};
    for (int value = 0; value < 256; ++value) {
        int reversed = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (value & 1 << bit) reversed |= 0x80 >> bit;
        table[value] = static_cast<uint8_t>(reversed);
    }
    return table;
}();

constexpr uint64_t LowBits(int count) { return (uint64_t{1} << count) - 1; }

}  // namespace mok_bits

// Writes fields to a sink. Bytes are collected in a buffer and handed over in large blocks.
class MokBitWriter {
public:
    explicit MokBitWriter(const ByteSink& sink);
    MokBitWriter(const MokBitWriter&) = delete;
    MokBitWriter& operator=(const MokBitWriter&) = delete;

    // Plain bytes (the header); a partly filled byte before them is completed with 0 bits first.
    void putBytes(const uint8_t* bytes, size_t count);
    void putBit(int bit) { putBits(static_cast<uint32_t>(bit), 1); }
    // The low count bits of value (count 0..32), least significant first.
    void putBits(uint32_t value, int count) {
        accumulator_ |= (value & mok_bits::LowBits(count)) << used_;
        used_ += count;
        if (used_ >= 32) emitWord();
    }
    // Writes the partly filled byte with its remaining low bits 0 and hands every byte to the sink.
    void flush();

private:
    static constexpr size_t kBufferSize = size_t{1} << 16;

    void emitWord();
    void emitBuffer();

    const ByteSink& sink_;
    LumoBuffer<uint8_t> buffer_;
    size_t filled_ = 0;
    uint64_t accumulator_ = 0;  // the pending bits, first bit lowest; bits above used_ are 0
    int used_ = 0;              // pending bits: below 32 between calls
};

// Reads fields from a file. From the end of the file on, every byte reads as all one bits, so any
// number of fields can be read and nothing is read past the file.
class MokBitReader {
public:
    explicit MokBitReader(InputFile& file);
    MokBitReader(const MokBitReader&) = delete;
    MokBitReader& operator=(const MokBitReader&) = delete;

    // Plain bytes (the header), before the first bit is read; yields how many the file held.
    size_t getBytes(uint8_t* bytes, size_t count);
    int getBit() { return static_cast<int>(getBits(1)); }
    // count bits (0..32), the first read the least significant.
    uint32_t getBits(int count) {
        if (available_ < count) refill();
        const uint32_t value = static_cast<uint32_t>(accumulator_ & mok_bits::LowBits(count));
        skip(count);
        return value;
    }

    // The block decoder's access: ensure() makes at least 56 bits available, peek() shows them
    // (first bit lowest; only the low available bits are meaningful) and skip() consumes them.
    void ensure() {
        if (available_ < 56) refill();
    }
    uint64_t peek() const { return accumulator_; }
    void skip(int count) {
        accumulator_ >>= count;
        available_ -= count;
    }

    // Bytes taken from the file so far (the reduced loads read only the front).
    size_t bytesRead() const { return bytesRead_; }

private:
    // Reads grow from 4 KB to 256 KB: small and reduced loads read little more than they use.
    static constexpr size_t kFirstChunk = size_t{1} << 12;
    static constexpr size_t kLargestChunk = size_t{1} << 18;
    static constexpr size_t kFillerBytes = 64;  // all-ones bytes offered at the end of the file

    void refill() {
        if (end_ - next_ >= 8) {
            uint64_t word;
            std::memcpy(&word, next_, 8);
            if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
            accumulator_ |= word << available_;
            next_ += (63 - available_) >> 3;
            available_ |= 56;
        } else {
            refillSlowly();
        }
    }
    void refillSlowly();
    void loadChunk();

    InputFile& file_;
    LumoBuffer<uint8_t> chunk_;
    size_t chunkSize_ = kFirstChunk;
    const uint8_t* next_ = nullptr;  // the next unread byte of the chunk, already bit-reversed
    const uint8_t* end_ = nullptr;
    bool atEnd_ = false;
    size_t bytesRead_ = 0;
    uint64_t accumulator_ = 0;  // first bit lowest; the bits above available_ are 0 or the next stream bits
    int available_ = 0;
};
