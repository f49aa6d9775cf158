// Plain, slow LZW coding for GIF written straight from the rules, one pixel at a time, to check the
// optimized coder of formats/ against: the stream of the 5003-slot string table with its probe
// rule, and the decoder with its string stack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gif_reference {

// The data bytes (no sub-block framing) for pixels, clear code first and end code last.
inline std::vector<uint8_t> EncodeLzw(const std::vector<uint8_t>& pixels, int minCodeSize) {
    const int clearCode = 1 << minCodeSize, endCode = clearCode + 1;
    std::vector<int32_t> hash(5003, -1);
    std::vector<int> code(5003, 0);
    std::vector<uint8_t> out;
    int bits = minCodeSize + 1, maxCode = (1 << bits) - 1, freeEntry = clearCode + 2;
    bool clearFlag = false;
    uint32_t accumulator = 0;
    int count = 0;
    const auto emit = [&](int c) {
        accumulator |= static_cast<uint32_t>(c) << count;
        for (count += bits; count >= 8; count -= 8, accumulator >>= 8) out.push_back(accumulator & 0xFF);
        if (freeEntry > maxCode || clearFlag) {
            bits = clearFlag ? minCodeSize + 1 : bits + 1;
            clearFlag = false;
            maxCode = bits == 12 ? 4096 : (1 << bits) - 1;
        }
    };
    emit(clearCode);
    int prefix = pixels.empty() ? -1 : pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        const int c = pixels[i];
        const int32_t key = (c << 12) + prefix;
        int slot = (c << 4) ^ prefix;
        bool found = hash[slot] == key;
        if (!found && hash[slot] >= 0) {
            const int step = slot == 0 ? 1 : 5003 - slot;
            do {
                slot -= step;
                if (slot < 0) slot += 5003;
                found = hash[slot] == key;
            } while (!found && hash[slot] > 0);
        }
        if (found) {
            prefix = code[slot];
            continue;
        }
        emit(prefix);
        prefix = c;
        if (freeEntry < 4096) {
            code[slot] = freeEntry++;
            hash[slot] = key;
        } else {
            std::fill(hash.begin(), hash.end(), -1);
            freeEntry = clearCode + 2;
            clearFlag = true;
            emit(clearCode);
        }
    }
    if (prefix >= 0) emit(prefix);
    emit(endCode);
    if (count > 0) out.push_back(accumulator & 0xFF);
    return out;
}

struct Decoded {
    std::vector<uint8_t> pixels;
    std::vector<std::string> warnings;
};

// Decodes count pixels from the data bytes of all sub-blocks, which the zero-length block follows.
// After the end code, or once the data has run out, the rest is 0.
inline Decoded DecodeLzw(const std::vector<uint8_t>& data, int codeSize, size_t count) {
    Decoded result;
    const int clearCode = 1 << codeSize, endCode = clearCode + 1;
    std::vector<int> prefix(4096), suffix(4096), stack;
    int width = 0, limit = 0, maxCode = 0, first = 0, old = 0;
    size_t bit = 0;
    bool ended = false;
    const auto readCode = [&] {
        if (bit + width > data.size() * 8) {
            result.warnings.push_back("Ran out of GIF bits");
            return endCode;
        }
        int c = 0;
        for (int i = 0; i < width; ++i, ++bit) c |= (data[bit / 8] >> bit % 8 & 1) << i;
        return c;
    };
    const auto reset = [&] { width = codeSize + 1, limit = 2 * clearCode, maxCode = clearCode + 2; };
    bool firstTime = true;
    while (result.pixels.size() < count && !ended) {
        if (!stack.empty()) {
            result.pixels.push_back(static_cast<uint8_t>(stack.back()));
            stack.pop_back();
            continue;
        }
        int c = firstTime ? clearCode : readCode();
        firstTime = false;
        if (c == clearCode) {
            reset();
            do c = readCode();
            while (c == clearCode);
            if (c > clearCode) {
                result.warnings.push_back("Corrupt data in GIF file");
                c = 0;
            }
            first = old = c;
            result.pixels.push_back(static_cast<uint8_t>(c));
            continue;
        }
        if (c == endCode) {
            result.warnings.push_back("Premature end of GIF image");
            ended = true;
            break;
        }
        int incoming = c;
        if (c >= maxCode) {
            if (c > maxCode) {
                result.warnings.push_back("Corrupt data in GIF file");
                incoming = 0;
            }
            stack.push_back(first);
            c = old;
        }
        for (; c >= clearCode; c = prefix[c]) stack.push_back(suffix[c]);
        first = c;
        if (maxCode < 4096) {
            prefix[maxCode] = old;
            suffix[maxCode] = first & 0xFF;
            if (++maxCode >= limit && width < 12) ++width, limit *= 2;
        }
        old = incoming;
        result.pixels.push_back(static_cast<uint8_t>(first));
    }
    result.pixels.resize(count, 0);
    return result;
}

}  // namespace gif_reference
