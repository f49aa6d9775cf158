// One sample plane of a Photo CD load (luma, chroma-1 or chroma-2) and the failures every step shares.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory.h"

constexpr const char* kPcdModule = "LumoLoadPcd";
constexpr const char* kPcdOpenMessage = "Can't open PCD file %s";

struct PcdPlane {
    int capacityWidth = 0;   // allocated samples per row; also the row stride
    int capacityHeight = 0;  // allocated rows
    int width = 0;           // samples per row currently valid
    int height = 0;          // rows currently valid
    LumoBuffer<uint8_t> samples;

    uint8_t* row(int y) { return samples.get() + static_cast<size_t>(y) * capacityWidth; }
    const uint8_t* row(int y) const { return samples.get() + static_cast<size_t>(y) * capacityWidth; }
    bool holds(int w, int h) const { return w <= capacityWidth && h <= capacityHeight; }
    bool validOver(int w, int h) const { return width >= w && height >= h; }
};

// Allocates the plane's samples ("Out of memory !" when that fails); nothing is valid yet.
void AllocatePcdPlane(PcdPlane& plane, int capacityWidth, int capacityHeight);

// "Can't read this PCD file.": a plane too small for a step, or a size the loader does not know.
[[noreturn]] void FailUnreadablePcd();
// "Error in Huffman Sequence" and "Error in Huffman Code Table".
[[noreturn]] void FailHuffmanSequence();
[[noreturn]] void FailHuffmanTable();
