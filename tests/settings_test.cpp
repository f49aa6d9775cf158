#include <unistd.h>

#include <cstdlib>
#include <set>

#include "formats/dispatch.h"
#include "jobs/settings.h"
#include "platform/profile.h"
#include "tests/support/profile_fixture.h"

namespace {

using SettingsTest = ProfileFileTest;

struct ValueCase {
    const char* key;
    const char* value;
    const char* refusal;  // null when the value is accepted
};
void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.key << "=" << c.value; }

class ProfileValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ProfileValueTest, ChecksTheValueAgainstTheRow) {
    const ValueCase& c = GetParam();
    const ProfileKey* row = FindProfileKey(c.key);
    ASSERT_NE(row, nullptr);
    const std::optional<std::string> refusal = CheckProfileValue(*row, c.value);
    if (c.refusal) EXPECT_EQ(refusal.value_or("(accepted)"), c.refusal);
    else EXPECT_FALSE(refusal) << *refusal;
}

constexpr const char* kQuality = "Quality must be between 10 and 100";
constexpr const char* kThreshold = "Threshold must be between 1 and 254";
constexpr const char* kLayers = "Resolution layers must be between 1 and 16";
constexpr const char* kLrlmax = "Smallest layer can't be smaller than 32x32";

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileValueTest,
    ::testing::Values(
        ValueCase{"JpegQuality", "9", kQuality}, ValueCase{"JpegQuality", "10", nullptr},
        ValueCase{"JpegQuality", "100", nullptr}, ValueCase{"JpegQuality", "101", kQuality},
        // A number given by the user is the whole text, nothing more or less.
        ValueCase{"JpegQuality", "", kQuality}, ValueCase{"JpegQuality", "abc", kQuality},
        ValueCase{"JpegQuality", "75abc", kQuality}, ValueCase{"JpegQuality", " 75", kQuality},
        ValueCase{"JpegQuality", "99999999999", kQuality},
        ValueCase{"Threshold", "0", kThreshold}, ValueCase{"Threshold", "1", nullptr},
        ValueCase{"Threshold", "254", nullptr}, ValueCase{"Threshold", "255", kThreshold},
        ValueCase{"JbigLayers", "0", kLayers}, ValueCase{"JbigLayers", "16", nullptr},
        ValueCase{"JbigLayers", "17", kLayers},
        ValueCase{"JbigLrlmaxw", "31", kLrlmax}, ValueCase{"JbigLrlmaxw", "32", nullptr},
        ValueCase{"JbigLrlmaxh", "0", nullptr}, ValueCase{"JbigLrlmaxh", "100000", nullptr},
        ValueCase{"JbigMaxsizew", "7", "Smallest read image must be at least 8x8"},
        // Keys no dialog checks get a message naming the key and its values.
        ValueCase{"JpegRatio", "3", "JpegRatio must be one of 1, 2, 4, 8"}, ValueCase{"JpegRatio", "8", nullptr},
        ValueCase{"PcdSize", "6", "PcdSize must be between 1 and 5"},
        ValueCase{"PngCompression", "0", nullptr}, ValueCase{"PngCompression", "9", nullptr},
        ValueCase{"PngCompression", "10", "PngCompression must be between 0 and 9"},
        ValueCase{"WebpQuality", "0", nullptr}, ValueCase{"WebpQuality", "100", nullptr},
        ValueCase{"WebpQuality", "101", "WebpQuality must be between 0 and 100"},
        ValueCase{"WebpLossless", "2", "WebpLossless must be one of 0, 1"},
        ValueCase{"AvifQuality", "100", nullptr}, ValueCase{"AvifQuality", "101", "AvifQuality must be between 0 and 100"},
        ValueCase{"AvifSpeed", "11", "AvifSpeed must be between 0 and 10"},
        ValueCase{"JxlQuality", "0", nullptr}, ValueCase{"JxlQuality", "101", "JxlQuality must be between 0 and 100"},
        ValueCase{"JxlLossless", "2", "JxlLossless must be one of 0, 1"},
        ValueCase{"JxlEffort", "0", "JxlEffort must be between 1 and 9"},
        ValueCase{"TiffPredictor", "smart", "TiffPredictor must be one of Never, Smart, Always"},
        ValueCase{"TiffPredictor", "Smart", nullptr},
        ValueCase{"TiffCompression", "", "TiffCompression must be one of LZW, Packbits, Raw"},
        ValueCase{"TiffBWCompression", "", nullptr}, ValueCase{"TiffBWCompression", "FAX32D", nullptr},
        ValueCase{"TiffBWCompression", "fax4", "TiffBWCompression must be one of empty, FAX3, FAX32D, FAX4"}));

TEST(ProfileKeyTable, HoldsEveryKeyOnceWithADefaultItAccepts) {
    std::set<std::string> lowerNames;
    for (const ProfileKey* row : AllProfileKeys()) {
        std::string lower = row->key;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(lowerNames.insert(lower).second) << row->key << " twice";
        EXPECT_FALSE(CheckProfileValue(*row, row->defaultValue)) << row->key << " refuses its default";
        EXPECT_EQ(IsNumericKey(*row), !std::string(row->key).starts_with("Tiff")) << row->key;
        EXPECT_EQ(row->option == nullptr, row->use == KeyUse::None) << row->key;
        EXPECT_EQ(FindProfileKey(lower), row);
    }
    EXPECT_EQ(AllProfileKeys().size(), 39u);
    EXPECT_EQ(FindProfileKey("OldFile0"), nullptr);  // the recent files are not settings
    EXPECT_EQ(FindProfileKey("JpegQualit"), nullptr);
}

TEST_F(SettingsTest, NumbersThatAreNotNumbersReadAsTheDefault) {
    writeProfile("[Lumo]\nJpegQuality=x\nJpegFast=yes\nThreshold=75abc\nNoDither=\nTiffCompression=\n");
    EXPECT_EQ(SettingInt("JpegQuality"), 75);
    EXPECT_EQ(SettingInt("JpegFast"), 1);
    EXPECT_EQ(SettingInt("Threshold"), 75);
    EXPECT_EQ(SettingInt("NoDither"), 0);
    EXPECT_EQ(SettingInt("JbigLrlmaxw"), 640);  // missing
    EXPECT_EQ(SettingString("TiffCompression"), "");  // a stored empty text is a value
    EXPECT_EQ(SettingString("TiffPredictor"), "Never");
    EXPECT_LUMO_ERROR(SettingInt("NoSuchKey"), "Settings", "Unknown profile key NoSuchKey");
}

TEST_F(SettingsTest, AppliesAllOrNothing) {
    const std::string original = "; mine\r\n[Lumo]\r\nJpegQuality=75\r\n[fonts]\r\nx=1\r\n";
    writeProfile(original);
    EXPECT_EQ(ApplySettings({{"JpegQuality", "90"}, {"Threshold", "255"}}).value_or(""), kThreshold);
    EXPECT_EQ(ApplySettings({{"JpegQuality", "90"}, {"Bogus", "1"}}).value_or(""), "Unknown profile key Bogus");
    EXPECT_EQ(profileText(), original);

    EXPECT_FALSE(ApplySettings({{"jpegquality", "90"}, {"TIFFBWCOMPRESSION", "FAX4"}}));
    EXPECT_EQ(profileText(), "; mine\r\n[Lumo]\r\nJpegQuality=90\r\nTiffBWCompression=FAX4\r\n[fonts]\r\nx=1\r\n");
    EXPECT_EQ(SettingInt("JpegQuality"), 90);
}

// The TIFF rule keeps its own defaults; they must stay those of the table.
TEST_F(SettingsTest, TiffRuleDefaultsAgreeWithTheTable) {
    for (ImageKind kind : {ImageKind::BW, ImageKind::GRAY256, ImageKind::RGB}) {
        const ImagePtr image = MakePatternImage(kind, 2, 2);
        ::unlink(path_.c_str());
        const TiffSaveSettings unset = DecideTiffCompression(*image);
        for (const ProfileKey* row : AllProfileKeys()) {
            if (!std::string(row->key).starts_with("Tiff")) continue;
            ASSERT_TRUE(WriteProfileStringA("Lumo", row->key, row->defaultValue));
        }
        const TiffSaveSettings written = DecideTiffCompression(*image);
        EXPECT_EQ(unset.compression, written.compression);
        EXPECT_EQ(unset.optionsG3, written.optionsG3);
        EXPECT_EQ(unset.predictor, written.predictor);
    }
}

}  // namespace
