#include "formats/gif_lzw_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/messages.h"

namespace {

constexpr const char* kModule = "LumoLoadGif";
constexpr int kMaxCodeSize = 12;

[[noreturn]] void PrematureEof() { LumoError(kModule, "Premature EOF in GIF file"); }

}  // namespace

int ReadGifByte(InputFile& file) {
    const int byte = file.getByte();
    if (byte < 0) PrematureEof();
    return byte;
}

void ReadGifBytes(InputFile& file, uint8_t* bytes, size_t count) {
    if (file.read(bytes, count) != count) PrematureEof();
}

void SkipGifSubBlocks(InputFile& file) {
    for (int length; (length = ReadGifByte(file)) != 0;)
        if (file.skip(static_cast<size_t>(length)) != static_cast<size_t>(length)) PrematureEof();
}

namespace {

// Copies a string of count pixels from an earlier place in the picture (source + count <= target).
// With room to spare behind the string it moves whole 8-byte words; the bytes written past the
// string are overwritten by the strings that follow.
inline void CopyEarlierString(uint8_t* target, const uint8_t* source, size_t count, size_t room) {
    if (room >= count + 7) {
        for (size_t i = 0; i < count; i += 8) {
            uint64_t word;
            std::memcpy(&word, source + i, sizeof word);
            std::memcpy(target + i, &word, sizeof word);
        }
    } else {
        std::memcpy(target, source, count);
    }
}

}  // namespace

GifLzwDecoder::GifLzwDecoder(InputFile& file, int inputCodeSize, uint8_t* pixels, size_t total)
    : file_(file),
      inputCodeSize_(inputCodeSize),
      clearCode_(1 << inputCodeSize),
      endCode_(clearCode_ + 1),
      pixels_(pixels),
      total_(total),
      prefix_(LumoAllocBuffer<uint16_t>(kTableSize, kModule)),
      suffix_(LumoAllocBuffer<uint8_t>(kTableSize, kModule)),
      length_(LumoAllocBuffer<uint16_t>(kTableSize, kModule)),
      start_(LumoAllocBuffer<uint32_t>(kTableSize, kModule)),
      stack_(LumoAllocBuffer<uint8_t>(kTableSize, kModule)) {
    std::fill(length_.get(), length_.get() + clearCode_, uint16_t{1});  // single-pixel strings
    resetTable();
}

inline int GifLzwDecoder::readCode() {
    if (bitCount_ < codeSize_ && !readMoreBits()) return endCode_;
    const int code = static_cast<int>(bitBuffer_ & ((1u << codeSize_) - 1));
    bitBuffer_ >>= codeSize_;
    bitCount_ -= codeSize_;
    return code;
}

// Adds the previous string followed by firstPixel, the first pixel of the string just decoded.
// When the previous string is the one stored last, the new one sits where it starts.
inline void GifLzwDecoder::addString(int firstPixel) {
    firstCode_ = firstPixel;
    if (maxCode_ >= kTableSize) return;
    prefix_[maxCode_] = static_cast<uint16_t>(oldCode_);
    suffix_[maxCode_] = static_cast<uint8_t>(firstPixel);
    length_[maxCode_] = static_cast<uint16_t>(length_[oldCode_] + 1);
    start_[maxCode_] = lastIsOldCode_ ? static_cast<uint32_t>(lastStart_) : kNowhere;
    ++maxCode_;
    if (maxCode_ >= limitCode_ && codeSize_ < kMaxCodeSize) {
        ++codeSize_;
        limitCode_ *= 2;
    }
}

void GifLzwDecoder::decodeTo(size_t end) {
    end = std::min(end, total_);
    uint8_t* const pixels = pixels_;
    const uint16_t* const prefix = prefix_.get();
    const uint8_t* const suffix = suffix_.get();
    const uint16_t* const length = length_.get();
    const uint32_t* const start = start_.get();
    const int clearCode = clearCode_;
    if (firstTime_ && position_ < end) {
        firstTime_ = false;
        decodeSlowly(clearCode);  // the first read behaves as if a clear code had been read
    }
    while (position_ < end && !ended_) {
        const int code = readCode();
        uint8_t* const target = pixels + position_;
        const size_t room = total_ - position_;
        if (code < clearCode || (code > endCode_ && code < maxCode_)) {
            // A literal or a string of the table: copied from an earlier place when it has one,
            // otherwise built from its last pixel back through the prefix codes.
            const size_t count = length[code];
            if (count <= room) {
                if (code < clearCode) {
                    *target = static_cast<uint8_t>(code);
                } else if (start[code] != kNowhere) {
                    CopyEarlierString(target, pixels + start[code], count, room);
                } else {
                    uint8_t* last = target + count - 1;
                    int c = code;
                    for (; c >= clearCode; c = prefix[c]) *last-- = suffix[c];
                    *last = static_cast<uint8_t>(c);
                }
                addString(*target);
                oldCode_ = code;
                lastStart_ = position_;
                lastIsOldCode_ = true;
                position_ += count;
                continue;
            }
        } else if (code == maxCode_ && lastIsOldCode_) {
            // The string being defined: the last string plus its own first pixel, copied forward
            // from where the last string starts so that the copy picks up that pixel.
            const size_t count = length[oldCode_] + size_t{1};
            if (count <= room) {
                const uint8_t* source = pixels + lastStart_;
                for (size_t i = 0; i < count; ++i) target[i] = source[i];
                addString(*target);
                oldCode_ = code;
                lastStart_ = position_;
                position_ += count;
                continue;
            }
        }
        decodeSlowly(code);
    }
    if (ended_ && position_ < total_) {
        std::memset(pixels + position_, 0, total_ - position_);
        position_ = total_;
    }
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
        if (!outOfBlocks_) {
            SkipGifSubBlocks(file_);
            outOfBlocks_ = true;
        }
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
        stack_[top++] = suffix_[code];
        code = prefix_[code];
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

// Moves bytes of the current sub-block into the bit buffer, and reads further sub-blocks while the
// next code is still incomplete (several when blocks of a single byte meet wide codes).
bool GifLzwDecoder::readMoreBits() {
    for (;;) {
        const int available = blockLength_ - blockPosition_;
        if (available > 0) {
            // As many whole bytes as the bit buffer takes, in one 8-byte load (the block buffer has
            // room for it past its 255 bytes); bytes beyond those taken are masked off.
            const int taken = std::min((63 - bitCount_) >> 3, available);
            uint64_t word;
            std::memcpy(&word, block_ + blockPosition_, sizeof word);
            if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
            bitBuffer_ |= (word & ((uint64_t{1} << (8 * taken)) - 1)) << bitCount_;
            bitCount_ += 8 * taken;
            blockPosition_ += taken;
        }
        if (bitCount_ >= codeSize_) return true;
        if (outOfBlocks_) {
            LumoWarning(kModule, "Ran out of GIF bits");
            return false;
        }
        const int length = ReadGifByte(file_);
        if (length == 0) {
            outOfBlocks_ = true;
            LumoWarning(kModule, "Ran out of GIF bits");
            return false;
        }
        ReadGifBytes(file_, block_, static_cast<size_t>(length));
        blockLength_ = length;
        blockPosition_ = 0;
    }
}
