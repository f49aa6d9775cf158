// Feeds arbitrary bytes to the BMP loader.
#include "formats/bmp.h"
#include "fuzz/fuzz_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzLoader(data, size, "fuzz.bmp", LoadBmpFrom);
}
