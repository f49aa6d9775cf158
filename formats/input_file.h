// A file opened for reading, closed however the load ends. Loaders read through it so
// that the same code reads a file on disk or a block of memory (the fuzz harnesses).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/memory.h"

class InputFile {
public:
    // Opens a regular file; reports cantOpen (a format taking the file name) with module when it
    // cannot, and "Not a regular file: %s" for a folder, FIFO, device or socket, without waiting on
    // it (a FIFO with no writer, /dev/zero).
    InputFile(const char* fileName, const char* module, const char* cantOpen = "Can't open file %s");
    // Reads a block of memory as if it were a file named name (the block must outlive the object).
    InputFile(const uint8_t* data, size_t size, const char* name);
    // Reads a stream the caller opened (standard input when the command line asks for it), whatever it
    // is: its bytes up to the end are taken in first, so that sizes and seeks work as for a file. The
    // stream stays open. A read error is reported "Error reading %s" with module.
    InputFile(std::FILE* stream, const char* name, const char* module);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Reads up to count bytes; yields how many arrived (fewer at the end of the file).
    size_t read(void* destination, size_t count);
    // Reads one byte; yields -1 at the end of the file.
    int getByte() { return std::getc(file_); }
    // Skips count bytes (or to the end of the file); yields how many were skipped.
    size_t skip(size_t count);
    long position() const { return std::ftell(file_); }
    // Total size in bytes, and the bytes left after the current position.
    size_t size() const { return size_; }
    size_t remaining() const;
    const std::string& name() const { return name_; }
    // The stream, for libraries that read a FILE* themselves (libjpeg's stdio source).
    std::FILE* stream() { return file_; }

private:
    void openMemory(const uint8_t* data, size_t size);

    std::FILE* file_ = nullptr;
    std::string contents_;  // what was read from a caller's stream
    size_t size_ = 0;
    std::string name_;
};

// The rest of a file in memory, for libraries that decode from a block (libwebp, libavif, libjxl);
// the file's size bounds what is allocated. A short read is "Error reading file %s" with module.
struct FileBytes {
    LumoBuffer<uint8_t> data;
    size_t size = 0;
};
FileBytes ReadRemainingBytes(InputFile& file, const char* module);
