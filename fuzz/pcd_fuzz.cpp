// Feeds arbitrary bytes to the Photo CD loader: every input must give an image, no image (a missing
// overview thumbnail) or a clean LumoFailure, with nothing read or written outside a buffer and
// nothing leaked. The loader never reads sector 0, so its first bytes choose the options:
//   byte 0: "pcdsize" 1 + byte % 6; byte 1: "crsubsampled" byte & 1; byte 2: "numthumbnail" byte % 8;
//   byte 3: 'Z' for a compact input, anything else for a whole file.
// A compact input is the part of a pack from sector 384 on (the 16Base search start, the Huffman
// tables and the residual sections), placed after fixed Base/16, Base/4 and Base pictures; byte 4
// is the orientation byte. That keeps the seeds of the large sizes small.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/pcd/pcd.h"
#include "fuzz/fuzz_loader.h"
#include "tests/support/pcd_writer.h"

namespace {

constexpr size_t kCompactHeader = 5;

const std::vector<uint8_t>& Prefix() {
    static const std::vector<uint8_t> prefix = [] {
        std::vector<uint8_t> file = pcd_writer::WritePack(pcd_writer::PackLayout{});
        file.resize(384 * pcd_writer::kSector);
        return file;
    }();
    return prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kCompactHeader) return 0;
    LumoSetIntOptionPcd("pcdsize", 1 + data[0] % 6);
    LumoSetIntOptionPcd("crsubsampled", data[1] & 1);
    LumoSetIntOptionPcd("numthumbnail", data[2] % 8);
    std::vector<uint8_t> compact;
    if (data[3] == 'Z') {
        compact = Prefix();
        compact[pcd_writer::kSector + 1538] = data[4];
        compact.insert(compact.end(), data + kCompactHeader, data + size);
    }
    const uint8_t* bytes = compact.empty() ? data : compact.data();
    const size_t length = compact.empty() ? size : compact.size();
    std::optional<ImageInfo> info;
    bool told = false;
    FuzzRun([&] {
        InputFile file(bytes, length, "fuzz.pcd");
        info = ReadPcdInfoFrom(file);
        told = true;
    });
    // The header reader tells the size of every picture that loads, and no size where none loads.
    return FuzzLoader(bytes, length, "fuzz.pcd", [&](InputFile& file) {
        ImagePtr image = LoadPcdFrom(file);
        if (!told || (image ? !info || !SameInfo(*info, InfoOf(*image)) : info.has_value())) std::abort();
        return image;
    });
}
