// Feeds arbitrary bytes to the AVIF loader: every input must give an image or a clean LumoFailure.
// The box parser and the AV1 decoder (dav1d) both see the damage: a mutation of the coded data
// reaches the decoder, since AVIF carries no checksum.
#include "formats/avif/avif.h"
#include "fuzz/fuzz_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzLoader(data, size, "fuzz.avif", LoadAvifFrom);
}
