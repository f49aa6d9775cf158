#include "formats/mok/mok_bits.h"

namespace {
constexpr const char* kModule = "MokBits";
}

MokBitWriter::MokBitWriter(const ByteSink& sink)
    : sink_(sink), buffer_(LumoAllocBuffer<uint8_t>(kBufferSize, kModule)) {}

void MokBitWriter::putBytes(const uint8_t* bytes, size_t count) {
    if (used_ > 0) putBits(0, (8 - used_ % 8) % 8);
    while (used_ >= 8) {
        if (filled_ == kBufferSize) emitBuffer();
        buffer_[filled_++] = mok_bits::kReversed[accumulator_ & 0xFF];
        accumulator_ >>= 8;
        used_ -= 8;
    }
    for (size_t done = 0; done < count;) {
        if (filled_ == kBufferSize) emitBuffer();
        const size_t step = std::min(count - done, kBufferSize - filled_);
        std::memcpy(buffer_.get() + filled_, bytes + done, step);
        filled_ += step;
        done += step;
    }
}

void MokBitWriter::emitWord() {
    if (filled_ > kBufferSize - 4) emitBuffer();
    uint8_t* out = buffer_.get() + filled_;
    for (int i = 0; i < 4; ++i) out[i] = mok_bits::kReversed[accumulator_ >> 8 * i & 0xFF];
    filled_ += 4;
    accumulator_ >>= 32;
    used_ -= 32;
}

void MokBitWriter::emitBuffer() {
    if (filled_ > 0) sink_(buffer_.get(), filled_);
    filled_ = 0;
}

void MokBitWriter::flush() {
    putBytes(nullptr, 0);
    emitBuffer();
}

MokBitReader::MokBitReader(InputFile& file)
    : file_(file), chunk_(LumoAllocBuffer<uint8_t>(kLargestChunk + kFillerBytes, kModule)) {}

size_t MokBitReader::getBytes(uint8_t* bytes, size_t count) {
    const size_t got = file_.read(bytes, count);
    bytesRead_ += got;
    return got;
}

void MokBitReader::refillSlowly() {
    while (available_ <= 56) {
        if (next_ == end_) loadChunk();
        accumulator_ |= uint64_t{*next_++} << available_;
        available_ += 8;
    }
}

void MokBitReader::loadChunk() {
    uint8_t* chunk = chunk_.get();
    size_t got = atEnd_ ? 0 : file_.read(chunk, chunkSize_);
    bytesRead_ += got;
    if (got == 0) {
        atEnd_ = true;
        std::memset(chunk, 0xFF, kFillerBytes);
        got = kFillerBytes;
    } else {
        for (size_t i = 0; i < got; ++i) chunk[i] = mok_bits::kReversed[chunk[i]];
        chunkSize_ = std::min(chunkSize_ * 2, kLargestChunk);
    }
    next_ = chunk;
    end_ = chunk + got;
}
