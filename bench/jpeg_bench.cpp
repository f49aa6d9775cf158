// JPEG load and save of a 4000 x 3000 photo-like picture: our codec against libjpeg-turbo alone
// (the same library calls on the same file, into a plain buffer) and against its djpeg and cjpeg
// programs (whole processes timed through popen, reading or writing PPM on /dev/null or the page
// cache). The accurate runs use the integer DCT and smooth upsampling, the fast ones what "fast" asks.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <jpeglib.h>

#include "platform/heap_reuse.h"
#include "bench/photo.h"
#include "core/messages.h"
#include "formats/jpeg/jpeg.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

struct Files {
    std::string folder, jpeg, ppm, output;
};

// The picture as our saver writes it with the default options, and as PPM for cjpeg.
const Files& BenchFiles() {
    static const Files files = [] {
        char pattern[] = "/tmp/lumo-jpeg-bench-XXXXXX";
        Files made;
        made.folder = ::mkdtemp(pattern);
        made.jpeg = made.folder + "/photo.jpg";
        made.ppm = made.folder + "/photo.ppm";
        made.output = made.folder + "/out.jpg";
        const ImagePtr photo = MakePhotoLikeImage(kWidth, kHeight);
        LumoSaveJpeg(photo.get(), made.jpeg.c_str());
        std::FILE* ppm = std::fopen(made.ppm.c_str(), "wb");
        std::fprintf(ppm, "P6\n%d %d\n255\n", kWidth, kHeight);
        std::string row(kWidth * 3u, '\0');
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* bgr = PictureRow(*photo, y);
            for (size_t i = 0; i < row.size(); i += 3) {
                row[i] = static_cast<char>(bgr[i + 2]);
                row[i + 1] = static_cast<char>(bgr[i + 1]);
                row[i + 2] = static_cast<char>(bgr[i]);
            }
            std::fwrite(row.data(), 1, row.size(), ppm);
        }
        std::fclose(ppm);
        return made;
    }();
    return files;
}

void SetPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel("Mpixel/s = items_per_second / 1e6");
}

void LoadOurs(benchmark::State& state, int fast) {
    const std::string& path = BenchFiles().jpeg;
    LumoSetIntOptionJpeg("fast", fast);
    for (auto _ : state) benchmark::DoNotOptimize(LumoLoadJpeg(path.c_str()));
    LumoSetIntOptionJpeg("fast", 0);
    SetPixels(state);
}

// libjpeg-turbo by itself: the decoding our loader asks for, into a fresh buffer like our image.
void LoadLibrary(benchmark::State& state, int fast) {
    const std::string& path = BenchFiles().jpeg;
    for (auto _ : state) {
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr errors;
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&cinfo);
        std::FILE* file = std::fopen(path.c_str(), "rb");
        jpeg_stdio_src(&cinfo, file);
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        if (fast) {
            cinfo.dct_method = JDCT_IFAST;
            cinfo.do_fancy_upsampling = FALSE;
        }
        jpeg_start_decompress(&cinfo);
        const size_t rowBytes = cinfo.output_width * 3u;
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[rowBytes * cinfo.output_height]);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.get() + rowBytes * cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        benchmark::DoNotOptimize(pixels.get());
    }
    SetPixels(state);
}

double ChildrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A tool's time is the processor time of its process (user and system), comparable with the CPU
// column of the in-process runs on a busy machine; the wall time is reported beside it.
void RunTool(benchmark::State& state, const std::string& command) {
    double wall = 0;
    for (auto _ : state) {
        const double cpuBefore = ChildrenCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(ChildrenCpuSeconds() - cpuBefore);
    }
    state.counters["wall_ms"] = benchmark::Counter(wall * 1e3 / static_cast<double>(state.iterations()));
    SetPixels(state);
}

void BM_LoadOurs(benchmark::State& state) { LoadOurs(state, 0); }
void BM_LoadLibjpegTurbo(benchmark::State& state) { LoadLibrary(state, 0); }
void BM_LoadDjpeg(benchmark::State& state) { RunTool(state, "djpeg -dct int -outfile /dev/null " + BenchFiles().jpeg); }
void BM_LoadOursFast(benchmark::State& state) { LoadOurs(state, 1); }
void BM_LoadLibjpegTurboFast(benchmark::State& state) { LoadLibrary(state, 1); }
void BM_LoadDjpegFast(benchmark::State& state) {
    RunTool(state, "djpeg -dct fast -nosmooth -outfile /dev/null " + BenchFiles().jpeg);
}

void BM_SaveOurs(benchmark::State& state) {
    static const ImagePtr photo = MakePhotoLikeImage(kWidth, kHeight);
    const std::string& path = BenchFiles().output;
    for (auto _ : state) {
        LumoSaveJpeg(photo.get(), path.c_str());
        state.PauseTiming();
        ::unlink(path.c_str());  // a new file each time: replacing one adds the wait for the disk (fsync)
        state.ResumeTiming();
    }
    SetPixels(state);
}

// libjpeg-turbo by itself: the compression our saver asks for, from the same rows.
void BM_SaveLibjpegTurbo(benchmark::State& state) {
    static const ImagePtr photo = MakePhotoLikeImage(kWidth, kHeight);
    const std::string& path = BenchFiles().output;
    for (auto _ : state) {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr errors;
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_compress(&cinfo);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        jpeg_stdio_dest(&cinfo, file);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 75, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        for (int y = 0; y < kHeight; ++y) {
            JSAMPROW row = PictureRow(*photo, y);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(file);
        state.PauseTiming();
        ::unlink(path.c_str());
        state.ResumeTiming();
    }
    SetPixels(state);
}

void BM_SaveCjpeg(benchmark::State& state) {
    RunTool(state, "cjpeg -quality 75 -outfile " + BenchFiles().output + " " + BenchFiles().ppm);
}

}  // namespace

BENCHMARK(BM_LoadOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLibjpegTurbo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDjpeg)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_LoadOursFast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLibjpegTurboFast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDjpegFast)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_SaveOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLibjpegTurbo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveCjpeg)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char** argv) {
    ReuseHeapForLargeBlocks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const std::string folder = BenchFiles().folder;
    std::system(("rm -rf " + folder).c_str());
    return 0;
}
