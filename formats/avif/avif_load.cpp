#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/avif/avif.h"
#include "formats/avif/avif_handles.h"
#include "formats/byte_order.h"
#include "formats/load_limits.h"
#include "formats/png/png_rows.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadAvif";

// AV1 codes a flat picture in next to nothing (avifenc writes 4000 x 3000 pixels of one gray in 509
// bytes), so no bound of the format itself keeps a small file from asking for a large picture. A
// picture of more than CheckPromisedSize's always-accepted 64 MB of pixels must come with at least
// one byte of file per this many bytes of pixels (a 100-megapixel colour picture with 150 KB), so
// that a file of a few hundred bytes cannot make the decoders allocate hundreds of megabytes.
constexpr size_t kAv1MaxExpansion = 2048;

// The whole file in memory: libavif finds its boxes by offset, anywhere in the file.
FileBytes ReadWholeFile(InputFile& file) {
    FileBytes bytes = ReadRemainingBytes(file, kLoadModule);
    if (!LooksLikeAvif(bytes.data.get(), bytes.size)) LumoError(kLoadModule, "Not an AVIF file: %s", file.name().c_str());
    return bytes;
}

[[noreturn]] void Fail(const InputFile& file, avifResult result) {
    LumoError(kLoadModule, "Corrupted AVIF file %s: %s", file.name().c_str(), avifResultToString(result));
}

// libavif refuses a picture over its own pixel limit while it reads the boxes, with no more than
// "BMFF parsing failed": the sizes of the file's "ispe" boxes (image spatial extents: size, type,
// version and flags, width, height; big-endian) tell the reason, with the message of the other
// loaders where MaxPixels or the record refuses the size.
void ReportOversizedPicture(const FileBytes& bytes, const InputFile& file) {
    const uint8_t* b = bytes.data.get();
    for (size_t at = 4; at + 16 <= bytes.size; ++at) {
        if (std::memcmp(b + at, "ispe", 4) != 0 || ReadBE32(b + at - 4) < 20) continue;
        const long width = ReadBE32(b + at + 8), height = ReadBE32(b + at + 12);
        CheckLoadSize(kLoadModule, width, height);
        if (static_cast<unsigned long long>(width) * height > AVIF_DEFAULT_IMAGE_SIZE_LIMIT)
            LumoError(kLoadModule, "Image size %ld x %ld exceeds libavif's limit of %d pixels: %s", width, height,
                      AVIF_DEFAULT_IMAGE_SIZE_LIMIT, file.name().c_str());
    }
}

// A decoder over the bytes with the boxes read: the picture's size and format are known, nothing
// is decoded yet. One thread; Exif and XMP are not read.
AvifDecoderPtr OpenDecoder(const FileBytes& bytes, const InputFile& file) {
    AvifDecoderPtr decoder(avifDecoderCreate());
    if (!decoder) LumoError(kLoadModule, "Out of memory");
    decoder->maxThreads = 1;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // libavif's largest pixel limit (16384 x 16384, above the default MaxPixels) and no side limit
    // while the boxes are read, so that CheckLoadSize refuses a size as every loader does.
    decoder->imageSizeLimit = AVIF_DEFAULT_IMAGE_SIZE_LIMIT;
    decoder->imageDimensionLimit = 0;
    avifResult result = avifDecoderSetIOMemory(decoder.get(), bytes.data.get(), bytes.size);
    if (result == AVIF_RESULT_OK) result = avifDecoderParse(decoder.get());
    if (result != AVIF_RESULT_OK) {
        ReportOversizedPicture(bytes, file);
        Fail(file, result);
    }
    return decoder;
}

ImageKind LoadKindOf(const avifImage& image) {
    return image.yuvFormat == AVIF_PIXEL_FORMAT_YUV400 ? ImageKind::GRAY256 : ImageKind::RGB;
}

// Turns the decoded picture into the record's rows through libavif's conversion to 8-bit RGB(A),
// alpha composited over white.
void ConvertRows(const avifImage& decoded, IMG& image, const InputFile& file) {
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &decoded);
    const bool alpha = decoded.alphaPlane != nullptr;
    rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.depth = 8;
    const size_t channels = alpha ? 4 : 3;
    rgb.rowBytes = static_cast<uint32_t>(channels * decoded.width);
    LumoBuffer<uint8_t> pixels = LumoAllocBuffer<uint8_t>(size_t{rgb.rowBytes} * decoded.height, kLoadModule);
    rgb.pixels = pixels.get();
    const avifResult result = avifImageYUVToRGB(&decoded, &rgb);
    if (result != AVIF_RESULT_OK) Fail(file, result);
    const bool gray = image.bitsPerPixel == 8;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = pixels.get() + static_cast<size_t>(y) * rgb.rowBytes;
        uint8_t* out = PictureRow(image, y);
        for (int x = 0; x < image.width; ++x, in += channels) {
            const unsigned a = alpha ? in[3] : 255;
            if (gray) {
                *out++ = OverWhite8(in[0], a);  // 4:0:0 gives red = green = blue
            } else {
                *out++ = OverWhite8(in[2], a);
                *out++ = OverWhite8(in[1], a);
                *out++ = OverWhite8(in[0], a);
            }
        }
        LumoProgress(50 + (y + 1) * 50 / image.height);
    }
}

}  // namespace

bool LooksLikeAvif(const uint8_t* b, size_t size) {
    if (size < 16 || std::memcmp(b + 4, "ftyp", 4) != 0) return false;
    // Box size, "ftyp", major brand, minor version, then compatible brands to the box's end.
    const size_t box = std::min<size_t>(ReadBE32(b), size);
    const auto isAvif = [b](size_t at) { return std::memcmp(b + at, "avif", 4) == 0 || std::memcmp(b + at, "avis", 4) == 0; };
    if (isAvif(8)) return true;
    for (size_t at = 16; at + 4 <= box; at += 4)
        if (isAvif(at)) return true;
    return false;
}

ImagePtr LumoLoadAvif(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadAvifFrom(file);
}

ImageInfo ReadAvifInfo(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    const FileBytes bytes = ReadWholeFile(file);
    const AvifDecoderPtr decoder = OpenDecoder(bytes, file);
    const avifImage& image = *decoder->image;
    CheckLoadSize(kLoadModule, static_cast<long>(image.width), static_cast<long>(image.height));
    return {static_cast<int>(image.width), static_cast<int>(image.height), LoadKindOf(image)};
}

ImagePtr LoadAvifFrom(InputFile& file) {
    LumoProgress(-1);
    const FileBytes bytes = ReadWholeFile(file);
    const AvifDecoderPtr decoder = OpenDecoder(bytes, file);
    // The size the boxes give is refused before anything is decoded.
    const avifImage& header = *decoder->image;
    CheckLoadSize(kLoadModule, static_cast<long>(header.width), static_cast<long>(header.height));
    const size_t channels = LoadKindOf(header) == ImageKind::GRAY256 ? 1 : 3;
    CheckPromisedSize(kLoadModule, file.name().c_str(), size_t{header.width} * header.height * channels, bytes.size,
                      kAv1MaxExpansion);
    // The AV1 decoder gets the pixel limit too (dav1d refuses larger frames), in case the coded
    // frame is larger than the boxes say.
    const int maxPixels = LumoGetIntOption("maxpixels");
    decoder->imageSizeLimit = maxPixels > 0 ? static_cast<uint32_t>(maxPixels) : AVIF_DEFAULT_IMAGE_SIZE_LIMIT;
    decoder->imageDimensionLimit = kMaxImageDimension;
    // The primary picture, or a sequence's first frame.
    const avifResult result = avifDecoderNextImage(decoder.get());
    if (result != AVIF_RESULT_OK) Fail(file, result);
    const avifImage& decoded = *decoder->image;
    CheckLoadSize(kLoadModule, static_cast<long>(decoded.width), static_cast<long>(decoded.height));
    LumoProgress(50);
    const ImageKind kind = LoadKindOf(decoded);
    ImagePtr image = LumoCreateImage(static_cast<int>(decoded.width), static_cast<int>(decoded.height),
                                     ColorClassOf(kind), nullptr, BitsPerPixelOf(kind));
    ConvertRows(decoded, *image, file);
    LumoProgress(-2);
    return image;
}
