#include "cli/mosaic_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cli/ordered_workers.h"
#include "cli/terminal.h"
#include "core/messages.h"
#include "jobs/contact_sheet.h"
#include "jobs/file_lists.h"
#include "jobs/sheet_update.h"
#include "platform/status_text.h"

namespace {

// A cell picture as a worker sends it: 'N' for no thumbnail; 'P', width, height and the RGB rows from
// the top; 'F', the failing module and the message, each ended by a zero byte.
std::string PackCellPicture(const std::string& file, PixelSize cell) {
    try {
        const ImagePtr picture = MakeCellPicture(file.c_str(), cell);
        if (!picture) return "N";
        const int32_t size[2] = {picture->width, picture->height};
        std::string packed = "P";
        packed.append(reinterpret_cast<const char*>(size), sizeof size);
        for (int y = 0; y < picture->height; ++y)
            packed.append(reinterpret_cast<const char*>(PictureRow(*picture, y)), 3 * size_t{picture->width});
        return packed;
    } catch (const LumoFailure& failure) {
        return "F" + failure.module() + '\0' + failure.text() + '\0';
    } catch (const std::bad_alloc&) {
        return std::string("F\0Out of memory\0", 17);
    }
}

ImagePtr UnpackCellPicture(const std::string& packed) {
    if (packed == "N") return nullptr;
    if (packed.size() > 1 && packed[0] == 'F') {
        const char* module = packed.c_str() + 1;
        throw LumoFailure(module, module + std::strlen(module) + 1);  // reported by the worker's hook already
    }
    int32_t size[2] = {0, 0};
    if (packed.size() >= 1 + sizeof size) std::memcpy(size, packed.data() + 1, sizeof size);
    const size_t rowBytes = 3 * static_cast<size_t>(size[0]);
    if (packed[0] != 'P' || size[0] < 1 || size[1] < 1 || packed.size() != 1 + sizeof size + rowBytes * size[1])
        throw LumoFailure("", "The worker sent a damaged thumbnail");
    ImagePtr picture = LumoCreateImage(size[0], size[1], COLOR, nullptr, 24);
    for (int y = 0; y < size[1]; ++y) {
        uint8_t* row = PictureRow(*picture, y);
        std::memcpy(row, packed.data() + 1 + sizeof size + rowBytes * y, rowBytes);
        std::memset(row + rowBytes, 0, picture->rowBytes - rowBytes);
    }
    return picture;
}

// True for the names of the sheets themselves ("-mosaic.jpg", "-mosaic12.jpg"): a folder's sheets
// are not pictures of the folder.
bool IsSheetName(const std::string& relative) {
    const std::string name = relative.substr(relative.rfind('/') + 1);
    if (name.size() < 11 || name.compare(0, 7, "-mosaic") != 0 || name.compare(name.size() - 4, 4, ".jpg") != 0)
        return false;
    return std::all_of(name.begin() + 7, name.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
}

bool MakeOutputFolder(const std::string& folder) {
    if (folder.empty()) return true;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (std::filesystem::is_directory(folder, error)) return true;
    std::fprintf(stderr, "lumo: %s is not a folder\n", folder.c_str());
    return false;
}

// One sheet set: the files' sheets in outputFolder.
int RunSheetSet(const MosaicRequest& request) {
    if (!MakeOutputFolder(request.outputFolder)) return 2;
    ContactSheetRequest sheets;
    sheets.files = request.files;
    sheets.sheet = request.sheet;
    sheets.cell = request.cell;
    sheets.outputFolder = request.outputFolder;
    sheets.onFile = [&](size_t i, size_t count, const std::string& file) { SetCurrentFile(file, i, count); };

    std::unique_ptr<OrderedWorkers> workers;
    if (request.jobs > 1 && request.files.size() > 1) {
        workers = std::make_unique<OrderedWorkers>(request.files.size(), request.jobs, [&](size_t i) {
            SetCurrentFile(request.files[i], i, request.files.size());
            SetStatusTextFunction([](const char*) {});  // the placing process shows the progress
            LumoSetIntOption("showprogress", 0);
            return PackCellPicture(request.files[i], request.cell);
        });
        if (workers->running()) {
            sheets.source = [&](size_t i) {
                const std::optional<std::string> packed = workers->take(i);
                if (!packed) throw LumoFailure("", "The worker loading it stopped");
                return UnpackCellPicture(*packed);
            };
        }
    }

    const StatusTextFunction previous = SetStatusTextFunction([](const char* text) { ShowStatusLine(text); });
    const ContactSheetResult result = BuildContactSheets(sheets);
    SetStatusTextFunction(previous);
    workers.reset();
    ClearProgressLine();

    for (const SheetWritten& sheet : result.sheets)
        std::printf("%s: %dx%d, %d thumbnails\n", sheet.path.c_str(), sheet.width, sheet.height, sheet.thumbnails);
    std::fflush(stdout);
    if (result.failure) {
        ReportFileError(result.failure->file, FailureText(*result.failure));
        std::fprintf(stderr, "lumo: stopped after %zu of %zu files\n", result.filesProcessed, request.files.size());
        return 1;
    }
    return 0;
}

int RunUpdate(const MosaicRequest& request) {
    if (request.recursive || !request.outputFolder.empty() || request.jobs > 1) {
        std::fprintf(stderr, "lumo: --update works on the sheet where it lies: no -r, -o or -j\n");
        return 2;
    }
    try {
        const SheetUpdateResult result = UpdateContactSheet({request.update, request.files});
        ClearProgressLine();
        for (const std::string& name : result.changed) std::printf("%s: changed since the sheet was made\n", name.c_str());
        for (const std::string& name : result.gone) std::printf("%s: gone\n", name.c_str());
        using Outcome = SheetUpdateResult::Outcome;
        const SheetWritten& sheet = result.written;
        if (result.outcome == Outcome::UpToDate)
            std::printf("%s: up to date\n", request.update.c_str());
        else
            std::printf("%s: %dx%d, %d thumbnails, %d made again%s\n", sheet.path.c_str(), sheet.width, sheet.height,
                        sheet.thumbnails, result.thumbnailsMade, result.outcome == Outcome::Rebuilt ? " (rebuilt)" : "");
        return 0;
    } catch (const LumoFailure& failure) {
        ClearProgressLine();
        ReportFileError(request.update, failure.text());
        return 1;
    }
}

}  // namespace

int RunMosaic(const MosaicRequest& request) {
    if (!request.update.empty()) return RunUpdate(request);
    if (request.files.empty()) {
        std::fprintf(stderr, "lumo: mosaic needs FILE (or --update SHEET)\n");
        return 2;
    }
    if (!request.recursive) return RunSheetSet(request);
    int status = 0;
    for (const std::string& root : request.files) {
        std::vector<std::string> unreadable;
        std::vector<TreeFile> files = CollectTreeFiles(root, request.selection, unreadable);
        for (const std::string& folder : unreadable) ReportFileError(folder, "can't read this folder");
        if (!unreadable.empty()) status = 1;
        files.erase(std::remove_if(files.begin(), files.end(), [](const TreeFile& f) { return IsSheetName(f.relative); }),
                    files.end());
        const auto folderOf = [](const std::string& relative) {
            const size_t slash = relative.rfind('/');
            return slash == std::string::npos ? std::string() : relative.substr(0, slash);
        };
        // Each folder's files together, in the walk's order: one set per folder.
        std::stable_sort(files.begin(), files.end(), [&](const TreeFile& a, const TreeFile& b) {
            return ListOrder(folderOf(a.relative), folderOf(b.relative));
        });
        for (size_t first = 0; first < files.size();) {
            const std::string folder = folderOf(files[first].relative);
            MosaicRequest set = request;
            set.recursive = false;
            set.files.clear();
            size_t last = first;
            for (; last < files.size() && folderOf(files[last].relative) == folder; ++last)
                set.files.push_back(files[last].path);
            const std::string here = folder.empty() ? root : root + "/" + folder;
            set.outputFolder = request.outputFolder.empty() ? here
                               : folder.empty()              ? request.outputFolder
                                                             : request.outputFolder + "/" + folder;
            status = std::max(status, RunSheetSet(set));
            first = last;
        }
    }
    return status;
}
