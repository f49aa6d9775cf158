// The body every loader harness shares: the bytes are read as a file in memory, and every input
// must give an image or a clean LumoFailure, with nothing read or written outside a buffer (the
// sanitizers watch that) and no counted block leaked or freed twice.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/image.h"
#include "core/memory.h"
#include "core/messages.h"
#include "formats/image_info.h"
#include "formats/input_file.h"

// Runs one input's work with the hooks silenced: a clean LumoFailure is a valid outcome, a counted
// block leaked or freed twice aborts the run.
template <typename Work>
int FuzzRun(Work work) {
    static const bool silenced = [] {
        LumoSetErrorHandler(nullptr);
        LumoSetWarningHandler(nullptr);
        return true;
    }();
    (void)silenced;
    const long blocksBefore = LumoBlockCount();
    try {
        work();
    } catch (const LumoFailure&) {
    }
    if (LumoBlockCount() != blocksBefore) std::abort();
    return 0;
}

inline bool SameInfo(const ImageInfo& a, const ImageInfo& b) {
    return a.width == b.width && a.height == b.height && a.kind == b.kind;
}

template <typename Loader>
int FuzzLoader(const uint8_t* data, size_t size, const char* name, Loader load) {
    return FuzzRun([&] {
        InputFile file(data, size, name);
        ImagePtr image = load(file);
    });
}
