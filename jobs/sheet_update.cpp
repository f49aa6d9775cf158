#include "jobs/sheet_update.h"

#include <algorithm>
#include <cstring>

#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/input_file.h"
#include "formats/jpeg/jpeg_splice.h"
#include "formats/output_file.h"
#include "jobs/mosaic_index.h"

namespace {

constexpr const char* kModule = "Mosaic";
// Far beyond the largest sheet offered (1024 x 768), and small enough that a lying table or header
// cannot make the update hold gigabytes of blocks.
constexpr int kLargestSheetSide = 8192;

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    InputFile file(path.c_str(), kModule, "Can't open file %s");
    std::vector<uint8_t> bytes(file.size());
    if (file.read(bytes.data(), bytes.size()) != bytes.size()) LumoError(kModule, "Error reading %s", path.c_str());
    return bytes;
}

// The folder of the sheet as the builder's output folder: empty for the current one.
std::string SheetFolder(const std::string& sheetPath) {
    std::string folder = SplitFileName(sheetPath).directory;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    return folder;
}

void WriteIndexFile(const std::string& path, const SheetTable& table) {
    OutputFile index(path.c_str(), kModule, "Can't create index file %s");
    index.write(kIndexHeader, std::strlen(kIndexHeader));
    for (const SheetCell& cell : table.cells) {
        const std::string line = IndexLine(cell.name, cell.left, cell.top, cell.right, cell.bottom);
        index.write(line.data(), line.size());
    }
    index.commit();
}

// The grid cell i occupies on a sheet of the table's size.
PixelRect CellArea(const SheetTable& table, size_t i) {
    const int columns = table.width / table.cellWidth;
    const int column = static_cast<int>(i) % columns, row = static_cast<int>(i) / columns;
    return {column * table.cellWidth, row * table.cellHeight, (column + 1) * table.cellWidth,
            (row + 1) * table.cellHeight};
}

bool Meets(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

SheetUpdateResult Rebuild(const SheetUpdateRequest& request, const SheetTable& table,
                          const std::vector<PictureState>& states, SheetUpdateResult result) {
    ContactSheetRequest build;
    for (size_t i = 0; i < table.cells.size(); ++i)
        if (states[i] != PictureState::Gone) build.files.push_back(CellPicturePath(request.sheet, table.cells[i].name));
    build.files.insert(build.files.end(), request.added.begin(), request.added.end());
    build.sheet = {table.largestWidth, table.largestHeight};
    build.cell = {table.cellWidth, table.cellHeight};
    build.outputFolder = SheetFolder(request.sheet);
    build.baseName = SplitFileName(request.sheet).baseName;
    const ContactSheetResult built = BuildContactSheets(build);
    if (built.failure) LumoError(kModule, "%s", DescribeFailure(*built.failure).c_str());
    if (built.sheets.size() != 1)
        LumoError(kModule, "%s: the pictures no longer fill one sheet: make the sheets again with lumo mosaic",
                  request.sheet.c_str());
    result.outcome = SheetUpdateResult::Outcome::Rebuilt;
    result.thumbnailsMade = static_cast<int>(build.files.size());
    result.written = built.sheets.front();
    return result;
}

}  // namespace

std::vector<PictureState> CheckSheetCells(const std::string& sheetPath, const SheetTable& table) {
    std::vector<PictureState> states;
    states.reserve(table.cells.size());
    for (const SheetCell& cell : table.cells)
        states.push_back(CheckPicture(CellPicturePath(sheetPath, cell.name), cell.picture));
    return states;
}

SheetUpdateResult UpdateContactSheet(const SheetUpdateRequest& request) {
    const std::vector<uint8_t> old = ReadWholeFile(request.sheet);
    std::optional<SheetTable> found = SheetTableOfJpeg(old);
    if (!found) LumoError(kModule, "%s carries no cell table", request.sheet.c_str());
    SheetTable table = std::move(*found);
    if (table.sheetNumber != 1 || table.continued)
        LumoError(kModule, "%s is one of several sheets made together: make them again with lumo mosaic",
                  request.sheet.c_str());
    // The cells are placed by their number in the grid: a table with more cells than the grid holds
    // would place them outside the sheet.
    const size_t gridCells = table.width < table.cellWidth || table.height < table.cellHeight
                                 ? 0
                                 : size_t(table.width / table.cellWidth) * size_t(table.height / table.cellHeight);
    if (gridCells == 0 || table.cells.size() > gridCells)
        LumoError(kModule, "%s: its cell table does not fit the sheet", request.sheet.c_str());

    SheetUpdateResult result;
    const std::vector<PictureState> states = CheckSheetCells(request.sheet, table);
    std::vector<size_t> changed;
    for (size_t i = 0; i < states.size(); ++i) {
        if (states[i] == PictureState::Changed) {
            result.changed.push_back(table.cells[i].name);
            changed.push_back(i);
        } else if (states[i] == PictureState::Gone) {
            result.gone.push_back(table.cells[i].name);
        }
    }
    if (!result.gone.empty() || !request.added.empty()) return Rebuild(request, table, states, std::move(result));
    if (changed.empty()) return result;

    // The areas the changed cells' blocks cover, widened to whole MCUs; every cell in them is made
    // again, so that the blocks taken from the new compression hold exactly a full run's pixels.
    const std::optional<JpegGrid> grid = ReadJpegGrid(old);
    if (!grid) LumoError(kModule, "%s is not a JPEG file libjpeg reads", request.sheet.c_str());
    // The table must describe this very picture, of a size a sheet can have: the blocks and the new
    // raster are sized by it.
    if (grid->width != table.width || grid->height != table.height || table.width > kLargestSheetSide ||
        table.height > kLargestSheetSide)
        LumoError(kModule, "%s: its cell table does not fit the sheet", request.sheet.c_str());
    const int mw = grid->mcuWidth, mh = grid->mcuHeight;
    std::vector<PixelRect> regions;
    for (size_t i : changed) {
        const PixelRect area = CellArea(table, i);
        regions.push_back({area.left / mw * mw, area.top / mh * mh, (area.right + mw - 1) / mw * mw,
                           (area.bottom + mh - 1) / mh * mh});
    }
    ImagePtr sheet = LumoCreateImage(table.width, table.height, COLOR, nullptr, 24);
    std::memset(sheet->bits, 0, PixelBytes(*sheet));
    const PixelSize cell{table.cellWidth, table.cellHeight};
    for (size_t i = 0; i < table.cells.size(); ++i) {
        const PixelRect area = CellArea(table, i);
        if (std::none_of(regions.begin(), regions.end(), [&](const PixelRect& r) { return Meets(area, r); })) continue;
        const std::string path = CellPicturePath(request.sheet, table.cells[i].name);
        ShowFileStatus("Processing file %s (%d/%d)", path, i, table.cells.size());
        ImagePtr picture = MakeCellPicture(path.c_str(), cell);
        ++result.thumbnailsMade;
        // A picture that now gives no thumbnail leaves its cell out: the layout moves, as in a full run.
        if (!picture) return Rebuild(request, table, states, std::move(result));
        picture = FitToCell(std::move(picture), cell);
        const int w = picture->width, h = picture->height;
        const int x = area.left + (cell.width - w) / 2, y = area.top + (cell.height - h) / 2;
        for (int j = 0; j < h; ++j) std::memcpy(PictureRow(*sheet, y + j) + 3 * x, PictureRow(*picture, j), 3 * w);
        SheetCell& entry = table.cells[i];
        entry.left = x;
        entry.top = y;
        entry.right = x + w;
        entry.bottom = y + h;
        if (states[i] == PictureState::Changed)
            entry.picture = FingerprintFile(path).value_or(PictureFingerprint{});
    }

    const std::vector<uint8_t> fresh = CompressSheet(*sheet, request.sheet);
    std::optional<std::vector<uint8_t>> spliced = SpliceJpegBlocks(old, fresh, regions);
    // A sheet compressed with other settings (another chroma subsampling) has other blocks: build it again.
    if (!spliced) return Rebuild(request, table, states, std::move(result));
    AddSheetTable(*spliced, table);
    {
        OutputFile out(request.sheet.c_str(), "LumoSaveJpeg", "Can't open file %s\n");
        out.write(spliced->data(), spliced->size());
        out.commit();
    }
    const SplitName split = SplitFileName(request.sheet);
    const std::string indexPath = split.directory + split.baseName + ".idx";
    WriteIndexFile(indexPath, table);
    result.outcome = SheetUpdateResult::Outcome::Patched;
    result.written = {request.sheet, indexPath, table.width, table.height, static_cast<int>(table.cells.size())};
    return result;
}
