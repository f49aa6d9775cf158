#include "formats/gif/gif_frames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/gif/gif_blocks.h"
#include "formats/gif/gif_data_buffer.h"
#include "formats/gif/gif_lzw_decoder.h"
#include "formats/load_limits.h"

namespace {

using namespace gif;

constexpr uint8_t kExtension = '!', kImage = ',', kTrailer = ';';
constexpr uint8_t kGraphicControl = 0xF9, kApplication = 0xFF;
constexpr int kRestoreBackground = 2, kRestorePrevious = 3;

// Paints the part of the rectangle that lies on the screen white.
void ClearToWhite(IMG& screen, int left, int top, int width, int height) {
    const int right = std::min<int>(screen.width, left + width), bottom = std::min<int>(screen.height, top + height);
    for (int y = top; y < bottom; ++y)
        if (left < right) std::memset(PictureRow(screen, y) + 3 * left, 0xFF, 3 * static_cast<size_t>(right - left));
}

// The colour table an image's indices refer to: its own, or the screen's.
struct Table {
    const uint8_t* entries;
    int length;
};

}  // namespace

GifFrames::GifFrames(const char* fileName) : file_(std::make_unique<InputFile>(fileName, kLoadModule, "Can't open %s")) {
    start();
}

GifFrames::GifFrames(const uint8_t* data, size_t size, const char* name)
    : file_(std::make_unique<InputFile>(data, size, name)) {
    start();
}

GifFrames::~GifFrames() = default;

void GifFrames::start() {
    CheckSignature(*file_);
    const ScreenDescriptor screen = ReadScreenDescriptor(*file_);
    CheckLoadSize(kLoadModule, screen.width, screen.height);
    if (screen.flags & kColorTablePresent) {
        globalLength_ = TableLength(screen.flags);
        ReadGifBytes(*file_, global_, 3 * static_cast<size_t>(globalLength_));
    }
    // A screen of no size is taken as one pixel: its frames are clipped to nothing but still counted.
    screen_ = LumoCreateImage(std::max<int>(1, screen.width), std::max<int>(1, screen.height), COLOR, nullptr, 24);
    std::memset(screen_->bits, 0xFF, PixelBytes(*screen_));
}

ImagePtr GifFrames::copyScreen() const {
    ImagePtr copy = LumoCreateImage(screen_->width, screen_->height, COLOR, nullptr, 24);
    std::memcpy(copy->bits, screen_->bits, PixelBytes(*screen_));
    return copy;
}

bool GifFrames::next() {
    if (ended_) return false;
    if (count_ > 0 && disposal_ == kRestoreBackground) ClearToWhite(*screen_, left_, top_, width_, height_);
    if (count_ > 0 && disposal_ == kRestorePrevious && saved_)
        std::memcpy(screen_->bits, saved_->bits, PixelBytes(*screen_));
    try {
        for (;;) {
            const int introducer = file_->getByte();
            if (introducer == EOF || introducer == kTrailer) break;
            if (introducer == kImage) {
                drawImage();
                ++count_;
                return true;
            }
            if (introducer != kExtension) {
                LumoWarning(kLoadModule, "Bogus input char 0x%02x, ignoring", introducer);
                continue;
            }
            const int label = ReadGifByte(*file_);
            uint8_t block[256];
            // The first sub-block of the extensions read here; other extensions are skipped whole.
            const int length = label == kGraphicControl || label == kApplication ? ReadGifByte(*file_) : -1;
            if (length == 0) continue;  // the extension ended with its first block
            if (length > 0) ReadGifBytes(*file_, block, static_cast<size_t>(length));
            if (label == kGraphicControl && length >= 4) {
                nextDisposal_ = (block[0] >> 2) & 7;
                nextDelay_ = ReadLE16(block + 1);
                transparent_ = block[0] & 1 ? block[3] : -1;
            }
            const bool loop = label == kApplication && length == 11 &&
                              (std::memcmp(block, "NETSCAPE2.0", 11) == 0 || std::memcmp(block, "ANIMEXTS1.0", 11) == 0);
            if (loop) {
                const int sub = ReadGifByte(*file_);
                if (sub == 0) continue;
                ReadGifBytes(*file_, block, static_cast<size_t>(sub));
                if (sub >= 3 && block[0] == 1) {
                    const int repeats = ReadLE16(block + 1);
                    plays_ = repeats == 0 ? 0 : repeats + 1;
                }
            }
            SkipGifSubBlocks(*file_);  // the rest of the extension, or all of one we do not read
        }
    } catch (const LumoFailure&) {
        // A file cut short (or damaged past repair) ends the animation at the last whole frame; a
        // file without one fails as a load would.
        if (count_ == 0) throw;
    }
    ended_ = true;
    return false;
}

void GifFrames::drawImage() {
    const ImageDescriptor image = ReadImageDescriptor(*file_);
    uint8_t local[768];
    Table table{global_, globalLength_};
    if (image.flags & kColorTablePresent) {
        table = {local, TableLength(image.flags)};
        ReadGifBytes(*file_, local, 3 * static_cast<size_t>(table.length));
    }
    const int codeSize = ReadCodeSize(*file_);
    CheckLoadSize(kLoadModule, image.width, image.height);

    // The data's extent first: the decoder reads ahead, and the next block starts where the data ends.
    std::FILE* stream = file_->stream();
    const long dataStart = file_->position();
    SkipGifSubBlocks(*file_);
    const long dataEnd = file_->position();
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    CheckPromisedSize(kLoadModule, file_->name().c_str(), pixels, static_cast<size_t>(dataEnd - dataStart),
                      kMaxPixelsPerDataByte, kAlwaysAcceptedBytes);
    LumoBuffer<uint8_t> indices = LumoAllocBuffer<uint8_t>(std::max<size_t>(pixels, 1), kLoadModule);
    std::fseek(stream, dataStart, SEEK_SET);
    {
        GifLzwDecoder decoder(*file_, codeSize, indices.get(), pixels);
        decoder.decodeTo(pixels);
    }
    std::fseek(stream, dataEnd, SEEK_SET);

    if (nextDisposal_ == kRestorePrevious) {
        if (!saved_) saved_ = copyScreen();
        else std::memcpy(saved_->bits, screen_->bits, PixelBytes(*screen_));
    }
    const bool interlaced = image.flags & kInterlaced;
    const int right = std::min<int>(screen_->width, image.left + image.width);
    const int bottom = std::min<int>(screen_->height, image.top + image.height);
    for (int y = image.top; y < bottom; ++y) {
        const int row = y - image.top;
        const uint8_t* source = indices.get() + static_cast<size_t>(interlaced ? InterlacedFileRow(row, image.height) : row) * image.width;
        uint8_t* target = PictureRow(*screen_, y);
        for (int x = image.left; x < right; ++x) {
            const int index = source[x - image.left];
            if (index == transparent_) continue;
            uint8_t* pixel = target + 3 * x;
            if (index < table.length) {
                const uint8_t* entry = table.entries + 3 * index;
                pixel[0] = entry[2];
                pixel[1] = entry[1];
                pixel[2] = entry[0];
            } else {
                pixel[0] = pixel[1] = pixel[2] = 0;  // an index past the table: black, as the loader's palette
            }
        }
    }
    disposal_ = nextDisposal_;
    left_ = image.left;
    top_ = image.top;
    width_ = image.width;
    height_ = image.height;
    delay_ = nextDelay_ < 2 ? 10 : nextDelay_;
    nextDisposal_ = nextDelay_ = 0;
    transparent_ = -1;
}

size_t CountGifFrames(const char* fileName) {
    InputFile file(fileName, kLoadModule, "Can't open %s");
    CheckSignature(file);
    const ScreenDescriptor screen = ReadScreenDescriptor(file);
    if (screen.flags & kColorTablePresent) file.skip(3 * static_cast<size_t>(TableLength(screen.flags)));
    size_t count = 0;
    try {
        for (;;) {
            const int introducer = file.getByte();
            if (introducer == EOF || introducer == kTrailer) break;
            if (introducer == kExtension) {
                ReadGifByte(file);
                SkipGifSubBlocks(file);
            } else if (introducer == kImage) {
                const ImageDescriptor image = ReadImageDescriptor(file);
                if (image.flags & kColorTablePresent) file.skip(3 * static_cast<size_t>(TableLength(image.flags)));
                ReadGifByte(file);  // the code size
                SkipGifSubBlocks(file);
                ++count;
            }
        }
    } catch (const LumoFailure&) {
        // cut short: the images whose data is whole count
    }
    return count;
}
