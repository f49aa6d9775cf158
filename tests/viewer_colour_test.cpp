// The image window shows a picture with an embedded profile converted to the screen's sRGB, through a
// copy remade when the image changes; the image itself stays as it is, and a picture without a profile
// gets no copy.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <cstdlib>

#include "core/convert.h"
#include "core/image_metadata.h"
#include "formats/colour/srgb_conversion.h"
#include "tests/support/icc_profiles.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"

namespace {

class ColourDisplayTest : public ViewerTest {
protected:
    static ImagePtr TaggedPhoto() {
        ImagePtr photo = PhotoLike(48, 32);
        AttachProfile(photo.get(), DisplayP3Profile());
        return photo;
    }
    static ImagePtr InSrgb(ImagePtr image) {
        EXPECT_TRUE(ConvertImageToSrgb(image.get()));
        return image;
    }
};

TEST_F(ColourDisplayTest, TaggedPhotoIsPaintedInSrgbAndTheImageKeepsItsPixels) {
    ImageWindow& window = show(TaggedPhoto());
    const ImagePtr expected = InSrgb(TaggedPhoto());
    const IMG* copy = window.display().srgbCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(window.display().displayImage(), copy);
    EXPECT_TRUE(SamePixels(*expected, *copy));
    EXPECT_TRUE(SamePixels(*PhotoLike(48, 32), *window.image()));
    EXPECT_EQ(LumoGetMetadata(window.image())->icc, DisplayP3Profile());
    const QImage pixels = ViewportPixels(window);
    for (const QPoint point : {QPoint(0, 0), QPoint(47, 0), QPoint(20, 13), QPoint(47, 31)})
        EXPECT_EQ(pixels.pixel(point), ColourOf(*expected, point.x(), point.y())) << point.x() << ", " << point.y();
}

TEST_F(ColourDisplayTest, CopyIsRemadeWhenTheImageChangesAndDroppedWithoutProfile) {
    ImageWindow& window = show(TaggedPhoto());
    ASSERT_NE(window.display().srgbCopy(), nullptr);
    // The viewer's conversions carry the profile: a palette picture is shown through its converted palette.
    ImagePtr palette = LumoToCOLOR256(window.image());
    ImagePtr expected = LumoToCOLOR256(window.image());
    AttachProfile(palette.get(), DisplayP3Profile());
    AttachProfile(expected.get(), DisplayP3Profile());
    window.setImage(std::move(palette));
    settle();
    const IMG* copy = window.display().srgbCopy();
    ASSERT_NE(copy, nullptr);
    ASSERT_TRUE(IsKind(*copy, ImageKind::COLOR256));
    EXPECT_TRUE(SamePixels(*InSrgb(std::move(expected)), *copy));

    const long transforms = ColourTransformsMade();
    window.setImage(PhotoLike(48, 32));
    settle();
    EXPECT_EQ(window.display().srgbCopy(), nullptr);
    EXPECT_EQ(window.display().displayImage(), window.image());
    EXPECT_EQ(ColourTransformsMade(), transforms) << "a picture without a profile costs no colour work";
}

// The clipboard carries no profile: what goes there is the picture in sRGB, as the screen shows it.
TEST_F(ColourDisplayTest, CopyPutsTheSrgbPictureOnTheClipboard) {
    ImageWindow& window = show(TaggedPhoto());
    const ImagePtr expected = InSrgb(TaggedPhoto());
    frame().runCommand(command::Copy);
    settle();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QImage copied = qvariant_cast<QImage>(data->imageData()).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(copied.size(), QSize(48, 32));
    for (const QPoint point : {QPoint(0, 0), QPoint(47, 0), QPoint(20, 13), QPoint(47, 31)})
        EXPECT_EQ(copied.pixel(point) | 0xFF000000u, ColourOf(*expected, point.x(), point.y()));
    EXPECT_TRUE(SamePixels(*PhotoLike(48, 32), *window.image()));
}

TEST_F(ColourDisplayTest, PoorScreensConvertTheSrgbCopy) {
    ::setenv("LUMO_SCREEN_DEPTH", "8", 1);
    ImageWindow& window = show(TaggedPhoto());
    const IMG* reduced = window.display().convertedCopy();
    ASSERT_NE(reduced, nullptr);
    EXPECT_EQ(window.display().displayImage(), reduced);
    EXPECT_TRUE(SamePixels(*LumoToCOLOR256(window.display().srgbCopy()), *reduced));
}

}  // namespace
