#include <cstring>
#include <optional>

#include "core/messages.h"
#include "core/options.h"
#include "formats/pcd/pcd.h"
#include "formats/pcd/pcd_color.h"
#include "formats/pcd/pcd_huffman.h"
#include "formats/pcd/pcd_plane.h"
#include "formats/pcd/pcd_resample.h"
#include "formats/pcd/pcd_rotate.h"
#include "formats/pcd/pcd_sectors.h"

namespace {

int sizeOption = 3;        // 1..5: 192x128 to 3072x2048; 6: one thumbnail of an overview file
int thumbnailOption = 0;   // with size 6: the thumbnail, from 0
int subsampledOption = 1;  // 0: sizes 1 to 4 take full-resolution chroma from the next larger picture
const NamedOption<int> kIntOptions[] = {
    {"pcdsize", &sizeOption}, {"numthumbnail", &thumbnailOption}, {"crsubsampled", &subsampledOption}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown PCD option: %s");
// The user's Photo CD settings in the profile, and the options the dispatch copies them into.
constexpr ProfileKey kPcdProfileKeys[] = {
    {"PcdSize", "3", "1-5", "pcdsize", KeyUse::Load},
    {"PcdCrSubsampling", "1", "0,1", "crsubsampled", KeyUse::Load},
};

// Sector numbers of the fixed parts of an image pack.
constexpr long long kAttributeSector = 1;    // orientation in the low 2 bits of byte 1538
constexpr size_t kOrientationByte = 1538;
constexpr long long kBase16Sector = 4;       // 192x128 uncompressed
constexpr long long kBase4Sector = 23;       // 384x256 uncompressed
constexpr long long kBaseSector = 96;        // 768x512 uncompressed
constexpr long long kSearchStartSector = 387;  // bytes 510 and 511: where the 16Base search starts
constexpr long long kFourBaseTableSector = 388;
constexpr long long kFourBaseDataSector = 389;
// An overview file holds 192x128 thumbnails of 18 sectors each from sector 5.
constexpr long long kFirstThumbnailSector = 5;
constexpr long long kThumbnailSectors = 18;

enum class Wanted { All, LumaOnly, ChromaOnly };

// The three planes of one load and the progress reports between its steps.
class PcdLoad {
public:
    PcdLoad(InputFile& file, int stepCount) : reader(file), stepCount_(stepCount) {}

    PcdSectorReader reader;
    PcdPlane luma, chroma1, chroma2;

    void allocate(int lumaWidth, int lumaHeight, int chromaWidth, int chromaHeight) {
        AllocatePcdPlane(luma, lumaWidth, lumaHeight);
        AllocatePcdPlane(chroma1, chromaWidth, chromaHeight);
        AllocatePcdPlane(chroma2, chromaWidth, chromaHeight);
    }

    // Four reports, 30, 45, 60 and 75, spread over the step boundaries of the size's step list.
    void stepDone() {
        ++steps_;
        while (reported_ < 4 && reported_ < steps_ * 4 / stepCount_) LumoProgress(30 + 15 * reported_++);
    }

    // Reads an uncompressed W x H picture stored from sector on, in groups of two luma rows, a row of
    // chroma-1 and a row of chroma-2; planes not wanted are passed over. With quiet, a file that ends
    // too early yields false instead of an error.
    bool readUncompressed(long long sector, int width, int height, Wanted wanted, bool quiet = false) {
        const bool wantLuma = wanted != Wanted::ChromaOnly;
        const bool wantChroma = wanted != Wanted::LumaOnly;
        const int half = width / 2;
        if ((wantLuma && !luma.holds(width, height)) ||
            (wantChroma && (!chroma1.holds(half, height / 2) || !chroma2.holds(half, height / 2))))
            FailUnreadablePcd();
        reader.seekSector(sector);
        const auto take = [&](uint8_t* destination, size_t count) {
            if (!destination) {
                reader.skip(count);
                return true;
            }
            if (quiet) return reader.tryRead(destination, count);
            reader.read(destination, count);
            return true;
        };
        for (int k = 0; k < height / 2; ++k) {
            if (!take(wantLuma ? luma.row(2 * k) : nullptr, width) ||
                !take(wantLuma ? luma.row(2 * k + 1) : nullptr, width) ||
                !take(wantChroma ? chroma1.row(k) : nullptr, half) ||
                !take(wantChroma ? chroma2.row(k) : nullptr, half))
                return false;
        }
        if (wantLuma) luma.width = width, luma.height = height;
        if (wantChroma)
            for (PcdPlane* chroma : {&chroma1, &chroma2}) chroma->width = half, chroma->height = height / 2;
        stepDone();
        return true;
    }

    void up(PcdPlane& plane) {
        PcdUpsample(plane);
        stepDone();
    }
    void down(PcdPlane& plane) {
        PcdDownsample(plane);
        stepDone();
    }

    // The luma table in sector 388 and the 4Base luma residuals from sector 389.
    void fourBase() {
        PcdHuffmanTable tables[3];
        readTables(kFourBaseTableSector, 1, tables);
        reader.seekSector(kFourBaseDataSector);
        DecodePcdResiduals(reader, 1536, 1024, {&luma, nullptr, nullptr}, tables);
        stepDone();
    }

    // The sector that follows the 4Base residuals, which end on a sector boundary.
    long long sectorAfterFourBase() {
        const long long position = reader.position();
        if (position % static_cast<long long>(kPcdSectorBytes) != 0) LumoError(kPcdModule, "Error in file position");
        return position / static_cast<long long>(kPcdSectorBytes);
    }

    // The sector n the 16Base sections of sizes 3 and 4 count from, found without decoding 4Base: the
    // first sector from 384 + v (v from sector 387) whose first 32 bytes hold 31 or more bytes 255.
    long long searchSixteenBase() {
        uint8_t sector[kPcdSectorBytes];
        reader.readSector(kSearchStartSector, sector);
        long long n = 384 + (sector[510] << 8 | (sector[511] + 1));
        reader.seekSector(n);
        for (;; ++n) {
            reader.read(sector, kPcdSectorBytes);
            int marks = 0;
            for (int i = 0; i < 32; ++i) marks += sector[i] == 255;
            if (marks >= 31) return n;
        }
    }

    // 16Base residuals from the sections counted from sector n: tables in n + 12, the data from n + 14
    // (size 5), or from n + d with d in bytes 2 and 3 of sector n + 10 (the chroma-only sections).
    void sixteenBase(long long n, const PcdResidualPlanes& planes) {
        long long dataSector = n + 14;
        if (!planes.luma) {
            uint8_t sector[kPcdSectorBytes];
            reader.readSector(n + 10, sector);
            dataSector = n + (sector[2] << 8 | sector[3]);
        }
        PcdHuffmanTable tables[3];
        readTables(n + 12, 3, tables);
        reader.seekSector(dataSector);
        DecodePcdResiduals(reader, 3072, 2048, planes, tables);
        stepDone();
    }

private:
    // count tables back to back from the start of sector. Three full tables run past the sector, into
    // the next one (the residuals start two sectors after the tables): that one is read only if needed.
    void readTables(long long sector, int count, PcdHuffmanTable* tables) {
        uint8_t bytes[2 * kPcdSectorBytes];
        reader.readSector(sector, bytes);
        bool secondRead = false;
        size_t at = 0;
        for (int i = 0; i < count; ++i) {
            // The count byte itself may lie in the next sector (after two tables of 256 entries).
            if (!secondRead && (at >= kPcdSectorBytes || at + 1 + 4 * (static_cast<size_t>(bytes[at]) + 1) > kPcdSectorBytes)) {
                reader.read(bytes + kPcdSectorBytes, kPcdSectorBytes);
                secondRead = true;
            }
            at += ParsePcdHuffmanTable(bytes + at, tables[i]);
        }
    }

    int stepCount_;
    int steps_ = 0;
    int reported_ = 0;
};

// The number of progress steps in each size's step list.
int StepCount(int size, bool fullChroma) {
    switch (size) {
        case 1: case 2: return fullChroma ? 2 : 3;
        case 3: return fullChroma ? 8 : 3;
        case 4: return fullChroma ? 8 : 7;
        case 5: return 10;
        default: return 3;
    }
}

// Luma size of each of the sizes 1 to 5 (6 is a 192x128 thumbnail).
constexpr int kWidths[] = {0, 192, 384, 768, 1536, 3072, 192};
constexpr int kHeights[] = {0, 128, 256, 512, 1024, 2048, 128};

}  // namespace

void AllocatePcdPlane(PcdPlane& plane, int capacityWidth, int capacityHeight) {
    plane.samples = LumoBuffer<uint8_t>(static_cast<uint8_t*>(
        LumoAllocOrFail(static_cast<size_t>(capacityWidth) * capacityHeight, kPcdModule, "Out of memory !")));
    plane.capacityWidth = capacityWidth;
    plane.capacityHeight = capacityHeight;
    plane.width = plane.height = 0;
}

void FailUnreadablePcd() { LumoError(kPcdModule, "Can't read this PCD file."); }
void FailHuffmanSequence() { LumoError(kPcdModule, "Error in Huffman Sequence"); }
void FailHuffmanTable() { LumoError(kPcdModule, "Error in Huffman Code Table"); }

void LumoSetIntOptionPcd(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionPcd", name, value); }
int LumoGetIntOptionPcd(const char* name) { return kIntRegistry.get("LumoGetIntOptionPcd", name); }
std::span<const ProfileKey> PcdProfileKeys() { return kPcdProfileKeys; }

ImagePtr LumoLoadPcdInLevels(const char* fileName, const CoarseLevelSink& coarse) {
    const int size = sizeOption;
    if (size >= 2 && size <= 5) {
        // The smaller pictures are quick loads of their own: Base/16 (192x128) read as it is stored,
        // and for the largest size also Base (768x512), the last picture before the Huffman-coded
        // ones. They report no progress (the bar belongs to the load asked for) and the options are
        // put back however they end.
        struct Restore {
            int size = sizeOption, subsampled = subsampledOption, show = LumoGetIntOption("showprogress");
            ~Restore() {
                sizeOption = size;
                subsampledOption = subsampled;
                LumoSetIntOption("showprogress", show);
            }
        } restore;
        LumoSetIntOption("showprogress", 0);
        subsampledOption = 1;
        for (const int smaller : {1, 3}) {
            if (smaller >= size || (smaller == 3 && size != 5)) continue;
            sizeOption = smaller;
            ImagePtr level = LumoLoadPcd(fileName);
            // Options back before the level is handed over: the receiver may load other files.
            sizeOption = restore.size;
            subsampledOption = restore.subsampled;
            LumoSetIntOption("showprogress", restore.show);
            if (level) coarse(*level);
            LumoSetIntOption("showprogress", 0);
            subsampledOption = 1;
        }
    }
    return LumoLoadPcd(fileName);
}

ImagePtr LumoLoadPcd(const char* fileName) {
    InputFile file(fileName, kPcdModule, kPcdOpenMessage);
    return LoadPcdFrom(file);
}

namespace {

// What the options and the attribute sector decide before any pixel is read.
struct PcdPlan {
    int size;          // "pcdsize", 1..6
    bool fullChroma;   // sizes 1 to 4 with "crsubsampled" 0
    int width;         // of the planes, before the orientation turns them
    int height;
    PcdOrientation orientation = PcdOrientation::AsStored;  // thumbnails are read as stored

    // The result's sides: a quarter turn exchanges them.
    ImageInfo info() const {
        const bool turned = orientation != PcdOrientation::AsStored;
        return {turned ? height : width, turned ? width : height, ImageKind::RGB};
    }
};

PcdPlan PlanPcdLoad(InputFile& file) {
    const int size = sizeOption;
    if (size < 1 || size > 6) FailUnreadablePcd();
    PcdPlan plan{size, subsampledOption == 0 && size < 5, kWidths[size], kHeights[size]};
    CheckLoadSize(kPcdModule, plan.width, plan.height);
    if (size != 6) {
        uint8_t attributes[kPcdSectorBytes];
        PcdSectorReader(file).readSector(kAttributeSector, attributes);
        plan.orientation = PcdOrientationOf(attributes[kOrientationByte]);
    }
    return plan;
}

long long ThumbnailSector() { return kFirstThumbnailSector + kThumbnailSectors * thumbnailOption; }

}  // namespace

std::optional<ImageInfo> ReadPcdInfoFrom(InputFile& file) {
    const PcdPlan plan = PlanPcdLoad(file);
    if (plan.size == 6) {
        // The loader reads the thumbnail's 18 sectors and gives no image when the file ends first.
        PcdSectorReader reader(file);
        reader.seekSector(ThumbnailSector());
        if (file.remaining() < static_cast<size_t>(kThumbnailSectors) * kPcdSectorBytes) return std::nullopt;
    }
    return plan.info();
}

std::optional<ImageInfo> ReadPcdInfo(const char* fileName) {
    InputFile file(fileName, kPcdModule, kPcdOpenMessage);
    return ReadPcdInfoFrom(file);
}

ImagePtr LoadPcdFrom(InputFile& file) {
    const PcdPlan plan = PlanPcdLoad(file);
    const int size = plan.size;
    const bool fullChroma = plan.fullChroma;
    const int width = plan.width;
    const int height = plan.height;
    const PcdOrientation orientation = plan.orientation;
    PcdLoad load(file, StepCount(size, fullChroma));
    LumoProgress(-1);

    switch (size) {
        case 1:
        case 2: {
            const long long sector = size == 1 ? kBase16Sector : kBase4Sector;
            load.allocate(width, height, width, height);
            if (fullChroma) {
                load.readUncompressed(sector, width, height, Wanted::LumaOnly);
                // The next larger picture's chroma is this size's chroma at full resolution.
                load.readUncompressed(size == 1 ? kBase4Sector : kBaseSector, 2 * width, 2 * height, Wanted::ChromaOnly);
            } else {
                load.readUncompressed(sector, width, height, Wanted::All);
                load.up(load.chroma1);
                load.up(load.chroma2);
            }
            break;
        }
        case 3:
            if (fullChroma) {
                // Chroma at 1536x1024 takes the 16Base chroma residuals, then comes back to 768x512.
                load.allocate(width, height, 2 * width, 2 * height);
                load.readUncompressed(kBaseSector, width, height, Wanted::All);
                for (PcdPlane* chroma : {&load.chroma1, &load.chroma1, &load.chroma2, &load.chroma2}) load.up(*chroma);
                load.sixteenBase(load.searchSixteenBase(), {nullptr, &load.chroma1, &load.chroma2});
                load.down(load.chroma1);
                load.down(load.chroma2);
            } else {
                load.allocate(width, height, width, height);
                load.readUncompressed(kBaseSector, width, height, Wanted::All);
                load.up(load.chroma1);
                load.up(load.chroma2);
            }
            break;
        case 4:
        case 5:
            load.allocate(width, height, width, height);
            load.readUncompressed(kBaseSector, 768, 512, Wanted::All);
            load.up(load.luma);
            for (PcdPlane* chroma : {&load.chroma1, &load.chroma1, &load.chroma2, &load.chroma2}) load.up(*chroma);
            load.fourBase();
            if (size == 5) {
                load.up(load.luma);
                load.sixteenBase(load.sectorAfterFourBase(), {&load.luma, &load.chroma1, &load.chroma2});
                load.up(load.chroma1);
                load.up(load.chroma2);
            } else if (fullChroma) {
                load.sixteenBase(load.sectorAfterFourBase(), {nullptr, &load.chroma1, &load.chroma2});
            }
            break;
        default: {
            load.allocate(width, height, width, height);
            // A thumbnail past the end of the overview file is how the overview sheet finds the end.
            if (!load.readUncompressed(ThumbnailSector(), width, height, Wanted::All, true)) {
                LumoProgress(-2);
                return nullptr;
            }
            load.up(load.chroma1);
            load.up(load.chroma2);
            break;
        }
    }
    LumoProgress(80);
    PcdYccToRgb(load.luma, load.chroma1, load.chroma2);
    LumoProgress(90);
    ImagePtr image = PcdMakeImage(load.luma, load.chroma1, load.chroma2, orientation);
    LumoProgress(-2);
    return image;
}
