#include "formats/gif/gif_data_buffer.h"

#include <algorithm>
#include <cstring>

#include "core/messages.h"

namespace {

constexpr const char* kModule = "LumoLoadGif";

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

GifDataBuffer::GifDataBuffer(InputFile& file)
    : file_(file),
      bytes_(LumoAllocBuffer<uint8_t>(kCapacity + kLoadSlack, kModule)),
      chunk_(LumoAllocBuffer<uint8_t>(kChunk, kModule)) {
    // Loads reach up to 7 bytes past the usable ones: they must read defined bytes.
    std::memset(bytes_.get(), 0, kCapacity + kLoadSlack);
}

size_t GifDataBuffer::refill(size_t bitPosition) {
    const size_t dropped = std::min(bitPosition / 8, usable_);
    std::memmove(bytes_.get(), bytes_.get() + dropped, held_ - dropped);
    held_ -= dropped;
    usable_ -= dropped;
    while (held_ < kCapacity && end_ == End::notYet) {
        if (chunkPosition_ == chunkLength_) {
            chunkLength_ = file_.read(chunk_.get(), kChunk);
            chunkPosition_ = 0;
            if (chunkLength_ == 0) {
                end_ = End::truncated;
                break;
            }
        }
        if (blockLeft_ == 0) {
            blockLeft_ = chunk_[chunkPosition_++];
            if (blockLeft_ == 0) {
                end_ = End::complete;
                break;
            }
            continue;
        }
        const size_t count = std::min({blockLeft_, chunkLength_ - chunkPosition_, kCapacity - held_});
        std::memcpy(bytes_.get() + held_, chunk_.get() + chunkPosition_, count);
        held_ += count;
        chunkPosition_ += count;
        blockLeft_ -= count;
        if (blockLeft_ == 0) usable_ = held_;
    }
    return bitPosition - 8 * dropped;
}

bool GifDataBuffer::fetch(size_t& bitPosition, size_t count) {
    while (bitPosition + count > usableBits()) {
        if (end_ == End::complete) return false;
        if (end_ == End::truncated) PrematureEof();
        bitPosition = refill(bitPosition);
    }
    return true;
}

void GifDataBuffer::skipRest() {
    while (end_ == End::notYet) refill(8 * held_);
    if (end_ == End::truncated) PrematureEof();
}
