// Saving a 4000 x 3000 RGB TIFF (a photo-like picture) uncompressed, with LZW and with PackBits.
// Three routes for each: LumoSaveTiff (libtiff writes straight into the output file's stream),
// the same file made in memory first and then written out whole (the other way a saver could go
// through the output file), and the memory image alone (SaveTiffToMemory, what the PostScript
// writer embeds). The argument is the Compression tag value.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/photo.h"
#include "formats/output_file.h"
#include "formats/tiff/tiff.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::string BenchPath() {
    return (std::filesystem::temp_directory_path() / ("lumo-tiff-bench-" + std::to_string(::getpid()) + ".tif"))
        .string();
}

struct Fixture {
    ImagePtr image = MakePhotoLikeImage(kWidth, kHeight);
    std::string file = BenchPath();
    ~Fixture() { std::filesystem::remove(file); }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// Each save writes a new file: replacing an existing one adds an fsync, which measures the disk.
void RemoveFile(benchmark::State& state, const Fixture& fixture) {
    state.PauseTiming();
    std::filesystem::remove(fixture.file);
    state.ResumeTiming();
}

void Finish(benchmark::State& state, const Fixture& fixture) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PixelBytes(*fixture.image)));
    state.counters["file_MB"] = std::filesystem::exists(fixture.file)
                                    ? static_cast<double>(std::filesystem::file_size(fixture.file)) / 1e6
                                    : 0;
}

void BM_SaveTiff(benchmark::State& state) {
    Fixture& fixture = Shared();
    LumoSetIntOptionTiff("compression", static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RemoveFile(state, fixture);
        LumoSaveTiff(fixture.image.get(), fixture.file.c_str());
    }
    Finish(state, fixture);
}

void BM_SaveTiffThroughMemory(benchmark::State& state) {
    Fixture& fixture = Shared();
    LumoSetIntOptionTiff("compression", static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RemoveFile(state, fixture);
        const MemoryBufferPtr bytes = SaveTiffToMemory(fixture.image.get());
        OutputFile out(fixture.file.c_str(), "LumoSaveTiff");
        out.write(bytes->data, bytes->size);
        out.commit();
    }
    Finish(state, fixture);
}

void BM_SaveTiffToMemory(benchmark::State& state) {
    Fixture& fixture = Shared();
    LumoSetIntOptionTiff("compression", static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(SaveTiffToMemory(fixture.image.get()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PixelBytes(*fixture.image)));
}

BENCHMARK(BM_SaveTiff)->Arg(1)->Arg(5)->Arg(32773)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTiffThroughMemory)->Arg(1)->Arg(5)->Arg(32773)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTiffToMemory)->Arg(1)->Arg(5)->Arg(32773)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
