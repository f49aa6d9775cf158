// A file opened for reading, closed however the load ends. Loaders read through it so
// that the same code reads a file on disk or a block of memory (the fuzz harnesses).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class InputFile {
public:
    // Opens a file; reports cantOpen (a format taking the file name) with module when it cannot.
    InputFile(const char* fileName, const char* module, const char* cantOpen = "Can't open file %s");
    // Reads a block of memory as if it were a file named name (the block must outlive the object).
    InputFile(const uint8_t* data, size_t size, const char* name);
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
    std::FILE* file_ = nullptr;
    size_t size_ = 0;
    std::string name_;
};
