// The cost of loading in levels against a plain load: a 12-megapixel MOK photo (4000 x 3000), a
// letter page as JBIG with five resolution layers, and a Photo CD pack at 3072 x 2048. Each load
// reads its file from a temporary folder.
//   layered_bench files DIR             writes photo.mok, page.bie and img0001.pcd into DIR
//   layered_bench load MODE FILE [N]    loads FILE N times (1), MODE "direct" or "levels"
//   layered_bench                       the Google Benchmark runs of both modes
// bench/layered_load.sh times the load mode with best_ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/photo.h"
#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/jbig/jbig.h"
#include "formats/layered_load.h"
#include "formats/mok/mok.h"
#include "tests/support/pcd_writer.h"

namespace {

// A page of text-like strokes: rows of short black runs on white, 2480 x 3508 (A4 at 300 dpi).
ImagePtr MakePage() {
    ImagePtr page = LumoCreateImage(2480, 3508, BILEVEL, nullptr, 1);
    std::memset(page->bits, 0xFF, PixelBytes(*page));
    uint32_t state = 12345;
    for (int y = 200; y < 3300; ++y) {
        if (y % 60 > 40) continue;  // line spacing
        uint8_t* row = PictureRow(*page, y);
        for (int x = 200; x < 2280; ++x) {
            state = state * 1664525u + 1013904223u;
            if ((state >> 29) == 0) row[x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
        }
    }
    return page;
}

int WriteFiles(const std::string& dir) {
    ImagePtr photo = MakePhotoLikeImage(4000, 3000);
    LumoSaveMok(photo.get(), (dir + "/photo.mok").c_str());
    ImagePtr page = MakePage();
    LumoSetIntOptionJbig("nblayers", 6);
    SaveJbig(page.get(), (dir + "/page.bie").c_str());
    pcd_writer::PackLayout layout;
    layout.fourBase = layout.sixteenBase = true;
    const std::vector<uint8_t> pack = pcd_writer::WritePack(layout);
    std::ofstream(dir + "/img0001.pcd", std::ios::binary)
        .write(reinterpret_cast<const char*>(pack.data()), static_cast<std::streamsize>(pack.size()));
    return 0;
}

ImagePtr Load(bool inLevels, const char* file) {
    if (!inLevels) return LoadImageByExtension(file);
    return LoadImageInLevels(file, [](const IMG& level) { benchmark::DoNotOptimize(level.bits); });
}

int LoadFile(const char* mode, const char* file, int times) {
    const bool inLevels = std::strcmp(mode, "levels") == 0;
    for (int i = 0; i < times; ++i)
        if (!Load(inLevels, file)) return 1;
    return 0;
}

const std::string& Folder() {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / "layered_bench_XXXXXX").string();
        if (!mkdtemp(d.data())) std::abort();
        WriteFiles(d);
        return d;
    }();
    return dir;
}

void BM_Load(benchmark::State& state, const char* name, bool inLevels) {
    const std::string file = Folder() + "/" + name;
    ::setenv("LUMO_PROFILE", (Folder() + "/WIN.INI").c_str(), 1);
    std::ofstream(Folder() + "/WIN.INI") << "[Lumo]\nPcdSize=5\n";
    for (auto _ : state) benchmark::DoNotOptimize(Load(inLevels, file.c_str()));
}
BENCHMARK_CAPTURE(BM_Load, mok_direct, "photo.mok", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, mok_levels, "photo.mok", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, jbig_direct, "page.bie", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, jbig_levels, "page.bie", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, pcd_direct, "img0001.pcd", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, pcd_levels, "img0001.pcd", true)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "files") == 0) return WriteFiles(argv[2]);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "load") == 0)
        return LoadFile(argv[2], argv[3], argc == 5 ? std::atoi(argv[4]) : 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!Folder().empty()) std::filesystem::remove_all(Folder());
    return 0;
}
