#include "cli/standard_streams.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// Copies everything from one descriptor to another; false with the reason when a read or write fails.
bool CopyAll(int from, int to, std::string& error) {
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, block, sizeof block);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, block + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                error = std::strerror(errno);
                return false;
            }
            done += put;
        }
    }
}

}  // namespace

ScratchFolder::ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumo-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (made()) std::filesystem::remove_all(path_, ignored);
}

bool SaveStandardInput(const std::string& file, std::string& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool copied = CopyAll(STDIN_FILENO, fd, error);
    if (::close(fd) != 0 && copied) {
        error = std::strerror(errno);
        copied = false;
    }
    return copied;
}

bool CopyToStandardOutput(const std::string& file, std::string& error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool copied = CopyAll(fd, STDOUT_FILENO, error);
    ::close(fd);
    return copied;
}
