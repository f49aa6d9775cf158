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
        const std::string line = IndexLine(IndexedName(file, request_.outputFolder), x, y, x + w, y + h);
        index_->write(line.data(), line.size());
        ++thumbnails_;
        if (++column_ == columns_) {
            column_ = 0;
            ++row_;
        }
    }

    bool sheetFull() const { return sheet_ && row_ == rows_; }
    bool sheetHasThumbnails() const { return sheet_ && (column_ != 0 || row_ != 0); }
    std::string sheetPath(const char* extension) const {
        return PathInFolder(request_.outputFolder, SheetFileName(sheetNumber_, extension));
    }

    // Saves the sheet and its index and lets go of both; whatever happens, the sheet is released once.
    void finishSheet() {
        ImagePtr sheet = std::move(sheet_);
        std::unique_ptr<OutputFile> index = std::move(index_);
        const std::string path = sheetPath("jpg");
        if (LumoVerbose()) LumoWarning(nullptr, "Creating mosaic file %s", path.c_str());
        LumoSetIntOptionJpeg("quality", 85);
        LumoSetIntOptionJpeg("optimize", 1);
        LumoSetIntOptionJpeg("fast", 0);
        LumoSaveJpeg(sheet.get(), path.c_str());
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
    std::unique_ptr<OutputFile> index_;  // open while its sheet is being filled
};

}  // namespace

std::string SheetFileName(int sheetNumber, const char* extension) {
    const std::string number = sheetNumber == 1 ? "" : std::to_string(sheetNumber);
    return "-mosaic" + number + "." + extension;
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
            result.failure = TryFileWork(i, run.sheetPath("jpg"), [&] { run.finishSheet(); });
            // The next sheet is sized while the file just placed still counts as remaining.
            if (!result.failure) result.failure = TryFileWork(i, file, [&] { run.startSheet(); });
        }
        if (!result.failure) ++result.filesProcessed;
    }
    // The sheet being filled is kept, also when a file stopped the run.
    if (run.sheetHasThumbnails()) {
        std::optional<FileFailure> failure = TryFileWork(count, run.sheetPath("jpg"), [&] { run.finishSheet(); });
        if (!result.failure) result.failure = std::move(failure);
    }
    return result;
}
