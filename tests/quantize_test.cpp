#include "core/quantize.h"

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/convert.h"
#include "tests/support/colour_pictures.h"
#include "tests/support/lumo_test.h"

namespace {

class QuantizeTest : public LumoTest {};

// A slow, plain reading of the median-cut quantizer, to check the fast one bit for bit ------

struct RefBox {
    int lo[3], hi[3];
    long long count;
};

struct RefCandidate {
    int bound, index;
};

struct RefResult {
    std::vector<std::array<int, 3>> palette;  // all 2^bits entries
    std::vector<std::vector<int>> indices;    // [y][x], y = 0 top
};

class ReferenceQuantizer {
public:
    ReferenceQuantizer(const IMG& rgb, int bits) : image_(rgb), colours_(1 << bits) {}

    RefResult run(bool dither) {
        histogram();
        medianCut();
        RefResult result;
        result.palette.assign(colours_, {0, 0, 0});
        for (size_t k = 0; k < used_.size(); ++k)
            for (int a = 0; a < 3; ++a) result.palette[k][a] = (used_[k].lo[a] + used_[k].hi[a]) * 4;
        palette_ = result.palette;
        palette_.resize(used_.size());
        lookup();
        result.indices = dither ? diffuse() : mapPlain();
        return result;
    }

private:
    static int cell(int r5, int g5, int b5) { return r5 * 1024 + g5 * 32 + b5; }
    std::array<int, 3> colour(int x, int y) const {
        const uint32_t c = PixelAt(image_, x, y);
        return {static_cast<int>(c >> 16), static_cast<int>(c >> 8 & 255), static_cast<int>(c & 255)};
    }

    void histogram() {
        counts_.assign(32768, 0);
        RefBox first{{99, 99, 99}, {-1, -1, -1}, static_cast<long long>(image_.width) * image_.height};
        for (int y = 0; y < image_.height; ++y)
            for (int x = 0; x < image_.width; ++x) {
                const auto c = colour(x, y);
                ++counts_[cell(c[0] >> 3, c[1] >> 3, c[2] >> 3)];
                for (int a = 0; a < 3; ++a) {
                    first.lo[a] = std::min(first.lo[a], c[a] >> 3);
                    first.hi[a] = std::max(first.hi[a], c[a] >> 3);
                }
            }
        if (first.count > 0) used_.push_back(first);
    }

    long long slice(const RefBox& box, int axis, int s) const {
        long long sum = 0;
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b)
                    if ((axis == 0 ? r : axis == 1 ? g : b) == s) sum += counts_[cell(r, g, b)];
        return sum;
    }

    void shrink(RefBox& box) const {
        for (int a = 0; a < 3; ++a) {
            if (box.lo[a] >= box.hi[a]) continue;
            while (slice(box, a, box.lo[a]) == 0) ++box.lo[a];
            while (slice(box, a, box.hi[a]) == 0) --box.hi[a];
        }
    }

    // used_[0] is the head of the used list.
    void medianCut() {
        int free = colours_ - static_cast<int>(used_.size());
        while (free > 0) {
            int pick = -1;
            for (size_t i = 0; i < used_.size(); ++i) {
                const RefBox& b = used_[i];
                const bool splittable = b.lo[0] < b.hi[0] || b.lo[1] < b.hi[1] || b.lo[2] < b.hi[2];
                if (splittable && (pick < 0 || b.count > used_[pick].count)) pick = static_cast<int>(i);
            }
            if (pick < 0) break;
            RefBox box = used_[pick];
            const int len[3] = {box.hi[0] - box.lo[0], box.hi[1] - box.lo[1], box.hi[2] - box.lo[2]};
            const int axis = len[0] >= len[1] && len[0] >= len[2] ? 0 : len[1] >= len[2] ? 1 : 2;
            const long long half = box.count / 2;
            long long running = 0;
            int s = box.lo[axis];
            for (; s <= box.hi[axis]; ++s) {
                running += slice(box, axis, s);
                if (running >= half) break;
            }
            if (s == box.lo[axis]) s = box.lo[axis] + 1;
            RefBox lower = box, upper = box;
            lower.hi[axis] = s - 1;
            upper.lo[axis] = s;
            lower.count = upper.count = 0;
            for (int t = box.lo[axis]; t <= box.hi[axis]; ++t) (t < s ? lower.count : upper.count) += slice(box, axis, t);
            shrink(lower);
            shrink(upper);
            used_[pick] = upper;
            used_.insert(used_.begin(), lower);
            --free;
        }
    }

    const std::vector<RefCandidate>& cellList(int pr, int pg, int pb) {
        const int key = (pr >> 6) * 16 + (pg >> 6) * 4 + (pb >> 6);
        auto found = cells_.find(key);
        if (found != cells_.end()) return found->second;
        std::vector<RefCandidate> list;
        const int p[3] = {pr, pg, pb};
        const auto inside = [&](const std::array<int, 3>& q) {
            return (q[0] >> 6) == (pr >> 6) && (q[1] >> 6) == (pg >> 6) && (q[2] >> 6) == (pb >> 6);
        };
        int far = 99999999;
        for (size_t i = 0; i < palette_.size(); ++i) {
            if (!inside(palette_[i])) continue;
            list.push_back({0, static_cast<int>(i)});
            int sum = 0;
            for (int a = 0; a < 3; ++a) {
                int d = palette_[i][a] - p[a];
                if (d < 32) d = 63 - d;
                sum += d * d;
            }
            far = std::min(far, sum);
        }
        for (size_t i = 0; i < palette_.size(); ++i) {
            if (inside(palette_[i])) continue;
            int bound = 0;
            for (int a = 0; a < 3; ++a) {
                const int q = palette_[i][a];
                const int d = p[a] - q > 0 ? p[a] - q : q - (p[a] + 63) > 0 ? q - (p[a] + 63) : 0;
                bound += d * d;
            }
            if (bound < far) list.push_back({bound, static_cast<int>(i)});
        }
        std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.bound < b.bound; });
        return cells_[key] = list;
    }

    template <typename Distance>
    static int search(const std::vector<RefCandidate>& list, Distance distance) {
        int best = 9999999, chosen = 0;
        for (const RefCandidate& c : list) {
            if (best <= c.bound) break;
            const int d = distance(c.index);
            if (d < best) best = d, chosen = c.index;
        }
        return chosen;
    }

    void lookup() {
        table_.assign(32768, -1);
        for (int r = 0; r < 32; ++r)
            for (int g = 0; g < 32; ++g)
                for (int b = 0; b < 32; ++b) {
                    if (counts_[cell(r, g, b)] == 0) continue;
                    const int p[3] = {8 * r, 8 * g, 8 * b};
                    table_[cell(r, g, b)] = search(cellList(p[0], p[1], p[2]), [&](int i) {
                        int sum = 0;
                        for (int a = 0; a < 3; ++a) sum += (palette_[i][a] - p[a]) * (palette_[i][a] - p[a]);
                        return sum;
                    });
                }
    }

    std::vector<std::vector<int>> mapPlain() const {
        std::vector<std::vector<int>> out(image_.height, std::vector<int>(image_.width));
        for (int y = 0; y < image_.height; ++y)
            for (int x = 0; x < image_.width; ++x) {
                const auto c = colour(x, y);
                out[y][x] = table_[cell(c[0] >> 3, c[1] >> 3, c[2] >> 3)];
            }
        return out;
    }

    std::vector<std::vector<int>> diffuse() {
        const int width = image_.width, height = image_.height;
        std::vector<std::vector<int>> out(height, std::vector<int>(width));
        if (height == 0) return out;
        using Row = std::vector<std::array<int, 3>>;
        Row current(width), next(width);
        for (int x = 0; x < width; ++x) current[x] = colour(x, 0);
        const int computed = height >= 2 ? height - 1 : 1;
        for (int r = 0; r < computed; ++r) {
            if (r + 1 < height)
                for (int x = 0; x < width; ++x) next[x] = colour(x, r + 1);
            const bool nextIsLast = r + 1 >= height - 1;
            for (int x = 0; x < width; ++x) {
                int c[3];
                for (int a = 0; a < 3; ++a) c[a] = std::clamp(current[x][a], 0, 255);
                int& entry = table_[cell(c[0] >> 3, c[1] >> 3, c[2] >> 3)];
                if (entry < 0)
                    entry = search(cellList(c[0], c[1], c[2]), [&](int i) {
                        int sum = 0;
                        for (int a = 0; a < 3; ++a) sum += ((palette_[i][a] >> 3) - (c[a] >> 3)) * ((palette_[i][a] >> 3) - (c[a] >> 3));
                        return sum;
                    });
                out[r][x] = entry;
                for (int a = 0; a < 3; ++a) {
                    const int e = c[a] - palette_[entry][a];
                    if (x < width - 1) current[x + 1][a] += 7 * e / 16;
                    if (nextIsLast) continue;
                    if (x > 0) next[x - 1][a] += 3 * e / 16;
                    next[x][a] += 5 * e / 16;
                    if (x < width - 1) next[x + 1][a] += e / 16;
                }
            }
            std::swap(current, next);
        }
        if (height >= 2) out[height - 1] = out[height - 2];
        return out;
    }

    const IMG& image_;
    int colours_;
    std::vector<long long> counts_;
    std::vector<RefBox> used_;
    std::vector<std::array<int, 3>> palette_;  // the entries made from boxes
    std::map<int, std::vector<RefCandidate>> cells_;
    std::vector<int> table_;
};

void ExpectSameAsReference(const IMG& rgb, int bits, bool dither) {
    const RefResult expected = ReferenceQuantizer(rgb, bits).run(dither);
    ImagePtr result = LumoQuantize(&rgb, bits, dither);
    ASSERT_EQ(KindOf(*result), bits == 4 ? ImageKind::COLOR16 : ImageKind::COLOR256);
    for (int i = 0; i < (1 << bits); ++i)
        for (int a = 0; a < 3; ++a) ASSERT_EQ(result->palette[3 * i + a], expected.palette[i][a]) << "entry " << i;
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x)
            ASSERT_EQ(PixelAt(*result, x, y), static_cast<uint32_t>(expected.indices[y][x])) << "at " << x << ", " << y;
}

// Pictures of different colour spreads -----------------------------------------------------

enum class Spread { Noise, FewColours, Smooth, Dark };

ImagePtr MakeSpreadPicture(Spread spread, int width, int height, unsigned seed) {
    if (spread == Spread::Noise) return MakeNoiseImage(ImageKind::RGB, width, height, seed);
    std::mt19937 random(seed);
    ImagePtr image = MakeNoiseImage(ImageKind::RGB, width, height, seed);
    std::vector<uint32_t> inks(5);
    for (uint32_t& ink : inks) ink = random() & 0xFFFFFF;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t value = 0;
            switch (spread) {
                case Spread::FewColours: value = inks[random() % inks.size()]; break;
                case Spread::Smooth:
                    value = static_cast<uint32_t>((x * 255 / std::max(1, width - 1)) << 16 |
                                                  (y * 255 / std::max(1, height - 1)) << 8 | ((x + y) * 3 + random() % 9) % 256);
                    break;
                default: value = random() & 0x3F3F3F; break;
            }
            SetPixel(*image, x, y, value);
        }
    return image;
}

struct ReferenceCase {
    Spread spread;
    int width;
    int height;
};
void PrintTo(const ReferenceCase& c, std::ostream* os) {
    static const char* const kSpreads[] = {"Noise", "FewColours", "Smooth", "Dark"};
    *os << kSpreads[static_cast<int>(c.spread)] << " " << c.width << "x" << c.height;
}

std::string ReferenceCaseName(const ::testing::TestParamInfo<std::tuple<ReferenceCase, int, bool>>& info) {
    const auto& [c, bits, dither] = info.param;
    static const char* const kSpreads[] = {"Noise", "FewColours", "Smooth", "Dark"};
    return kSpreads[static_cast<int>(c.spread)] + std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
           std::to_string(bits) + "bits" + (dither ? "_Dithered" : "");
}

class QuantizeReferenceTest : public QuantizeTest,
                              public ::testing::WithParamInterface<std::tuple<ReferenceCase, int, bool>> {};

TEST_P(QuantizeReferenceTest, MatchesThePlainReading) {
    const auto& [c, bits, dither] = GetParam();
    ImagePtr rgb = MakeSpreadPicture(c.spread, c.width, c.height, c.width * 7 + c.height);
    ExpectSameAsReference(*rgb, bits, dither);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, QuantizeReferenceTest,
    ::testing::Combine(::testing::Values(ReferenceCase{Spread::Noise, 23, 17}, ReferenceCase{Spread::Noise, 64, 48},
                                         ReferenceCase{Spread::FewColours, 15, 9}, ReferenceCase{Spread::Smooth, 71, 40},
                                         ReferenceCase{Spread::Dark, 30, 30}, ReferenceCase{Spread::Noise, 9, 1},
                                         ReferenceCase{Spread::Smooth, 1, 12}, ReferenceCase{Spread::Noise, 5, 2}),
                       ::testing::Values(4, 8), ::testing::Bool()),
    ReferenceCaseName);

// Particular pictures ---------------------------------------------------------------------

TEST_F(QuantizeTest, OneColourMakesOneEntryAndEveryPixelMapsToIt) {
    for (int bits : {4, 8})
        for (bool dither : {false, true}) {
            ImagePtr rgb = MakeUniformRGB(7, 5, 100, 150, 200);
            ImagePtr result = LumoQuantize(rgb.get(), bits, dither);
            EXPECT_EQ(std::vector<uint8_t>(result->palette, result->palette + 3), (std::vector<uint8_t>{96, 144, 200}));
            EXPECT_TRUE(std::all_of(result->palette + 3, result->palette + 3 * (1 << bits), [](uint8_t v) { return v == 0; }));
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 7; ++x) ASSERT_EQ(PixelAt(*result, x, y), 0u);
        }
}

TEST_F(QuantizeTest, WhiteBecomes248) {
    ImagePtr rgb = MakeUniformRGB(3, 3, 255, 255, 255);
    ImagePtr result = LumoQuantize(rgb.get(), 8, 1);
    EXPECT_EQ(std::vector<uint8_t>(result->palette, result->palette + 3), (std::vector<uint8_t>{248, 248, 248}));
}

TEST_F(QuantizeTest, FewerCellsThanColoursLeaveTheLastEntriesBlankAndUnused) {
    ImagePtr rgb = MakeSpreadPicture(Spread::FewColours, 40, 30, 3);  // five colours
    for (bool dither : {false, true}) {
        ImagePtr result = LumoQuantize(rgb.get(), 8, dither);
        EXPECT_TRUE(std::all_of(result->palette + 15, result->palette + 768, [](uint8_t v) { return v == 0; }));
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) ASSERT_LT(PixelAt(*result, x, y), 5u);
    }
}

TEST_F(QuantizeTest, OddWidthsKeepTheLastIndexInTheHighNibble) {
    ImagePtr rgb = MakeSpreadPicture(Spread::FewColours, 5, 3, 8);
    for (int x = 0; x < 5; ++x) SetPixel(*rgb, x, 1, 0xFFFFFF);
    for (bool dither : {false, true}) {
        ImagePtr result = LumoQuantize(rgb.get(), 4, dither);
        const uint8_t* row = PictureRow(*result, 1);
        const uint8_t white = row[0] >> 4;
        EXPECT_EQ(row[2], white << 4) << "low nibble of the last byte is blank";
        EXPECT_EQ(std::vector<uint8_t>(result->palette + 3 * white, result->palette + 3 * white + 3),
                  (std::vector<uint8_t>{248, 248, 248}));
    }
}

TEST_F(QuantizeTest, SourceIsLeftAloneAndProgressIsReported) {
    ImagePtr rgb = MakeNoiseImage(ImageKind::RGB, 33, 21, 9);
    const std::vector<uint8_t> before = Snapshot(*rgb);
    LumoQuantize(rgb.get(), 8, 1);
    LumoQuantize(rgb.get(), 4, 0);
    EXPECT_EQ(Snapshot(*rgb), before);
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(progress.front(), -1);
    EXPECT_EQ(progress[progress.size() - 2], 100);
    EXPECT_EQ(progress.back(), -2);
    EXPECT_TRUE(std::is_sorted(progress.begin() + 1, progress.begin() + static_cast<long>(progress.size() / 2) - 1));
}

TEST_F(QuantizeTest, EmptyPicturesAndIllegalRequests) {
    ImagePtr empty = MakeUniformRGB(0, 4, 0, 0, 0);
    ImagePtr result = LumoQuantize(empty.get(), 8, 1);
    EXPECT_EQ(result->height, 4);
    EXPECT_EQ(result->palette[0], 0);

    ImagePtr rgb = MakeUniformRGB(2, 2, 1, 2, 3);
    EXPECT_LUMO_ERROR(LumoQuantize(rgb.get(), 24, 0), "LumoQuantize", "Illegal Parameters");
    ImagePtr gray = MakeUniformGray(2, 2, 9);
    EXPECT_LUMO_ERROR(LumoQuantize(gray.get(), 8, 0), "LumoQuantize", "Illegal Parameters");
}

TEST_F(QuantizeTest, ColourConversionsQuantizeWithTheDitherOption) {
    ImagePtr rgb = MakeSpreadPicture(Spread::Smooth, 40, 20, 2);
    for (int dither : {0, 1}) {
        LumoSetIntOptionConvert("dither", dither);
        EXPECT_TRUE(SamePixels(*LumoQuantize(rgb.get(), 8, dither), *LumoToCOLOR256(rgb.get())));
        EXPECT_TRUE(SamePixels(*LumoQuantize(rgb.get(), 4, dither), *LumoToCOLOR16(rgb.get())));
        ImagePtr color256 = LumoQuantize(rgb.get(), 8, 0);
        EXPECT_TRUE(SamePixels(*LumoQuantize(LumoToRGB(color256.get()).get(), 4, dither), *LumoToCOLOR16(color256.get())));
    }
    LumoSetIntOptionConvert("dither", 1);
}

}  // namespace
