// Byte builders for GIF tests: code streams packed at the widths a decoder reads them with, data
// cut into sub-blocks, and whole files built field by field.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace gif_builder {

inline void Append(std::vector<uint8_t>& bytes, std::initializer_list<int> values) {
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
}
inline void AppendLE16(std::vector<uint8_t>& bytes, int v) { Append(bytes, {v & 0xFF, v >> 8}); }

// The code widths a GIF decoder reads with: minCodeSize + 1 after a clear, one more bit whenever
// the string table reaches the next power of two (at most 12). maxCode is the next free entry.
class CodeWidths {
public:
    explicit CodeWidths(int minCodeSize) : minCodeSize_(minCodeSize) { clear(); }
    int width() const { return width_; }
    int maxCode() const { return maxCode_; }
    void after(int code) {
        const int clearCode = 1 << minCodeSize_;
        if (code == clearCode) return clear();
        if (code == clearCode + 1) return;
        if (!afterClear_ && maxCode_ < 4096 && ++maxCode_ >= 1 << width_ && width_ < 12) ++width_;
        afterClear_ = false;
    }

private:
    void clear() {
        width_ = minCodeSize_ + 1;
        maxCode_ = (1 << minCodeSize_) + 2;
        afterClear_ = true;
    }
    int minCodeSize_, width_ = 0, maxCode_ = 0;
    bool afterClear_ = true;
};

inline std::vector<uint8_t> PackCodes(int minCodeSize, const std::vector<int>& codes) {
    std::vector<uint8_t> bytes;
    CodeWidths widths(minCodeSize);
    uint32_t accumulator = 0;
    int count = 0;
    for (int code : codes) {
        accumulator |= static_cast<uint32_t>(code) << count;
        for (count += widths.width(); count >= 8; count -= 8, accumulator >>= 8) bytes.push_back(accumulator & 0xFF);
        widths.after(code);
    }
    if (count > 0) bytes.push_back(accumulator & 0xFF);
    return bytes;
}

// The codes of a data stream up to the end code, each with the decoder's next free entry when it was read.
inline std::vector<std::pair<int, int>> UnpackCodes(int minCodeSize, const std::vector<uint8_t>& data) {
    std::vector<std::pair<int, int>> codes;
    CodeWidths widths(minCodeSize);
    for (size_t bit = 0; bit + widths.width() <= data.size() * 8;) {
        int code = 0;
        for (int i = 0; i < widths.width(); ++i, ++bit) code |= (data[bit / 8] >> bit % 8 & 1) << i;
        codes.emplace_back(code, widths.maxCode());
        if (code == (1 << minCodeSize) + 1) break;
        widths.after(code);
    }
    return codes;
}

// Cuts data into sub-blocks of blockSize bytes (the last shorter) and adds the zero-length block.
inline std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data, size_t blockSize) {
    std::vector<uint8_t> blocks;
    for (size_t at = 0; at < data.size(); at += blockSize) {
        const size_t n = std::min(blockSize, data.size() - at);
        blocks.push_back(static_cast<uint8_t>(n));
        blocks.insert(blocks.end(), data.begin() + at, data.begin() + at + n);
    }
    blocks.push_back(0);
    return blocks;
}

// A GIF built field by field; the defaults give a 4 x 2 picture with a 4-entry global table.
struct GifParts {
    std::string version = "89a";
    int screenFlags = 0x81;  // global table of 4 entries
    int aspect = 0;
    std::vector<uint8_t> beforeImage;  // extensions or stray bytes
    int width = 4, height = 2;
    int imageFlags = 0;
    std::vector<uint8_t> localTable;
    int codeSize = 2;
    std::vector<uint8_t> blocks = SubBlocks(PackCodes(2, {4, 0, 1, 2, 3, 3, 2, 1, 0, 5}), 255);

    std::vector<uint8_t> build() const {
        const std::string signature = "GIF" + version;
        std::vector<uint8_t> b(signature.begin(), signature.end());
        AppendLE16(b, width);
        AppendLE16(b, height);
        Append(b, {screenFlags, 0, aspect});
        if (screenFlags & 0x80)
            for (int i = 0; i < (2 << (screenFlags & 7)); ++i) Append(b, {i * 10, i * 20, 255 - i});
        b.insert(b.end(), beforeImage.begin(), beforeImage.end());
        Append(b, {','});
        AppendLE16(b, 0);
        AppendLE16(b, 0);
        AppendLE16(b, width);
        AppendLE16(b, height);
        Append(b, {imageFlags});
        b.insert(b.end(), localTable.begin(), localTable.end());
        Append(b, {codeSize});
        b.insert(b.end(), blocks.begin(), blocks.end());
        Append(b, {';'});
        return b;
    }
};

}  // namespace gif_builder
