// Feeds arbitrary bytes to the reader of a contact sheet's embedded cell table, twice: as a JPEG
// header (the APP9 segments are found by walking the markers) and as a list of segment contents
// (each one a length byte, then that many bytes), so that both the marker walk and the part joining
// and table parsing see hostile input. Nothing may be read outside the input; a table that parses
// must encode to segments that parse back to the same table.
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/jpeg/jpeg_segments.h"
#include "jobs/sheet_table.h"

namespace {

void CheckRoundTrip(const SheetTable& table) {
    const std::vector<std::vector<uint8_t>> encoded = EncodeSheetTable(table);
    std::vector<std::span<const uint8_t>> contents;
    for (const std::vector<uint8_t>& segment : encoded) {
        if (segment.size() > kAppSegmentCapacity) std::abort();
        contents.push_back(std::span<const uint8_t>(segment).subspan(kSheetTableSignature.size()));
    }
    const std::optional<SheetTable> again = ParseSheetTable(contents);
    if (!again || !(*again == table)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    if (const std::optional<SheetTable> table = SheetTableOfJpeg(bytes)) CheckRoundTrip(*table);

    std::vector<std::span<const uint8_t>> segments;
    for (size_t at = 0; at < size;) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        segments.push_back(bytes.subspan(at + 1, length));
        at += 1 + length;
    }
    if (const std::optional<SheetTable> table = ParseSheetTable(segments)) CheckRoundTrip(*table);

    std::vector<uint8_t> jpeg(data, data + size);
    InsertAppSegments(jpeg, kSheetTableApp, {std::vector<uint8_t>(data, data + std::min<size_t>(size, 64))});
    return 0;
}
