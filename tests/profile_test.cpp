#include <cstdlib>

#include "platform/profile.h"
#include "tests/support/lumo_test.h"

namespace {

class ProfileTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        path_ = tempPath("WIN.INI");
        ::setenv("LUMO_PROFILE", path_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("LUMO_PROFILE");
        ClearProfileOverrides();
        LumoTest::TearDown();
    }
    void writeProfile(const std::string& text) { WriteBytes(path_, std::vector<uint8_t>(text.begin(), text.end())); }
    std::string profileText() {
        const std::vector<uint8_t> bytes = ReadBytes(path_);
        return {bytes.begin(), bytes.end()};
    }
    std::string path_;
};

TEST_F(ProfileTest, IntegerReadsFollowTheWindowsRules) {
    writeProfile("[Lumo]\nJpegQuality=90\nLeading=  42abc\nWord=abc\nEmpty=\nNegative=-3\n");
    EXPECT_EQ(ProfileInt("JpegQuality", 75), 90);
    EXPECT_EQ(ProfileInt("jpegquality", 75), 90);  // key names are not case-sensitive
    EXPECT_EQ(ProfileInt("Leading", 1), 42);
    EXPECT_EQ(ProfileInt("Word", 1), 0);
    EXPECT_EQ(ProfileInt("Empty", 7), 7);
    EXPECT_EQ(ProfileInt("Negative", 7), -3);
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

}  // namespace
