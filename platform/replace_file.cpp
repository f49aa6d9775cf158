#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>

namespace {

std::atomic<bool> namedTemporariesOnly{false};

// Named temporaries that exist right now, for the signal handler to remove. A slot holds a copy of
// the name (strdup) that is only ever swapped in or out whole; a handler running on one thread while
// another thread releases its slot is the one case left open (the process is ending then anyway).
constexpr int kCleanupSlots = 64;
std::atomic<char*> pendingNames[kCleanupSlots];
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemovePendingNames(int signal) {
    for (auto& slot : pendingNames)
        if (const char* name = slot.load()) ::unlink(name);
    // Installed with SA_RESETHAND: the signal raised again ends the process as it would have.
    ::raise(signal);
}

void InstallCleanupHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : kCleanupSignals) {
            struct sigaction current {};
            // Only signals that would end the process: a program's own handler, or an ignored signal
            // (nohup), stays as it is.
            if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
                current.sa_handler != SIG_DFL)
                continue;
            struct sigaction action {};
            action.sa_handler = RemovePendingNames;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(signal, &action, nullptr);
        }
    });
}

// Registers a name for removal on a signal; -1 when every slot is taken (the save still works).
int RegisterForCleanup(const std::string& name) {
    InstallCleanupHandlers();
    char* copy = ::strdup(name.c_str());
    if (!copy) return -1;
    for (int slot = 0; slot < kCleanupSlots; ++slot) {
        char* expected = nullptr;
        if (pendingNames[slot].compare_exchange_strong(expected, copy)) return slot;
    }
    std::free(copy);
    return -1;
}

void Unregister(int& slot) {
    if (slot < 0) return;
    std::free(pendingNames[slot].exchange(nullptr));
    slot = -1;
}

std::string RandomSuffix() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::string suffix(6, ' ');
    for (char& letter : suffix) letter = kLetters[generator() % (sizeof kLetters - 1)];
    return suffix;
}

// Finds a free name "<path>.lumo-XXXXXX" and lets make create something under it; make reports a
// taken name with EEXIST. The name is registered for the signal clean-up before it exists.
template <typename Make>
bool ClaimTemporaryName(const std::string& path, std::string& name, int& slot, const Make& make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = path + ".lumo-" + RandomSuffix();
        slot = RegisterForCleanup(name);
        if (make(name)) return true;
        const int error = errno;
        Unregister(slot);
        if (error != EEXIST) break;
    }
    name.clear();
    return false;
}

// The name a replacement is linked under for the moment before its rename onto the target. A SIGKILL
// in that moment leaves it behind, complete; it is fixed, so the next save of the target finds it.
std::string SwapName(const std::string& path) { return path + ".lumo-swap"; }

// Removes a swap name left by a save that was killed: a regular file of this user that no live save
// holds (each holds a lock on its file from the start). A file of another user, or one whose name
// now refers to another file, is left alone.
void RemoveStaleSwap(const std::string& swap) {
    const int fd = ::open(swap.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(swap.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
        named.st_dev == held.st_dev)
        ::unlink(swap.c_str());
    ::close(fd);
}

// The file path names, with the symbolic links of its last component followed (a link's relative
// target is taken from the link's folder). A dangling link gives the name it points to, which is then
// created, as the shell's "> link" would. Nothing when the links loop.
std::optional<std::string> FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) return std::nullopt;  // changed meanwhile
        target.resize(static_cast<size_t>(length));
        const size_t slash = path.rfind('/');
        path = target.front() == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    return std::nullopt;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name through which an unnamed file is linked into its folder without special privileges.
std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// An unnamed file in folder, or -1 with errno set. A file system without unnamed files, or a system
// without /proc to link one through, gives EOPNOTSUPP.
int OpenUnnamed(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EISDIR || errno == EINVAL) errno = EOPNOTSUPP;  // kernels and file systems without O_TMPFILE
        return -1;
    }
    if (::access(ProcPath(fd).c_str(), F_OK) != 0) {
        ::close(fd);
        errno = EOPNOTSUPP;
        return -1;
    }
    return fd;
}

// Gives the new file the owner, group and mode of the one it replaces; an owner the process may not
// set is left as it is (the group alone is still tried).
void CopyOwnerAndMode(int fd, const struct stat& existing) {
    if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
        ::fchown(fd, existing.st_uid, existing.st_gid) != 0)
        (void)!::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    ::fchmod(fd, existing.st_mode & 07777);  // after fchown, which clears set-user-id bits
}

}  // namespace

void ReplacementFile::UseNamedTemporaries(bool named) { namedTemporariesOnly = named; }

ReplacementFile::~ReplacementFile() { discard(); }

ReplaceStatus ReplacementFile::open(const std::string& target) {
    discard();
    const std::optional<std::string> resolved = FollowLinks(target);
    if (!resolved) return ReplaceStatus::CantCreate;
    path_ = *resolved;
    struct stat existing;
    replacing_ = ::stat(path_.c_str(), &existing) == 0;
    if (replacing_) {
        if (!S_ISREG(existing.st_mode)) return ReplaceStatus::NotRegularFile;
        if ((existing.st_mode & 0222) == 0) return ReplaceStatus::PermissionDenied;
        if (::faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0)
            return errno == EACCES || errno == EPERM ? ReplaceStatus::PermissionDenied : ReplaceStatus::CantCreate;
    }
    int fd = -1;
    if (!namedTemporariesOnly) {
        fd = OpenUnnamed(FolderOf(path_));
        if (fd < 0 && errno != EOPNOTSUPP) return ReplaceStatus::CantCreate;
    }
    if (fd < 0 && !ClaimTemporaryName(path_, named_, cleanupSlot_, [&fd](const std::string& name) {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);  // the umask applies
            return fd >= 0;
        }))
        return ReplaceStatus::CantCreate;
    unnamed_ = named_.empty();
    ::flock(fd, LOCK_EX);  // marks the file as a live save's (see RemoveStaleSwap)
    if (replacing_) CopyOwnerAndMode(fd, existing);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        discard();
        return ReplaceStatus::CantCreate;
    }
    return ReplaceStatus::Ready;
}

bool ReplacementFile::linkIntoPlace(bool& atTarget) {
    const std::string source = ProcPath(fileno(file_));
    const auto link = [&source](const std::string& name) {
        return ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    };
    // A new file takes its name in one step; a replacement gets the swap name, then the rename (a
    // random name when another live save of the same target holds the swap name).
    if (!replacing_) {
        atTarget = link(path_);
        if (atTarget || errno != EEXIST) return atTarget;
    }
    const std::string swap = SwapName(path_);
    RemoveStaleSwap(swap);
    cleanupSlot_ = RegisterForCleanup(swap);
    if (link(swap)) {
        named_ = swap;
        return true;
    }
    Unregister(cleanupSlot_);
    return ClaimTemporaryName(path_, named_, cleanupSlot_, link);
}

bool ReplacementFile::commit() {
    if (!file_) return false;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    if (replacing_) ok = ::fsync(fileno(file_)) == 0 && ok;
    bool atTarget = false;
    if (ok && unnamed_) {
        // The name the unnamed file gets on its way to the target is a window in which a SIGKILL
        // would leave it behind: it is renamed at once, before the (on a local file system, after a
        // successful flush, infallible) close.
        ok = linkIntoPlace(atTarget);
        if (ok && !named_.empty()) {
            ok = ::rename(named_.c_str(), path_.c_str()) == 0;
            if (ok) named_.clear();
        }
    }
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && !named_.empty()) {
        ok = ::rename(named_.c_str(), path_.c_str()) == 0;
        if (ok) named_.clear();
    } else if (!ok && atTarget) {
        ::unlink(path_.c_str());
    }
    discard();
    return ok;
}

void ReplacementFile::discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!named_.empty()) ::unlink(named_.c_str());
    named_.clear();
    Unregister(cleanupSlot_);
}
