#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>

#include "formats/input_file.h"
#include "formats/output_file.h"
#include "tests/support/lumo_test.h"

namespace {

class OutputFileTest : public LumoTest {
protected:
    std::vector<std::string> folderEntries() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(tempDir()))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(OutputFileTest, TheTargetAppearsOnlyOnCommit) {
    const std::string target = tempPath("out.bin");
    {
        OutputFile out(target.c_str(), "SaveTest");
        out.write("abc", 3);
        EXPECT_FALSE(std::filesystem::exists(target));
        out.commit();
    }
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"out.bin"});
}

TEST_F(OutputFileTest, AnAbandonedSaveLeavesTheOldFileIntact) {
    const std::string target = tempPath("keep.bin");
    WriteBytes(target, {1, 2, 3, 4});
    ::chmod(target.c_str(), 0640);
    try {
        OutputFile out(target.c_str(), "SaveTest");
        out.write("new", 3);
        LumoError("SaveTest", "failed half-way");
    } catch (const LumoFailure&) {
    }
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"keep.bin"});

    {
        OutputFile out(target.c_str(), "SaveTest");
        out.write("new", 3);
        out.commit();
    }
    struct stat info;
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);  // a replaced file keeps its permissions
}

TEST_F(OutputFileTest, WriteErrorsAreErrorsAndKeepTheOldFile) {
    // A file-size limit makes the disk "full" after 4 KiB: the failure must be reported, not taken for success.
    const std::string target = tempPath("full.bin");
    WriteBytes(target, {42});
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool failed = false;
    try {
        OutputFile out(target.c_str(), "SaveTest");
        std::vector<char> block(1 << 16, 'x');
        out.write(block.data(), block.size());
        out.commit();
    } catch (const LumoFailure& failure) {
        failed = true;
        EXPECT_EQ(std::string(failure.text()), "Error writing file " + target);
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, SIG_DFL);
    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadBytes(target), std::vector<uint8_t>{42});
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"full.bin"});
}

TEST_F(OutputFileTest, UnwritablePlacesAreRefused) {
    EXPECT_LUMO_ERROR(OutputFile(tempPath("no/such/folder/x.bmp").c_str(), "SaveBmp"), "SaveBmp",
                      "Can't open file " + tempPath("no/such/folder/x.bmp"));
    EXPECT_THROW(OutputFile(tempDir().c_str(), "SaveBmp"), LumoFailure);
}

TEST_F(OutputFileTest, InputFileReadsFilesAndMemoryAlike) {
    const std::string path = tempPath("in.bin");
    WriteBytes(path, {9, 8, 7});
    InputFile file(path.c_str(), "LoadTest");
    EXPECT_EQ(file.size(), 3u);
    EXPECT_EQ(file.getByte(), 9);
    EXPECT_EQ(file.skip(10), 2u);
    EXPECT_EQ(file.getByte(), -1);

    const uint8_t bytes[] = {5, 6};
    InputFile memory(bytes, 2, "memory");
    uint8_t out[4];
    EXPECT_EQ(memory.read(out, 4), 2u);
    EXPECT_EQ(memory.remaining(), 0u);
    InputFile empty(bytes, 0, "empty");
    EXPECT_EQ(empty.getByte(), -1);

    EXPECT_LUMO_ERROR(InputFile(tempPath("missing").c_str(), "LumoLoadBmp"), "LumoLoadBmp",
                      "Can't open file " + tempPath("missing"));
    EXPECT_THROW(InputFile(tempDir().c_str(), "LumoLoadBmp"), LumoFailure);
}

}  // namespace
