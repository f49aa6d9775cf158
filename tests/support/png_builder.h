// Byte builders for PNG tests: chunks with their CRC, a zlib stream of stored blocks (no compression,
// so the test decides every byte), and whole files from an IHDR and the chunks after it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace png_builder {

inline void AppendBE32(std::vector<uint8_t>& bytes, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
}

inline uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

inline void PutBE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Length, type (4 letters), data, CRC of type and data. length overrides the length field when given.
inline std::vector<uint8_t> Chunk(const std::string& type, const std::vector<uint8_t>& data, int64_t length = -1) {
    std::vector<uint8_t> chunk(12 + data.size());
    PutBE32(chunk.data(), length < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(length));
    for (size_t i = 0; i < 4; ++i) chunk[4 + i] = static_cast<uint8_t>(type[i]);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    PutBE32(chunk.data() + 8 + data.size(), Crc32(chunk.data() + 4, 4 + data.size()));
    return chunk;
}

inline std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height, int depth, int colorType, int interlace = 0) {
    std::vector<uint8_t> data;
    AppendBE32(data, width);
    AppendBE32(data, height);
    for (int v : {depth, colorType, 0, 0, interlace}) data.push_back(static_cast<uint8_t>(v));
    return Chunk("IHDR", data);
}

// The zlib stream of raw (filter bytes included) in stored blocks.
inline std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        z.push_back(at + n == raw.size() ? 1 : 0);
        for (uint32_t v : {static_cast<uint32_t>(n), static_cast<uint32_t>(~n & 0xFFFF)}) {
            z.push_back(static_cast<uint8_t>(v));
            z.push_back(static_cast<uint8_t>(v >> 8));
        }
        z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    AppendBE32(z, b << 16 | a);
    return z;
}

// Signature, IHDR, the chunks given (each made with Chunk), IEND.
inline std::vector<uint8_t> File(const std::vector<uint8_t>& ihdr, const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<uint8_t> file = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    file.insert(file.end(), ihdr.begin(), ihdr.end());
    for (const std::vector<uint8_t>& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
    const std::vector<uint8_t> end = Chunk("IEND", {});
    file.insert(file.end(), end.begin(), end.end());
    return file;
}

}  // namespace png_builder
