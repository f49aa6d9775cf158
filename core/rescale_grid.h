// The sampling grid shared by the rescale paths: which source columns and rows each output
// pixel takes, and the checks every rescale entry point makes before touching pixels.
#pragma once

#include <cstdint>

#include "core/image.h"
#include "core/memory.h"

// Source columns first .. first + count - 1 of one output column (count is at least 1).
struct ColumnSpan {
    uint32_t first;
    uint32_t count;
};

// The column table: output column i starts at (width * i) / newWidth and ends where the next one
// starts; the last column ends at lastEnd (width - 1 for gray and bi-level, width for RGB, so the
// gray paths leave the last source column out of the last average). Reports "Out of memory" (module).
LumoBuffer<ColumnSpan> MakeColumnSpans(uint32_t width, uint32_t newWidth, uint32_t lastEnd, const char* module);

// Source rows first .. first + count - 1 of one output row (count is at least 1).
struct RowSpan {
    uint32_t first;
    uint32_t count;
};

// The row blocks of the averaging paths, handed out for output rows 0, 1, 2, ... in turn. A block
// ends before y = (height * (j + 1)) / newHeight, lowered to height - 1 when it reaches height, and
// the next block starts at that y even when this block had to be widened to one row: two rows
// stretched to four give rows 0, 0, 1, 1, and no block reaches past the last row.
class RowBlocks {
public:
    RowBlocks(uint32_t height, uint32_t newHeight) : height_(height), newHeight_(newHeight) {}
    RowSpan next();

private:
    uint32_t height_;
    uint32_t newHeight_;
    uint32_t row_ = 0;    // output rows handed out so far
    uint32_t bound_ = 0;  // where the next block starts
};

// Source row of output row j when enlarging: (height * j) / newHeight.
inline uint32_t NearestRow(uint32_t height, uint32_t newHeight, uint32_t j) {
    return static_cast<uint32_t>(static_cast<uint64_t>(height) * j / newHeight);
}

// Refuses a new size outside 1..65535 either way (the tables divide by it and the record cannot
// hold more) and an empty source (its tables would point before its first row), naming module.
void CheckRescaleSizes(const char* module, const IMG& image, int newWidth, int newHeight);
// Refuses a source of another kind than the path reads (it would read outside the rows).
void RequireKind(const char* module, const IMG& image, ImageKind kind);
