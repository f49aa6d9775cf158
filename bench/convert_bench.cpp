// Conversion speed on a 4000 x 3000 photo-like picture: the weighted gray, bi-level dithering
// and quantization to 256 and 16 colours. Rates count source pixels.
#include <benchmark/benchmark.h>

#include "bench/photo.h"
#include "core/convert.h"
#include "core/messages.h"
#include "core/quantize.h"

namespace {

const IMG& Photo() {
    static const ImagePtr photo = MakePhotoLikeImage(4000, 3000);
    return *photo;
}

const IMG& GrayPhoto() {
    static const ImagePtr gray = LumoToGRAY256(&Photo());
    return *gray;
}

void Run(benchmark::State& state, ImagePtr (*convert)(const IMG*), const IMG& source, int dither) {
    LumoSetIntOptionConvert("dither", dither);
    for (auto _ : state) benchmark::DoNotOptimize(convert(&source));
    state.SetItemsProcessed(state.iterations() * source.width * source.height);
    state.SetLabel("Mpixel/s = items_per_second / 1e6");
    LumoSetIntOptionConvert("dither", 1);
}

void BM_RGBToGRAY256(benchmark::State& state) { Run(state, LumoToGRAY256, Photo(), 1); }
void BM_GRAY256ToBWDithered(benchmark::State& state) { Run(state, LumoToBW, GrayPhoto(), 1); }
void BM_GRAY256ToBWThreshold(benchmark::State& state) { Run(state, LumoToBW, GrayPhoto(), 0); }
void BM_RGBToCOLOR256(benchmark::State& state) { Run(state, LumoToCOLOR256, Photo(), 0); }
void BM_RGBToCOLOR256Dithered(benchmark::State& state) { Run(state, LumoToCOLOR256, Photo(), 1); }
void BM_RGBToCOLOR16Dithered(benchmark::State& state) { Run(state, LumoToCOLOR16, Photo(), 1); }
void BM_GRAY256ToRGB(benchmark::State& state) { Run(state, LumoToRGB, GrayPhoto(), 1); }

BENCHMARK(BM_RGBToGRAY256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GRAY256ToBWDithered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GRAY256ToBWThreshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RGBToCOLOR256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RGBToCOLOR256Dithered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RGBToCOLOR16Dithered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GRAY256ToRGB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
