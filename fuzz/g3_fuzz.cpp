// Feeds arbitrary bytes to the raw fax loader: every input gives a fax picture, no picture (not fax
// data) or a clean LumoFailure. The input's length picks "stretch", so both row paths are searched;
// a picture must be 1728 pixels wide with an even number of rows when stretched.
#include <cstdlib>

#include "formats/g3/g3.h"
#include "fuzz/fuzz_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool stretch = size % 2 != 0;
    LumoSetIntOptionG3("stretch", stretch);
    return FuzzLoader(data, size, "fuzz.fax", [stretch](InputFile& file) {
        ImagePtr image = LoadG3From(file);
        if (image && (image->width != 1728 || image->height == 0 || (stretch && image->height % 2 != 0)))
            std::abort();
        return image;
    });
}
