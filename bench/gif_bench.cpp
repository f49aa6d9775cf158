// GIF save and load of a 4000 x 3000 COLOR256 picture (a photo-like picture quantized with
// dithering, as a real GIF of a photograph is), side by side with ImageMagick 6 on one thread.
//
// Method:
// - Times are CPU time (user + system), not wall time: the machines these run on are shared, and
//   CPU time does not count the time spent waiting for another process to give up a core.
// - Ours: LumoSaveGif and LumoLoadGif on files in a temporary folder (file writing and reading
//   included; the saved file is removed before each save, so that no run pays for the flush to
//   disk that replacing an existing file asks for): the best of the benchmark's own runs and of
//   kMagickRuns runs taken in turn with ImageMagick's, so both sides get the same chances at a
//   quiet moment of the machine.
// - ImageMagick (MAGICK_THREAD_LIMIT=1), each command the best of kMagickRuns runs, measured as
//   the CPU time of the child processes. The same picture is stored once as our GIF and once as
//   MIFF, ImageMagick's own format, which it loads with the least work. Loading: `convert x.gif
//   null:` minus `convert x.miff null:`. Saving: `convert x.miff y.gif` minus `convert x.miff
//   null:`. The subtraction removes start-up, reading the pixels into its cache and freeing them,
//   so what remains is its GIF decoder or encoder alone; the totals are shown too.
// - The counter "speedup" is ImageMagick's net CPU time divided by ours (above 1: we are faster).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/photo.h"
#include "core/convert.h"
#include "formats/gif/gif.h"

namespace {

constexpr int kMagickRuns = 15;

const std::string& WorkDir() {
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-gif-bench-XXXXXX").string();
        return std::string(::mkdtemp(pattern.data()));
    }();
    return dir;
}

const IMG& Picture() {
    static const ImagePtr picture = [] {
        ImagePtr photo = MakePhotoLikeImage(4000, 3000);
        return LumoToCOLOR256(photo.get());
    }();
    return *picture;
}

std::string GifPath() { return WorkDir() + "/picture.gif"; }
std::string MiffPath() { return WorkDir() + "/picture.miff"; }

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

// User and system time of the finished child processes so far.
double ChildrenCpuSeconds() {
    rusage usage;
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double ProcessCpuSeconds() {
    timespec t;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The CPU time of one run of an ImageMagick command, or a huge value when it fails.
double MagickSeconds(const std::string& arguments) {
    const double start = ChildrenCpuSeconds();
    if (std::system(("MAGICK_THREAD_LIMIT=1 /usr/bin/convert " + arguments + " >/dev/null 2>&1").c_str()) != 0)
        return 1e30;
    return ChildrenCpuSeconds() - start;
}

std::string OurSavePath() { return WorkDir() + "/ours.gif"; }

// Our save, on a path removed first, so that no run pays for the flush to disk that replacing an
// existing file asks for.
double OurSaveSeconds() {
    std::filesystem::remove(OurSavePath());
    const double start = ProcessCpuSeconds();
    LumoSaveGif(&Picture(), OurSavePath().c_str());
    return ProcessCpuSeconds() - start;
}

double OurLoadSeconds() {
    const double start = ProcessCpuSeconds();
    benchmark::DoNotOptimize(LumoLoadGif(GifPath().c_str()));
    return ProcessCpuSeconds() - start;
}

struct Times {
    double base = 0;       // convert x.miff null:
    double loadTotal = 0;  // convert x.gif null:
    double saveTotal = 0;  // convert x.miff y.gif
    double ourSave = 0;
    double ourLoad = 0;
};

// Measured once, after our GIF of the picture has been written: the best of kMagickRuns rounds of
// each command and of each of our operations, all five taking turns so that a change in the
// machine's load touches them alike.
const Times& SideBySide() {
    static const Times times = [] {
        LumoSaveGif(&Picture(), GifPath().c_str());
        if (MagickSeconds(GifPath() + " " + MiffPath()) >= 1e30) return Times{};
        Times t{1e30, 1e30, 1e30, 1e30, 1e30};
        for (int i = 0; i < kMagickRuns; ++i) {
            t.base = std::min(t.base, MagickSeconds(MiffPath() + " null:"));
            t.loadTotal = std::min(t.loadTotal, MagickSeconds(GifPath() + " null:"));
            t.saveTotal = std::min(t.saveTotal, MagickSeconds(MiffPath() + " " + WorkDir() + "/magick.gif"));
            t.ourSave = std::min(t.ourSave, OurSaveSeconds());
            t.ourLoad = std::min(t.ourLoad, OurLoadSeconds());
        }
        return t;
    }();
    return times;
}

// Runs one of our operations as a benchmark and sets the counters that compare our best run (from
// the benchmark's runs and the side-by-side rounds) with ImageMagick's net time.
template <typename Operation>
void Compare(benchmark::State& state, double magickTotal, double oursSideBySide, Operation operation) {
    const Times& times = SideBySide();
    double ours = oursSideBySide;
    for (auto _ : state) ours = std::min(ours, operation());
    const double magickNet = magickTotal - times.base;
    state.SetItemsProcessed(state.iterations() * Picture().width * Picture().height);
    state.counters["ours_best_cpu_ms"] = ours * 1e3;
    state.counters["magick_total_ms"] = magickTotal * 1e3;
    state.counters["magick_net_ms"] = magickNet * 1e3;
    state.counters["speedup"] = magickTotal > 0 ? magickNet / ours : 0;
}

void BM_GifSave(benchmark::State& state) {
    Compare(state, SideBySide().saveTotal, SideBySide().ourSave, OurSaveSeconds);
}

void BM_GifLoad(benchmark::State& state) {
    Compare(state, SideBySide().loadTotal, SideBySide().ourLoad, OurLoadSeconds);
}

BENCHMARK(BM_GifSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifLoad)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(WorkDir());
    return 0;
}
