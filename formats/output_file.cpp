#include "formats/output_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "formats/file_failure.h"

namespace {

bool IsDeviceOrFifo(const char* path) {
    struct stat info;
    return ::stat(path, &info) == 0 && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode));
}

}  // namespace

OutputFile::OutputFile(const char* fileName, const char* module, const char* cantOpen)
    : target_(fileName), module_(module) {
    if (IsDeviceOrFifo(fileName)) {
        device_ = std::fopen(fileName, "wb");
        if (!device_) fail(cantOpen, errno);
        return;
    }
    switch (replacement_.open(target_)) {
        case ReplaceStatus::Ready:
            return;
        case ReplaceStatus::PermissionDenied:
            fail(cantOpen, EACCES);
        case ReplaceStatus::NotRegularFile:
            fail(cantOpen, IsFolder() ? EISDIR : 0);
        case ReplaceStatus::CantCreate:
            fail(cantOpen, errno);
    }
}

OutputFile::~OutputFile() {
    if (device_) std::fclose(device_);
}

bool OutputFile::IsFolder() const {
    struct stat info;
    return ::stat(target_.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void OutputFile::write(const void* source, size_t count) {
    if (count && std::fwrite(source, 1, count, stream()) != count) fail("Error writing file %s", errno);
}

void OutputFile::commit() {
    if (device_) {
        const bool flushed = std::fflush(device_) == 0;
        const int error = errno;
        const bool closed = std::fclose(device_) == 0;
        device_ = nullptr;
        if (!flushed || !closed) fail("Error writing file %s", flushed ? errno : error);
        return;
    }
    errno = 0;
    if (!replacement_.commit()) fail("Error writing file %s", errno);
}

void OutputFile::fail(const char* format, int error) { FailOnFile(module_.c_str(), format, target_.c_str(), error); }
