// Photo CD load at the largest size, 3072 x 2048: Base, the 4Base luma residuals and the 16Base
// residuals of all three planes, on a pack written by the tests' writer with every residual row
// present and small residuals coded with short codes, as in a photograph. The file is read from a
// temporary folder (file reading included). Target: under 0.4 s.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "formats/pcd/pcd.h"
#include "tests/support/pcd_writer.h"

namespace {

// Mostly 0, sometimes up to +-3: the residuals of a smooth picture.
int Residual(int x, int y, int plane) {
    const unsigned h = static_cast<unsigned>(x * 2654435761u ^ y * 40503u ^ plane * 977u);
    const int r = static_cast<int>((h >> 7) % 16);
    return r < 8 ? 0 : r < 12 ? (r & 1 ? 1 : -1) : r < 14 ? (r & 1 ? 2 : -2) : (r & 1 ? 3 : -3);
}

pcd_writer::ResidualRow RowOf(int plane, int row, int width) {
    pcd_writer::ResidualRow r{plane, row, {}};
    r.values.reserve(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) r.values.push_back(Residual(x, row, plane));
    return r;
}

const std::string& PackPath() {
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-pcd-bench-XXXXXX").string();
        const std::string file = std::string(::mkdtemp(pattern.data())) + "/picture.pcd";
        pcd_writer::PackLayout layout;
        layout.fourBase = layout.sixteenBase = true;
        for (int y = 0; y < 1024; ++y) layout.fourBaseRows.push_back(RowOf(0, y, 1536));
        for (int y = 0; y < 2048; ++y) {
            layout.sixteenRows.push_back(RowOf(0, y, 3072));
            if (y % 2 == 0) {
                layout.sixteenRows.push_back(RowOf(2, y, 1536));
                layout.sixteenRows.push_back(RowOf(3, y, 1536));
            }
        }
        const std::vector<uint8_t> bytes = pcd_writer::WritePack(layout);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }();
    return path;
}

void BM_LoadPcdLargest(benchmark::State& state) {
    const std::string& path = PackPath();
    LumoSetIntOptionPcd("pcdsize", 5);
    for (auto _ : state) {
        ImagePtr image = LumoLoadPcd(path.c_str());
        benchmark::DoNotOptimize(image->bits);
    }
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_LoadPcdLargest)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();  // CPU time: the machines are shared

}  // namespace

BENCHMARK_MAIN();
