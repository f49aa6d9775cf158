#include "formats/pcd/pcd_overview.h"

#include <cstdio>
#include <cstring>

#include "core/messages.h"
#include "core/rescale.h"
#include "formats/pcd/pcd.h"
#include "formats/pcd/pcd_plane.h"
#include "platform/status_text.h"

namespace {

int overviewCount = 0;  // module-wide, like the codecs' options: the program has one thread

constexpr int kSheetWidth = 960;
constexpr int kSheetHeight = 640;
constexpr int kCellWidth = 96;
constexpr int kCellHeight = 64;
constexpr int kMaxThumbnails = 100;
constexpr int kThumbnailWidth = 192;  // each thumbnail of the file, before it is scaled to a cell
constexpr int kThumbnailHeight = 128;

// Progress reports are off while the sheet is built, one thumbnail load after another; the setting
// the caller had comes back however the sheet ends.
class ProgressOff {
public:
    ProgressOff() : previous_(LumoGetIntOption("showprogress")) { LumoSetIntOption("showprogress", 0); }
    ~ProgressOff() { LumoSetIntOption("showprogress", previous_); }
    ProgressOff(const ProgressOff&) = delete;
    ProgressOff& operator=(const ProgressOff&) = delete;

private:
    int previous_;
};

void CopyCell(const IMG& cell, IMG& sheet, int left, int top) {
    for (int y = 0; y < cell.height; ++y)
        std::memcpy(PictureRow(sheet, top + y) + 3 * left, PictureRow(cell, y), static_cast<size_t>(cell.width) * 3);
}

}  // namespace

int LoadPcdOverviewCount() { return overviewCount; }

void SetPcdOverviewCount(int count) { overviewCount = count < 0 ? 0 : count; }

ImagePtr LoadPcdOverview(const char* fileName) {
    ImagePtr sheet = LumoCreateImage(kSheetWidth, kSheetHeight, COLOR, nullptr, 24);
    std::memset(sheet->bits, 0, PixelBytes(*sheet));
    LumoSetIntOptionPcd("pcdsize", 6);
    ProgressOff progressOff;
    int placed = 0;
    for (; placed < kMaxThumbnails; ++placed) {
        LumoSetIntOptionPcd("numthumbnail", placed);
        char status[64];
        std::snprintf(status, sizeof status, "Loading thumbnail n'%d", placed + 1);
        ShowStatusText(status);
        ImagePtr thumbnail = LumoLoadPcd(fileName);
        if (!thumbnail) break;
        ImagePtr cell = LumoRescale(thumbnail.get(), kCellWidth, kCellHeight);
        thumbnail.reset();
        CopyCell(*cell, *sheet, kCellWidth * (placed % 10), kCellHeight * (placed / 10));
    }
    SetPcdOverviewCount(placed);
    return sheet;
}

ImageInfo ReadPcdOverviewInfo(const char* fileName) {
    // The first thumbnail load opens the file and holds a thumbnail's size against the limit before
    // it reads; a file with no whole thumbnail still gives the black sheet.
    InputFile file(fileName, kPcdModule, kPcdOpenMessage);
    CheckLoadSize(kPcdModule, kThumbnailWidth, kThumbnailHeight);
    return {kSheetWidth, kSheetHeight, ImageKind::RGB};
}
