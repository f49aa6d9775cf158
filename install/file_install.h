// Installing one file: a forced copy into the destination directory, written to a temporary file
// beside the target and renamed over it, so an installed file is either the old one or the new
// one, never a part of either. The result is a set of bits named after the version-aware file
// installer's, so every failure reads as one of its texts.
#pragma once

#include <string>
#include <vector>

namespace install_result {
constexpr unsigned FileInUse = 0x80;
constexpr unsigned OutOfSpace = 0x100;
constexpr unsigned AccessViolation = 0x200;
constexpr unsigned SharingViolation = 0x400;
constexpr unsigned CannotCreate = 0x800;  // the temporary file could not be made or written
constexpr unsigned CannotDelete = 0x1000;  // something that is not a file is in the target's way
constexpr unsigned CannotRename = 0x2000;
constexpr unsigned OutOfMemory = 0x8000;
constexpr unsigned CannotReadSource = 0x10000;
constexpr unsigned BufferTooSmall = 0x40000;
}  // namespace install_result

// Copies sourceDir/name to destinationDir/name; 0 on success. A temporary file is never left behind.
unsigned InstallFile(const std::string& name, const std::string& sourceDir, const std::string& destinationDir);

// The texts of the bits set in result, in the order they are shown.
std::vector<std::string> InstallResultTexts(unsigned result);

// Writes bytes to path through a temporary file beside it and a rename; on failure returns false
// with errno set, and path is as it was.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);
