#include "formats/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/messages.h"

namespace {

// The mode a new file gets from the user's umask, as fopen would give it.
mode_t DefaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(const char* fileName, const char* module, const char* cantOpen)
    : target_(fileName), module_(module) {
    struct stat existing;
    const bool exists = ::stat(fileName, &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) fail(cantOpen);
    replacing_ = exists;
    temporary_ = target_ + ".lumo-XXXXXX";
    const int fd = ::mkstemp(temporary_.data());
    if (fd < 0) {
        temporary_.clear();
        fail(cantOpen);
    }
    // Keep the permissions of the file being replaced; a new file gets the usual ones.
    ::fchmod(fd, exists ? existing.st_mode & 07777 : DefaultFileMode());
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        fail(cantOpen);
    }
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void OutputFile::write(const void* source, size_t count) {
    if (count && std::fwrite(source, 1, count, file_) != count) fail("Error writing file %s");
}

void OutputFile::commit() {
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    if (replacing_) ok = ::fsync(fileno(file_)) == 0 && ok;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) fail("Error writing file %s");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail("Error writing file %s");
    temporary_.clear();
}

void OutputFile::fail(const char* format) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    LumoError(module_.c_str(), format, target_.c_str());
#pragma GCC diagnostic pop
}
