#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "core/memory.h"
#include "core/messages.h"
#include "core/options.h"
#include "formats/g3/g3.h"
#include "formats/g3/g3_detect.h"
#include "formats/g3/g3_repair.h"
#include "formats/g3/g3_rows.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadG3";

int twoDOption = 0;      // set by every load: the data was two-dimensionally coded
int msbToLsbOption = 0;  // set by every load: bits were filled from the most significant bit
int stretchOption = 0;   // non-zero: every decoded row is stored twice
const NamedOption<int> kIntOptions[] = {
    {"2d", &twoDOption}, {"msbtolsb", &msbToLsbOption}, {"stretch", &stretchOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown G3 option: %s");

constexpr int kGrowthRows = 100;    // the picture grows by this many rows at a time
constexpr int kBytesPerStep = 30;   // progress assumes about this many bytes of data per row

// The most rows a picture may have: the record's 16-bit height, and the global pixel limit.
int MostRows() {
    const int limit = LumoGetIntOption("maxpixels");
    return limit > 0 ? std::min(kMaxImageDimension, limit / kFaxWidth) : kMaxImageDimension;
}

// The decoded rows, top row first in stored row 0 onwards (the picture is flipped afterwards).
class RowStore {
public:
    RowStore() : mostRows_(MostRows()) {
        if (mostRows_ < 1) CheckLoadSize(kLoadModule, kFaxWidth, 1);  // reports the limit
        image_ = LumoCreateImage(kFaxWidth, std::min(kGrowthRows, mostRows_), BILEVEL, nullptr, 1);
        image_->xResolution = kFaxResolution;
        image_->yResolution = kFaxResolution;
    }

    int rows() const { return rows_; }

    void add(const uint8_t* row) {
        if (rows_ == image_->height) {
            // Checked before growing, so a page past the limits is refused, not cut.
            const int growth = std::min(kGrowthRows, mostRows_ - image_->height);
            if (growth <= 0) CheckLoadSize(kLoadModule, kFaxWidth, static_cast<long>(rows_) + 1);
            LumoAddRowsImage(image_.get(), growth);
        }
        std::memcpy(MemoryRow(*image_, rows_++), row, kFaxRowBytes);
    }

    // The picture with exactly the rows stored.
    ImagePtr finish() {
        LumoAddRowsImage(image_.get(), rows_ - image_->height);
        return std::move(image_);
    }

private:
    int mostRows_;
    int rows_ = 0;
    ImagePtr image_;
};

void ReportMessages(const G3RowDecoder& decoder) {
    for (const G3Message& message : decoder.messages())
        LumoWarning(message.module.c_str(), "%s", message.text.c_str());
}

struct DecodeTotals {
    int badRows = 0;      // errors the decoder reported
    int longestRun = 0;   // the longest run of consecutive bad rows
};

// Decodes every row into a new picture; a bad row is replaced by the last good one (white before
// the first good row).
ImagePtr DecodeAll(std::span<const uint8_t> data, size_t fileSize, G3Coding coding, bool stretch,
                   DecodeTotals& totals) {
    G3RowDecoder decoder(data, coding, kLoadModule);
    RowStore store;
    uint8_t row[kFaxRowBytes];
    uint8_t lastGood[kFaxRowBytes] = {};
    const long bytesPerPercent = std::max<long>(1, static_cast<long>(fileSize / kBytesPerStep));
    int run = 0;
    LumoProgress(-1);
    while (decoder.next(row)) {
        ReportMessages(decoder);
        if (decoder.errors() > 0) {
            totals.badRows += decoder.errors();
            ++run;
            std::memcpy(row, lastGood, sizeof row);
        } else {
            totals.longestRun = std::max(totals.longestRun, run);
            run = 0;
            std::memcpy(lastGood, row, sizeof row);
        }
        LumoProgress(static_cast<int>(std::min<long>(100, store.rows() * 100L / bytesPerPercent)));
        store.add(row);
        if (stretch) store.add(row);
    }
    totals.longestRun = std::max(totals.longestRun, run);
    const int rows = store.rows();
    ImagePtr image = store.finish();
    if (LumoVerbose()) {
        LumoWarning("LoadG3", "\n%d rows in input", rows);
        LumoWarning("LoadG3", "%d total bad rows", totals.badRows);
        LumoWarning("LoadG3", "%d max consecutive bad rows", totals.longestRun);
    }
    LumoProgress(-2);
    return image;
}

}  // namespace

void LumoSetIntOptionG3(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionG3", name, value); }
int LumoGetIntOptionG3(const char* name) { return kIntRegistry.get("LumoGetIntOptionG3", name); }

ImagePtr LumoLoadG3(const char* fileName) {
    InputFile file(fileName, kLoadModule, "Can't open input file %s");
    return LoadG3From(file);
}

ImagePtr LoadG3From(InputFile& file) {
    const size_t size = file.size();
    LumoBuffer<uint8_t> block = LumoAllocBuffer<uint8_t>(std::max<size_t>(size, 1), kLoadModule);
    const std::span<const uint8_t> data(block.get(), file.read(block.get(), size));

    const std::optional<G3Coding> coding = DetectG3Coding(data);
    if (!coding) return nullptr;
    twoDOption = coding->twoD;
    msbToLsbOption = coding->msbToLsb;

    DecodeTotals totals;
    ImagePtr image = DecodeAll(data, data.size(), *coding, stretchOption != 0, totals);
    // A recognised file whose rows all vanish (nothing but end-of-line markers) is no picture either.
    if (image->height == 0) return nullptr;
    FlipImage(image.get());
    LumoInvertImage(image.get());  // the decoder's 1 is black; in BW 1 is white
    if (totals.badRows > 0) RepairG3Picture(*image, totals.badRows);
    return image;
}
