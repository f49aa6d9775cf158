#include "formats/gif/gif_lzw_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "core/messages.h"

namespace {

constexpr const char* kModule = "LumoLoadGif";
constexpr int kMaxCodeSize = 12;
constexpr size_t kChunk = 16;  // strings are copied in chunks of this many bytes

// The pixel of each literal code (the low 8 bits of the code), where the literal strings are
// copied from; the chunk after the last one keeps a chunk copy inside the array.
constexpr int kMaxLiterals = 1 << 11;
alignas(16) constexpr auto kLiteralPixels = [] {
    std::array<uint8_t, kMaxLiterals + kChunk> pixels{};
    for (int code = 0; code < kMaxLiterals; ++code) pixels[code] = static_cast<uint8_t>(code);
    return pixels;
}();

// The code of codeSize bits (mask = (1 << codeSize) - 1) that starts at bitPosition; the 8 bytes
// from its first one must be readable.
inline int CodeAt(const uint8_t* bytes, size_t bitPosition, uint32_t mask) {
    uint64_t word;
    std::memcpy(&word, bytes + bitPosition / 8, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return static_cast<int>((word >> (bitPosition % 8)) & mask);
}

// Copies the first count (>= 1) bytes of source to target in whole chunks; up to kChunk - 1 bytes
// past count are written too, which the strings that follow overwrite. Each chunk is read whole
// before it is written, so source may end inside the chunk being written: only the bytes past
// count then receive bytes of no meaning.
inline void CopyInChunks(uint8_t* target, const uint8_t* source, size_t count) {
    size_t i = 0;
    do {
        uint8_t chunk[kChunk];
        std::memcpy(chunk, source + i, kChunk);
        std::memcpy(target + i, chunk, kChunk);
        i += kChunk;
    } while (i < count);
}

}  // namespace

GifLzwDecoder::GifLzwDecoder(InputFile& file, int inputCodeSize, uint8_t* pixels, size_t total)
    : inputCodeSize_(inputCodeSize),
      clearCode_(1 << inputCodeSize),
      endCode_(clearCode_ + 1),
      data_(file),
      pixels_(pixels),
      total_(total),
      table_(LumoAllocBuffer<Entry>(kTableSize, kModule)),
      stack_(LumoAllocBuffer<uint8_t>(kTableSize, kModule)) {
    for (int code = 0; code < clearCode_; ++code)
        table_[code] = {&kLiteralPixels[static_cast<size_t>(code)], 1, 0, 0};
    table_[clearCode_] = table_[endCode_] = {nullptr, 0, 0, 0};
    resetTable();
}

inline int GifLzwDecoder::readCode() {
    if (!data_.fetch(bitPosition_, static_cast<size_t>(codeSize_))) {
        LumoWarning(kModule, "Ran out of GIF bits");
        return endCode_;
    }
    const int code = CodeAt(data_.bytes(), bitPosition_, (1u << codeSize_) - 1);
    bitPosition_ += static_cast<size_t>(codeSize_);
    return code;
}

// Adds the previous string followed by firstPixel, the first pixel of the string just decoded.
// When the previous string is the one stored last, the new one sits where it starts.
inline void GifLzwDecoder::addString(int firstPixel) {
    firstCode_ = firstPixel;
    if (maxCode_ >= kTableSize) return;
    table_[maxCode_] = {lastIsOldCode_ ? pixels_ + lastStart_ : nullptr,
                        static_cast<uint16_t>(table_[oldCode_].length + 1), static_cast<uint16_t>(oldCode_),
                        static_cast<uint8_t>(firstPixel)};
    ++maxCode_;
    if (maxCode_ >= limitCode_ && codeSize_ < kMaxCodeSize) {
        ++codeSize_;
        limitCode_ *= 2;
    }
}

void GifLzwDecoder::decodeTo(size_t end) {
    end = std::min(end, total_);
    if (firstTime_ && position_ < end) {
        firstTime_ = false;
        decodeSlowly(clearCode_);  // the first read behaves as if a clear code had been read
    }
    while (position_ < end && !ended_) {
        decodeFast(end);
        if (position_ < end) decodeSlowly(readCode());
    }
    if (ended_ && position_ < total_) {
        std::memset(pixels_ + position_, 0, total_ - position_);
        position_ = total_;
    }
}

// Decodes the common codes while they are plainly so: a literal or a string of the table that has
// a copy, or the string being defined, with the bits of the code held and room for the chunk copy.
// Stops before any other code (clear and end codes, corrupt codes, strings with no copy), which
// decodeSlowly then takes, as it takes the codes near the end of the data and of the picture.
void GifLzwDecoder::decodeFast(size_t end) {
    // The longest string has fewer than kTableSize pixels; its copy writes less than a chunk more.
    constexpr size_t kRoom = kTableSize + kChunk;
    if (!lastIsOldCode_ || total_ < kRoom) return;
    const size_t stop = std::min(end, total_ - kRoom);
    uint8_t* const pixels = pixels_;
    Entry* const table = table_.get();
    size_t position = position_;
    size_t lastStart = lastStart_;  // the last string is pixels[lastStart, position)
    size_t bitPosition = bitPosition_;
    int codeSize = codeSize_;
    uint32_t mask = (1u << codeSize) - 1;
    int maxCode = maxCode_;
    int limitCode = limitCode_;
    int oldCode = oldCode_;
    int firstCode = firstCode_;
    for (;;) {
        const uint8_t* const bytes = data_.bytes();
        // Below bitLimit every code of up to 12 bits is whole in the data held.
        const size_t bitLimit = data_.usableBits() > kMaxCodeSize - 1 ? data_.usableBits() - (kMaxCodeSize - 1) : 0;
        bool unusual = false;
        while (position < stop && bitPosition < bitLimit) {
            const int code = CodeAt(bytes, bitPosition, mask);
            uint8_t* const target = pixels + position;
            const size_t oldLength = position - lastStart;
            const uint8_t* copy;
            size_t length;
            if (code < maxCode) {
                copy = table[code].copy;
                length = table[code].length;
                if (!copy) {
                    unusual = true;
                    break;
                }
                CopyInChunks(target, copy, length);
            } else {
                if (code > maxCode) {
                    unusual = true;
                    break;
                }
                // The string being defined: the last string followed by its own first pixel.
                copy = pixels + lastStart;
                length = oldLength + 1;
                CopyInChunks(target, copy, oldLength);
                target[oldLength] = *copy;
            }
            bitPosition += static_cast<size_t>(codeSize);
            firstCode = *copy;
            if (maxCode < kTableSize) {
                table[maxCode] = {pixels + lastStart, static_cast<uint16_t>(oldLength + 1),
                                  static_cast<uint16_t>(oldCode), static_cast<uint8_t>(firstCode)};
                if (++maxCode >= limitCode && codeSize < kMaxCodeSize) {
                    ++codeSize;
                    limitCode *= 2;
                    mask = (1u << codeSize) - 1;
                }
            }
            oldCode = code;
            lastStart = position;
            position += length;
        }
        if (unusual || position >= stop || data_.end() != GifDataBuffer::End::notYet) break;
        bitPosition = data_.refill(bitPosition);
    }
    position_ = position;
    lastStart_ = lastStart;
    bitPosition_ = bitPosition;
    codeSize_ = codeSize;
    maxCode_ = maxCode;
    limitCode_ = limitCode;
    oldCode_ = oldCode;
    firstCode_ = firstCode;
}

// Decodes one code the general way, through the stack: clear and end codes, corrupt codes, the
// string being defined after a corrupt code, and strings that run past the end of the picture.
void GifLzwDecoder::decodeSlowly(int code) {
    if (code == clearCode_) {
        pixels_[position_] = static_cast<uint8_t>(restartAfterClear());
        lastStart_ = position_++;
        lastIsOldCode_ = true;
        return;
    }
    if (code == endCode_) {
        data_.skipRest();
        LumoWarning(kModule, "Premature end of GIF image");
        // Every further pixel would repeat both warnings: report once and fill the rest with 0.
        ended_ = true;
        return;
    }

    int incoming = code;
    bool storesIncoming = true;  // whether the pixels stored will be the string of the incoming code
    size_t top = 0;
    if (code >= maxCode_) {
        // A code one past the table is the previous string plus the first pixel of the last one.
        if (code > maxCode_) {
            LumoWarning(kModule, "Corrupt data in GIF file");
            incoming = 0;
            storesIncoming = false;
        } else {
            storesIncoming = lastIsOldCode_;
        }
        stack_[top++] = static_cast<uint8_t>(firstCode_);
        code = oldCode_;
    }
    // Every table entry's prefix is a smaller code, so the walk ends at a literal within
    // kTableSize - clearCode_ steps and the stack cannot overflow.
    while (code >= clearCode_) {
        stack_[top++] = table_[code].suffix;
        code = table_[code].prefix;
    }
    addString(code);
    oldCode_ = incoming;

    const size_t room = total_ - position_;
    const size_t count = std::min(top + 1, room);
    uint8_t* target = pixels_ + position_;
    *target = static_cast<uint8_t>(code);
    for (size_t i = 1; i < count; ++i) target[i] = stack_[top - i];
    lastStart_ = position_;
    lastIsOldCode_ = storesIncoming;
    position_ += count;
}

int GifLzwDecoder::restartAfterClear() {
    resetTable();
    int code;
    do code = readCode();
    while (code == clearCode_);
    if (code > clearCode_) {
        LumoWarning(kModule, "Corrupt data in GIF file");
        code = 0;
    }
    firstCode_ = oldCode_ = code;
    return code;
}

void GifLzwDecoder::resetTable() {
    codeSize_ = inputCodeSize_ + 1;
    limitCode_ = 2 * clearCode_;
    maxCode_ = clearCode_ + 2;
}
