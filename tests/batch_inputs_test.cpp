#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "jobs/batch_inputs.h"
#include "core/messages.h"
#include "formats/bmp.h"
#include "jobs/output_check.h"
#include "jobs/run_log.h"
#include "tests/support/lumo_test.h"

namespace {

class BatchInputsTest : public LumoTest {
protected:
    void touch(const std::string& relative) {
        const std::filesystem::path path = tempDir() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
    std::vector<std::string> walk(const TreeSelection& selection, std::vector<std::string>* unreadable = nullptr) {
        std::vector<std::string> problems;
        std::vector<std::string> names;
        for (const TreeFile& file : CollectTreeFiles(tempPath("in"), selection, problems)) {
            EXPECT_EQ(file.path, tempPath("in") + "/" + file.relative);
            names.push_back(file.relative);
        }
        if (unreadable) *unreadable = problems;
        return names;
    }
};

// Names of every kind survive the log: quotes, backslashes, control characters, UTF-8 and bytes
// that are not UTF-8; lines cut short or foreign are passed over.
TEST_F(BatchInputsTest, LogLinesRoundTripAnyNameAndRefuseDamagedLines) {
    const RunLogEntry entry{"in/\"quoted\" back\\slash\ttab\nnew\x01.jpg", "out/caf\xc3\xa9 \xff\xfe\xc0\xaf.png",
                            "failed", "Bogus \"marker\"", 12345678901ull, 0, 42};
    const std::string line = FormatRunLogLine(entry);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_NE(line.find("caf\xc3\xa9"), std::string::npos);  // valid UTF-8 is written as it is
    EXPECT_NE(line.find("\\u00ff\\u00fe\\u00c0\\u00af"), std::string::npos);
    const std::optional<RunLogEntry> back = ParseRunLogLine(line.substr(0, line.size() - 1));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->input, entry.input);
    EXPECT_EQ(back->output, entry.output);
    EXPECT_EQ(back->status, entry.status);
    EXPECT_EQ(back->reason, entry.reason);
    EXPECT_EQ(back->inputBytes, entry.inputBytes);
    EXPECT_EQ(back->milliseconds, 42u);
    for (size_t cut = 0; cut + 1 < line.size(); cut += 7) EXPECT_FALSE(ParseRunLogLine(line.substr(0, cut))) << cut;
    for (const char* foreign : {"", "{}", "[1]", "{\"input\":\"a\"}", "{\"input\":\"a\",\"status\":\"done\",\"x\":1}",
                                "{\"input\":\"a\",\"status\":\"done\"} trailing", "{\"input\":\"\\u0100\",\"status\":\"done\"}",
                                "{\"input\":\"a\",\"status\":\"done\",\"ms\":99999999999999999999}"})
        EXPECT_FALSE(ParseRunLogLine(foreign)) << foreign;
}

// A resumed run trusts the last word on each input; a line cut by a kill is ended before new ones.
TEST_F(BatchInputsTest, TheLastLineOfAnInputDecidesAndACutLineIsEnded) {
    const std::string path = tempPath("run.jsonl");
    {
        RunLog log;
        ASSERT_TRUE(log.open(path));
        ASSERT_TRUE(log.append({"a.jpg", "out/a.png", "done", "", 1, 10, 0}));
        ASSERT_TRUE(log.append({"b.jpg", "out/b.png", "done", "", 1, 20, 0}));
        ASSERT_TRUE(log.append({"b.jpg", "out/b.png", "failed", "gone", 1, 0, 0}));
        ASSERT_TRUE(log.append({"c.jpg", "out/c.png", "failed", "bad", 1, 0, 0}));
        ASSERT_TRUE(log.append({"c.jpg", "out/c.png", "done", "", 1, 30, 0}));
    }
    std::ofstream(path, std::ios::app) << "{\"input\":\"d.jpg\",\"outp";  // killed while writing
    {
        RunLog log;
        ASSERT_TRUE(log.open(path));
        ASSERT_TRUE(log.append({"e.jpg", "out/e.png", "done", "", 1, 50, 0}));
    }
    const auto done = ReadDoneFiles(path);
    EXPECT_EQ(done.size(), 3u);
    EXPECT_EQ(done.at("a.jpg").outputBytes, 10u);
    EXPECT_EQ(done.count("b.jpg"), 0u);
    EXPECT_EQ(done.at("c.jpg").output, "out/c.png");
    EXPECT_EQ(done.at("e.jpg").outputBytes, 50u);
    EXPECT_TRUE(ReadDoneFiles(tempPath("missing.jsonl")).empty());
}

// Every input is in exactly one slice, the slices' sizes differ by one at most, in order.
TEST_F(BatchInputsTest, ShardsCutTheListIntoContiguousSlicesOfNearlyEqualSize) {
    for (size_t size = 0; size <= 40; ++size)
        for (int count = 1; count <= 7; ++count) {
            size_t next = 0, smallest = size, largest = 0;
            for (int k = 1; k <= count; ++k) {
                const auto [first, last] = ShardRange(size, k, count);
                ASSERT_EQ(first, next) << size << " " << k << "/" << count;
                next = last;
                smallest = std::min(smallest, last - first);
                largest = std::max(largest, last - first);
            }
            EXPECT_EQ(next, size);
            EXPECT_LE(largest - smallest, 1u);
        }
    int k = 0, n = 0;
    EXPECT_TRUE(ParseShard("3/3", k, n));
    EXPECT_EQ(k, 3);
    for (const char* wrong : {"0/3", "4/3", "1/0", "1", "1/3x", "-1/3", "a/b", ""}) EXPECT_FALSE(ParseShard(wrong, k, n)) << wrong;
}

TEST_F(BatchInputsTest, TheWalkTakesReadableFilesInListOrderLeavingOutExcludedOnesAndLinks) {
    for (const char* name : {"in/b.JPG", "in/A.png", "in/notes.txt", "in/sub/deep/c.tiff", "in/sub/d.gif",
                             "in/raw/e.jpg", "in/out/old.png"})
        touch(name);
    ASSERT_EQ(::symlink("sub", tempPath("in/linked").c_str()), 0);
    ASSERT_EQ(::symlink("A.png", tempPath("in/alias.png").c_str()), 0);
    ASSERT_EQ(::symlink("..", tempPath("in/sub/up").c_str()), 0);  // a loop when links are followed

    TreeSelection selection;
    EXPECT_EQ(walk(selection), (std::vector<std::string>{"A.png", "b.JPG", "out/old.png", "raw/e.jpg",
                                                         "sub/d.gif", "sub/deep/c.tiff"}));
    selection.exclude = {"raw", "*.GIF"};
    selection.skipFolder = tempPath("in/out");
    EXPECT_EQ(walk(selection), (std::vector<std::string>{"A.png", "b.JPG", "sub/deep/c.tiff"}));
    selection.exclude = {"sub/deep/*"};
    selection.include = {"*.txt", "sub/*"};
    EXPECT_EQ(walk(selection), (std::vector<std::string>{"notes.txt", "sub/d.gif"}));

    selection = {};
    selection.followLinks = true;
    selection.exclude = {"raw", "out"};
    EXPECT_EQ(walk(selection), (std::vector<std::string>{"A.png", "alias.png", "b.JPG", "linked/d.gif",
                                                         "linked/deep/c.tiff", "sub/d.gif", "sub/deep/c.tiff"}));

    std::vector<std::string> unreadable;
    EXPECT_TRUE(CollectTreeFiles(tempPath("none"), {}, unreadable).empty());
    EXPECT_EQ(unreadable, std::vector<std::string>{tempPath("none")});
}

TEST_F(BatchInputsTest, MirroredTargetsKeepTheFoldersAndChangeOnlyTheLastExtension) {
    EXPECT_EQ(MirroredTarget("out", "a/b.c/photo.tar.JPG", "png"), "out/a/b.c/photo.tar.png");
    EXPECT_EQ(MirroredTarget("out/", "x\\y.jpg", "png"), "out/x\\y.png");
    EXPECT_EQ(MirroredTarget("out", "dir.d/.hidden", "png"), "out/dir.d/.hidden.png");
}

// The check finds a file that differs from the picture saved, or that no longer loads.
TEST_F(BatchInputsTest, TheVerifyFindsAChangedOrDamagedOutput) {
    const ImagePtr picture = MakePatternImage(ImageKind::COLOR16, 31, 9, 1);
    const std::string path = tempPath("saved.bmp");
    SaveBmp(picture.get(), path.c_str());
    EXPECT_NO_THROW(VerifySavedPicture(path, "bmp", *picture));
    const ImagePtr other = MakePatternImage(ImageKind::COLOR16, 31, 9, 2);
    try {
        VerifySavedPicture(path, "bmp", *other);
        ADD_FAILURE() << "a different picture passed";
    } catch (const LumoFailure& failure) {
        EXPECT_EQ(failure.module(), "VerifyOutput");
        EXPECT_NE(std::string(failure.text()).find("The saved file's pixel ("), std::string::npos) << failure.text();
    }
    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes.resize(20);
    WriteBytes(path, bytes);
    EXPECT_THROW(VerifySavedPicture(path, "bmp", *picture), LumoFailure);
    EXPECT_FALSE(SavesExactly("jpg", *picture));
    EXPECT_FALSE(SavesExactly("gif", *MakePatternImage(ImageKind::RGB, 2, 2)));
    EXPECT_TRUE(SavesExactly("gif", *picture));
}

}  // namespace
