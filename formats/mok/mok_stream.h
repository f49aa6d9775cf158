// An open MOK file and its bit stream, as LumoOpenMok gives it: reading ("r") takes the file's
// bytes through a MokBitReader, writing ("w") goes through a MokBitWriter to an OutputFile, which
// replaces the target only when the stream is closed (a save that fails leaves an old file alone).
#pragma once

#include <memory>
#include <string>

#include "formats/byte_sink.h"
#include "formats/input_file.h"
#include "formats/mok/mok_bits.h"
#include "formats/output_file.h"

class MokStream {
public:
    MokStream(const char* path, bool writing);
    MokStream(const MokStream&) = delete;
    MokStream& operator=(const MokStream&) = delete;

    // "rb" or "wb", the mode the file was opened in.
    const std::string& status() const { return status_; }

    // The bit operations; using one of the other direction is reported (module "MokStream").
    void putBit(int bit) { writer().putBit(bit); }
    void putBits(uint32_t value, int count) { writer().putBits(value, count); }
    void flush() { writer().flush(); }
    int getBit() { return reader().getBit(); }
    uint32_t getBits(int count) { return reader().getBits(count); }

    MokBitReader& reader();
    MokBitWriter& writer();

    // Writing: flushes the partly filled byte and puts the file in place (every failure reported).
    void close();

private:
    std::string status_;
    std::unique_ptr<InputFile> input_;
    std::unique_ptr<MokBitReader> reader_;
    std::unique_ptr<OutputFile> output_;
    ByteSink sink_;
    std::unique_ptr<MokBitWriter> writer_;
};

using MokStreamPtr = std::unique_ptr<MokStream>;

// Opens path for binary reading when status starts with "r", or creates it for binary writing
// when it starts with "w"; any other status is "Illegal status: %s" (module "LumoOpenMok"), a file
// that cannot be opened "Can't open file %s".
MokStreamPtr LumoOpenMok(const char* path, const char* status);
// Closes the stream (see MokStream::close) and releases it. A stream released without closing, as
// when an error unwinds a save, leaves no file behind.
void LumoCloseMok(MokStreamPtr stream);
