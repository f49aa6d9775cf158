// Loading a 1728 x 2200 fax page (a full A4 page at fine resolution) from raw Group 3 data in
// memory, 1-D and 2-D coded: detection, decoding, flip, inversion. The data is made once by libtiff's
// Group 3 encoder from a text-like page and taken out of the TIFF's single strip. Target: under 0.05 s.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/page.h"
#include "core/messages.h"
#include "formats/g3/g3.h"

namespace {

constexpr int kWidth = 1728;
constexpr int kHeight = 2200;

// The page coded as Group 3 (twoD: Group3Options 1), bits filled from the most significant bit.
std::vector<uint8_t> FaxData(bool twoD) {
    const ImagePtr page = MakeTextPage(kWidth, kHeight);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("lumo-g3-bench-" + std::to_string(::getpid()) + ".tif")).string();
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, twoD ? GROUP3OPT_2DENCODING : 0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 196.0);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kHeight);
    std::vector<uint8_t> row(kWidth / 8);
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* source = PictureRow(*page, y);
        for (size_t b = 0; b < row.size(); ++b) row[b] = static_cast<uint8_t>(~source[b]);  // min-is-white: 1 is black
        TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(tiff);
    tiff = TIFFOpen(path.c_str(), "r");
    std::vector<uint8_t> data(static_cast<size_t>(TIFFRawStripSize(tiff, 0)));
    TIFFReadRawStrip(tiff, 0, data.data(), static_cast<tmsize_t>(data.size()));
    TIFFClose(tiff);
    std::filesystem::remove(path);
    return data;
}

void LoadFax(benchmark::State& state, bool twoD) {
    LumoSetWarningHandler(nullptr);
    const std::vector<uint8_t> data = FaxData(twoD);
    for (auto _ : state) {
        InputFile file(data.data(), data.size(), "page.fax");
        ImagePtr image = LoadG3From(file);
        if (!image || image->height != kHeight) state.SkipWithError("the page did not load");
        benchmark::DoNotOptimize(image.get());
    }
    state.counters["data_bytes"] = static_cast<double>(data.size());
}

void BM_LoadG3_1D(benchmark::State& state) { LoadFax(state, false); }
void BM_LoadG3_2D(benchmark::State& state) { LoadFax(state, true); }

BENCHMARK(BM_LoadG3_1D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadG3_2D)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
