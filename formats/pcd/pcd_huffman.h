// The Huffman tables of the 4Base and 16Base sections and the decoding of their residuals, which
// are added to planes already interpolated from the smaller picture.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/pcd/pcd_plane.h"
#include "formats/pcd/pcd_sectors.h"

struct PcdHuffmanEntry {
    uint32_t code;  // the code bits, left-aligned (the file's 16 code bits in the top half)
    uint32_t mask;  // the top `length` bits set
    int length;     // code length in bits, 1 to 16
    int8_t value;   // residual added to the sample
};

struct PcdHuffmanTable {
    int count = 0;  // entries in use, 1 to 256
    PcdHuffmanEntry entries[256];
};

// Largest table in the file: a count byte and 256 entries of 4 bytes.
constexpr size_t kPcdLargestTableBytes = 1 + 256 * 4;

// Reads one table from bytes (at least kPcdLargestTableBytes of them); yields the bytes it took.
// An entry longer than 16 bits: "Error in Huffman Code Table".
size_t ParsePcdHuffmanTable(const uint8_t* bytes, PcdHuffmanTable& table);

// The planes of one residual section; a plane left null receives nothing. Luma rows of a section
// without a luma plane are passed over (the chroma-only sections of the smaller sizes).
struct PcdResidualPlanes {
    PcdPlane* luma = nullptr;
    PcdPlane* chroma1 = nullptr;
    PcdPlane* chroma2 = nullptr;
};

// Decodes the section that starts at the reader's position (a sector boundary) into the planes,
// using tables[0] for luma rows, tables[1] for chroma-1 and tables[2] for chroma-2. width x height
// is the section's luma size; chroma rows are half as wide and come two header rows to a plane row.
// Reads whole sectors, so the reader ends on a sector boundary.
void DecodePcdResiduals(PcdSectorReader& reader, int width, int height, const PcdResidualPlanes& planes,
                        const PcdHuffmanTable* tables);
