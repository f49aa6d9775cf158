#include "tests/support/lumo_test.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/memory.h"

std::vector<Report> LumoTest::errors;
std::vector<Report> LumoTest::warnings;
std::vector<int> LumoTest::progress;

namespace {

std::string Format(const char* format, va_list args) {
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}
void RecordError(const char* module, const char* format, va_list args) {
    LumoTest::errors.push_back({module ? module : "", Format(format, args)});
}
void RecordWarning(const char* module, const char* format, va_list args) {
    LumoTest::warnings.push_back({module ? module : "", Format(format, args)});
}
void RecordProgress(int value) { LumoTest::progress.push_back(value); }

}  // namespace

void LumoTest::SetUp() {
    errors.clear();
    warnings.clear();
    progress.clear();
    blocksAtStart_ = LumoBlockCount();
    previousError_ = LumoSetErrorHandler(RecordError);
    previousWarning_ = LumoSetWarningHandler(RecordWarning);
    previousProgress_ = LumoSetProgressHandler(RecordProgress);
    previousShowProgress_ = LumoGetIntOption("showprogress");
    LumoSetIntOption("showprogress", 1);
}

void LumoTest::TearDown() {
    EXPECT_EQ(LumoBlockCount(), blocksAtStart_) << "counted blocks leaked or freed twice";
    LumoSetIntOption("showprogress", previousShowProgress_);
    LumoSetErrorHandler(previousError_);
    LumoSetWarningHandler(previousWarning_);
    LumoSetProgressHandler(previousProgress_);
    if (!tempDir_.empty()) std::filesystem::remove_all(tempDir_);
}

std::filesystem::path LumoTest::tempDir() {
    if (tempDir_.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-test-XXXXXX").string();
        tempDir_ = ::mkdtemp(pattern.data());
    }
    return tempDir_;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

CommandResult RunCommand(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, {}};
    std::string output;
    std::array<char, 4096> chunk;
    for (size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) output.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

bool HaveTool(const std::string& program) {
    return RunCommand("command -v " + program + " >/dev/null 2>&1").status == 0;
}

std::string PillowPython() {
    for (const char* python : {"/usr/bin/python3", "python3"})
        if (RunCommand(std::string(python) + " -c 'import PIL' >/dev/null 2>&1").status == 0) return python;
    return {};
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string BuiltProgram(const std::string& name) { return std::string(LUMO_BIN_DIR) + "/" + name; }

uint32_t PixelAt(const IMG& image, int x, int y) {
    const uint8_t* row = PictureRow(image, y);
    switch (image.bitsPerPixel) {
        case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4: return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
        case 8: return row[x];
        default: return static_cast<uint32_t>(row[3 * x + 2]) << 16 | row[3 * x + 1] << 8 | row[3 * x];
    }
}

void SetPixel(IMG& image, int x, int y, uint32_t value) {
    uint8_t* row = PictureRow(image, y);
    switch (image.bitsPerPixel) {
        case 1: {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
            row[x / 8] = static_cast<uint8_t>(value ? row[x / 8] | mask : row[x / 8] & ~mask);
            break;
        }
        case 4:
            row[x / 2] = static_cast<uint8_t>(x % 2 ? (row[x / 2] & 0xF0) | (value & 0x0F)
                                                    : (row[x / 2] & 0x0F) | (value & 0x0F) << 4);
            break;
        case 8: row[x] = static_cast<uint8_t>(value); break;
        default:
            row[3 * x] = static_cast<uint8_t>(value);
            row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(value >> 16);
    }
}

ImagePtr MakePatternImage(ImageKind kind, int width, int height, unsigned seed) {
    PalettePtr palette;
    if (kind == ImageKind::COLOR16 || kind == ImageKind::COLOR256) {
        const int entries = kind == ImageKind::COLOR16 ? 16 : 256;
        palette = CreateIMGPalette(entries);
        for (int i = 0; i < entries; ++i)
            LumoSetPaletteEntry(palette.get(), i, (i * 37 + seed) & 255, (i * 91 + 7 * seed) & 255, (255 - i * 13) & 255);
    }
    ImagePtr image = LumoCreateImage(width, height, ColorClassOf(kind), std::move(palette), BitsPerPixelOf(kind));
    if (image->bits) std::fill(image->bits, image->bits + PixelBytes(*image), 0);
    const uint32_t levels = kind == ImageKind::RGB ? 0x1000000u : 1u << image->bitsPerPixel;
    uint32_t state = seed * 2654435761u + 12345u;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const uint32_t smooth = static_cast<uint32_t>(x * 7 + y * 3 + (x * y) % 11);
            const uint32_t value = kind == ImageKind::RGB
                                       ? (static_cast<uint32_t>(x * 255 / std::max(1, width - 1)) << 16 |
                                          static_cast<uint32_t>(y * 255 / std::max(1, height - 1)) << 8 |
                                          ((state >> 16) & 0xFF))
                                       : (smooth + (state >> 20)) % levels;
            SetPixel(*image, x, y, value);
        }
    return image;
}

::testing::AssertionResult SamePixels(const IMG& expected, const IMG& actual) {
    if (KindOf(expected) != KindOf(actual))
        return ::testing::AssertionFailure()
               << "kind " << KindName(KindOf(actual)) << ", expected " << KindName(KindOf(expected));
    if (expected.width != actual.width || expected.height != actual.height)
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height << ", expected "
                                             << expected.width << "x" << expected.height;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            uint32_t a = PixelAt(expected, x, y), b = PixelAt(actual, x, y);
            if (expected.palette && actual.palette) {
                const uint8_t *pa = expected.palette + 3 * a, *pb = actual.palette + 3 * b;
                if (pa[0] != pb[0] || pa[1] != pb[1] || pa[2] != pb[2])
                    return ::testing::AssertionFailure() << "colour differs at (" << x << ", " << y << ")";
            } else if (a != b) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << b << ", expected " << a;
            }
        }
    return ::testing::AssertionSuccess();
}
