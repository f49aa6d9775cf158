#include "formats/img.h"

#include <cstring>

#include "core/convert.h"
#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/load_limits.h"
#include "formats/output_file.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadIMG";
constexpr const char* kSaveModule = "LumoSaveIMG";

// The fixed file header; integers little-endian.
constexpr size_t kHeaderSize = 64;
struct ImgHeader {
    uint8_t magic[2];      // "I", "M"; a mismatch is tolerated on load
    uint16_t extraBytes;   // header bytes that follow the 64 fixed ones, skipped before the pixels
    uint16_t width;        // pixels per row, one byte each
    uint16_t height;       // rows, top row first
                           // bytes 8..63 are reserved: written as zero, never read
};

// A header cut short reads its missing fields as 0.
ImgHeader ReadHeader(InputFile& file) {
    uint8_t bytes[kHeaderSize] = {};
    file.read(bytes, sizeof bytes);
    return {{bytes[0], bytes[1]}, ReadLE16(bytes + 2), ReadLE16(bytes + 4), ReadLE16(bytes + 6)};
}

void WriteHeader(const ByteSink& sink, const IMG& image) {
    uint8_t bytes[kHeaderSize] = {'I', 'M'};
    WriteLE16(bytes + 2, 0);
    WriteLE16(bytes + 4, image.width);
    WriteLE16(bytes + 6, image.height);
    sink(bytes, sizeof bytes);
}

// The rows of a raw file arrive one for one, so a picture far larger than the data left is refused
// before allocating. The factor of 2 still lets a file cut short in its last rows load up to the
// first short row, where it is reported as corrupted.
constexpr size_t kMaxExpansion = 2;

}  // namespace

ImagePtr LoadIMGFrom(InputFile& file) {
    const char* name = file.name().c_str();
    const ImgHeader header = ReadHeader(file);
    file.skip(header.extraBytes);

    const size_t width = header.width;
    const size_t height = header.height;
    CheckLoadSize(kLoadModule, header.width, header.height);
    CheckPromisedSize(kLoadModule, name, static_cast<size_t>(RowBytesFor(header.width, 8)) * height,
                      file.remaining(), kMaxExpansion);
    ImagePtr image = LumoCreateImage(header.width, header.height, GRAY, nullptr, 8);

    LumoProgress(-1);
    for (size_t y = 0; y < height; ++y) {
        LumoProgressRow(static_cast<long>(y), static_cast<long>(height));
        uint8_t* row = PictureRow(*image, static_cast<int>(y));
        if (file.read(row, width) != width) LumoError(kLoadModule, "IMG file %s corrupted", name);
        std::memset(row + width, 0, image->rowBytes - width);  // padding: keep the block fully defined
    }
    LumoProgress(-2);
    return image;
}

ImageInfo ReadIMGInfo(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    const ImgHeader header = ReadHeader(file);
    CheckLoadSize(kLoadModule, header.width, header.height);
    return {header.width, header.height, ImageKind::GRAY256};
}

ImagePtr LumoLoadIMG(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadIMGFrom(file);
}

void WriteIMG(const IMG* image, const ByteSink& sink) {
    ImagePtr gray;
    if (!IsKind(*image, ImageKind::GRAY256)) {
        gray = LumoToGRAY256(image);
        image = gray.get();
    }
    WriteHeader(sink, *image);
    for (int y = 0; y < image->height; ++y) {
        LumoProgressRow(y, image->height);
        sink(PictureRow(*image, y), image->width);  // no row padding in the file
    }
}

void LumoSaveIMG(const IMG* image, const char* fileName) {
    OutputFile out(fileName, kSaveModule);
    LumoProgress(-1);
    WriteIMG(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); });
    out.commit();
    LumoProgress(-2);
}
