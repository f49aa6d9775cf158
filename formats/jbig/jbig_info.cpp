// The header reader of `lumo info` for JBIG: the size a load gives with the current "maxsizew" and
// "maxsizeh", without decoding. Most files are decided by their first header alone: the load stops
// at a layer inside the first entity. Otherwise the picture is the top layer of the last entity in
// the file (each entity may add layers to the one before), and with VLENGTH a NEWLEN marker may
// shorten it; so the entities' marker segments are walked, with no arithmetic decoding and no
// bitmap, following JBIG-KIT's decoder: its checks of each header, its loop over stripes, layers
// and planes, and the point where it stops for the maximum size. A file that ends before the walk
// decides reports the size its last header promises.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "core/image.h"
#include "core/messages.h"
#include "formats/jbig/jbig.h"
#include "formats/jbig/jbig_header.h"
#include "formats/jbig/jbig_kit.h"

namespace {

constexpr const char* kModule = "LumoLoadJbig";

// The markers that end or interrupt a stripe's data; the byte after 0xFF.
enum : int { kStuff = 0x00, kSdNorm = 0x02, kSdRst = 0x03, kAbort = 0x04, kNewLen = 0x05, kAtMove = 0x06, kComment = 0x07 };
constexpr int kMaxAtMoves = 64;  // ATMOVE segments JBIG-KIT takes per stripe

// Which loop (0 outermost) runs over stripes, layers and planes, by the order bits SEQ, ILEAVE and
// SMID; -1 for the two combinations that are refused.
enum { kStripe, kLayer, kPlane };
constexpr int kLoopOf[8][3] = {{2, 1, 0}, {-1, -1, -1}, {2, 0, 1}, {1, 0, 2},
                               {0, 2, 1}, {1, 2, 0},    {0, 1, 2}, {-1, -1, -1}};

struct Size {
    unsigned long width, height;
};

[[noreturn]] void Fail(const std::string& name, int code) {
    LumoError(kModule, "Problem with input file '%s': %s\n", name.c_str(), jbg_strerror(code));
}

// The file's bytes in blocks, for a walk that mostly looks for the next 0xFF.
class ByteWalker {
public:
    explicit ByteWalker(InputFile& file) : file_(file) {}

    // The next byte, or -1 at the end of the file.
    int next() { return fill() ? block_[at_++] : -1; }
    // Reads count bytes; false when the file ends first.
    bool read(uint8_t* out, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const int byte = next();
            if (byte < 0) return false;
            out[i] = static_cast<uint8_t>(byte);
        }
        return true;
    }
    // Skips count bytes; false when the file ends first.
    bool skip(unsigned long count) {
        while (count > 0) {
            if (!fill()) return false;
            const size_t taken = static_cast<size_t>(std::min<unsigned long>(count, size_ - at_));
            at_ += taken;
            count -= taken;
        }
        return true;
    }
    // Moves past the next 0xFF; false when the file ends first.
    bool passMarkerEscape() {
        while (fill()) {
            const void* found = std::memchr(block_ + at_, 0xFF, size_ - at_);
            if (found) {
                at_ = static_cast<size_t>(static_cast<const uint8_t*>(found) - block_) + 1;
                return true;
            }
            at_ = size_;
        }
        return false;
    }

private:
    bool fill() {
        if (at_ < size_) return true;
        size_ = file_.read(block_, sizeof block_);
        at_ = 0;
        if (size_ == 0 && std::ferror(file_.stream())) LumoError(kModule, "Corrupted file %s", file_.name().c_str());
        return size_ > 0;
    }

    InputFile& file_;
    uint8_t block_[8192];
    size_t size_ = 0, at_ = 0;
};

// One entity as JBIG-KIT's decoder follows it.
struct Entity {
    JbigHeader header;
    unsigned long height;  // YD, as a NEWLEN may have shortened it
    const int* loopOf;     // kLoopOf of the entity's order
    unsigned long loop[3]; // the decoder's loop counters, outermost first

    unsigned long stripes() const {
        const unsigned long rows = JbigHalved(height, header.highest);
        return rows / header.stripe + (rows % header.stripe != 0);
    }
    Size sizeAt(int layer) const {
        return {JbigHalved(header.width, header.highest - layer), JbigHalved(height, header.highest - layer)};
    }
    bool layersOutermost() const { return loopOf[kLayer] == 0; }
    bool exceeds(int layer, const JbigMaxSize& max) const {
        const Size size = sizeAt(layer);
        return size.width > max.width || size.height > max.height;
    }
    // The layer a load shows when it decodes this entity from its first layer on: the decoder
    // checks the maximum size only when it enters a layer after the first, and only when layers
    // form the outermost loop.
    int shownLayer(const std::optional<JbigMaxSize>& max) const {
        if (!max || !layersOutermost()) return header.highest;
        for (int layer = header.lowest + 1; layer <= header.highest; ++layer)
            if (exceeds(layer, *max)) return layer - 1;
        return header.highest;
    }
};

// JBIG-KIT's checks of a header, in its order; previous is the entity before (none for the first).
void CheckAgainstDecoder(const JbigHeader& h, const Entity* previous, const std::string& name) {
    if (h.highest < h.lowest) Fail(name, JBG_EINVAL | 1);
    if (h.fill != 0) Fail(name, JBG_EINVAL | 2);
    if ((h.order & 0xF0) != 0) Fail(name, JBG_EINVAL | 3);
    if ((h.options & 0x80) != 0) Fail(name, JBG_EINVAL | 4);
    if (h.lowest != (previous ? previous->header.highest + 1 : 0)) Fail(name, JBG_ENOCONT | 1);
    if (previous) {
        if (h.planes != previous->header.planes) Fail(name, JBG_ENOCONT | 2);
        const int shift = (h.highest - h.lowest + 1) & 63;  // the shift as the decoder's machine code does it
        if ((previous->header.width << shift) != h.width && (previous->height << shift) != h.height)
            Fail(name, JBG_ENOCONT | 3);
    }
    if (h.height == 0xFFFFFFFFUL) Fail(name, JBG_EIMPL | 1);
    if (h.planes == 0) Fail(name, JBG_EINVAL | 5);
    if (h.width == 0) Fail(name, JBG_EINVAL | 6);
    if (h.height == 0) Fail(name, JBG_EINVAL | 7);
    if (h.stripe == 0) Fail(name, JBG_EINVAL | 8);
    if (h.highest > 31) Fail(name, JBG_EIMPL | 2);
    if (h.highest != 0 && h.stripe >= (1UL << (32 - h.highest))) Fail(name, JBG_EIMPL | 3);
    if (h.mx > 127) Fail(name, JBG_EINVAL | 9);
    if (kLoopOf[h.order & 7][0] < 0) Fail(name, JBG_EINVAL | 10);
    if (h.lowest != h.highest && (h.order & (JBG_HITOLO | JBG_SEQ))) Fail(name, JBG_EIMPL | 5);
}

// Checks an ATMOVE segment (the 6 bytes after its marker) as the decoder does.
void CheckAtMove(const Entity& entity, const uint8_t* segment, int& moves, const std::string& name) {
    if (moves >= kMaxAtMoves) Fail(name, JBG_EIMPL | 7);
    const int tx = static_cast<int8_t>(segment[4]), ty = segment[5];
    if (tx < -entity.header.mx || tx > entity.header.mx || ty > entity.header.my || (ty == 0 && tx < 0))
        Fail(name, JBG_EINVAL | 11);
    if (ty != 0) Fail(name, JBG_EIMPL | 6);
    ++moves;
}

// Advances the decoder's loops past one stripe; true when that was the entity's last stripe.
// outermostMoved tells that the outermost loop moved on without ending.
bool AdvanceLoops(Entity& entity, bool& outermostMoved) {
    unsigned long first[3], last[3];
    first[entity.loopOf[kStripe]] = 0;
    last[entity.loopOf[kStripe]] = entity.stripes() - 1;
    first[entity.loopOf[kLayer]] = static_cast<unsigned long>(entity.header.lowest);
    last[entity.loopOf[kLayer]] = static_cast<unsigned long>(entity.header.highest);
    first[entity.loopOf[kPlane]] = 0;
    last[entity.loopOf[kPlane]] = static_cast<unsigned long>(entity.header.planes - 1);
    int i = 2;
    bool carry;
    do {
        carry = ++entity.loop[i] > last[i];
        if (carry && i > 0) entity.loop[i] = first[i];
    } while (--i >= 0 && carry);
    outermostMoved = !carry && i < 0;
    return carry;
}

// The walk of one entity's stripes after its header: the size the load shows when it stops inside
// the entity, or none when the entity ends.
std::optional<Size> WalkEntity(ByteWalker& in, Entity& entity, const std::optional<JbigMaxSize>& max,
                               const std::string& name, bool& fileEnded) {
    const JbigHeader& h = entity.header;
    fileEnded = false;
    int atMoves = 0;
    uint8_t segment[6];
    while (in.passMarkerEscape()) {
        const int marker = in.next();
        if (marker < 0) break;
        switch (marker) {
            case kStuff: break;  // an escaped 0xFF inside the coded data
            case kComment:
                if (!in.read(segment, 4) || !in.skip(static_cast<unsigned long>(segment[0]) << 24 | segment[1] << 16 |
                                                     segment[2] << 8 | segment[3])) {
                    fileEnded = true;
                    return std::nullopt;
                }
                break;
            case kAtMove:
                if (!in.read(segment, 6)) break;
                CheckAtMove(entity, segment, atMoves, name);
                break;
            case kNewLen: {
                if (!in.read(segment, 4)) break;
                const unsigned long rows = static_cast<unsigned long>(segment[0]) << 24 | segment[1] << 16 |
                                           segment[2] << 8 | segment[3];
                if (rows > entity.height) Fail(name, JBG_EINVAL | 12);
                if (!(h.options & JBG_VLENGTH)) Fail(name, JBG_EINVAL | 13);
                entity.height = rows;
                break;
            }
            case kAbort: Fail(name, JBG_EABORT);
            case kSdNorm:
            case kSdRst: {
                atMoves = 0;
                bool entered = false;
                if (AdvanceLoops(entity, entered)) return std::nullopt;
                if (entered && entity.layersOutermost() && max) {
                    const int layer = static_cast<int>(entity.loop[0]);
                    if (entity.exceeds(layer, *max)) return entity.sizeAt(layer - 1);
                }
                break;
            }
            default: Fail(name, JBG_EMARKER);
        }
    }
    fileEnded = true;
    return std::nullopt;
}

}  // namespace

ImageInfo ReadJbigInfoFrom(InputFile& file) {
    const std::string name = file.name();
    const std::optional<JbigMaxSize> max = JbigLoadMaxSize();
    ByteWalker in(file);
    std::optional<Entity> previous;
    Size shown{};
    for (;;) {
        uint8_t bytes[kJbigHeaderSize];
        size_t got = 0;
        for (int byte; got < sizeof bytes && (byte = in.next()) >= 0;) bytes[got++] = static_cast<uint8_t>(byte);
        if (got == 0 && previous) break;  // the file ends with a whole entity
        if (got < sizeof bytes) Fail(name, JBG_EAGAIN);
        Entity entity{ReadJbigHeader(bytes), 0, nullptr, {}};
        CheckJbigHeader(entity.header, name.c_str());
        CheckAgainstDecoder(entity.header, previous ? &*previous : nullptr, name);
        entity.height = entity.header.height;
        entity.loopOf = kLoopOf[entity.header.order & 7];
        entity.loop[entity.loopOf[kLayer]] = static_cast<unsigned long>(entity.header.lowest);

        // Without NEWLEN the header alone tells a stop inside the entity; a file cut short tells
        // what its header promises.
        const int layer = entity.shownLayer(max);
        shown = entity.sizeAt(layer);
        if (layer < entity.header.highest && !(entity.header.options & JBG_VLENGTH)) break;
        const bool privateTable = (entity.header.options & (JBG_DPON | JBG_DPPRIV | JBG_DPLAST)) == (JBG_DPON | JBG_DPPRIV);
        if (privateTable && !in.skip(kJbigPrivateTableSize)) break;
        bool fileEnded = false;
        if (const std::optional<Size> stopped = WalkEntity(in, entity, max, name, fileEnded)) {
            shown = *stopped;
            break;
        }
        shown = entity.sizeAt(fileEnded ? entity.shownLayer(max) : entity.header.highest);
        if (fileEnded) break;
        previous = entity;
    }
    CheckLoadSize(kModule, static_cast<long>(shown.width), static_cast<long>(shown.height));
    return {static_cast<int>(shown.width), static_cast<int>(shown.height), ImageKind::BW};
}

ImageInfo ReadJbigInfo(const char* fileName) {
    InputFile file(fileName, kModule);
    return ReadJbigInfoFrom(file);
}
