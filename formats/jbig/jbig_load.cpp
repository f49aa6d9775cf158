#include "formats/jbig/jbig_kit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/jbig/jbig.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadJbig";
constexpr size_t kBlockSize = 8192;  // the file is read and fed to the decoder in blocks of this size
constexpr size_t kHeaderSize = 20;   // the bi-level image header that opens every image entity

// The fields of the bi-level image header the loader checks; integers big-endian.
struct JbigHeader {
    int planes;         // byte 2, P: bit planes (1 for a bi-level picture)
    unsigned long width;   // bytes 4-7, XD: pixels per row at full resolution
    unsigned long height;  // bytes 8-11, YD: rows at full resolution (0xFFFFFFFF: given later, refused)
    // Bytes 0 and 1 (DL, D) number the entity's resolution layers, 3 is padding, 12-15 (L0) give
    // the rows per stripe, 16-17 the adaptive template offsets, 18 the order and 19 the options:
    // JBIG-KIT checks those itself before it allocates anything.
};

JbigHeader ReadHeader(const uint8_t* bytes) {
    return {bytes[2], ReadBE32(bytes + 4), ReadBE32(bytes + 8)};
}

// JBIG-KIT allocates the full-resolution bitmap of every plane (and half of it again for the layer
// below) as soon as it has read a header, whatever layer the load stops at, and aborts the program
// when that fails. So the sizes are checked here first: the picture must fit the record and the
// pixel limit, and so must all its planes together (only plane 0 is loaded, but all are decoded).
void CheckHeader(const JbigHeader& header, const char* fileName) {
    CheckLoadSize(kLoadModule, static_cast<long>(header.width), static_cast<long>(header.height));
    if (header.planes <= 1) return;
    const long long pixels = static_cast<long long>(header.width) * static_cast<long long>(header.height);
    const int limit = LumoGetIntOption("maxpixels");
    const long long cap = limit > 0 ? limit : static_cast<long long>(kMaxImageDimension) * kMaxImageDimension;
    if (pixels * header.planes > cap)
        LumoError(kLoadModule, "%s: %d bit planes of %lu x %lu pixels exceed the limit of %lld pixels (raise MaxPixels)",
                  fileName, header.planes, header.width, header.height, cap);
}

// JBIG-KIT's decoder, freed however the load ends. Bytes reach it through feed(), which holds back
// the header of each image entity until it has been checked (a file may hold several entities,
// each adding resolution layers to the one before).
class JbigDecoder {
public:
    explicit JbigDecoder(const char* fileName) : fileName_(fileName) { jbg_dec_init(&state_); }
    ~JbigDecoder() { jbg_dec_free(&state_); }
    JbigDecoder(const JbigDecoder&) = delete;
    JbigDecoder& operator=(const JbigDecoder&) = delete;

    void setMaxSize(unsigned long width, unsigned long height) { jbg_dec_maxsize(&state_, width, height); }

    // Gives the decoder the first bytes of data; yields how many it took. result() then holds
    // JBG_EAGAIN (more data needed), JBG_EOK (an entity ended), JBG_EOK_INTR (the maximum size was
    // reached) or a failure code.
    size_t feed(unsigned char* data, size_t size) {
        if (headerBytes_ < kHeaderSize) {
            const size_t taken = std::min(size, kHeaderSize - headerBytes_);
            std::memcpy(header_ + headerBytes_, data, taken);
            headerBytes_ += taken;
            result_ = JBG_EAGAIN;
            if (headerBytes_ == kHeaderSize) {
                CheckHeader(ReadHeader(header_), fileName_);
                size_t used = 0;
                result_ = jbg_dec_in(&state_, header_, kHeaderSize, &used);
            }
            return taken;
        }
        size_t used = 0;
        result_ = jbg_dec_in(&state_, data, size, &used);
        if (result_ == JBG_EOK) headerBytes_ = 0;  // the next byte starts another entity
        // The decoder takes every byte unless it stops; one that neither stops nor takes a byte
        // would never get further.
        if (used == 0 && result_ == JBG_EAGAIN) result_ = JBG_EINVAL;
        return used;
    }

    int result() const { return result_; }
    bool goesOn() const { return result_ == JBG_EOK || result_ == JBG_EAGAIN; }
    const jbg_dec_state& state() const { return state_; }

private:
    jbg_dec_state state_;
    const char* fileName_;
    unsigned char header_[kHeaderSize];
    size_t headerBytes_ = 0;  // header bytes held back so far; kHeaderSize once the header went in
    int result_ = JBG_EAGAIN;
};

// Reads the file block by block into the decoder until the picture is complete, the decoder stops
// at the maximum size, or something fails; progress rises by 10 per block, to at most 90.
void Decode(InputFile& file, JbigDecoder& decoder) {
    unsigned char block[kBlockSize];
    int progress = 0;
    size_t got = 0;
    do {
        got = file.read(block, sizeof block);
        if (std::ferror(file.stream())) LumoError(kLoadModule, "Corrupted file %s", file.name().c_str());
        progress = std::min(progress + 10, 90);
        LumoProgress(progress);
        for (size_t at = 0; at < got && decoder.goesOn();) at += decoder.feed(block + at, got - at);
    } while (decoder.goesOn() && got > 0);
    const int result = decoder.result();
    if (result != JBG_EOK && result != JBG_EOK_INTR)
        LumoError(kLoadModule, "Problem with input file '%s': %s\n", file.name().c_str(), jbg_strerror(result));
}

// Copies plane 0 of the decoded layer (rows top first, (width + 7) / 8 bytes each, 1 = black) into
// a BW image and turns it into the record's sense (1 = white). The bits after the last pixel of a
// row come out 0.
ImagePtr CopyPicture(const JbigDecoder& decoder, const char* fileName) {
    const unsigned long width = jbg_dec_getwidth(&decoder.state());
    const unsigned long height = jbg_dec_getheight(&decoder.state());
    const unsigned char* bitmap = jbg_dec_getimage(&decoder.state(), 0);
    if (!bitmap) LumoError(kLoadModule, "Problem with input file '%s': %s\n", fileName, jbg_strerror(JBG_EAGAIN));
    CheckLoadSize(kLoadModule, static_cast<long>(width), static_cast<long>(height));
    ImagePtr image = LumoCreateImage(static_cast<int>(width), static_cast<int>(height), BILEVEL, nullptr, 1);
    const size_t lineBytes = (width + 7) / 8;
    const int spareBits = static_cast<int>(lineBytes * 8 - width);
    for (unsigned long y = 0; y < height; ++y) {
        uint8_t* row = PictureRow(*image, static_cast<int>(y));
        std::memcpy(row, bitmap + y * lineBytes, lineBytes);
        // Set here, so that the inversion clears them.
        row[lineBytes - 1] |= static_cast<uint8_t>((1u << spareBits) - 1);
        std::memset(row + lineBytes, 0xFF, image->rowBytes - lineBytes);
    }
    LumoProgress(95);
    LumoInvertImage(image.get());
    return image;
}

}  // namespace

ImagePtr LumoLoadJbig(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadJbigFrom(file);
}

ImagePtr LoadJbigFrom(InputFile& file) {
    LumoProgress(-1);
    JbigDecoder decoder(file.name().c_str());
    const int maxWidth = LumoGetIntOptionJbig("maxsizew");
    const int maxHeight = LumoGetIntOptionJbig("maxsizeh");
    if (maxWidth != 0 && maxHeight != 0)
        decoder.setMaxSize(static_cast<unsigned long>(maxWidth), static_cast<unsigned long>(maxHeight));
    Decode(file, decoder);
    ImagePtr image = CopyPicture(decoder, file.name().c_str());
    LumoProgress(-2);
    return image;
}
