// "-" as lumo convert's input or output: the picture comes from standard input or goes to standard
// output. Both pass through a private temporary folder, so that every loader and saver (libtiff
// seeks) works on them as on files, and the bytes written are those a file would get.
#pragma once

#include <string>

// A folder made for one run and removed with its contents afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool made() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Copies standard input into the file; false with the system's reason in error.
bool SaveStandardInput(const std::string& file, std::string& error);
// Copies the file to standard output; false with the system's reason in error.
bool CopyToStandardOutput(const std::string& file, std::string& error);
