// The hexadecimal data of an image: two lowercase digits per byte, high digit first, in lines that
// hold as many whole units as fit in 35 bytes (a unit is a gray byte, an RGB pixel or the pixels
// expanded from one palette byte), so no unit is split across lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/byte_sink.h"

class HexLines {
public:
    explicit HexLines(const ByteSink& sink) : sink_(sink) {}
    HexLines(const HexLines&) = delete;
    HexLines& operator=(const HexLines&) = delete;

    // One unit of count bytes; a new line starts first when it would not fit.
    void putUnit(const uint8_t* unit, int count);
    // count units of one byte each.
    void putBytes(const uint8_t* bytes, size_t count);
    // The newline after the last unit; hands over what is still buffered.
    void finish();

private:
    void flushIfFull();

    const ByteSink& sink_;
    int room_ = 36;       // the line counter: bytes that still fit on this line, plus one
    std::string buffer_;  // digits not yet handed to the sink
};
