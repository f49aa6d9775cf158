// Feeds arbitrary bytes to the IMG loader as a file in memory: every input must give an image
// or a clean LumoFailure, with nothing read or written outside a buffer and nothing leaked.
#include <cstdint>
#include <cstdlib>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/img.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = [] {
        LumoSetErrorHandler(nullptr);
        LumoSetWarningHandler(nullptr);
        return true;
    }();
    (void)silenced;
    const long blocksBefore = LumoBlockCount();
    try {
        InputFile file(data, size, "fuzz.img");
        ImagePtr image = LoadIMGFrom(file);
    } catch (const LumoFailure&) {
    }
    if (LumoBlockCount() != blocksBefore) std::abort();  // a counted block was leaked or freed twice
    return 0;
}
