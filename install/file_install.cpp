#include "install/file_install.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

using namespace install_result;

// The texts in the order they are shown when several bits are set.
struct ResultText {
    unsigned bit;
    const char* text;
};
constexpr ResultText kResultTexts[] = {
    {FileInUse, "File is beeing used"},
    {OutOfSpace, "Disk is full"},
    {AccessViolation, "Acces Violation Error"},
    {SharingViolation, "Sharing violation"},
    {CannotCreate, "Can't Create temporary file"},
    {CannotDelete, "Can't delete file"},
    {CannotRename, "Can't rename temporary file"},
    {OutOfMemory, "Out of Memory"},
    {CannotReadSource, "Can't read source file"},
    {BufferTooSmall, "File buffer to small"},
};

// The bit that says why a system call failed, beside the bit that says which step failed.
unsigned CauseBit(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // the file does not fit under the size limit: no room for it either
        return OutOfSpace;
    case EACCES:
    case EPERM:
    case EROFS:
        return AccessViolation;
    case EBUSY:
    case ETXTBSY:
        return FileInUse;
    case ENOMEM:
        return OutOfMemory;
    default:
        return 0;
    }
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a late write error (network and full file systems report them here) counts.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// The temporary file beside the target, removed unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }
    void discard() {
        ::unlink(path_.c_str());
        path_.clear();
    }

private:
    std::string path_;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

unsigned InstallFile(const std::string& name, const std::string& sourceDir, const std::string& destinationDir) {
    const std::string sourcePath = sourceDir + "/" + name;
    const std::string targetPath = destinationDir + "/" + name;

    Descriptor source(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0) return CannotReadSource | (errno == ENOMEM ? OutOfMemory : 0);
    struct stat sourceStatus {};
    if (::fstat(source.get(), &sourceStatus) != 0 || !S_ISREG(sourceStatus.st_mode)) return CannotReadSource;

    std::string pattern = destinationDir + "/." + name + ".XXXXXX";
    Descriptor target(::mkostemp(pattern.data(), O_CLOEXEC));
    if (target.get() < 0) return CannotCreate | CauseBit(errno);
    TemporaryFile temporary(pattern);

    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(source.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return CannotReadSource | (errno == ENOMEM ? OutOfMemory : 0);
        if (got == 0) break;
        if (!WriteAll(target.get(), buffer.data(), static_cast<size_t>(got))) return CannotCreate | CauseBit(errno);
    }
    // The source's permission bits (the viewer stays executable), readable and writable by the
    // user who installs, within the user's umask.
    const mode_t mode = ((sourceStatus.st_mode & 0777) | S_IRUSR | S_IWUSR) & ~CurrentUmask();
    if (::fchmod(target.get(), mode) != 0) return CannotCreate | CauseBit(errno);
    if (::fsync(target.get()) != 0 || target.close() != 0) return CannotCreate | CauseBit(errno);

    if (::rename(temporary.path().c_str(), targetPath.c_str()) != 0) {
        const int error = errno;
        if (error == EISDIR || error == ENOTEMPTY || error == EEXIST) return CannotDelete;
        return CannotRename | CauseBit(error);
    }
    temporary.release();
    // The new name is on disk too once the directory is; a failure here changes nothing already done.
    Descriptor directory(::open(destinationDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) ::fsync(directory.get());
    return 0;
}

std::vector<std::string> InstallResultTexts(unsigned result) {
    std::vector<std::string> texts;
    for (const ResultText& entry : kResultTexts)
        if (result & entry.bit) texts.emplace_back(entry.text);
    return texts;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
    std::string pattern = path + ".XXXXXX";
    Descriptor file(::mkostemp(pattern.data(), O_CLOEXEC));
    if (file.get() < 0) return false;
    TemporaryFile temporary(pattern);
    const bool written = WriteAll(file.get(), bytes.data(), bytes.size()) &&
                         ::fchmod(file.get(), 0644 & ~CurrentUmask()) == 0 && ::fsync(file.get()) == 0 &&
                         file.close() == 0 && ::rename(temporary.path().c_str(), path.c_str()) == 0;
    if (!written) {
        const int error = errno;
        temporary.discard();
        errno = error;  // the caller reads why, after the temporary file is gone
        return false;
    }
    temporary.release();
    return true;
}
