// The one way every saver writes a file: the bytes go to a temporary file in the target's folder,
// which replaces the target only once the whole file was written and closed (platform/replace_file.h:
// a save that is killed leaves no temporary, a symbolic link is written through, a replaced file
// keeps its mode and owner). A saver that fails (or throws) leaves an existing target exactly as it was.
// A character device or FIFO as target (/dev/full, /dev/stdout on a pipe) is not a file to replace:
// it is written straight, and its errors are reported as for a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/replace_file.h"

class OutputFile {
public:
    // Creates the temporary file; reports cantOpen (a format taking the file name) with module and the
    // system's reason when it cannot: "Permission denied" too for an existing file that may not be
    // written (one without any write bit is refused to root too, as cp refuses it to its owner).
    OutputFile(const char* fileName, const char* module, const char* cantOpen = "Can't open file %s");
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes count bytes; a failed write is reported "Error writing file %s" (module) with the reason.
    void write(const void* source, size_t count);
    void putByte(uint8_t byte) { write(&byte, 1); }
    // Flushes, closes and puts the temporary file in place of the target; every failure is reported.
    void commit();

    // The stream, for libraries that write to a FILE* themselves (check it with commit()).
    std::FILE* stream() { return device_ ? device_ : replacement_.stream(); }
    const std::string& targetName() const { return target_; }

private:
    [[noreturn]] void fail(const char* format, int error);
    bool IsFolder() const;

    std::string target_;
    std::string module_;
    ReplacementFile replacement_;
    std::FILE* device_ = nullptr;  // a device or FIFO written straight
};
