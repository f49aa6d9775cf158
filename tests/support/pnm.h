// PGM/PPM files for the cross-checks against the netpbm-speaking reference tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"

struct PnmPicture {
    int width = 0;
    int height = 0;
    int channels = 0;              // 1 for PGM (P5), 3 for PPM (P6); 0 when the bytes were no such file
    std::vector<uint8_t> samples;  // top row first, red, green, blue per pixel in a PPM
};

// Parses binary PGM/PPM bytes with a maximum value of 255.
PnmPicture ParsePnm(const std::vector<uint8_t>& bytes);
// The image as a PNM would hold it: gray kinds as levels (BW 0/255, GRAY16 v * 17), colour kinds as
// red, green, blue.
PnmPicture PnmOf(const IMG& image);
// Writes gray kinds as PGM, colour kinds as PPM.
void WritePnm(const IMG& image, const std::string& path);
