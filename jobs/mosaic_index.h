// The index files of contact sheets and the hit table read from them: the rectangle and file name of
// every thumbnail, read from the index file beside the sheet ("NAME.idx" beside "NAME.jpg") or from
// the grid of a Photo CD overview. The contact-sheet builder writes the lines with IndexLine.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/sheet_table.h"

struct MosaicEntry {
    int left, top, right, bottom;  // pixels of the image as loaded; right and bottom inclusive in hit tests
    std::string name;              // relative to the sheet's directory
    // What the sheet's own cell table recorded of the picture, when it carries one for this entry.
    std::optional<PictureFingerprint> recorded = std::nullopt;
};

constexpr size_t kMaxMosaicEntries = 100;

// The first line of every index file.
constexpr const char* kIndexHeader = "*IDX index table\n";
// One line of an index file: "%-12s %4d %4d %4d %4d\n" (the name padded to 12 characters, longer
// names written whole, so names with spaces or of any length keep their cells when read back).
std::string IndexLine(const std::string& name, int left, int top, int right, int bottom);

// The table for the file just loaded, or nothing when it has none: the index file beside it when there
// is one, else the cell table a JPEG sheet carries (so a sheet moved or mailed alone keeps its cells).
// The entries of either get the recorded fingerprints of the embedded table's cells of the same name.
// Rectangles are divided by the JPEG option "ratio" (the sheet may have been loaded reduced).
std::optional<std::vector<MosaicEntry>> LoadMosaicIndex(const std::string& path);

// How the entry's picture (beside the sheet at sheetPath) compares with what the sheet recorded: Same
// when nothing was recorded.
PictureState MosaicEntryState(const std::string& sheetPath, const MosaicEntry& entry);

// The entry under an image point (inclusive edges, first match in order), or -1.
int MosaicHitTest(const std::vector<MosaicEntry>& entries, int x, int y);
