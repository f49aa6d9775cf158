#include "formats/jpeg/jpeg_transform.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/input_file.h"
#include "formats/jpeg/exif_orientation.h"
#include "formats/load_limits.h"
#include "formats/metadata/exif_block.h"
#include "formats/output_file.h"

namespace {

constexpr const char* kModule = "TurnJpeg";

// The decoder's allowance: compressed data may stand for up to this many times its size.
constexpr size_t kMaxExpansion = 1024;

struct HandleDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboHandle = std::unique_ptr<void, HandleDeleter>;

struct BufferDeleter {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TurboBuffer = std::unique_ptr<unsigned char, BufferDeleter>;

int TransformOf(Orientation step) {
    switch (step) {
        case Orientation::Upright: return TJXOP_NONE;
        case Orientation::FlipHorizontal: return TJXOP_HFLIP;
        case Orientation::Rotate180: return TJXOP_ROT180;
        case Orientation::FlipVertical: return TJXOP_VFLIP;
        case Orientation::Transpose: return TJXOP_TRANSPOSE;
        case Orientation::RotateRight: return TJXOP_ROT90;
        case Orientation::Transverse: return TJXOP_TRANSVERSE;
        case Orientation::RotateLeft: return TJXOP_ROT270;
    }
    return TJXOP_NONE;
}

bool SwapsSides(Orientation step) { return static_cast<int>(step) >= static_cast<int>(Orientation::Transpose); }

[[noreturn]] void ReportTurboFailure(void* handle, const char* name) {
    LumoError(kModule, "%s (while turning %s)", tjGetErrorStr2(handle), name);
}

// Where the contents of a marker segment lie in the file.
struct Segment {
    size_t at;
    size_t size;
};

constexpr uint8_t kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};

// The Exif blocks (APP1 segments opening with "Exif\0\0", the signature included) before the first
// scan. The walk stops where the markers stop making sense; TurboJPEG judges the rest of the file.
std::vector<Segment> ExifSegments(std::span<const uint8_t> bytes) {
    std::vector<Segment> found;
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) return found;
    size_t at = 2;
    while (at < bytes.size() && bytes[at] == 0xFF) {
        while (at < bytes.size() && bytes[at] == 0xFF) ++at;  // fill bytes before the marker code
        if (at >= bytes.size()) break;
        const uint8_t marker = bytes[at++];
        if (marker == 0xDA || marker == 0xD9) break;                     // start of scan, end of image
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // markers without a length
        if (at + 2 > bytes.size()) break;
        const size_t length = ReadBE16(bytes.data() + at);
        if (length < 2 || at + length > bytes.size()) break;
        const Segment contents{at + 2, length - 2};
        if (marker == 0xE1 && contents.size >= sizeof kExifSignature &&
            std::memcmp(bytes.data() + contents.at, kExifSignature, sizeof kExifSignature) == 0)
            found.push_back(contents);
        at += length;
    }
    return found;
}

// The step the loader turns the picture by: the first Exif Orientation that is not upright.
Orientation ExifStepOf(std::span<const uint8_t> bytes) {
    for (const Segment& exif : ExifSegments(bytes)) {
        const int value = ExifOrientation(bytes.data() + exif.at, exif.size);
        if (value != 1) return static_cast<Orientation>(value);
    }
    return Orientation::Upright;
}

// The new picture's Exif blocks say its size, and that it is upright when it was turned so; the
// edits keep each block's length, so nothing else in the file moves.
void EditExif(std::vector<uint8_t>& file, const JpegTurnSize& size, bool uprightNow) {
    for (const Segment& exif : ExifSegments(file)) {
        const auto tiff = file.begin() + static_cast<long>(exif.at + sizeof kExifSignature);
        const auto end = file.begin() + static_cast<long>(exif.at + exif.size);
        std::vector<uint8_t> block(tiff, end);
        if (uprightNow) SetExifOrientation(block, 1);
        SetExifPixelSize(block, size.width, size.height);
        std::copy(block.begin(), block.end(), tiff);
    }
}

}  // namespace

TurnedJpeg TurnJpegBytes(std::span<const uint8_t> bytes, const char* name, const JpegTurn& turn) {
    TurboHandle handle(tjInitTransform());
    if (!handle) LumoError(kModule, "%s (while turning %s)", tjGetErrorStr2(nullptr), name);

    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (tjDecompressHeader3(handle.get(), bytes.data(), bytes.size(), &width, &height, &subsampling, &colourSpace) != 0)
        ReportTurboFailure(handle.get(), name);
    // TurboJPEG holds every coefficient (two bytes a sample at most) before it writes anything.
    const bool ink = colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK;
    const size_t components = colourSpace == TJCS_GRAY ? 1 : ink ? 4 : 3;
    CheckPromisedSize(kModule, name, static_cast<size_t>(width) * static_cast<size_t>(height) * components * 2,
                      bytes.size(), kMaxExpansion);

    const Orientation step = turn.uprightFirst ? ThenOrient(ExifStepOf(bytes), turn.step) : turn.step;
    tjtransform transform{};
    transform.op = TransformOf(step);
    transform.options = TJXOPT_TRIM | (turn.keepMarkers ? 0 : TJXOPT_COPYNONE);
    unsigned char* written = nullptr;
    unsigned long writtenSize = 0;
    // A warning (data that ends early, a damaged scan) stops the turn: a lossless copy with a
    // hole in it would pass for a good file.
    const int status = tjTransform(handle.get(), bytes.data(), bytes.size(), 1, &written, &writtenSize, &transform,
                                   TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS);
    TurboBuffer output(written);
    if (status != 0) ReportTurboFailure(handle.get(), name);

    TurnedJpeg result;
    result.bytes.assign(output.get(), output.get() + writtenSize);
    if (tjDecompressHeader3(handle.get(), output.get(), writtenSize, &result.size.width, &result.size.height,
                            &subsampling, &colourSpace) != 0)
        ReportTurboFailure(handle.get(), name);
    result.size.untrimmedWidth = SwapsSides(step) ? height : width;
    result.size.untrimmedHeight = SwapsSides(step) ? width : height;
    if (turn.keepMarkers) EditExif(result.bytes, result.size, turn.uprightFirst);
    return result;
}

JpegTurnSize LumoTurnJpegFile(const char* source, const char* target, const JpegTurn& turn) {
    std::vector<uint8_t> bytes;
    {
        InputFile file(source, kModule, "can't open JPEG file %s");
        bytes.resize(file.size());
        if (file.read(bytes.data(), bytes.size()) != bytes.size()) LumoError(kModule, "Error reading %s", source);
    }
    LumoProgress(-1);
    const TurnedJpeg turned = TurnJpegBytes(bytes, source, turn);
    OutputFile out(target, kModule);
    out.write(turned.bytes.data(), turned.bytes.size());
    out.commit();
    LumoProgress(-2);
    const JpegTurnSize& size = turned.size;
    if (size.trimmed())
        LumoWarning(kModule, "%s: the edge blocks that cannot turn exactly were trimmed: %dx%d instead of %dx%d",
                    target, size.width, size.height, size.untrimmedWidth, size.untrimmedHeight);
    return size;
}
