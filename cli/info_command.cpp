#include "cli/info_command.h"

#include <cstdio>

#include "cli/terminal.h"
#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/animation.h"
#include "formats/image_info.h"
#include "formats/tiff/tiff.h"
#include "jobs/sheet_update.h"

namespace {

// A contact sheet's cells from the table it carries: one line each, with the rectangle, the picture's
// name and, when it no longer is what the sheet shows, why.
void ListSheetCells(const std::string& path) {
    const std::optional<SheetTable> table = ReadSheetTable(path);
    if (!table) return;
    const std::vector<PictureState> states = CheckSheetCells(path, *table);
    std::printf("  contact sheet %d, %zu cells of %dx%d\n", table->sheetNumber, table->cells.size(), table->cellWidth,
                table->cellHeight);
    for (size_t i = 0; i < table->cells.size(); ++i) {
        const SheetCell& cell = table->cells[i];
        const char* state = PictureStateText(states[i]);
        std::printf("  cell %zu: %d,%d-%d,%d %s%s%s%s\n", i + 1, cell.left, cell.top, cell.right, cell.bottom,
                    cell.name.c_str(), *state ? " (" : "", state, *state ? ")" : "");
    }
}

}  // namespace

int RunInfo(const std::vector<std::string>& files) {
    int status = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        SetCurrentFile(files[i], i, files.size());
        try {
            const std::optional<ImageInfo> info = ReadImageInfo(files[i].c_str());
            ClearProgressLine();
            if (!info) {
                status = 1;
                continue;
            }
            // A TIFF file of several pages: the count on the file's line, then a line per page.
            const std::vector<ImageInfo> pages =
                LoadRouteName(files[i].c_str()) == "tif" ? ReadTiffPages(files[i].c_str()) : std::vector<ImageInfo>();
            const size_t frames = CountAnimationFrames(files[i].c_str());
            if (frames > 1) {
                std::printf("%s: %dx%d %s, %zu frames\n", files[i].c_str(), info->width, info->height,
                            KindName(info->kind), frames);
                continue;
            }
            if (pages.size() < 2) {
                std::printf("%s: %dx%d %s\n", files[i].c_str(), info->width, info->height, KindName(info->kind));
                if (LoadRouteName(files[i].c_str()) == "jpg") ListSheetCells(files[i]);
                continue;
            }
            std::printf("%s: %dx%d %s, %zu pages\n", files[i].c_str(), info->width, info->height, KindName(info->kind),
                        pages.size());
            for (size_t page = 0; page < pages.size(); ++page)
                std::printf("  page %zu: %dx%d %s\n", page + 1, pages[page].width, pages[page].height,
                            KindName(pages[page].kind));
        } catch (const LumoFailure& failure) {
            ReportFileError(files[i], std::string(failure.text()) + " (module " + failure.module() + ")");
            status = 1;
        }
    }
    return status;
}
