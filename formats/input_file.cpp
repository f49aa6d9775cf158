#include "formats/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/messages.h"
#include "formats/file_failure.h"

InputFile::InputFile(const char* fileName, const char* module, const char* cantOpen) : name_(fileName) {
    // Opening a FIFO for reading waits for a writer, and opening a device may act on it: look first,
    // and open without waiting in case the name changed in between.
    struct stat info;
    if (::stat(fileName, &info) != 0) FailOnFile(module, cantOpen, fileName, errno);
    if (!S_ISREG(info.st_mode)) FailOnFile(module, "Not a regular file: %s", fileName, 0);
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) FailOnFile(module, cantOpen, fileName, errno);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        FailOnFile(module, "Not a regular file: %s", fileName, 0);
    }
    file_ = ::fdopen(fd, "rb");
    if (!file_) {
        const int error = errno;
        ::close(fd);
        FailOnFile(module, cantOpen, fileName, error);
    }
    size_ = static_cast<size_t>(info.st_size);
}

InputFile::InputFile(const uint8_t* data, size_t size, const char* name) : name_(name) { openMemory(data, size); }

InputFile::InputFile(std::FILE* stream, const char* name, const char* module) : name_(name) {
    char block[1 << 16];
    size_t count;
    while ((count = std::fread(block, 1, sizeof block, stream)) > 0) contents_.append(block, count);
    if (std::ferror(stream)) FailOnFile(module, "Error reading %s", name, errno);
    openMemory(reinterpret_cast<const uint8_t*>(contents_.data()), contents_.size());
}

void InputFile::openMemory(const uint8_t* data, size_t size) {
    size_ = size;
    // fmemopen refuses a zero-sized buffer in some C libraries; an empty file reads as empty anyway.
    static const uint8_t empty = 0;
    file_ = ::fmemopen(const_cast<uint8_t*>(size ? data : &empty), size ? size : 1, "rb");
    if (!file_) LumoError("InputFile", "Can't open file %s", name_.c_str());
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

FileBytes ReadRemainingBytes(InputFile& file, const char* module) {
    FileBytes bytes;
    bytes.size = file.remaining();
    bytes.data = LumoAllocBuffer<uint8_t>(bytes.size > 0 ? bytes.size : 1, module);
    if (file.read(bytes.data.get(), bytes.size) != bytes.size)
        LumoError(module, "Error reading file %s", file.name().c_str());
    return bytes;
}
