#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "formats/bmp.h"
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
        std::sort(names.begin(), names.end());
        return names;
    }
    // Runs body in a child process (as another user when uid is given) and yields its exit status.
    template <typename Body>
    static int InChild(const Body& body, uid_t uid = static_cast<uid_t>(-1)) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (uid != static_cast<uid_t>(-1) && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(99);
            ::_exit(body());
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
    }
    // The message of the error a save reports, or "" when it succeeds.
    static std::string SaveError(const std::string& target, const char* bytes) {
        try {
            OutputFile out(target.c_str(), "SaveTest");
            out.write(bytes, std::strlen(bytes));
            out.commit();
        } catch (const LumoFailure& failure) {
            return failure.text();
        }
        return {};
    }
    std::string text(const std::string& path) {
        const std::vector<uint8_t> bytes = ReadBytes(path);
        return {bytes.begin(), bytes.end()};
    }
};

// Saves of a large picture killed at random moments: afterwards the target holds the complete old or
// the complete new picture. The folder holds nothing else, except after a SIGKILL between the link and
// the rename of a replacement: then the swap name, complete too, which the next save removes.
struct KillCase {
    const char* name;
    int signal;
    bool namedTemporaries;  // as on a file system without unnamed files: removed by the signal handler
    int width, height, kills;
};
void PrintTo(const KillCase& c, std::ostream* os) { *os << c.name; }

class SaveKillTest : public OutputFileTest, public ::testing::WithParamInterface<KillCase> {};

TEST_P(SaveKillTest, AKilledSaveLeavesOneCompleteFile) {
    const KillCase& param = GetParam();
    const ImagePtr pictures[2] = {MakePatternImage(ImageKind::RGB, param.width, param.height, 1),
                                  MakePatternImage(ImageKind::RGB, param.width, param.height, 2)};
    const std::string target = tempPath("big.bmp");
    const auto save = [&](int which) {
        return InChild([&] {
            ReplacementFile::UseNamedTemporaries(param.namedTemporaries);
            SaveBmp(pictures[which].get(), target.c_str());
            return 0;
        });
    };
    // Both versions saved whole once: their bytes, and how long a save of the larger file takes.
    std::vector<uint8_t> versions[2];
    auto duration = std::chrono::steady_clock::duration::zero();
    for (int which : {1, 0}) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(save(which), 0);
        duration = std::max(duration, std::chrono::steady_clock::now() - start);
        versions[which] = ReadBytes(target);
    }
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> moment(0, std::chrono::duration_cast<std::chrono::microseconds>(duration).count());
    for (int kill = 0; kill < param.kills; ++kill) {
        const pid_t child = ::fork();
        if (child == 0) {
            ReplacementFile::UseNamedTemporaries(param.namedTemporaries);
            SaveBmp(pictures[kill % 2].get(), target.c_str());
            ::_exit(0);
        }
        const long delay = moment(random);
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        ::kill(child, param.signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        const auto complete = [&](const std::string& path) {
            const std::vector<uint8_t> now = ReadBytes(path);
            return now == versions[0] || now == versions[1];
        };
        const std::vector<std::string> entries = folderEntries();
        const bool swapLeft = entries == std::vector<std::string>{"big.bmp", "big.bmp.lumo-swap"};
        ASSERT_TRUE(entries == std::vector<std::string>{"big.bmp"} || (swapLeft && !param.namedTemporaries))
            << "kill " << kill << " after " << delay << " us, seed " << seed << ": " << ::testing::PrintToString(entries);
        EXPECT_TRUE(complete(target)) << "kill " << kill << " after " << delay << " us";
        if (swapLeft) {
            EXPECT_TRUE(complete(tempPath("big.bmp.lumo-swap")));
        }
    }
    ASSERT_EQ(save(0), 0);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"big.bmp"});
    EXPECT_EQ(ReadBytes(target), versions[0]);
}

// The swap name a killed save left is removed by the next save of the target; one held by a live save
// (locked), or another user's file, stays.
TEST_F(OutputFileTest, ALeftSwapNameIsRemovedByTheNextSave) {
    const std::string target = tempPath("photo.bmp"), swap = target + ".lumo-swap";
    WriteBytes(target, {'o', 'l', 'd'});
    WriteBytes(swap, {'l', 'e', 'f', 't'});
    EXPECT_EQ(SaveError(target, "new"), "");
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"photo.bmp"});
    EXPECT_EQ(text(target), "new");

    WriteBytes(swap, {'l', 'i', 'v', 'e'});
    const int held = ::open(swap.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(SaveError(target, "newer"), "");
    ::close(held);
    EXPECT_EQ(text(target), "newer");
    EXPECT_EQ(text(swap), "live");
    if (::geteuid() == 0) {
        ::chown(swap.c_str(), 65534, 65534);
        EXPECT_EQ(SaveError(target, "newest"), "");
        EXPECT_EQ(text(swap), "live");
    }
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"photo.bmp", "photo.bmp.lumo-swap"}));
}

INSTANTIATE_TEST_SUITE_P(
    Kills, SaveKillTest,
    ::testing::Values(KillCase{"SigkillDuringUnnamedSave", SIGKILL, false, 6000, 2000, 20},  // a 36 MB BMP
                      KillCase{"SigtermDuringNamedSave", SIGTERM, true, 2000, 2000, 10},
                      KillCase{"SigintDuringNamedSave", SIGINT, true, 2000, 1000, 5}),
    [](const ::testing::TestParamInfo<KillCase>& info) { return std::string(info.param.name); });

TEST_F(OutputFileTest, NamedTemporariesWorkAsUnnamedOnes) {
    const std::string target = tempPath("named.bin");
    ReplacementFile::UseNamedTemporaries(true);
    const std::string error = SaveError(target, "named");
    bool abandonedClean = false;
    try {
        OutputFile out(target.c_str(), "SaveTest");
        out.write("half", 4);
        abandonedClean = folderEntries().size() == 2;  // the named temporary is there while writing
    } catch (const LumoFailure&) {
    }
    ReplacementFile::UseNamedTemporaries(false);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(abandonedClean);
    EXPECT_EQ(text(target), "named");
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"named.bin"});
}

// A file without any write bit is refused even to root, as cp refuses it to its owner; a file the user
// may not write is refused although the folder would let the rename replace it.
TEST_F(OutputFileTest, ReadOnlyTargetsAreRefused) {
    const std::string target = tempPath("read-only.bin");
    WriteBytes(target, {'o', 'l', 'd'});
    ::chmod(target.c_str(), 0444);
    EXPECT_EQ(SaveError(target, "new"), "Can't open file " + target + ": Permission denied");
    EXPECT_EQ(text(target), "old");
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"read-only.bin"});

    ::chmod(target.c_str(), 0644);  // writable by its owner only
    ::chmod(tempDir().c_str(), 0777);
    if (::geteuid() == 0) {
        EXPECT_EQ(InChild([&] { return SaveError(target, "new") == "Can't open file " + target + ": Permission denied" ? 0 : 1; }, 65534),
                  0);
        EXPECT_EQ(text(target), "old");
    }
    EXPECT_EQ(SaveError(target, "new"), "");  // its owner may
    EXPECT_EQ(text(target), "new");
}

TEST_F(OutputFileTest, ReplacedFilesKeepModeAndOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    const std::string target = tempPath("owned.bin");
    WriteBytes(target, {1});
    ::chown(target.c_str(), 65534, 65534);
    ::chmod(target.c_str(), 0604);
    EXPECT_EQ(SaveError(target, "new"), "");
    struct stat info;
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
}

// A symbolic link is written through: the link stays, the file it points to gets the new contents
// (its temporary beside that file), and a dangling link creates the file it names.
TEST_F(OutputFileTest, SymbolicLinksAreWrittenThrough) {
    std::filesystem::create_directory(tempDir() / "real");
    std::filesystem::create_directory(tempDir() / "links");
    const std::string real = tempPath("real/picture.bmp");
    WriteBytes(real, {'o', 'l', 'd'});
    ::chmod(real.c_str(), 0640);
    const std::string link = tempPath("links/picture.bmp");
    ASSERT_EQ(::symlink("../real/picture.bmp", link.c_str()), 0);
    const std::string chain = tempPath("links/chain.bmp");
    ASSERT_EQ(::symlink("picture.bmp", chain.c_str()), 0);

    EXPECT_EQ(SaveError(chain, "new"), "");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_symlink(chain));
    EXPECT_EQ(text(real), "new");
    struct stat info;
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(std::filesystem::directory_iterator(tempDir() / "real")->path().filename(), "picture.bmp");

    const std::string dangling = tempPath("links/dangling.bmp");
    ASSERT_EQ(::symlink("../real/created.bmp", dangling.c_str()), 0);
    EXPECT_EQ(SaveError(dangling, "made"), "");
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_EQ(text(tempPath("real/created.bmp")), "made");

    ::chmod(real.c_str(), 0444);  // the rule applies to the file the link points to
    EXPECT_EQ(SaveError(link, "again"), "Can't open file " + link + ": Permission denied");
    const std::string loop = tempPath("links/loop.bmp");
    ASSERT_EQ(::symlink("loop.bmp", loop.c_str()), 0);
    EXPECT_EQ(SaveError(loop, "x"), "Can't open file " + loop + ": Too many levels of symbolic links");
}

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
        EXPECT_EQ(std::string(failure.text()), "Error writing file " + target + ": File too large");
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, SIG_DFL);
    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadBytes(target), std::vector<uint8_t>{42});
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"full.bin"});
}

// A device is written straight instead of being replaced by a file: /dev/null stays the device, and
// /dev/full's refusal is the save's error with its reason.
TEST_F(OutputFileTest, DevicesAreWrittenStraightAndTheirErrorsReported) {
    {
        OutputFile out("/dev/null", "SaveTest");
        out.write("abc", 3);
        out.commit();
    }
    struct stat info;
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_LUMO_ERROR(
        {
            OutputFile out("/dev/full", "SaveTest");
            out.write("abc", 3);
            out.commit();
        },
        "SaveTest", "Error writing file /dev/full: No space left on device");
}

TEST_F(OutputFileTest, UnwritablePlacesAreRefused) {
    EXPECT_LUMO_ERROR(OutputFile(tempPath("no/such/folder/x.bmp").c_str(), "SaveBmp"), "SaveBmp",
                      "Can't open file " + tempPath("no/such/folder/x.bmp") + ": No such file or directory");
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
                      "Can't open file " + tempPath("missing") + ": No such file or directory");
}

// A FIFO without a writer, an endless device and a folder are refused at once instead of blocking
// or reading forever.
TEST_F(OutputFileTest, InputFileRefusesWhatIsNotARegularFile) {
    const std::string fifo = tempPath("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : {fifo, std::string("/dev/zero"), tempDir().string()})
        EXPECT_LUMO_ERROR(InputFile(path.c_str(), "LumoLoadBmp"), "LumoLoadBmp", "Not a regular file: " + path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// A stream the caller opened (standard input) is read whatever it is, with sizes and skips as for a file.
TEST_F(OutputFileTest, InputFileReadsAnOpenStream) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        std::vector<char> bytes(100000);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
        EXPECT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(ends[1]);
    });
    std::FILE* stream = ::fdopen(ends[0], "rb");
    {
        InputFile file(stream, "standard input", "LoadTest");
        EXPECT_EQ(file.size(), 100000u);
        EXPECT_EQ(file.skip(99999), 99999u);
        EXPECT_EQ(file.getByte(), 99999 % 251);
        EXPECT_EQ(file.getByte(), -1);
        EXPECT_EQ(file.name(), "standard input");
    }
    writer.join();
    EXPECT_EQ(std::fgetc(stream), EOF);  // still open: the caller closes it
    std::fclose(stream);
}

}  // namespace
