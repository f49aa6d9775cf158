// Contact sheets: thumbnails of many files pasted in a grid on black RGB sheets, each sheet saved as a
// JPEG file ("-mosaic.jpg", "-mosaic2.jpg", ...) with a text index beside it ("-mosaic.idx", ...)
// naming the file of every cell. The viewer and `lumo mosaic` both run this.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/image.h"
#include "jobs/run_report.h"
#include "jobs/thumbnail.h"

// The sizes the front ends offer, the first of each being the default.
constexpr PixelSize kSheetSizes[] = {{640, 480}, {800, 600}, {1024, 768}};
constexpr PixelSize kCellSizes[] = {{80, 60}, {128, 96}, {160, 120}};

// Makes the cell picture of file index (as MakeCellPicture does), null for a file that gives no
// thumbnail; a failure is a LumoFailure. `lumo mosaic -j N` fetches them from worker processes.
using CellPictureSource = std::function<ImagePtr(size_t index)>;

struct ContactSheetRequest {
    std::vector<std::string> files;  // in placing order: paths as chosen (relative to the current directory, or absolute)
    PixelSize sheet = kSheetSizes[0];  // the largest sheet
    PixelSize cell = kCellSizes[0];    // the thumbnail cell
    std::string outputFolder;         // where sheets and indexes go; empty: the current directory
    FileStep onFile;                  // optional: called before each file, after its status text
    CellPictureSource source;         // optional: empty makes each cell picture in this process
    std::string baseName = "-mosaic"; // sheet k is BASE.jpg for 1, BASEk.jpg after, with BASE.idx, ...
};

struct SheetWritten {
    std::string path;       // the sheet, with the output folder ("out/-mosaic2.jpg")
    std::string indexPath;  // its index ("out/-mosaic2.idx")
    int width, height;      // of the sheet
    int thumbnails;         // cells filled (index lines)
};

struct ContactSheetResult {
    size_t filesProcessed = 0;           // files the run finished with, those without thumbnail included
    std::vector<SheetWritten> sheets;    // in order
    std::vector<std::string> skipped;    // files that gave no thumbnail (unknown extension, nothing loaded)
    std::optional<FileFailure> failure;  // the failure that stopped the run, if one did
};

// Runs the whole job. For each file (from 1) the status text "Processing file %s (%d/%d)" is shown
// (platform/status_text.h), the file's cell picture is made and placed; "showprogress" is 0 during
// the run and restored afterwards. A failure stops the run at that file: the sheet being filled is
// saved with what it holds and its index matches it; sheets finished before stay. Each sheet carries
// its cell table (jobs/sheet_table.h) in its JPEG file: rectangles, names as in the index, and the
// size, time and content fingerprint of every picture.
ContactSheetResult BuildContactSheets(const ContactSheetRequest& request);

// The file name of sheet k (from 1) with the extension ("jpg" or "idx"): "-mosaic.jpg" for 1,
// "-mosaic2.jpg" for 2, and so on, without folder.
std::string SheetFileName(int sheetNumber, const char* extension, const std::string& baseName = "-mosaic");

// Saves a sheet as the builder does (quality 85, optimized, accurate DCT), with the table's segments
// after the JFIF header, through the output-file helper.
void SaveSheetJpeg(const IMG& sheet, const struct SheetTable& table, const std::string& path);
// The sheet's JPEG bytes as SaveSheetJpeg writes them, without the table (name for messages).
std::vector<uint8_t> CompressSheet(const IMG& sheet, const std::string& name);

// How a file is named in an index: relative to the output folder, so that a sheet opened later finds
// it ("photo.jpg" for a file beside the sheet, "../in/photo.jpg" for one elsewhere).
std::string IndexedName(const std::string& file, const std::string& outputFolder);
