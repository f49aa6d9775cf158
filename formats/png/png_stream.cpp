#include "formats/png/png_stream.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "formats/byte_order.h"

namespace {

bool Ancillary(const uint8_t* type) { return (type[0] & 0x20) != 0; }  // a lower-case first letter

bool OneOf(const uint8_t* type, std::initializer_list<const char*> types) {
    for (const char* t : types)
        if (std::memcmp(type, t, 4) == 0) return true;
    return false;
}

// The ancillary chunks the loader reads for the picture, and those that carry metadata.
bool ForPicture(const uint8_t* type) { return OneOf(type, {"tRNS", "pHYs"}); }
bool ForMetadata(const uint8_t* type) { return OneOf(type, {"eXIf", "iCCP", "tEXt", "zTXt", "iTXt"}); }

}  // namespace

size_t PngStream::peek(const uint8_t*& bytes) {
    if (!peeked_) {
        aheadSize_ = file_.read(ahead_, kPeekSize);
        peeked_ = true;
    }
    bytes = ahead_;
    return aheadSize_;
}

size_t PngStream::rawRead(uint8_t* out, size_t count) {
    const size_t fromAhead = std::min(count, aheadSize_ - aheadUsed_);
    std::memcpy(out, ahead_ + aheadUsed_, fromAhead);
    aheadUsed_ += fromAhead;
    return fromAhead + (count > fromAhead ? file_.read(out + fromAhead, count - fromAhead) : 0);
}

void PngStream::rawSkip(uint64_t count) {
    const size_t fromAhead = static_cast<size_t>(std::min<uint64_t>(count, aheadSize_ - aheadUsed_));
    aheadUsed_ += fromAhead;
    if (count > fromAhead) file_.skip(static_cast<size_t>(count - fromAhead));
}

bool PngStream::read(uint8_t* out, size_t length) {
    if (!peeked_) {
        const uint8_t* ignored = nullptr;
        peek(ignored);
    }
    while (length > 0) {
        size_t taken = 0;
        if (signatureLeft_ > 0) {
            taken = std::min(length, signatureLeft_);
            if (rawRead(out, taken) < taken) return false;
            signatureLeft_ -= taken;
        } else if (headerLeft_ > 0) {
            taken = std::min(length, headerLeft_);
            std::memcpy(out, header_ + sizeof header_ - headerLeft_, taken);
            headerLeft_ -= taken;
        } else if (bodyLeft_ > 0) {
            taken = static_cast<size_t>(std::min<uint64_t>(length, bodyLeft_));
            if (rawRead(out, taken) < taken) return false;
            bodyLeft_ -= taken;
        } else {
            // A chunk starts here: its length and type decide whether it is passed on or skipped.
            if (rawRead(header_, sizeof header_) < sizeof header_) return false;
            const uint64_t rest = uint64_t{ReadBE32(header_)} + 4;  // data and CRC
            const uint8_t* type = header_ + 4;
            const bool metadata = withMetadata_ && ForMetadata(type);
            if (Ancillary(type) && !ForPicture(type) && !metadata) {
                rawSkip(rest);
            } else {
                passedMetadata_ |= metadata;
                headerLeft_ = sizeof header_;
                bodyLeft_ = rest;
            }
            continue;
        }
        out += taken;
        length -= taken;
    }
    return true;
}
