// Where a saver's bytes go: a file (through OutputFile) or memory (the PostScript writer embeds a
// TIFF, the clipboard hands over a BMP). Savers that write front to back take a sink; the file
// saver is then a thin wrapper that points the sink at an OutputFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Receives the bytes of a file as they are produced, in order. Reports its own failures (LumoError).
using ByteSink = std::function<void(const uint8_t* bytes, size_t count)>;
