// Sector access to a Photo CD file: absolute seeks by sector, relative skips, and reads that count a
// short read as an error.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/input_file.h"

constexpr size_t kPcdSectorBytes = 2048;

class PcdSectorReader {
public:
    explicit PcdSectorReader(InputFile& file) : file_(file) {}

    // Moves to the start of sector n. A position past the end of the file is taken as the end, as
    // a disk file takes it: the next read comes up short. A negative sector is a seek error.
    void seekSector(long long sector) { seekTo(sector * static_cast<long long>(kPcdSectorBytes)); }
    void seekTo(long long offset);
    // Passes over count bytes (never beyond the end of the file).
    void skip(size_t count);
    // Reads count bytes in reads of at most 32768; fewer than asked: "Error while reading PCD file.".
    void read(uint8_t* destination, size_t count);
    // As read, but yields false instead of reporting when the file ends too early.
    bool tryRead(uint8_t* destination, size_t count);
    // Reads the whole of sector n into buffer (kPcdSectorBytes bytes).
    void readSector(long long sector, uint8_t* buffer) {
        seekSector(sector);
        read(buffer, kPcdSectorBytes);
    }
    long long position() const { return file_.position(); }

private:
    InputFile& file_;
};
