#include "jobs/contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/messages.h"
#include "formats/jpeg/jpeg.h"
#include "formats/output_file.h"
#include "jobs/batch_convert.h"
#include "jobs/mosaic_index.h"
#include "jobs/sheet_table.h"

namespace {

// The integer square root of r, plus 1 when its square falls short of r: the side of the smallest
// square grid that holds r cells.
int SquareSide(int r) {
    int n = static_cast<int>(std::sqrt(static_cast<double>(r)));
    while (n * n > r) --n;
    while ((n + 1) * (n + 1) <= r) ++n;
    return n * n < r ? n + 1 : n;
}

// One run: the sheet being filled, its grid and its index, and the sheets finished so far.
class SheetRun {
public:
    SheetRun(const ContactSheetRequest& request, ContactSheetResult& result) : request_(request), result_(result) {}

    // Starts a sheet sized for the files not yet processed (none when no file remains).
    void startSheet() {
        column_ = row_ = 0;
        const int remaining = static_cast<int>(request_.files.size() - result_.filesProcessed);
        if (remaining == 0) return;
        const PixelSize cell = request_.cell;
        columns_ = request_.sheet.width / cell.width;
        rows_ = request_.sheet.height / cell.height;
        const int n = SquareSide(remaining);
        if (n * n < columns_ * rows_) {
            // Shrunk to what the remaining files need, never past the largest sheet.
            columns_ = std::min(n, columns_);
            rows_ = std::min((remaining + columns_ - 1) / columns_, rows_);
        }
        sheet_ = LumoCreateImage(columns_ * cell.width, rows_ * cell.height, COLOR, nullptr, 24);
        std::memset(sheet_->bits, 0, PixelBytes(*sheet_));
        table_ = SheetTable{};
        table_.width = sheet_->width;
        table_.height = sheet_->height;
        table_.largestWidth = request_.sheet.width;
        table_.largestHeight = request_.sheet.height;
        table_.cellWidth = cell.width;
        table_.cellHeight = cell.height;
    }

    // Pastes a file's cell picture into the next free cell and writes its index line.
    void place(const std::string& file, ImagePtr picture) {
        if (column_ == 0 && row_ == 0) openIndex();
        picture = FitToCell(std::move(picture), request_.cell);
        const PixelSize cell = request_.cell;
        const int w = picture->width, h = picture->height;
        const int x = column_ * cell.width + (cell.width - w) / 2;
        const int y = row_ * cell.height + (cell.height - h) / 2;
        for (int j = 0; j < h; ++j) std::memcpy(PictureRow(*sheet_, y + j) + 3 * x, PictureRow(*picture, j), 3 * w);
        const std::string name = IndexedName(file, request_.outputFolder);
        const std::string line = IndexLine(name, x, y, x + w, y + h);
        index_->write(line.data(), line.size());
        // A picture that cannot be read again is recorded with a zero fingerprint: shown as changed later.
        table_.cells.push_back({x, y, x + w, y + h, name, FingerprintFile(file).value_or(PictureFingerprint{})});
        ++thumbnails_;
        if (++column_ == columns_) {
            column_ = 0;
            ++row_;
        }
    }

    bool sheetFull() const { return sheet_ && row_ == rows_; }
    bool sheetHasThumbnails() const { return sheet_ && (column_ != 0 || row_ != 0); }
    std::string sheetPath(const char* extension) const {
        return PathInFolder(request_.outputFolder, SheetFileName(sheetNumber_, extension, request_.baseName));
    }

    // Saves the sheet and its index and lets go of both; whatever happens, the sheet is released once.
    void finishSheet(bool continued) {
        ImagePtr sheet = std::move(sheet_);
        std::unique_ptr<OutputFile> index = std::move(index_);
        const std::string path = sheetPath("jpg");
        if (LumoVerbose()) LumoWarning(nullptr, "Creating mosaic file %s", path.c_str());
        table_.sheetNumber = sheetNumber_;
        table_.continued = continued;
        SaveSheetJpeg(*sheet, table_, path);
        index->commit();
        result_.sheets.push_back({path, index->targetName(), sheet->width, sheet->height, thumbnails_});
    }

private:
    void openIndex() {
        ++sheetNumber_;
        thumbnails_ = 0;
        index_ = std::make_unique<OutputFile>(sheetPath("idx").c_str(), "Mosaic", "Can't create index file %s");
        index_->write(kIndexHeader, std::strlen(kIndexHeader));
    }

    const ContactSheetRequest& request_;
    ContactSheetResult& result_;
    int sheetNumber_ = 0;  // sheets (index files) started
    int columns_ = 0, rows_ = 0;
    int column_ = 0, row_ = 0;  // the next free cell
    int thumbnails_ = 0;        // placed on the sheet being filled
    ImagePtr sheet_;
    SheetTable table_;                   // the cells of the sheet being filled
    std::unique_ptr<OutputFile> index_;  // open while its sheet is being filled
};

}  // namespace

std::string SheetFileName(int sheetNumber, const char* extension, const std::string& baseName) {
    const std::string number = sheetNumber == 1 ? "" : std::to_string(sheetNumber);
    return baseName + number + "." + extension;
}

std::vector<uint8_t> CompressSheet(const IMG& sheet, const std::string& name) {
    LumoSetIntOptionJpeg("quality", 85);
    LumoSetIntOptionJpeg("optimize", 1);
    LumoSetIntOptionJpeg("fast", 0);
    std::vector<uint8_t> bytes;
    WriteJpeg(&sheet, [&bytes](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); }, name.c_str());
    return bytes;
}

void SaveSheetJpeg(const IMG& sheet, const SheetTable& table, const std::string& path) {
    std::vector<uint8_t> bytes = CompressSheet(sheet, path);
    AddSheetTable(bytes, table);
    OutputFile out(path.c_str(), "LumoSaveJpeg", "Can't open file %s\n");
    LumoProgress(-1);
    out.write(bytes.data(), bytes.size());
    out.commit();
    LumoProgress(-2);
}

std::string IndexedName(const std::string& file, const std::string& outputFolder) {
    namespace fs = std::filesystem;
    std::error_code folderError, fileError;
    const fs::path folder = fs::absolute(outputFolder.empty() ? "." : outputFolder, folderError);
    const fs::path target = fs::absolute(file, fileError);
    if (folderError || fileError) return file;
    fs::path relative = target.lexically_normal().lexically_relative((folder / "").lexically_normal());
    return relative.empty() ? file : relative.string();
}

ContactSheetResult BuildContactSheets(const ContactSheetRequest& request) {
    ContactSheetResult result;
    const PixelSize cell = request.cell, sheet = request.sheet;
    if (cell.width < 1 || cell.height < 1 || cell.width > sheet.width || cell.height > sheet.height) {
        result.failure = FileFailure{0, "", "Mosaic", "The thumbnails do not fit on the sheet"};
        return result;
    }
    const ProgressBarOff progressOff;
    const CellPictureSource source =
        request.source ? request.source : [&](size_t i) { return MakeCellPicture(request.files[i].c_str(), cell); };
    SheetRun run(request, result);

    const size_t count = request.files.size();
    result.failure = TryFileWork(0, "", [&] { run.startSheet(); });
    for (size_t i = 0; i < count && !result.failure; ++i) {
        const std::string& file = request.files[i];
        ShowFileStatus("Processing file %s (%d/%d)", file, i, count);
        if (request.onFile) request.onFile(i, count, file);
        result.failure = TryFileWork(i, file, [&] {
            ImagePtr picture = source(i);
            if (picture) run.place(file, std::move(picture));
            else result.skipped.push_back(file);
        });
        if (!result.failure && run.sheetFull()) {
            result.failure = TryFileWork(i, run.sheetPath("jpg"), [&] { run.finishSheet(i + 1 < count); });
            // The next sheet is sized while the file just placed still counts as remaining.
            if (!result.failure) result.failure = TryFileWork(i, file, [&] { run.startSheet(); });
        }
        if (!result.failure) ++result.filesProcessed;
    }
    // The sheet being filled is kept, also when a file stopped the run.
    if (run.sheetHasThumbnails()) {
        std::optional<FileFailure> failure = TryFileWork(count, run.sheetPath("jpg"), [&] { run.finishSheet(false); });
        if (!result.failure) result.failure = std::move(failure);
    }
    return result;
}
