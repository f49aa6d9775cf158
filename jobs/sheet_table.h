// The cell table a contact sheet carries inside its own JPEG file, so that a sheet copied or mailed
// alone still names its pictures and can tell when one of them changed or is gone.
//
// Where it lives: APP9 segments opening with "LUMO-SHEET\0". APP9 is left alone by the common
// readers (APP1 Exif/XMP, APP2 ICC, APP11 JPEG XT/JUMBF, APP12 Ducky, APP13 Photoshop, APP14 Adobe
// are all taken; APP15 is used by some editors for comments), and libjpeg skips it unread.
//
// Segment contents, after the identifier: version (1 byte, 1), part number (1 byte, from 0), part
// count (1 byte, 1..255), then that part of the table's bytes. A table larger than one segment
// (65533 bytes less the 14 of the header) is cut into parts written in order.
//
// The table's bytes, little-endian throughout:
//   u16 sheet width, u16 sheet height          of this sheet
//   u16 largest sheet width, height            the run's request
//   u16 cell width, height
//   u16 sheet number                           1 for "-mosaic.jpg", 2 for "-mosaic2.jpg", ...
//   u8  flags                                  bit 0: the run went on to a further sheet
//   u32 cell count, then per cell:
//     u16 left, top, right, bottom             the thumbnail, as the index file gives it
//     u64 size in bytes of the picture file
//     i64 modification time, nanoseconds since 1970 (informative only, see PictureState)
//     u64 content fingerprint (ContentHash)
//     u16 name length, then the name           the picture's path relative to the sheet's folder
// A table that is not exactly this (a missing part, a count or length reaching past the end, bytes
// left over, a rectangle outside the sheet) is refused as a whole.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct PictureFingerprint {
    uint64_t size = 0;
    int64_t modified = 0;  // nanoseconds since 1970
    uint64_t hash = 0;
    bool operator==(const PictureFingerprint&) const = default;
};

struct SheetCell {
    int left = 0, top = 0, right = 0, bottom = 0;
    std::string name;  // relative to the sheet's folder
    PictureFingerprint picture;
    bool operator==(const SheetCell&) const = default;
};

struct SheetTable {
    int width = 0, height = 0;
    int largestWidth = 0, largestHeight = 0;
    int cellWidth = 0, cellHeight = 0;
    int sheetNumber = 1;
    bool continued = false;  // the run placed more files on a further sheet
    std::vector<SheetCell> cells;
    bool operator==(const SheetTable&) const = default;
};

constexpr int kSheetTableApp = 9;  // APP9
extern const std::span<const uint8_t> kSheetTableSignature;  // "LUMO-SHEET\0"

// The segment contents (identifier and part header included) that hold the table, one per segment.
std::vector<std::vector<uint8_t>> EncodeSheetTable(const SheetTable& table);
// The table held by the contents of the "LUMO-SHEET" segments (after the identifier, as
// FindAppSegments gives them), or nothing when they do not make one whole valid table.
std::optional<SheetTable> ParseSheetTable(const std::vector<std::span<const uint8_t>>& segments);
// The table carried by a JPEG file held in memory, or nothing.
std::optional<SheetTable> SheetTableOfJpeg(std::span<const uint8_t> jpeg);
// The table of the JPEG file at path, or nothing (no such file, no table).
std::optional<SheetTable> ReadSheetTable(const std::string& path);
// Puts the table's segments into a compressed sheet (after its JFIF header).
void AddSheetTable(std::vector<uint8_t>& jpeg, const SheetTable& table);

// The path of a cell's picture: its name in the folder of the sheet at sheetPath (an absolute name as it is).
std::string CellPicturePath(const std::string& sheetPath, const std::string& name);

// A 64-bit fingerprint of the whole file content: FNV-1a taken over 8-byte little-endian words (the
// bytes of a last partial word one by one), then the length folded in. Whole-file hashing costs about
// 1 ms per 4 MB here, so no sampling of parts of the file is needed; every changed byte counts.
uint64_t ContentHash(std::span<const uint8_t> bytes);
// The fingerprint of the file at path, or nothing when it cannot be read.
std::optional<PictureFingerprint> FingerprintFile(const std::string& path);

// How a picture compares with what the sheet recorded. Only the size and the content fingerprint
// decide: a sheet copied with its pictures (cp -r, unzip, a mail) gets new modification times for
// unchanged files, and must not show every cell as changed. The recorded time is only reported.
enum class PictureState { Same, Changed, Gone };
PictureState CheckPicture(const std::string& path, const PictureFingerprint& recorded);

// The words that mark a picture in this state: "" for Same, "changed since the sheet was made" for
// Changed, "gone, changed since the sheet was made" for Gone.
const char* PictureStateText(PictureState state);
