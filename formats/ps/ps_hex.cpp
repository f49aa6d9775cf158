#include "formats/ps/ps_hex.h"

namespace {

constexpr int kLineCounter = 36;      // a line holds kLineCounter - 1 bytes of data
constexpr size_t kFlushSize = 16384;  // digits gathered before they go to the sink
constexpr char kDigits[] = "0123456789abcdef";

}  // namespace

void HexLines::putUnit(const uint8_t* unit, int count) {
    room_ -= count;
    if (room_ <= 0) {
        buffer_ += '\n';
        room_ = kLineCounter - count;
    }
    for (int i = 0; i < count; ++i) {
        buffer_ += kDigits[unit[i] >> 4];
        buffer_ += kDigits[unit[i] & 0x0F];
    }
    flushIfFull();
}

void HexLines::putBytes(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) putUnit(bytes + i, 1);
}

void HexLines::finish() {
    buffer_ += '\n';
    sink_(reinterpret_cast<const uint8_t*>(buffer_.data()), buffer_.size());
    buffer_.clear();
}

void HexLines::flushIfFull() {
    if (buffer_.size() < kFlushSize) return;
    sink_(reinterpret_cast<const uint8_t*>(buffer_.data()), buffer_.size());
    buffer_.clear();
}
