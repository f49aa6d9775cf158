// A deterministic bi-level page for the benchmarks: lines of glyph-like bit runs with blank
// leading between them, as scanned text looks (bi-level pictures are mostly runs, not noise).
#pragma once

#include "core/image.h"

inline ImagePtr MakeTextPage(int width, int height) {
    ImagePtr page = LumoCreateImage(width, height, BILEVEL, nullptr, 1);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = PictureRow(*page, y);
        const bool inLine = (y / 40) % 3 != 2 && y % 40 < 24;  // two text lines, then a gap
        for (int b = 0; b < page->rowBytes; ++b) {
            const uint32_t hash = static_cast<uint32_t>(b) * 2654435761u ^ static_cast<uint32_t>(y / 3) * 40503u;
            row[b] = inLine ? static_cast<uint8_t>(~(hash >> 13 & hash >> 7)) : uint8_t{0xFF};  // 1 = white
        }
    }
    return page;
}
