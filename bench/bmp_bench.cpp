// Loading and saving a 4000 x 3000 RGB BMP file next to reading and writing the same bytes with
// plain stdio, so the codec's cost over the bare file transfer shows as a ratio of the rates.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "core/image.h"
#include "formats/bmp.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::string BenchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / ("lumo-bmp-bench-" + std::to_string(::getpid()) + name)).string();
}

// The picture and its file, made once for every benchmark of the run.
struct Fixture {
    ImagePtr image = LumoCreateImage(kWidth, kHeight, COLOR, nullptr, 24);
    std::string file = BenchPath(".bmp");
    std::string copy = BenchPath("-copy.bmp");
    size_t fileBytes = 0;

    Fixture() {
        for (int k = 0; k < kHeight; ++k) {
            uint8_t* row = MemoryRow(*image, k);
            for (int i = 0; i < image->rowBytes; ++i) row[i] = static_cast<uint8_t>(i * 7 + k * 3);
        }
        SaveBmp(image.get(), file.c_str());
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

// A fresh uninitialised buffer each time, as a load allocates a fresh image.
std::unique_ptr<char[]> ReadWhole(const std::string& path, size_t size) {
    std::unique_ptr<char[]> bytes(new char[size]);
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in || std::fread(bytes.get(), 1, size, in) != size) std::abort();
    std::fclose(in);
    return bytes;
}

void WriteWhole(const std::string& path, const char* bytes, size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(bytes, 1, size, out) != size || std::fclose(out) != 0) std::abort();
}

// Each save writes a new file: replacing an existing one adds an fsync, which measures the disk.
void RemoveCopy(benchmark::State& state, const Fixture& fixture) {
    state.PauseTiming();
    std::filesystem::remove(fixture.copy);
    state.ResumeTiming();
}

void BM_LoadBmp(benchmark::State& state) {
    Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(LumoLoadBmp(fixture.file.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.fileBytes));
}

void BM_PlainRead(benchmark::State& state) {
    Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(ReadWhole(fixture.file, fixture.fileBytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.fileBytes));
}

void BM_SaveBmp(benchmark::State& state) {
    Fixture& fixture = Shared();
    for (auto _ : state) {
        RemoveCopy(state, fixture);
        SaveBmp(fixture.image.get(), fixture.copy.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.fileBytes));
}

void BM_PlainWrite(benchmark::State& state) {
    Fixture& fixture = Shared();
    const std::unique_ptr<char[]> bytes = ReadWhole(fixture.file, fixture.fileBytes);
    for (auto _ : state) {
        RemoveCopy(state, fixture);
        WriteWhole(fixture.copy, bytes.get(), fixture.fileBytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.fileBytes));
}

// Reading the file and writing a copy: the bare transfer a load followed by a save must do.
void BM_PlainCopy(benchmark::State& state) {
    Fixture& fixture = Shared();
    for (auto _ : state) {
        RemoveCopy(state, fixture);
        WriteWhole(fixture.copy, ReadWhole(fixture.file, fixture.fileBytes).get(), fixture.fileBytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.fileBytes));
}

void BM_LoadThenSaveBmp(benchmark::State& state) {
    Fixture& fixture = Shared();
    for (auto _ : state) {
        RemoveCopy(state, fixture);
        SaveBmp(LumoLoadBmp(fixture.file.c_str()).get(), fixture.copy.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.fileBytes));
}

BENCHMARK(BM_LoadBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadThenSaveBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
