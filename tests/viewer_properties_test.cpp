// File > Properties on the real frame: the item and its greying, and the window's lines for a photo
// with metadata attached, a picture without any, a pasted picture and a file that changed on disk.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <map>

#include "core/image_metadata.h"
#include "tests/support/exif_builder.h"
#include "tests/support/icc_profiles.h"
#include "tests/viewer_support/modal_driver.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/properties_dialog.h"

namespace {

class PropertiesTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        startWithoutSignOn();
    }

    QAction* item() { return frame().commandSurface().action(command::Properties); }

    // The active window's picture, to attach metadata to as a loader would.
    IMG* activeImage() { return const_cast<IMG*>(frame().activeImageWindow()->image()); }

    // Runs File > Properties and returns what its window shows, value by dialog id.
    std::map<int, QString> shownProperties() {
        std::map<int, QString> shown;
        QString caption, name;
        WhenModalShows([&](QWidget* dialog) {
            caption = dialog->windowTitle();
            name = dialog->objectName();
            for (int id = kPropertyFile; id <= kPropertyComment; ++id)
                if (auto* label = qobject_cast<QLabel*>(FindControl(dialog, id))) {
                    EXPECT_EQ(label->textFormat(), Qt::PlainText) << id;
                    shown[id] = label->text();
                }
            qobject_cast<QDialog*>(dialog)->accept();
        });
        frame().runCommand(command::Properties);
        EXPECT_EQ(caption, "Properties");
        EXPECT_EQ(name, "PROPERTIES");
        return shown;
    }
};

constexpr int kExifIds[] = {kPropertyCamera, kPropertyLens,     kPropertyTaken,
                            kPropertyExposure, kPropertyPosition, kPropertyAltitude};

TEST_F(PropertiesTest, FileMenuItemWithoutKeyGreyedWithoutAWindow) {
    ASSERT_NE(item(), nullptr);
    EXPECT_TRUE(frame().commandSurface().menuBar()->actions()[0]->menu()->actions().contains(item()));
    EXPECT_EQ(item()->text(), "Propert&ies...");
    EXPECT_TRUE(item()->shortcuts().isEmpty());
    EXPECT_FALSE(item()->isEnabled());
    EXPECT_EQ(frame().commandSurface().commandHelpText(command::Properties),
              "Show the size, kind, file and photo data of the current image");
    frame().runCommand(command::Properties);  // nothing to show: no dialog, no message
    EXPECT_TRUE(boxes.empty());

    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("one.bmp", ImageKind::RGB, 8, 8)));
    EXPECT_TRUE(item()->isEnabled());
    frame().runCommand(command::Close);
    settle();
    EXPECT_FALSE(item()->isEnabled());
}

TEST_F(PropertiesTest, PhotoWithMetadataShowsItsFields) {
    const QString path = writeBmp("photo.bmp", ImageKind::RGB, 40, 30);
    ASSERT_TRUE(frame().openFileInNewWindow(path));
    ImageMetadata metadata;
    metadata.exif = CameraExif().build();
    metadata.icc = ProfileDescribedAs("Wide Gamut Test RGB");
    metadata.xmp = std::vector<uint8_t>(321, 'x');
    metadata.comment = "<b>Lake</b> at dawn";
    LumoSetMetadata(activeImage(), metadata);

    std::map<int, QString> shown = shownProperties();
    const qint64 bytes = QFile(path).size();
    EXPECT_EQ(shown[kPropertyFile], "photo.bmp");
    EXPECT_EQ(shown[kPropertyFolder], QString::fromStdString(tempDir().string()));
    EXPECT_EQ(shown[kPropertySize], "40 x 30 pixels");
    EXPECT_EQ(shown[kPropertyKind], "RGB, 24 bits per pixel");
    EXPECT_EQ(shown[kPropertyFileSize], QStringLiteral("%1 bytes (%2 KB)").arg(bytes).arg(bytes / 1024.0, 0, 'f', 1));
    EXPECT_EQ(shown[kPropertyCamera], "Canon EOS 5D Mark IV");
    EXPECT_EQ(shown[kPropertyLens], "Canon EF35mm f/2 IS USM");
    EXPECT_EQ(shown[kPropertyTaken], "2024-05-01 10:20:30");
    EXPECT_EQ(shown[kPropertyExposure], "1/125 s, f/2.8, ISO 400, 35 mm");
    EXPECT_EQ(shown[kPropertyPosition], QString::fromUtf8("48.858222\u00B0 N, 2.294500\u00B0 E"));
    EXPECT_EQ(shown[kPropertyAltitude], "35 m");
    EXPECT_EQ(shown[kPropertyProfile], "Wide Gamut Test RGB (embedded)");
    EXPECT_EQ(shown[kPropertyXmp], "present (321 bytes)");
    EXPECT_EQ(shown[kPropertyComment], "<b>Lake</b> at dawn");  // shown as written, not as markup

    // The file size is the file's as it is when the window opens: a file grown since the load.
    WriteBytes(path.toStdString(), std::vector<uint8_t>(3 * 1024 * 1024 + 100, 0));
    shown = shownProperties();
    EXPECT_EQ(shown[kPropertyFileSize], "3145828 bytes (3.0 MB)");
    EXPECT_EQ(shown[kPropertySize], "40 x 30 pixels");  // the picture's own, not the file's
}

TEST_F(PropertiesTest, PictureWithoutMetadataShowsNoExifLines) {
    ASSERT_TRUE(frame().openFileInNewWindow(writeBmp("plain.bmp", ImageKind::BW, 17, 5)));
    const std::map<int, QString> shown = shownProperties();
    for (const int id : kExifIds) EXPECT_EQ(shown.count(id), 0u) << id;
    EXPECT_EQ(shown.at(kPropertyKind), "BW, 1 bit per pixel");
    EXPECT_EQ(shown.at(kPropertyProfile), "none");
    EXPECT_EQ(shown.at(kPropertyXmp), "none");
    EXPECT_EQ(shown.count(kPropertyComment), 0u);
}

TEST_F(PropertiesTest, PastedPictureShowsWhatItHas) {
    ImagePtr picture = MakePatternImage(ImageKind::GRAY16, 12, 9);
    picture->xResolution = picture->yResolution = 300;
    ImageMetadata metadata;
    metadata.icc = std::vector<uint8_t>(200, 0x41);  // not a profile Little CMS can read
    LumoSetMetadata(picture.get(), metadata);
    ASSERT_NE(frame().openImageInNewWindow(std::move(picture)), nullptr);
    const std::map<int, QString> shown = shownProperties();
    EXPECT_EQ(shown.at(kPropertyFile), "New 1 (not from a file)");
    EXPECT_EQ(shown.count(kPropertyFolder), 0u);
    EXPECT_EQ(shown.count(kPropertyFileSize), 0u);
    EXPECT_EQ(shown.at(kPropertySize), "12 x 9 pixels");
    EXPECT_EQ(shown.at(kPropertyKind), "GRAY16, 4 bits per pixel");
    EXPECT_EQ(shown.at(kPropertyResolution), "300 x 300 dpi");
    EXPECT_EQ(shown.at(kPropertyProfile), "embedded (unreadable)");
}

TEST(PropertyLines, FileGoneAndSmallSizes) {
    ImagePtr picture = MakePatternImage(ImageKind::COLOR256, 3, 2);
    auto text = [](const std::vector<PropertyLine>& lines, PropertyId id) {
        for (const PropertyLine& line : lines)
            if (line.id == id) return line.text;
        return QStringLiteral("(no line)");
    };
    EXPECT_EQ(text(PropertyLines(*picture, "/nowhere/gone.jpg", "gone.jpg"), kPropertyFileSize),
              "the file is no longer there");
    const QString small = QDir::temp().filePath(QStringLiteral("lumo-properties-%1.bin").arg(QCoreApplication::applicationPid()));
    QFile file(small);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1023, 'a'));
    file.close();
    EXPECT_EQ(text(PropertyLines(*picture, small, small), kPropertyFileSize), "1023 bytes");
    QFile::remove(small);

    ImageMetadata metadata;
    metadata.icc = ProfileDescribedAs(nullptr);
    metadata.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // valid, with no fields
    LumoSetMetadata(picture.get(), metadata);
    const std::vector<PropertyLine> lines = PropertyLines(*picture, "", "New 2");
    EXPECT_EQ(text(lines, kPropertyProfile), "embedded (no description)");
    EXPECT_EQ(text(lines, kPropertyCamera), "(no line)");
}

}  // namespace
