// Our half of bench/compare_imagemagick.sh: the same operations on the same pictures, timed in
// memory (no file reading or writing inside the timed part), in CPU time.
//   sidebyside_bench pictures DIR     writes photo.ppm, small.ppm, gray.pgm and page.pbm into DIR
//   sidebyside_bench tasks            lists the tasks, one a line: name|input|ImageMagick operation
//   sidebyside_bench time NAME [RUNS] prints the best of RUNS runs (default 5) in milliseconds
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "bench/page.h"
#include "bench/photo.h"
#include "core/convert.h"
#include "core/messages.h"
#include "core/rescale.h"

namespace {

enum class Picture { Photo, Small, Gray, Page };

const char* FileName(Picture picture) {
    switch (picture) {
        case Picture::Photo: return "photo.ppm";
        case Picture::Small: return "small.ppm";
        case Picture::Gray: return "gray.pgm";
        case Picture::Page: return "page.pbm";
    }
    return "";
}

ImagePtr MakePicture(Picture picture) {
    switch (picture) {
        case Picture::Photo: return MakePhotoLikeImage(4000, 3000);
        case Picture::Small: return MakePhotoLikeImage(1000, 750);
        case Picture::Gray: return LumoToGRAY256(MakePhotoLikeImage(4000, 3000).get());
        case Picture::Page: return MakeTextPage(4000, 3000);
    }
    return nullptr;
}

ImagePtr Quantize(const IMG& image, int colours, int dither) {
    LumoSetIntOptionConvert("dither", dither);
    return colours == 16 ? LumoToCOLOR16(&image) : LumoToCOLOR256(&image);
}

struct Task {
    const char* name;
    Picture input;
    const char* magick;  // the ImageMagick operation that does the same work
    ImagePtr (*run)(const IMG& image);
};

// ImageMagick applies a setting such as -dither to the operators after it, hence its place.
const Task kTasks[] = {
    {"colors256-dither", Picture::Photo, "-dither FloydSteinberg -colors 256",
     [](const IMG& image) { return Quantize(image, 256, 1); }},
    {"colors256-plain", Picture::Photo, "+dither -colors 256",
     [](const IMG& image) { return Quantize(image, 256, 0); }},
    {"colors16-dither", Picture::Photo, "-dither FloydSteinberg -colors 16",
     [](const IMG& image) { return Quantize(image, 16, 1); }},
    {"rgb-to-gray", Picture::Photo, "-colorspace gray", [](const IMG& image) { return LumoToGRAY256(&image); }},
    {"gray-to-bw", Picture::Gray, "-monochrome",
     [](const IMG& image) {
         LumoSetIntOptionConvert("dither", 1);
         return LumoToBW(&image);
     }},
    {"scale-to-80x60", Picture::Photo, "-scale 80x60!",
     [](const IMG& image) { return LumoRescale(&image, 80, 60); }},
    {"scale-to-4000x3000", Picture::Small, "-scale 4000x3000!",
     [](const IMG& image) { return LumoRescale(&image, 4000, 3000); }},
    {"bw-half-size", Picture::Page, "-scale 2000x1500!",
     [](const IMG& image) { return LumoRescaleConvert(&image, 2000, 1500, GRAY, 8); }},
};

// Binary PNM (P4, P5 or P6) with the image's pixels, top row first.
bool WritePnm(const IMG& image, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const char* magic = image.bitsPerPixel == 1 ? "P4" : image.bitsPerPixel == 8 ? "P5" : "P6";
    std::fprintf(file, "%s\n%d %d\n", magic, image.width, image.height);
    if (image.bitsPerPixel != 1) std::fprintf(file, "255\n");
    const size_t rowBytes = image.bitsPerPixel == 1 ? (image.width + 7u) / 8 : image.width * (image.bitsPerPixel / 8u);
    std::string row(rowBytes, '\0');
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = PictureRow(image, y);
        for (size_t i = 0; i < rowBytes; ++i) {
            if (image.bitsPerPixel == 1)
                row[i] = static_cast<char>(~in[i]);  // PBM's 1 is black, ours white
            else if (image.bitsPerPixel == 24)
                row[i] = static_cast<char>(in[i - i % 3 + 2 - i % 3]);  // blue, green, red to red, green, blue
            else
                row[i] = static_cast<char>(in[i]);
        }
        std::fwrite(row.data(), 1, rowBytes, file);
    }
    return std::fclose(file) == 0;
}

// CPU time of this process (user + system) in milliseconds: other programs sharing the machine
// do not count, the kernel's page handling for the new picture does.
double CpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double BestMilliseconds(const Task& task, int runs) {
    const ImagePtr input = MakePicture(task.input);
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double start = CpuMilliseconds();
        ImagePtr result = task.run(*input);
        best = std::min(best, CpuMilliseconds() - start);
    }
    return best;
}

int Usage() {
    std::fprintf(stderr, "usage: sidebyside_bench pictures DIR | tasks | time NAME [RUNS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    try {
        if (command == "pictures" && argc == 3) {
            for (Picture picture : {Picture::Photo, Picture::Small, Picture::Gray, Picture::Page}) {
                const std::string path = std::string(argv[2]) + "/" + FileName(picture);
                if (!WritePnm(*MakePicture(picture), path)) {
                    std::fprintf(stderr, "can't write %s\n", path.c_str());
                    return 1;
                }
            }
            return 0;
        }
        if (command == "tasks" && argc == 2) {
            for (const Task& task : kTasks) std::printf("%s|%s|%s\n", task.name, FileName(task.input), task.magick);
            return 0;
        }
        if (command == "time" && (argc == 3 || argc == 4)) {
            const int runs = argc == 4 ? std::max(1, std::atoi(argv[3])) : 5;
            for (const Task& task : kTasks)
                if (argv[2] == std::string(task.name)) {
                    std::printf("%.2f\n", BestMilliseconds(task, runs));
                    return 0;
                }
            std::fprintf(stderr, "unknown task %s\n", argv[2]);
            return 1;
        }
    } catch (const LumoFailure& failure) {
        std::fprintf(stderr, "%s: %s\n", failure.module().c_str(), failure.text());
        return 1;
    }
    return Usage();
}
