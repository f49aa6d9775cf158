#include "formats/jbig/jbig_kit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include "core/messages.h"
#include "formats/jbig/jbig.h"
#include "formats/jbig/jbig_header.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadJbig";
constexpr size_t kBlockSize = 8192;  // the file is read and fed to the decoder in blocks of this size

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
        if (headerBytes_ < kJbigHeaderSize) {
            const size_t taken = std::min(size, kJbigHeaderSize - headerBytes_);
            std::memcpy(header_ + headerBytes_, data, taken);
            headerBytes_ += taken;
            result_ = JBG_EAGAIN;
            if (headerBytes_ == kJbigHeaderSize) {
                const JbigHeader header = ReadJbigHeader(header_);
                CheckJbigHeader(header, fileName_);
                if (!first_) first_ = header;
                size_t used = 0;
                result_ = jbg_dec_in(&state_, header_, kJbigHeaderSize, &used);
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

    // After JBG_EOK_INTR: the decoder goes on with the layers above the one it stopped at.
    void resume() { result_ = JBG_EAGAIN; }
    // The header of the file's first image entity, once it was read.
    const std::optional<JbigHeader>& firstHeader() const { return first_; }

    int result() const { return result_; }
    bool goesOn() const { return result_ == JBG_EOK || result_ == JBG_EAGAIN; }
    const jbg_dec_state& state() const { return state_; }

private:
    jbg_dec_state state_;
    const char* fileName_;
    unsigned char header_[kJbigHeaderSize];
    size_t headerBytes_ = 0;  // header bytes held back so far; kJbigHeaderSize once the header went in
    int result_ = JBG_EAGAIN;
    std::optional<JbigHeader> first_;
};

// Reads the file block by block into the decoder until the picture is complete, the decoder stops
// at the maximum size, or something fails; progress rises by 10 per block, to at most 90. When the
// decoder stops at its maximum size and layerDone (if given) returns true, having raised that size,
// decoding goes on with the rest of the data.
void Decode(InputFile& file, JbigDecoder& decoder, const std::function<bool()>& layerDone = {}) {
    unsigned char block[kBlockSize];
    int progress = 0;
    size_t got = 0;
    do {
        got = file.read(block, sizeof block);
        if (std::ferror(file.stream())) LumoError(kLoadModule, "Corrupted file %s", file.name().c_str());
        progress = std::min(progress + 10, 90);
        LumoProgress(progress);
        for (size_t at = 0; at < got && decoder.goesOn();) {
            at += decoder.feed(block + at, got - at);
            if (decoder.result() == JBG_EOK_INTR && layerDone && layerDone()) decoder.resume();
        }
    } while (decoder.goesOn() && got > 0);
    const int result = decoder.result();
    if (result != JBG_EOK && result != JBG_EOK_INTR)
        LumoError(kLoadModule, "Problem with input file '%s': %s\n", file.name().c_str(), jbg_strerror(result));
}

// Copies plane 0 of the decoded layer (rows top first, (width + 7) / 8 bytes each, 1 = black) into
// a BW image and turns it into the record's sense (1 = white). The bits after the last pixel of a
// row come out 0.
ImagePtr CopyPicture(const JbigDecoder& decoder, const char* fileName, bool last = true) {
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
    if (last) LumoProgress(95);  // a coarse layer on the way leaves the progress where it is
    LumoInvertImage(image.get());
    return image;
}

}  // namespace

ImagePtr LumoLoadJbigInLevels(const char* fileName, const CoarseLevelSink& coarse) {
    InputFile file(fileName, kLoadModule);
    LumoProgress(-1);
    JbigDecoder decoder(file.name().c_str());
    const std::optional<JbigMaxSize> limit = JbigLoadMaxSize();
    // The decoder is held at the lowest layer, then let up one layer at a time; each layer it stops
    // at is handed over. The last step has the load's own maximum size (or none), so the picture is
    // the one a plain load gives.
    constexpr unsigned long kUnlimited = ~0UL;
    decoder.setMaxSize(1, 1);
    int layer = -1;  // the layer the decoder was last held at, counted from the first entity's lowest
    const auto layerDone = [&]() -> bool {
        const std::optional<JbigHeader>& header = decoder.firstHeader();
        if (!header) return false;
        const int lowest = header->lowest;
        const int highest = header->highest;
        if (layer < 0) layer = lowest;
        const unsigned long width = jbg_dec_getwidth(&decoder.state());
        const unsigned long height = jbg_dec_getheight(&decoder.state());
        if (limit && (width > limit->width || height > limit->height)) return false;
        // The next layer up, when the load's limit lets the decoder reach it.
        const int next = layer + 1;
        if (next > highest) return false;
        const unsigned long nextWidth = JbigHalved(header->width, highest - next);
        const unsigned long nextHeight = JbigHalved(header->height, highest - next);
        if (limit && (nextWidth > limit->width || nextHeight > limit->height)) return false;
        ImagePtr level = CopyPicture(decoder, file.name().c_str(), false);
        coarse(*level);
        layer = next;
        if (next == highest)
            decoder.setMaxSize(limit ? limit->width : kUnlimited, limit ? limit->height : kUnlimited);
        else
            decoder.setMaxSize(nextWidth, nextHeight);
        return true;
    };
    Decode(file, decoder, layerDone);
    ImagePtr image = CopyPicture(decoder, file.name().c_str());
    LumoProgress(-2);
    return image;
}

ImagePtr LumoLoadJbig(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadJbigFrom(file);
}

ImagePtr LoadJbigFrom(InputFile& file) {
    LumoProgress(-1);
    JbigDecoder decoder(file.name().c_str());
    if (const std::optional<JbigMaxSize> max = JbigLoadMaxSize()) decoder.setMaxSize(max->width, max->height);
    Decode(file, decoder);
    ImagePtr image = CopyPicture(decoder, file.name().c_str());
    LumoProgress(-2);
    return image;
}
