#include "formats/pcd/pcd_resample.h"

#include <cstring>

void PcdUpsample(PcdPlane& plane) {
    const int w = plane.width;
    const int h = plane.height;
    if (w == 0 || h == 0 || !plane.holds(2 * w, 2 * h)) FailUnreadablePcd();
    // Source row r goes to row 2r, bottom row first so that no row is overwritten before it is read;
    // within a row from the right for the same reason.
    for (int r = h - 1; r >= 0; --r) {
        const uint8_t* in = plane.row(r);
        uint8_t* out = plane.row(2 * r);
        int next = in[w - 1];
        out[2 * w - 1] = static_cast<uint8_t>(next);
        out[2 * w - 2] = static_cast<uint8_t>(next);
        for (int i = w - 2; i >= 0; --i) {
            const int here = in[i];
            out[2 * i + 1] = static_cast<uint8_t>((here + next + 1) / 2);
            out[2 * i] = static_cast<uint8_t>(here);
            next = here;
        }
    }
    const int outWidth = 2 * w;
    for (int k = 0; k + 1 < h; ++k) {
        const uint8_t* a = plane.row(2 * k);
        const uint8_t* b = plane.row(2 * k + 2);
        uint8_t* out = plane.row(2 * k + 1);
        for (int j = 0; j + 1 < w; ++j) {
            out[2 * j] = static_cast<uint8_t>((a[2 * j] + b[2 * j] + 1) / 2);
            out[2 * j + 1] = static_cast<uint8_t>((a[2 * j] + a[2 * j + 2] + b[2 * j] + b[2 * j + 2] + 2) / 4);
        }
        for (int x = outWidth - 2; x < outWidth; ++x) out[x] = static_cast<uint8_t>((a[x] + b[x] + 1) / 2);
    }
    std::memcpy(plane.row(2 * h - 1), plane.row(2 * h - 2), static_cast<size_t>(outWidth));
    plane.width = outWidth;
    plane.height = 2 * h;
}

void PcdDownsample(PcdPlane& plane) {
    const int w = plane.width / 2;
    const int h = plane.height / 2;
    for (int r = 0; r < h; ++r) {
        const uint8_t* in = plane.row(2 * r);
        uint8_t* out = plane.row(r);
        for (int i = 0; i < w; ++i) out[i] = in[2 * i];
    }
    plane.width = w;
    plane.height = h;
}
