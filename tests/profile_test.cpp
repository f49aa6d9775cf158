#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/message_box.h"
#include "platform/profile.h"
#include "tests/support/profile_fixture.h"

namespace {

using ProfileTest = ProfileFileTest;

TEST_F(ProfileTest, IntegerReadsTakeLeadingDigitsElseTheDefault) {
    writeProfile("[Lumo]\nJpegQuality=90\nLeading=  42abc\nWord=abc\nEmpty=\nNegative=-3\nSignOnly= -x\n"
                 "Plus=+8\nHuge=99999999999\nHugeNegative=-99999999999\n");
    EXPECT_EQ(ProfileInt("JpegQuality", 75), 90);
    EXPECT_EQ(ProfileInt("jpegquality", 75), 90);  // key names are not case-sensitive
    EXPECT_EQ(ProfileInt("Leading", 1), 42);
    EXPECT_EQ(ProfileInt("Word", 75), 75);  // no digit: the default, not 0
    EXPECT_EQ(ProfileInt("SignOnly", 75), 75);
    EXPECT_EQ(ProfileInt("Empty", 7), 7);
    EXPECT_EQ(ProfileInt("Negative", 7), -3);
    EXPECT_EQ(ProfileInt("Plus", 7), 8);
    EXPECT_EQ(ProfileInt("Huge", 7), INT_MAX);  // saturates instead of wrapping to a small number
    EXPECT_EQ(ProfileInt("HugeNegative", 7), -INT_MAX);
    EXPECT_EQ(ProfileInt("Missing", 640), 640);
    EXPECT_EQ(GetProfileIntA("Other", "JpegQuality", 5), 5);  // other sections are separate
}

TEST_F(ProfileTest, MissingFileGivesDefaults) {
    EXPECT_EQ(ProfileString("TiffCompression", "LZW"), "LZW");
    EXPECT_EQ(ProfileInt("JpegRatio", 1), 1);
}

TEST_F(ProfileTest, WritesKeepOtherSectionsKeysAndComments) {
    writeProfile("; user settings\n[windows]\nload=\n\n[Lumo]\nJpegQuality=75\nGifInterlace=1\n\n[fonts]\nx=1\n");
    ASSERT_TRUE(WriteProfileStringA("Lumo", "jpegquality", "90"));
    ASSERT_TRUE(WriteProfileStringA("Lumo", "ToolBarVisible", "0"));
    ASSERT_TRUE(WriteProfileStringA("Lumo", "GifInterlace", nullptr));
    EXPECT_EQ(profileText(),
              "; user settings\n[windows]\nload=\n\n[Lumo]\njpegquality=90\nToolBarVisible=0\n\n[fonts]\nx=1\n");
    EXPECT_EQ(ProfileInt("JpegQuality", 75), 90);
}

TEST_F(ProfileTest, WritesKeepCrlfLinesAndALastLineWithoutEnding) {
    writeProfile("; comment\r\n[Lumo]\r\nJpegQuality=75\r\n[other]\r\nx=1");
    ASSERT_TRUE(WriteProfileStringA("Lumo", "JpegQuality", "90"));
    ASSERT_TRUE(WriteProfileStringA("Lumo", "GifInterlace", "1"));
    EXPECT_EQ(profileText(), "; comment\r\n[Lumo]\r\nJpegQuality=90\r\nGifInterlace=1\r\n[other]\r\nx=1");
    EXPECT_EQ(ProfileInt("GifInterlace", 0), 1);

    writeProfile("[other]\nx=1");  // the new section follows a last line that had no ending
    ASSERT_TRUE(WriteProfileStringA("Lumo", "A", "2"));
    EXPECT_EQ(profileText(), "[other]\nx=1\n[Lumo]\nA=2\n");
}

TEST_F(ProfileTest, SeveralKeysAreWrittenInOneStep) {
    writeProfile("[Lumo]\nB=0\n");
    ASSERT_TRUE(WriteProfileStrings("Lumo", {{"A", "1"}, {"B", "2"}, {"C", ""}}));
    EXPECT_EQ(profileText(), "[Lumo]\nB=2\nA=1\nC=\n");
}

TEST_F(ProfileTest, WritingCreatesTheSectionAndFolders) {
    const std::string nested = tempPath("a/b/WIN.INI");
    ::setenv("LUMO_PROFILE", nested.c_str(), 1);
    ASSERT_TRUE(WriteProfileStringA("Lumo", "OldFile0", "/tmp/x y.bmp"));
    EXPECT_EQ(ProfileString("OldFile0", ""), "/tmp/x y.bmp");
    const std::vector<uint8_t> bytes = ReadBytes(nested);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "[Lumo]\nOldFile0=/tmp/x y.bmp\n");
}

TEST_F(ProfileTest, ProfileLocationFollowsTheEnvironment) {
    ::unsetenv("LUMO_PROFILE");
    ::setenv("XDG_CONFIG_HOME", "/somewhere", 1);
    EXPECT_EQ(ProfilePath(), "/somewhere/lumo/WIN.INI");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ProfilePath(), std::string(std::getenv("HOME")) + "/.config/lumo/WIN.INI");
}

TEST_F(ProfileTest, OverridesWinForThisProcessOnly) {
    writeProfile("[Lumo]\nJpegQuality=75\n");
    SetProfileOverride("JpegQuality", "90");
    EXPECT_EQ(ProfileInt("JpegQuality", 0), 90);
    EXPECT_EQ(GetProfileIntA("Other", "JpegQuality", 5), 5);
    EXPECT_EQ(profileText(), "[Lumo]\nJpegQuality=75\n");
    ClearProfileOverrides();
    EXPECT_EQ(ProfileInt("JpegQuality", 0), 75);
}

TEST_F(ProfileTest, AFailedWriteLeavesTheFileAlone) {
    writeProfile("[Lumo]\nA=1\n");
    ::setenv("LUMO_PROFILE", (path_ + "/not-a-folder/WIN.INI").c_str(), 1);
    EXPECT_FALSE(WriteProfileStringA("Lumo", "A", "2"));
    ::setenv("LUMO_PROFILE", path_.c_str(), 1);
    EXPECT_EQ(profileText(), "[Lumo]\nA=1\n");
}

// A profile that exists but cannot be read is not replaced by a file holding only the new key.
TEST_F(ProfileTest, AnUnreadableProfileIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    writeProfile("[Lumo]\nA=1\n");
    ::chmod(path_.c_str(), 0200);
    EXPECT_FALSE(WriteProfileStringA("Lumo", "B", "2"));
    ::chmod(path_.c_str(), 0600);
    EXPECT_EQ(profileText(), "[Lumo]\nA=1\n");
}

}  // namespace

namespace {

// Counts the message boxes shown while it lives.
class MessageBoxCounter {
public:
    MessageBoxCounter() : previous_(SetMessageBoxFunction([this](const char*, const char* text, MessageIcon) {
                              texts.push_back(text);
                          })) {}
    ~MessageBoxCounter() { SetMessageBoxFunction(std::move(previous_)); }
    std::vector<std::string> texts;

private:
    MessageBoxFunction previous_;
};

// Profiles that are not read: a FIFO with no writer (which used to hang every read), and a file over
// 1 MiB (re-read for every key). Reads give the defaults at once with one warning, writes are refused
// and leave the file as it was.
TEST_F(ProfileTest, ProfilesThatAreNotReadGiveDefaultsAndOneWarning) {
    ::unlink(path_.c_str());
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    {
        MessageBoxCounter boxes;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ProfileInt("JpegQuality", 75), 75);
        EXPECT_EQ(ProfileString("TiffCompression", "LZW"), "LZW");
        EXPECT_FALSE(WriteProfileStringA("Lumo", "JpegQuality", "90"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(boxes.texts, std::vector<std::string>{"The profile " + path_ +
                                                        " is not a regular file: default settings are used"});
    }
    ::unlink(path_.c_str());

    std::string large = "[Lumo]\nJpegQuality=90\n";
    large.resize((1 << 20) + 1, ';');
    writeProfile(large);
    MessageBoxCounter boxes;
    EXPECT_EQ(ProfileInt("JpegQuality", 75), 75);
    EXPECT_EQ(ProfileInt("JpegRatio", 1), 1);
    EXPECT_FALSE(WriteProfileStringA("Lumo", "JpegQuality", "50"));
    EXPECT_EQ(profileText(), large);
    EXPECT_EQ(boxes.texts,
              std::vector<std::string>{"The profile " + path_ + " is larger than 1 MiB: default settings are used"});

    large.resize(1 << 20);  // at the limit it is read
    writeProfile(large);
    EXPECT_EQ(ProfileInt("JpegQuality", 75), 90);
}

// The file is parsed once and read again only when it changes, so a large profile costs little per
// key; yet a change made right after a read, in place and of the same size, is seen at the next read.
TEST_F(ProfileTest, ReadsAreCachedUntilTheFileChanges) {
    std::string text = "[Lumo]\nJpegQuality=75\n";
    for (int i = 0; text.size() < 1000000; ++i) text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    writeProfile(text);
    const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), hourAgo, 0), 0);
    // The first read parses the file; a thousand more must cost far less than a thousand parses
    // (a ratio, so that it holds in the sanitizer build and on a busy machine alike).
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(ProfileInt("JpegQuality", 0), 75);
    const auto parse = std::chrono::steady_clock::now() - start;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(ProfileInt("Key99", 0), 99);
    EXPECT_LT(std::chrono::steady_clock::now() - start - parse, 20 * parse);

    writeProfile("[Lumo]\nA=1\n");
    EXPECT_EQ(ProfileInt("A", 0), 1);
    for (const char* value : {"2", "3"}) {
        const std::string same = std::string("[Lumo]\nA=") + value + "\n";
        const int fd = ::open(path_.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, same.data(), same.size(), 0), static_cast<ssize_t>(same.size()));
        ::close(fd);
        EXPECT_EQ(ProfileInt("A", 0), std::stoi(value));
    }
    ASSERT_TRUE(WriteProfileStringA("Lumo", "A", "4"));  // our own write
    EXPECT_EQ(ProfileInt("A", 0), 4);
}

// Writes follow the same rules as saves: a read-only profile is refused (to root too), a symbolic link
// is written through, and the file keeps its mode and CRLF lines.
TEST_F(ProfileTest, WritesRefuseReadOnlyProfilesAndFollowLinks) {
    writeProfile("[Lumo]\r\nA=1\r\n");
    ::chmod(path_.c_str(), 0444);
    EXPECT_FALSE(WriteProfileStringA("Lumo", "A", "2"));
    EXPECT_EQ(profileText(), "[Lumo]\r\nA=1\r\n");

    ::chmod(path_.c_str(), 0604);
    const std::string link = tempPath("link.ini");
    ASSERT_EQ(::symlink("WIN.INI", link.c_str()), 0);
    ::setenv("LUMO_PROFILE", link.c_str(), 1);
    ASSERT_TRUE(WriteProfileStringA("Lumo", "B", "2"));
    EXPECT_EQ(ProfileInt("B", 0), 2);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(profileText(), "[Lumo]\r\nA=1\r\nB=2\r\n");
    struct stat info;
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tempDir()), {}), 2);  // no temporary left
}

}  // namespace
