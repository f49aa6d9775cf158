#include <cstring>

#include "core/messages.h"
#include "formats/input_file.h"
#include "formats/tiff/tiff.h"

namespace {

constexpr const char* kModule = "LumoOpenTiff";

}  // namespace

// libtiff keeps the path the handle was opened with (TIFFFileName), so each handle carries the name
// its messages need and no module-wide copy is kept.
TiffHandle LumoOpenTiff(const char* path, const char* mode) {
    // A folder, FIFO or device is refused before libtiff opens it (opening a FIFO waits for a writer).
    if (mode && std::strchr(mode, 'r')) InputFile regularFile(path, kModule, "Can't open TIFF File %s");
    TiffHandle tiff;
    if (!tiff.openFile(path, mode)) {
        tiff.takeError();  // libtiff's reason ("Not a TIFF file, bad magic number ...") gives way to ours
        LumoError(kModule, "Can't open TIFF File %s", path);
    }
    tiff.check(kModule);
    return tiff;
}
