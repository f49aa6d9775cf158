// Turning and mirroring a 12-megapixel photo, the step that makes phone photos upright.
#include <benchmark/benchmark.h>

#include "platform/heap_reuse.h"
#include "bench/photo.h"
#include "core/convert.h"
#include "core/orientation.h"

namespace {

void Orient(benchmark::State& state, const IMG& source, Orientation step) {
    for (auto _ : state) benchmark::DoNotOptimize(LumoOrientImage(&source, step));
    state.SetItemsProcessed(state.iterations() * source.width * source.height);
}

const IMG& Photo() {
    static const ImagePtr photo = MakePhotoLikeImage(4000, 3000);
    return *photo;
}

void BM_RotateRightRGB(benchmark::State& state) { Orient(state, Photo(), Orientation::RotateRight); }
void BM_Rotate180RGB(benchmark::State& state) { Orient(state, Photo(), Orientation::Rotate180); }
void BM_RotateRightGRAY256(benchmark::State& state) {
    static const ImagePtr gray = LumoToGRAY256(&Photo());
    Orient(state, *gray, Orientation::RotateRight);
}
void BM_RotateRightBW(benchmark::State& state) {
    static const ImagePtr bw = LumoToBW(&Photo());
    Orient(state, *bw, Orientation::RotateRight);
}

}  // namespace

BENCHMARK(BM_RotateRightRGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate180RGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateRightGRAY256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateRightBW)->Unit(benchmark::kMillisecond);
int main(int argc, char** argv) {
    ReuseHeapForLargeBlocks();  // as the programs do: the turn is timed, not the kernel's page faults
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
