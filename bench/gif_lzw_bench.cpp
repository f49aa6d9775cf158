// The GIF LZW encoder alone, on the indices of two 4000 x 3000 pictures of 256 colours: a photo-like
// picture quantized with dithering (few long strings, the table fills and is cleared often) and a
// synthetic one of flat bands and a fine pattern (long strings). No file is written: the sink only
// counts the bytes.
//
// The indices are made once and kept in the temporary folder, so that a run under
// `valgrind --tool=callgrind --toggle-collect='GifLzwEncoder::*'` counts the encoder's instructions
// without spending minutes on quantizing the photo first. Divide the counts by the iterations.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/photo.h"
#include "core/convert.h"
#include "formats/gif/gif_lzw_encoder.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// The pixels of the picture in file order, one index a byte.
std::vector<uint8_t> Indices(const IMG& image) {
    std::vector<uint8_t> indices;
    indices.reserve(static_cast<size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = PictureRow(image, y);
        indices.insert(indices.end(), row, row + image.width);
    }
    return indices;
}

std::vector<uint8_t> MakePhoto() {
    const ImagePtr photo = MakePhotoLikeImage(kWidth, kHeight);
    return Indices(*LumoToCOLOR256(photo.get()));
}

// Diagonal bands 40 pixels wide, every other band with a 2 x 2 pattern of two neighbouring colours.
std::vector<uint8_t> MakeSynthetic() {
    std::vector<uint8_t> indices(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int band = (x + y) / 40;
            const int pattern = band % 2 ? (x / 2 + y / 2) % 2 : 0;
            indices[static_cast<size_t>(y) * kWidth + x] = static_cast<uint8_t>((band * 37 + pattern) & 0xFF);
        }
    return indices;
}

// The indices kept in the temporary folder under name, made by make when missing.
std::vector<uint8_t> Cached(const char* name, std::vector<uint8_t> (*make)()) {
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    std::vector<uint8_t> indices(static_cast<size_t>(kWidth) * kHeight);
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        const size_t read = std::fread(indices.data(), 1, indices.size(), file);
        std::fclose(file);
        if (read == indices.size()) return indices;
    }
    indices = make();
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(indices.data(), 1, indices.size(), file);
        std::fclose(file);
    }
    return indices;
}

void Encode(benchmark::State& state, const std::vector<uint8_t>& indices) {
    size_t bytes = 0;
    const ByteSink sink = [&bytes](const uint8_t*, size_t count) { bytes += count; };
    for (auto _ : state) {
        bytes = 0;
        GifLzwEncoder encoder(8, sink);
        // Row by row, as the GIF writer hands them over.
        for (size_t at = 0; at < indices.size(); at += kWidth) encoder.encode(indices.data() + at, kWidth);
        encoder.finish();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(indices.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_LzwEncodePhoto(benchmark::State& state) {
    static const std::vector<uint8_t> indices = Cached("lumo-lzw-bench-photo.raw", MakePhoto);
    Encode(state, indices);
}

void BM_LzwEncodeSynthetic(benchmark::State& state) {
    static const std::vector<uint8_t> indices = Cached("lumo-lzw-bench-synthetic.raw", MakeSynthetic);
    Encode(state, indices);
}

BENCHMARK(BM_LzwEncodePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwEncodeSynthetic)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
