#include "formats/pcd/pcd_sectors.h"

#include <algorithm>
#include <cstdio>

#include "core/messages.h"
#include "formats/pcd/pcd_plane.h"

namespace {

constexpr size_t kLargestRead = 32768;

[[noreturn]] void FailSeek() { LumoError(kPcdModule, "Error while seeking in PCD file."); }

}  // namespace

void PcdSectorReader::seekTo(long long offset) {
    if (offset < 0) FailSeek();
    const long long end = static_cast<long long>(file_.size());
    if (std::fseek(file_.stream(), static_cast<long>(std::min(offset, end)), SEEK_SET) != 0) FailSeek();
}

void PcdSectorReader::skip(size_t count) {
    const size_t left = file_.remaining();
    if (std::fseek(file_.stream(), static_cast<long>(std::min(count, left)), SEEK_CUR) != 0) FailSeek();
}

bool PcdSectorReader::tryRead(uint8_t* destination, size_t count) {
    while (count > 0) {
        const size_t step = std::min(count, kLargestRead);
        if (file_.read(destination, step) != step) return false;
        destination += step;
        count -= step;
    }
    return true;
}

void PcdSectorReader::read(uint8_t* destination, size_t count) {
    if (!tryRead(destination, count)) LumoError(kPcdModule, "Error while reading PCD file.");
}
