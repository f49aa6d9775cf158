// A new version of a file, written out of sight and put in place whole: the saver's output file and
// the profile writer both go through it. The data goes to an unnamed file in the target's folder
// (Linux O_TMPFILE), so a process killed half-way leaves nothing behind; where the file system has no
// unnamed files, a named temporary ("<target>.lumo-XXXXXX") is removed on SIGINT, SIGTERM and SIGHUP.
// A replacement is linked as "<target>.lumo-swap" just before its rename onto the target: a SIGKILL
// between the two leaves that name, which the next save of the target removes.
// A symbolic link as target is written through (the file it points to is replaced, the link stays).
// A replaced file keeps its mode and, where the process may set them, its owner and group.
#pragma once

#include <cstdio>
#include <string>

enum class ReplaceStatus {
    Ready,             // the temporary is open for writing
    CantCreate,        // no temporary can be made in the target's folder (or the link chain loops)
    PermissionDenied,  // the existing target may not be written (see ReplacementFile::open)
    NotRegularFile,    // the target is a folder, FIFO, device or socket
};

class ReplacementFile {
public:
    ReplacementFile() = default;
    // Discards the temporary unless commit() succeeded.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Prepares the temporary for target. An existing target is refused with PermissionDenied when the
    // process may not write it (access for the effective user) or when its mode has no write bit at
    // all: root is refused a read-only file too, as cp refuses it to its owner.
    ReplaceStatus open(const std::string& target);
    // The temporary, for writing.
    std::FILE* stream() { return file_; }
    // Flushes and closes the temporary (forcing it to disk first when it replaces a file) and puts it in
    // place of the target. False on any error, and then the target is as it was and the temporary gone.
    bool commit();
    // Drops the temporary; the target is left as it was.
    void discard();

    // Makes every later open() use a named temporary, as on a file system without unnamed files
    // (the tests of the signal clean-up use it).
    static void UseNamedTemporaries(bool named);

private:
    // Gives the unnamed file a name: the target's when it is new (atTarget), else a temporary one.
    bool linkIntoPlace(bool& atTarget);

    std::string path_;        // the file to replace: the target with its symbolic links followed
    std::string named_;       // the named temporary, when the file system has no unnamed files
    int cleanupSlot_ = -1;    // where named_ is registered for removal on a signal
    std::FILE* file_ = nullptr;
    bool unnamed_ = false;    // an O_TMPFILE file, linked into the folder only at commit
    bool replacing_ = false;  // the target exists: sync before it is replaced
};
