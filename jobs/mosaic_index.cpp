#include "jobs/mosaic_index.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "formats/dispatch.h"
#include "formats/jpeg/jpeg.h"
#include "formats/pcd/pcd_overview.h"

namespace {

// The grid of a Photo CD overview sheet.
constexpr int kCellWidth = 96;
constexpr int kCellHeight = 64;
constexpr int kCellsPerRow = 10;

// A line of this many characters or fewer (its line end counted) ends the index table.
constexpr size_t kShortLine = 5;

bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// "images/img0001.pcd" beside the overview; discs mounted with upper-case names hold
// "IMAGES/IMG0001.PCD" instead.
std::string PcdPictureName(const std::string& directory, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "images/img%04d.pcd", number);
    std::string relative = name;
    std::error_code ignored;
    if (!std::filesystem::exists(directory + relative, ignored))
        std::transform(relative.begin(), relative.end(), relative.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return relative;
}

std::vector<MosaicEntry> OverviewGrid(const std::string& directory) {
    const int count = std::clamp(LoadPcdOverviewCount(), 0, static_cast<int>(kMaxMosaicEntries));
    std::vector<MosaicEntry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int x = i % kCellsPerRow * kCellWidth;
        const int y = i / kCellsPerRow * kCellHeight;
        entries.push_back({x, y, x + kCellWidth, y + kCellHeight, PcdPictureName(directory, i + 1)});
    }
    return entries;
}

// Takes the last blank-separated token off the end of line and parses it as a decimal integer
// (optional sign, as "%d" reads it). Leaves line ending just before the token.
std::optional<int> TakeLastInteger(std::string_view& line) {
    size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !IsBlank(line[start - 1])) --start;
    std::string_view token = line.substr(start, end - start);
    line = line.substr(0, start);
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    int value = 0;
    const auto [next, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || error != std::errc() || next != token.data() + token.size()) return std::nullopt;
    return value;
}

// "NAME LEFT TOP RIGHT BOTTOM": the last four integers are the rectangle and everything before them,
// trimmed, is the name, so names holding spaces keep their cells. Anything else is malformed.
std::optional<MosaicEntry> ParseIndexLine(std::string_view line) {
    int rectangle[4];
    for (int k = 3; k >= 0; --k) {
        const std::optional<int> value = TakeLastInteger(line);
        if (!value) return std::nullopt;
        rectangle[k] = *value;
    }
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    if (line.empty()) return std::nullopt;
    return MosaicEntry{rectangle[0], rectangle[1], rectangle[2], rectangle[3], std::string(line)};
}

std::vector<MosaicEntry> ReadIndexTable(std::ifstream& index, int ratio) {
    std::vector<MosaicEntry> entries;
    std::string line;
    std::getline(index, line);  // the title line "*IDX index table"
    while (entries.size() < kMaxMosaicEntries && std::getline(index, line)) {
        const bool hadLineEnd = !index.eof();
        if (!line.empty() && line.back() == '\r') line.pop_back();  // written on a system with CR LF line ends
        if (line.size() + (hadLineEnd ? 1 : 0) <= kShortLine) break;
        std::optional<MosaicEntry> entry = ParseIndexLine(line);
        if (!entry) break;
        entry->left /= ratio;
        entry->top /= ratio;
        entry->right /= ratio;
        entry->bottom /= ratio;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

}  // namespace

std::string IndexLine(const std::string& name, int left, int top, int right, int bottom) {
    const int size = std::snprintf(nullptr, 0, "%-12s %4d %4d %4d %4d\n", name.c_str(), left, top, right, bottom);
    std::string line(static_cast<size_t>(size), '\0');
    std::snprintf(line.data(), line.size() + 1, "%-12s %4d %4d %4d %4d\n", name.c_str(), left, top, right, bottom);
    return line;
}

std::optional<std::vector<MosaicEntry>> LoadMosaicIndex(const std::string& path) {
    const SplitName split = SplitFileName(path);
    if (SameText(split.extension, "pcd") && SameText(split.baseName, "overview")) return OverviewGrid(split.directory);

    const bool jpeg = SameText(split.extension, "jpg");
    // Only the JPEG loader reduces a sheet (by its option "ratio", which it reads as at least 1);
    // a sheet in any other format was loaded at full size.
    const int ratio = jpeg ? std::max(LumoGetIntOptionJpeg("ratio"), 1) : 1;
    const std::optional<SheetTable> table = jpeg ? ReadSheetTable(path) : std::nullopt;

    const std::string indexPath = split.directory + split.baseName + ".idx";
    std::error_code ignored;
    std::ifstream index;
    if (std::filesystem::is_regular_file(indexPath, ignored)) index.open(indexPath, std::ios::binary);
    if (!index.is_open() || !index) {
        if (!table) return std::nullopt;
        std::vector<MosaicEntry> entries;
        for (const SheetCell& cell : table->cells) {
            if (entries.size() == kMaxMosaicEntries) break;
            entries.push_back({cell.left / ratio, cell.top / ratio, cell.right / ratio, cell.bottom / ratio, cell.name,
                               cell.picture});
        }
        return entries;
    }
    std::vector<MosaicEntry> entries = ReadIndexTable(index, ratio);
    // The index names the cells; the embedded table, when its cells agree with it, tells what was shown.
    if (table)
        for (size_t i = 0; i < entries.size() && i < table->cells.size(); ++i)
            if (table->cells[i].name == entries[i].name) entries[i].recorded = table->cells[i].picture;
    return entries;
}

PictureState MosaicEntryState(const std::string& sheetPath, const MosaicEntry& entry) {
    if (!entry.recorded) return PictureState::Same;
    return CheckPicture(CellPicturePath(sheetPath, entry.name), *entry.recorded);
}

int MosaicHitTest(const std::vector<MosaicEntry>& entries, int x, int y) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const MosaicEntry& e = entries[i];
        if (x >= e.left && x <= e.right && y >= e.top && y <= e.bottom) return static_cast<int>(i);
    }
    return -1;
}
