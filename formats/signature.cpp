#include "formats/signature.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "formats/avif/avif.h"
#include "formats/jxl/jxl.h"
#include "formats/byte_order.h"

namespace {

constexpr size_t kPcdPackOffset = 2048;  // an image pack's "PCD_IPI" opens its second sector
constexpr size_t kSniffBytes = kPcdPackOffset + 8;

bool StartsWith(const uint8_t* bytes, size_t size, const char* text, size_t length, size_t at = 0) {
    return size >= at + length && std::memcmp(bytes + at, text, length) == 0;
}

// JBIG's bi-level image header has no magic number: its fixed fields are checked instead (the
// lowest layer not above the layer count, at least one plane, a zero fill byte, a nonzero size and
// stripe height, no vertical template offset, no undefined order or option bits),
// which a raw fax file's first codes or an IMG header do not pass.
bool LooksLikeJbig(const uint8_t* b, size_t size) {
    if (size < 20) return false;
    const uint8_t lowest = b[0], layers = b[1], planes = b[2], fill = b[3];
    const uint32_t width = ReadBE32(b + 4), height = ReadBE32(b + 8), stripe = ReadBE32(b + 12);
    const uint8_t offsetY = b[17], order = b[18], options = b[19];
    return lowest <= layers && layers < 32 && planes >= 1 && fill == 0 && width != 0 && height != 0 && stripe != 0 &&
           offsetY == 0 && (order & 0xF0) == 0 && (options & 0x80) == 0;
}

}  // namespace

Signature SignatureOf(const uint8_t* b, size_t size) {
    if (StartsWith(b, size, "BM", 2)) return {"bmp"};
    if (StartsWith(b, size, "GIF87a", 6) || StartsWith(b, size, "GIF89a", 6)) return {"gif"};
    if (StartsWith(b, size, "\xFF\xD8\xFF", 3)) return {"jpg"};
    if (StartsWith(b, size, "II*\0", 4) || StartsWith(b, size, "MM\0*", 4)) return {"tif"};
    if (StartsWith(b, size, "\x89PNG\r\n\x1A\n", 8)) return {"png"};
    if (StartsWith(b, size, "RIFF", 4) && StartsWith(b, size, "WEBP", 4, 8)) return {"webp"};
    if (StartsWith(b, size, "MOK", 3)) return {"mok"};
    if (LooksLikeAvif(b, size)) return {"avif"};
    if (LooksLikeJxl(b, size)) return {"jxl"};
    if (StartsWith(b, size, "PCD_OPA", 7)) return {"pcd", true};
    if (StartsWith(b, size, "PCD_IPI", 7, kPcdPackOffset)) return {"pcd"};
    if (LooksLikeJbig(b, size)) return {"bie"};
    return {};
}

Signature FileSignature(const char* fileName) {
    struct stat info;
    if (::stat(fileName, &info) != 0 || !S_ISREG(info.st_mode)) return {};
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    uint8_t bytes[kSniffBytes];
    size_t size = 0;
    for (ssize_t got; size < sizeof bytes && (got = ::read(fd, bytes + size, sizeof bytes - size)) > 0;)
        size += static_cast<size_t>(got);
    ::close(fd);
    return SignatureOf(bytes, size);
}
