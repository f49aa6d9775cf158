// Rescaling speed on photo-sized pictures: thumbnails, the half-size view of bi-level pages and
// enlargement. Shrinks count source pixels, enlargements output pixels.
#include <benchmark/benchmark.h>

#include <cstring>

#include "platform/heap_reuse.h"
#include "bench/page.h"
#include "bench/photo.h"
#include "core/convert.h"
#include "core/rescale.h"

namespace {

ImagePtr GrayPhoto(int width, int height) { return LumoToGRAY256(MakePhotoLikeImage(width, height).get()); }

void Shrink(benchmark::State& state, ImagePtr (*rescale)(const IMG*, int, int), const IMG& source, int newWidth,
            int newHeight) {
    for (auto _ : state) benchmark::DoNotOptimize(rescale(&source, newWidth, newHeight));
    state.SetItemsProcessed(state.iterations() * source.width * source.height);
    state.SetLabel("Mpixel/s = items_per_second / 1e6 (source pixels)");
}

void Enlarge(benchmark::State& state, ImagePtr (*rescale)(const IMG*, int, int), const IMG& source, int newWidth,
             int newHeight) {
    for (auto _ : state) benchmark::DoNotOptimize(rescale(&source, newWidth, newHeight));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(newWidth) * newHeight);
    state.SetLabel("Mpixel/s = items_per_second / 1e6 (output pixels)");
}

void BM_ShrinkRGBTo80x60(benchmark::State& state) {
    static const ImagePtr photo = MakePhotoLikeImage(4000, 3000);
    Shrink(state, LumoRescaleRGB, *photo, 80, 60);
}

void BM_ShrinkGRAY256To80x60(benchmark::State& state) {
    static const ImagePtr photo = GrayPhoto(4000, 3000);
    Shrink(state, RescaleGRAY256, *photo, 80, 60);
}

void BM_ShrinkRGBByThird(benchmark::State& state) {
    static const ImagePtr photo = MakePhotoLikeImage(4000, 3000);
    Shrink(state, LumoRescaleRGB, *photo, 1333, 1000);
}

void BM_HalveBW(benchmark::State& state) {
    static const ImagePtr page = MakeTextPage(4000, 3000);
    Shrink(state, LumoShrinkBWToGRAY256, *page, 2000, 1500);
}

void BM_ShrinkBWTo80x60(benchmark::State& state) {
    static const ImagePtr page = MakeTextPage(4000, 3000);
    Shrink(state, LumoShrinkBWToGRAY256, *page, 80, 60);
}

void BM_EnlargeRGB1000x750To4000x3000(benchmark::State& state) {
    static const ImagePtr photo = MakePhotoLikeImage(1000, 750);
    Enlarge(state, LumoRescaleRGB, *photo, 4000, 3000);
}

void BM_EnlargeGRAY256_1000x750To4000x3000(benchmark::State& state) {
    static const ImagePtr photo = GrayPhoto(1000, 750);
    Enlarge(state, RescaleGRAY256, *photo, 4000, 3000);
}

}  // namespace

BENCHMARK(BM_ShrinkRGBTo80x60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShrinkGRAY256To80x60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShrinkRGBByThird)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HalveBW)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShrinkBWTo80x60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnlargeRGB1000x750To4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnlargeGRAY256_1000x750To4000x3000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Run with --no_heap_reuse to time fresh pages.
    bool reuseHeap = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no_heap_reuse") == 0) {
            reuseHeap = false;
            for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
            --argc;
            break;
        }
    if (reuseHeap) ReuseHeapForLargeBlocks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
