// Feeds arbitrary bytes to the JPEG XL loader: every input must give an image or a clean LumoFailure.
#include "formats/jxl/jxl.h"
#include "fuzz/fuzz_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzLoader(data, size, "fuzz.jxl", LoadJxlFrom);
}
