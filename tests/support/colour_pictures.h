// Pictures and pixel views for the conversion and quantizer tests.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image.h"

// Every pixel drawn at random (levels, palette indices or RGB components), palettes random too.
ImagePtr MakeNoiseImage(ImageKind kind, int width, int height, unsigned seed);
// An RGB picture of one colour.
ImagePtr MakeUniformRGB(int width, int height, int red, int green, int blue);
// A GRAY256 picture of one level.
ImagePtr MakeUniformGray(int width, int height, int level);
// The colour a pixel shows, 0xRRGGBB, whatever the kind (gray levels of GRAY16 times 17).
uint32_t ShownColour(const IMG& image, int x, int y);
// The pixel bytes and palette of an image, to check that an operation left it untouched.
std::vector<uint8_t> Snapshot(const IMG& image);
// The peak signal-to-noise ratio of the colours two pictures of one size show, in dB (99 when equal).
double Psnr(const IMG& a, const IMG& b);
