// MOK save and load of a 4000 x 3000 photo-like RGB picture (bench/photo.h), through files in a
// temporary folder: the whole save, the full load, and the loads at 1/2, 1/4 and 1/8 of the size,
// which decode only the coarse levels and read only the front of the file. The counters give the
// file's size in bits per pixel and, for the loads, the share of the file read.
//
// `mok_bench pictures DIR` instead writes the pictures of the size table (bench/mok_sizes.sh) as
// PPM or PGM files beside their MOK files, so that other encoders see the same pixels.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/page.h"
#include "bench/photo.h"
#include "core/convert.h"
#include "formats/input_file.h"
#include "formats/mok/mok.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::string BenchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / ("lumo-mok-bench-" + std::to_string(::getpid()) + name)).string();
}

// The picture and its file, made once for every benchmark of the run.
struct Fixture {
    ImagePtr image = MakePhotoLikeImage(kWidth, kHeight);
    std::string file = BenchPath(".mok");
    std::string copy = BenchPath("-copy.mok");
    size_t fileBytes = 0;

    Fixture() {
        LumoSaveMok(image.get(), file.c_str());
        fileBytes = std::filesystem::file_size(file);
    }
    ~Fixture() {
        std::filesystem::remove(file);
        std::filesystem::remove(copy);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

double BitsPerPixel(size_t bytes) { return 8.0 * static_cast<double>(bytes) / (double{kWidth} * kHeight); }

void BM_SaveMok(benchmark::State& state) {
    Fixture& fixture = Shared();
    for (auto _ : state) {
        // Each save writes a new file: replacing an existing one adds an fsync, which measures the disk.
        state.PauseTiming();
        std::filesystem::remove(fixture.copy);
        state.ResumeTiming();
        LumoSaveMok(fixture.image.get(), fixture.copy.c_str());
    }
    state.counters["bits_per_pixel"] = BitsPerPixel(fixture.fileBytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * fixture.image->height * fixture.image->rowBytes);
}

// ratio 1, 2, 3, 4: full size, half, quarter, eighth.
void BM_LoadMok(benchmark::State& state) {
    Fixture& fixture = Shared();
    LumoSetIntOptionMok("mokratio", static_cast<int>(state.range(0)));
    size_t read = 0;
    for (auto _ : state) {
        InputFile file(fixture.file.c_str(), "LumoLoadMok");
        benchmark::DoNotOptimize(LoadMokFrom(file));
        read = static_cast<size_t>(file.position());
    }
    LumoSetIntOptionMok("mokratio", 1);
    state.counters["share_read"] = static_cast<double>(read) / static_cast<double>(fixture.fileBytes);
    state.counters["bits_per_pixel"] = BitsPerPixel(fixture.fileBytes);
}

BENCHMARK(BM_SaveMok)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMok)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

// A PPM (RGB, stored blue, green, red) or PGM (GRAY256) file of the picture, top row first.
void WritePnm(const IMG& image, const std::string& path) {
    const bool gray = image.bitsPerPixel == 8;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) std::abort();
    std::fprintf(out, "P%d\n%d %d\n255\n", gray ? 5 : 6, image.width, image.height);
    std::string row;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* pixels = PictureRow(image, y);
        row.assign(reinterpret_cast<const char*>(pixels), image.width * (gray ? 1u : 3u));
        if (!gray)
            for (size_t x = 0; x < row.size(); x += 3) std::swap(row[x], row[x + 2]);
        std::fwrite(row.data(), 1, row.size(), out);
    }
    if (std::fclose(out) != 0) std::abort();
}

// Smooth colour ramps without noise: what drawings and rendered graphics look like.
ImagePtr MakeGradient(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    for (int y = 0; y < height; ++y) {
        uint8_t* pixel = PictureRow(*image, y);
        for (int x = 0; x < width; ++x, pixel += 3) {
            pixel[0] = static_cast<uint8_t>(x * 255 / width);
            pixel[1] = static_cast<uint8_t>(y * 255 / height);
            pixel[2] = static_cast<uint8_t>((x + y) * 255 / (width + height));
        }
    }
    return image;
}

// Every component drawn at random: the worst case of every lossless coder.
ImagePtr MakeNoise(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    uint32_t state = 0x9E3779B9u;
    for (size_t i = 0; i < PixelBytes(*image); ++i) {
        state = state * 1664525u + 1013904223u;
        image->bits[i] = static_cast<uint8_t>(state >> 24);
    }
    return image;
}

ImagePtr MakeWhite(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, GRAY, nullptr, 8);
    std::memset(image->bits, 255, PixelBytes(*image));
    return image;
}

int WritePictures(const std::string& dir) {
    const ImagePtr photo = MakePhotoLikeImage(kWidth, kHeight);
    const ImagePtr page = MakeTextPage(2480, 3508);
    const struct {
        const char* name;
        ImagePtr image;
    } pictures[] = {
        {"photo-rgb-4000x3000", MakePhotoLikeImage(kWidth, kHeight)},
        {"photo-gray-4000x3000", LumoToGRAY256(photo.get())},
        {"gradient-rgb-1024x768", MakeGradient(1024, 768)},
        {"text-gray-2480x3508", LumoToGRAY256(page.get())},
        {"noise-rgb-512x512", MakeNoise(512, 512)},
        {"white-gray-2000x2000", MakeWhite(2000, 2000)},
    };
    for (const auto& picture : pictures) {
        const std::string base = dir + "/" + picture.name;
        WritePnm(*picture.image, base + (picture.image->bitsPerPixel == 8 ? ".pgm" : ".ppm"));
        LumoSaveMok(picture.image.get(), (base + ".mok").c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "pictures") == 0) return WritePictures(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
