#include "formats/input_file.h"

#include <sys/stat.h>

#include "core/messages.h"

InputFile::InputFile(const char* fileName, const char* module, const char* cantOpen) : name_(fileName) {
    file_ = std::fopen(fileName, "rb");
    struct stat info;
    // A directory opens on Linux but cannot be read: treat it as a file that cannot be opened.
    if (!file_ || ::fstat(fileno(file_), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (file_) std::fclose(file_);
        file_ = nullptr;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        LumoError(module, cantOpen, fileName);
#pragma GCC diagnostic pop
    }
    size_ = static_cast<size_t>(info.st_size);
}

InputFile::InputFile(const uint8_t* data, size_t size, const char* name) : size_(size), name_(name) {
    // fmemopen refuses a zero-sized buffer in some C libraries; an empty file reads as empty anyway.
    static const uint8_t empty = 0;
    file_ = ::fmemopen(const_cast<uint8_t*>(size ? data : &empty), size ? size : 1, "rb");
    if (!file_) LumoError("InputFile", "Can't open file %s", name);
    if (size == 0) std::fgetc(file_);
}

InputFile::~InputFile() {
    if (file_) std::fclose(file_);
}

size_t InputFile::read(void* destination, size_t count) { return std::fread(destination, 1, count, file_); }

size_t InputFile::skip(size_t count) {
    const size_t left = remaining();
    const size_t step = count < left ? count : left;
    std::fseek(file_, static_cast<long>(step), SEEK_CUR);
    return step;
}

size_t InputFile::remaining() const {
    const long at = std::ftell(file_);
    return at < 0 || static_cast<size_t>(at) >= size_ ? 0 : size_ - static_cast<size_t>(at);
}
