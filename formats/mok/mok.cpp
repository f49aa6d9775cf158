#include "formats/mok/mok.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "core/messages.h"
#include "core/options.h"
#include "formats/byte_order.h"
#include "formats/mok/mok_blocks.h"
#include "formats/mok/mok_pyramid.h"
#include "formats/mok/mok_stream.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadMok";
constexpr const char* kSaveModule = "LumoSaveMok";

int ratioOption = 1;  // how far a load decodes: 1 full size, 2 half, 3 quarter, 4 eighth
const NamedOption<int> kIntOptions[] = {{"mokratio", &ratioOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown MOK option: %s");
// The user's MOK setting in the profile, and the option the dispatch copies it into.
constexpr ProfileKey kMokProfileKeys[] = {{"MokRatio", "1", "1,2,3,4", "mokratio", KeyUse::Load}};

// The fixed header, then the pixel of the 1 x 1 top level; integers big-endian.
//   0  "MOK"     signature
//   3  'a'       format version
//   4  kind      'G' GRAY256; we write 'C' for RGB, and the loader takes any other byte as RGB
//   5  width     1..65535
//   7  height    1..65535
//   9  top       1 gray byte, or blue, green, red
constexpr size_t kFixedHeaderSize = 9;
constexpr uint8_t kGrayKind = 'G';
constexpr uint8_t kColourKind = 'C';

// Codes the pyramid of image from the top down: header and top pixel, then each level against the
// one above. Levels are released as soon as the next finer one is coded.
void EncodeMok(const IMG& image, MokBitWriter& out) {
    std::vector<ImagePtr> above;  // above[m] is level m + 1
    for (const IMG* level = &image; level->width > 1 || level->height > 1; level = above.back().get())
        above.push_back(BuildCoarserLevel(*level));
    const IMG& top = above.empty() ? image : *above.back();

    const int channels = image.bitsPerPixel / 8;
    uint8_t header[kFixedHeaderSize + 3];
    std::memcpy(header, "MOKa", 4);
    header[4] = channels == 1 ? kGrayKind : kColourKind;
    WriteBE16(header + 5, image.width);
    WriteBE16(header + 7, image.height);
    std::memcpy(header + kFixedHeaderSize, PictureRow(top, 0), static_cast<size_t>(channels));
    out.putBytes(header, kFixedHeaderSize + static_cast<size_t>(channels));

    const int steps = static_cast<int>(above.size());
    for (int k = steps - 1; k >= 0; --k) {
        EncodeLevel(k == 0 ? image : *above[k - 1], *above[k], out);
        above[k].reset();
        const int step = steps - k;
        LumoProgress((1 << step) * 100 / (1 << steps));
    }
}

void CheckSaveable(const IMG& image) {
    if (!IsKind(image, ImageKind::GRAY256) && !IsKind(image, ImageKind::RGB))
        LumoError(kSaveModule, "MOK Supports only GrayScale 256 and RGB");
    // A picture without pixels has no pyramid, and the loader would refuse its file.
    if (image.width == 0 || image.height == 0)
        LumoError(kSaveModule, "Can't save an empty picture (%d x %d) as MOK", image.width, image.height);
}

// The number of levels a load decodes below the top: the pyramid's levels less "mokratio", at
// least one and at most all of them (none for a 1 x 1 picture).
int DecodingSteps(int levels) {
    if (levels <= 1) return 0;
    const long long steps = static_cast<long long>(levels) - ratioOption;
    return static_cast<int>(std::clamp<long long>(steps, 1, levels - 1));
}

// What the header decides: the kind, the top pixel, and how far a load decodes with "mokratio".
struct MokPlan {
    bool gray = true;
    uint8_t top[3] = {};             // the 1 x 1 top level: gray, or blue, green, red
    std::vector<LevelSize> sizes;    // the pyramid, level 0 first
    int steps = 0;                   // levels decoded below the top
    LevelSize result() const { return sizes[sizes.size() - 1 - static_cast<size_t>(steps)]; }
    int channels() const { return gray ? 1 : 3; }
};

// Reads the header and refuses, before anything is allocated for pixels, a size the load could not give.
MokPlan ReadMokHeader(MokBitReader& in, const char* name) {
    uint8_t header[kFixedHeaderSize];
    if (in.getBytes(header, 3) != 3 || std::memcmp(header, "MOK", 3) != 0) LumoError(nullptr, "Not a MOK a file");
    if (in.getBytes(header + 3, 1) != 1 || header[3] != 'a') LumoError(nullptr, "Unknown MOK Version");
    if (in.getBytes(header + 4, 5) != 5) LumoError(kLoadModule, "%s: the MOK header is cut short", name);
    MokPlan plan;
    plan.gray = header[4] == kGrayKind;
    const size_t channels = static_cast<size_t>(plan.channels());
    if (in.getBytes(plan.top, channels) != channels) LumoError(kLoadModule, "%s: the MOK header is cut short", name);
    const int width = ReadBE16(header + 5);
    const int height = ReadBE16(header + 7);
    if (width == 0 || height == 0) CheckLoadSize(kLoadModule, width, height);  // refused: no pyramid

    plan.sizes = PyramidSizes(width, height);
    plan.steps = DecodingSteps(static_cast<int>(plan.sizes.size()));
    // The picture returned is the largest level decoded; the levels above it are smaller together.
    const LevelSize result = plan.result();
    CheckLoadSize(kLoadModule, result.width, result.height);
    const int bitsPerPixel = 8 * plan.channels();
    if (RowBytesFor(result.width, bitsPerPixel) > kMaxImageDimension)
        LumoError(kLoadModule, "Image too wide: %d pixels of %d bits need %ld bytes per row (at most %d)", result.width,
                  bitsPerPixel, RowBytesFor(result.width, bitsPerPixel), kMaxImageDimension);
    return plan;
}

ImageInfo PlanInfo(const MokPlan& plan) {
    return {plan.result().width, plan.result().height, plan.gray ? ImageKind::GRAY256 : ImageKind::RGB};
}

// Decodes as far as "mokratio" asks; with coarse, every level before the last is handed over and
// each level reports its progress within its share every few rows.
ImagePtr ReadMok(MokBitReader& in, const char* name, const CoarseLevelSink* coarse = nullptr) {
    const MokPlan plan = ReadMokHeader(in, name);
    const int colorClass = plan.gray ? GRAY : COLOR;
    const int bitsPerPixel = 8 * plan.channels();
    ImagePtr level = LumoCreateImage(1, 1, colorClass, nullptr, bitsPerPixel);
    std::memset(level->bits, 0, PixelBytes(*level));
    std::memcpy(level->bits, plan.top, static_cast<size_t>(plan.channels()));

    const int levels = static_cast<int>(plan.sizes.size());
    LumoProgress(-1);
    for (int step = 1; step <= plan.steps; ++step) {
        if (coarse) (*coarse)(*level);
        const LevelSize size = plan.sizes[levels - 1 - step];
        ImagePtr finer = LumoCreateImage(size.width, size.height, colorClass, nullptr, bitsPerPixel);
        const int before = (1 << (step - 1)) * 100 / (1 << plan.steps);
        const int after = (1 << step) * 100 / (1 << plan.steps);
        std::function<void(int)> rowsDone;
        if (coarse) {
            const int rows = level->height;
            rowsDone = [=](int done) { LumoProgress(before + (after - before) * done / rows); };
        }
        DecodeLevel(*finer, *level, in, rowsDone);
        level = std::move(finer);
        LumoProgress(after);
    }
    LumoProgress(-2);
    return level;
}

}  // namespace

std::span<const ProfileKey> MokProfileKeys() { return kMokProfileKeys; }

void LumoSetIntOptionMok(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionMok", name, value); }

int LumoGetIntOptionMok(const char* name) { return kIntRegistry.get("LumoGetIntOptionMok", name); }

ImagePtr LoadMokFrom(InputFile& file) {
    MokBitReader in(file);
    return ReadMok(in, file.name().c_str());
}

ImageInfo ReadMokInfoFrom(InputFile& file) {
    MokBitReader in(file);
    return PlanInfo(ReadMokHeader(in, file.name().c_str()));
}

ImageInfo ReadMokInfo(const char* fileName) {
    MokStreamPtr stream = LumoOpenMok(fileName, "r");
    const ImageInfo info = PlanInfo(ReadMokHeader(stream->reader(), fileName));
    LumoCloseMok(std::move(stream));
    return info;
}

ImagePtr LumoLoadMok(const char* fileName) {
    MokStreamPtr stream = LumoOpenMok(fileName, "r");
    ImagePtr image = ReadMok(stream->reader(), fileName);
    LumoCloseMok(std::move(stream));
    return image;
}

ImagePtr LumoLoadMokInLevels(const char* fileName, const CoarseLevelSink& coarse) {
    MokStreamPtr stream = LumoOpenMok(fileName, "r");
    ImagePtr image = ReadMok(stream->reader(), fileName, &coarse);
    LumoCloseMok(std::move(stream));
    return image;
}

void WriteMok(const IMG* image, const ByteSink& sink) {
    CheckSaveable(*image);
    MokBitWriter out(sink);
    EncodeMok(*image, out);
    out.flush();
}

void LumoSaveMok(const IMG* image, const char* fileName) {
    CheckSaveable(*image);  // before the file is created: a refused picture leaves no file
    MokStreamPtr stream = LumoOpenMok(fileName, "w");
    LumoProgress(-1);
    EncodeMok(*image, stream->writer());
    LumoCloseMok(std::move(stream));
    LumoProgress(-2);
}
