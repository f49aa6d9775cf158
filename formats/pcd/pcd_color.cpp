#include "formats/pcd/pcd_color.h"

#include <cstdint>

namespace {

// Fixed point with 12 fraction bits: R = 1.3584 Y + 1.8215 (C2 - 137),
// G = 1.3584 Y - 0.4302 (C1 - 156) - 0.9272 (C2 - 137), B = 1.3584 Y + 2.2180 (C1 - 156);
// the luma table carries the rounding half.
struct ColorTables {
    int32_t luma[256];
    int32_t redChroma2[256];
    int32_t greenChroma1[256];
    int32_t greenChroma2[256];
    int32_t blueChroma1[256];

    ColorTables() {
        for (int v = 0; v < 256; ++v) {
            luma[v] = 5564 * v + 2048;
            redChroma2[v] = 7461 * v - 1022138;
            greenChroma1[v] = 274934 - 1762 * v;
            greenChroma2[v] = 520268 - 3798 * v;
            blueChroma1[v] = 9085 * v - 1417185;
        }
    }
};

const ColorTables& Tables() {
    static const ColorTables tables;  // built on the first conversion and kept
    return tables;
}

uint8_t Clamp(int32_t value) {
    value >>= 12;
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

}  // namespace

void PcdYccToRgb(PcdPlane& luma, PcdPlane& chroma1, PcdPlane& chroma2) {
    const int width = luma.width;
    const int height = luma.height;
    if (!chroma1.validOver(width, height) || !chroma2.validOver(width, height)) FailUnreadablePcd();
    const ColorTables& t = Tables();
    for (int y = 0; y < height; ++y) {
        uint8_t* l = luma.row(y);
        uint8_t* c1 = chroma1.row(y);
        uint8_t* c2 = chroma2.row(y);
        for (int x = 0; x < width; ++x) {
            const int32_t base = t.luma[l[x]];
            const int first = c1[x];
            const int second = c2[x];
            l[x] = Clamp(base + t.redChroma2[second]);
            c1[x] = Clamp(base + t.greenChroma1[first] + t.greenChroma2[second]);
            c2[x] = Clamp(base + t.blueChroma1[first]);
        }
    }
}
