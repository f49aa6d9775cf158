// The one way every saver writes a file: the bytes go to a temporary file beside the
// target, which replaces the target only once the whole file was written and closed.
// A saver that fails (or throws) leaves an existing target exactly as it was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class OutputFile {
public:
    // Creates the temporary file; reports cantOpen (a format taking the file name) with module when it cannot.
    OutputFile(const char* fileName, const char* module, const char* cantOpen = "Can't open file %s");
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes count bytes; a failed write is reported "Error writing file %s" (module).
    void write(const void* source, size_t count);
    void putByte(uint8_t byte) { write(&byte, 1); }
    // Flushes, closes and renames the temporary file over the target; every failure is reported.
    void commit();

    // The stream, for libraries that write to a FILE* themselves (check it with commit()).
    std::FILE* stream() { return file_; }
    const std::string& targetName() const { return target_; }

private:
    [[noreturn]] void fail(const char* format);

    std::string target_;
    std::string temporary_;
    std::string module_;
    std::FILE* file_ = nullptr;
    bool replacing_ = false;  // an existing file is replaced: make the new one durable before the rename
};
