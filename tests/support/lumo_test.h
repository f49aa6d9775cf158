// Shared test fixtures: a fixture that captures the library's reports and checks that
// every counted block was released, temporary folders, file and command helpers, and
// synthetic pictures of every kind.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"

// Test parameters of the image kind print as "BW", "GRAY16", ... in the test log.
inline void PrintTo(ImageKind kind, std::ostream* os) { *os << KindName(kind); }

struct Report {
    std::string module;
    std::string text;
};

// Installs hooks that record errors, warnings and progress values; after each test the
// block counter must be back where it started (nothing leaked, nothing freed twice).
class LumoTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The folder of this test, removed afterwards.
    std::filesystem::path tempDir();
    std::string tempPath(const std::string& name) { return (tempDir() / name).string(); }

public:
    // What the hooks received during the current test.
    static std::vector<Report> errors;
    static std::vector<Report> warnings;
    static std::vector<int> progress;

private:
    long blocksAtStart_ = 0;
    LumoHook previousError_ = nullptr;
    LumoHook previousWarning_ = nullptr;
    LumoProgressHook previousProgress_ = nullptr;
    int previousShowProgress_ = 0;
    std::filesystem::path tempDir_;
};

// Expects statement to fail with a LumoFailure of that module and text.
#define EXPECT_LUMO_ERROR(statement, expectedModule, expectedText)                   \
    do {                                                                              \
        try {                                                                         \
            statement;                                                                \
            ADD_FAILURE() << "no error from " #statement;                             \
        } catch (const LumoFailure& failure) {                                        \
            EXPECT_EQ(failure.module(), expectedModule);                              \
            EXPECT_EQ(std::string(failure.text()), std::string(expectedText));        \
        }                                                                             \
    } while (0)

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

struct CommandResult {
    int status;          // exit status, or -1 when the command could not run
    std::string output;  // standard output (standard error too when asked)
};
CommandResult RunCommand(const std::string& command);
// True when a program is on the PATH (the reference tools of the cross-checks).
bool HaveTool(const std::string& program);
// The Python with Pillow (Debian's python3-pil), or empty when there is none.
std::string PillowPython();
std::string ShellQuote(const std::string& text);
// A program built beside the tests ("lumo").
std::string BuiltProgram(const std::string& name);

// A picture of the kind with a deterministic, asymmetric pattern (every row and column differ).
ImagePtr MakePatternImage(ImageKind kind, int width, int height, unsigned seed = 1);
// True when both images have the same kind, size, palette entries in use and pixels (padding ignored).
::testing::AssertionResult SamePixels(const IMG& expected, const IMG& actual);
// Pixel value at (x, y from the top): index or level for 1/4/8 bits, 0xRRGGBB for RGB.
uint32_t PixelAt(const IMG& image, int x, int y);
void SetPixel(IMG& image, int x, int y, uint32_t value);
