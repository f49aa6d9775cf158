// The contact-sheet ("MOSAIC") and batch ("CONVERT") dialogs driven as a user drives them: the
// file lists, the folder edits, lists and drive lists, the sizes and the output formats; and both
// commands run through the real engine on small files made here.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>

#include "formats/dispatch.h"
#include "platform/drive_list.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_surface.h"
#include "tests/viewer_support/modal_driver.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/dialogs/batch_dialog.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/folder_listing.h"
#include "viewer/dialogs/mosaic_dialog.h"

namespace fs = std::filesystem;

namespace {

template <class Control>
Control* Find(const QWidget& dialog, int id) {
    auto* control = qobject_cast<Control*>(FindControl(&dialog, id));
    if (!control) ADD_FAILURE() << "no control " << id << " in " << dialog.objectName().toStdString();
    return control;
}

QStringList Entries(const QWidget& dialog, int id) {
    QStringList texts;
    const QListWidget* list = Find<QListWidget>(dialog, id);
    for (int row = 0; row < list->count(); ++row) texts.append(list->item(row)->text());
    return texts;
}

QStringList ComboEntries(const QWidget& dialog, int id) {
    QStringList texts;
    const QComboBox* combo = Find<QComboBox>(dialog, id);
    for (int row = 0; row < combo->count(); ++row) texts.append(combo->itemText(row));
    return texts;
}

void Click(const QWidget& dialog, int id) { Find<QAbstractButton>(dialog, id)->click(); }

// Types over the edit's text key by key, as a user does after selecting it.
void Type(const QWidget& dialog, int id, const QString& text) {
    QLineEdit* edit = Find<QLineEdit>(dialog, id);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// Pastes a whole text over the edit's text in one change.
void Paste(const QWidget& dialog, int id, const QString& text) {
    QLineEdit* edit = Find<QLineEdit>(dialog, id);
    edit->selectAll();
    edit->insert(text);
}

void DoubleClick(const QWidget& dialog, int id, const QString& entry) {
    QListWidget* list = Find<QListWidget>(dialog, id);
    const QList<QListWidgetItem*> found = list->findItems(entry, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << entry.toStdString();
    emit list->itemDoubleClicked(found.first());
}

void ChooseDrive(const QWidget& dialog, int id, const QString& entry) {
    QComboBox* combo = Find<QComboBox>(dialog, id);
    const int index = combo->findText(entry);
    ASSERT_GE(index, 0) << entry.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

std::string SizeText(PixelSize size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

class SheetDialogsTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        startDirectory_ = CurrentDirectory();
        root = fs::canonical(tempDir());
    }
    void TearDown() override {
        ChangeDirectory(startDirectory_);  // the dialogs change the process's current directory
        ViewerTest::TearDown();
    }

    HelpFunction help() {
        return [this](int context) { helpContexts.push_back(context); };
    }
    static void touch(const fs::path& path) { std::ofstream(path) << "x"; }

    // Runs the mosaic dialog on folder (as the current directory) and lets act work on it before
    // it is cancelled (unless act closed it).
    std::optional<MosaicChoice> mosaicDialog(const fs::path& folder, const std::function<void(QDialog&)>& act) {
        ChangeDirectory(folder.string());
        WhenModalShows([&](QWidget* modal) {
            auto& dialog = *qobject_cast<QDialog*>(modal);
            act(dialog);
            if (dialog.isVisible()) dialog.reject();
        });
        return AskMosaicFiles(nullptr, help());
    }

    std::optional<BatchChoice> batchDialog(BatchFolders& folders, const std::function<void(QDialog&)>& act) {
        WhenModalShows([&](QWidget* modal) {
            auto& dialog = *qobject_cast<QDialog*>(modal);
            act(dialog);
            if (dialog.isVisible()) dialog.reject();
        });
        return AskBatchFiles(nullptr, folders, help());
    }

    fs::path root;
    std::vector<int> helpContexts;

private:
    std::string startDirectory_;
};

// A folder of every kind of name the lists must sort out: picture files in both cases, a MOK file
// (listed for sheets only), files of other types, a hidden picture, and folders, one named like a
// picture.
fs::path MakePictureFolder(const fs::path& root) {
    const fs::path folder = root / "pictures";
    fs::create_directories(folder / "Sub");
    fs::create_directories(folder / "album.jpg");
    fs::create_directories(folder / "archive");
    fs::create_directories(folder / ".hidden");
    for (const char* name : {"b.JPG", "a.jpg", "C.tif", "d.mok", "notes.txt", ".secret.jpg", "f.fax", "G.Bie",
                             "h.pcd", "i.bmp", "j.gif", "k.img", "jpg", "photo.jpeg"})
        std::ofstream(folder / name) << "x";
    return folder;
}

TEST_F(SheetDialogsTest, FileListsMatchWithoutCaseSortedAndFolderListsInBrackets) {
    const fs::path folder = MakePictureFolder(root);
    mosaicDialog(folder, [&](QDialog& dialog) {
        EXPECT_EQ(dialog.objectName(), "MOSAIC");
        EXPECT_EQ(dialog.windowTitle(), "Select files that will be included in the mosaic");
        EXPECT_EQ(Entries(dialog, 101), (QStringList{"a.jpg", "b.JPG", "C.tif", "d.mok", "f.fax", "G.Bie", "h.pcd",
                                                      "i.bmp", "j.gif", "photo.jpeg"}));
        EXPECT_EQ(Entries(dialog, 102), (QStringList{"[..]", "[album.jpg]", "[archive]", "[Sub]"}));
        EXPECT_EQ(Find<QLineEdit>(dialog, 111)->text(), Q(folder));
    });
    BatchFolders folders{Q(folder), {}};
    batchDialog(folders, [&](QDialog& dialog) {
        EXPECT_EQ(dialog.objectName(), "CONVERT");
        EXPECT_EQ(dialog.windowTitle(), "Convert Files (Batch)");
        EXPECT_EQ(Entries(dialog, 101),
                  (QStringList{"a.jpg", "b.JPG", "C.tif", "f.fax", "G.Bie", "h.pcd", "i.bmp", "j.gif",
                               "photo.jpeg"}));
        EXPECT_EQ(Entries(dialog, 102), (QStringList{"[..]", "[album.jpg]", "[archive]", "[Sub]"}));
    });
    EXPECT_FALSE(ListSubfolderEntries("/").contains("[..]"));  // nothing above the root
}

TEST_F(SheetDialogsTest, MosaicChoiceTakesTheSelectedFilesAndTheCheckedSizes) {
    const fs::path folder = MakePictureFolder(root);
    std::optional<MosaicChoice> choice = mosaicDialog(folder, [&](QDialog& dialog) {
        EXPECT_TRUE(Find<QAbstractButton>(dialog, 104)->isChecked());
        EXPECT_TRUE(Find<QAbstractButton>(dialog, 108)->isChecked());
        EXPECT_EQ(Find<QAbstractButton>(dialog, 109)->text(), "128X96");
        Click(dialog, kHelpId);
        EXPECT_TRUE(dialog.isVisible());
        QListWidget* files = Find<QListWidget>(dialog, 101);
        files->item(4)->setSelected(true);  // f.fax
        files->item(1)->setSelected(true);  // b.JPG
        Click(dialog, 106);
        Click(dialog, 109);
        Click(dialog, kOkId);
    });
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->files, (QStringList{"b.JPG", "f.fax"}));  // in the list's order
    EXPECT_EQ(SizeText(choice->sheetSize), "1024x768");
    EXPECT_EQ(SizeText(choice->cellSize), "128x96");
    EXPECT_EQ(choice->folder, Q(folder));
    EXPECT_EQ(helpContexts, std::vector<int>{7});

    choice = mosaicDialog(folder, [&](QDialog& dialog) {
        Click(dialog, 103);  // Select All
        Click(dialog, kOkId);
    });
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->files.size(), 10);
    EXPECT_EQ(SizeText(choice->sheetSize), "640x480");
    EXPECT_EQ(SizeText(choice->cellSize), "80x60");

    EXPECT_FALSE(mosaicDialog(folder, [&](QDialog& dialog) {
        Click(dialog, 103);
        Click(dialog, kCancelId);
    }));
}

TEST_F(SheetDialogsTest, TypedFolderIsTakenByTheChangeRules) {
    const QString current = "/home/ann";
    EXPECT_TRUE(TypedFolderIsTaken("/home/ann/pictures", current));
    EXPECT_TRUE(TypedFolderIsTaken("/", current));     // short enough to end with the separator
    EXPECT_TRUE(TypedFolderIsTaken("/a/", current));   // 3 characters
    EXPECT_FALSE(TypedFolderIsTaken("/ab/", current));  // still being typed
    EXPECT_FALSE(TypedFolderIsTaken("/home/ann/pictures/", current));
    EXPECT_FALSE(TypedFolderIsTaken("/home/ann/.", current));
    EXPECT_FALSE(TypedFolderIsTaken("..", current));
    EXPECT_FALSE(TypedFolderIsTaken(current, current));
    EXPECT_FALSE(TypedFolderIsTaken("", current));
}

TEST_F(SheetDialogsTest, FolderEditListAndDrivesChangeTheFolder) {
    const fs::path folder = MakePictureFolder(root);
    std::ofstream(folder / "Sub" / "inner.gif") << "x";
    mosaicDialog(folder, [&](QDialog& dialog) {
        // Typing a path key by key changes to each folder that exists on the way; the lists follow.
        Type(dialog, 111, Q(folder / "Sub"));
        EXPECT_EQ(Entries(dialog, 101), QStringList{"inner.gif"});
        EXPECT_EQ(Entries(dialog, 102), QStringList{"[..]"});
        EXPECT_EQ(CurrentDirectory(), (folder / "Sub").string());
        // A folder that does not exist changes nothing.
        Type(dialog, 111, Q(folder / "nowhere"));
        EXPECT_EQ(Entries(dialog, 101), (QStringList{"a.jpg", "b.JPG", "C.tif", "d.mok", "f.fax", "G.Bie", "h.pcd",
                                                      "i.bmp", "j.gif", "photo.jpeg"}))
            << "typing passed through the picture folder itself";
        EXPECT_EQ(CurrentDirectory(), folder.string());
        // Double-clicks on "[Sub]" and "[..]": the edit shows where the list went.
        DoubleClick(dialog, 102, "[Sub]");
        EXPECT_EQ(Entries(dialog, 101), QStringList{"inner.gif"});
        EXPECT_EQ(Find<QLineEdit>(dialog, 111)->text(), Q(folder / "Sub"));
        DoubleClick(dialog, 102, "[..]");
        EXPECT_EQ(Find<QLineEdit>(dialog, 111)->text(), Q(folder));
        // The drive list holds the root and the home folder; the root's entry takes the folder to "/".
        const QStringList drives = ComboEntries(dialog, 113);
        ASSERT_FALSE(drives.isEmpty());
        EXPECT_EQ(drives.first(), "[-/-]");
        EXPECT_EQ(Find<QComboBox>(dialog, 113)->currentText(),
                  QString::fromStdString(DriveEntryText(DriveHolding(folder.string(), ListDrives()))));
        ChooseDrive(dialog, 113, "[-/-]");
        EXPECT_EQ(Find<QLineEdit>(dialog, 111)->text(), "/");
        EXPECT_FALSE(Entries(dialog, 102).contains("[..]"));
        EXPECT_EQ(CurrentDirectory(), "/");
    });
}

TEST_F(SheetDialogsTest, BatchDestinationStartsAsSourceAndIgnoresFoldersThatDoNotExist) {
    const fs::path folder = MakePictureFolder(root);
    fs::create_directories(root / "out" / "made");
    BatchFolders folders{Q(folder), {}};
    std::optional<BatchChoice> choice = batchDialog(folders, [&](QDialog& dialog) {
        EXPECT_EQ(Find<QLineEdit>(dialog, 112)->text(), Q(folder));  // no destination yet: the source
        EXPECT_EQ(Entries(dialog, 104), Entries(dialog, 102));
        Type(dialog, 112, Q(root / "out"));
        const QStringList outList = Entries(dialog, 104);
        EXPECT_EQ(outList, (QStringList{"[..]", "[made]"}));
        Paste(dialog, 112, Q(root / "missing"));  // the destination and its list stay
        EXPECT_EQ(Entries(dialog, 104), outList);
        EXPECT_EQ(Entries(dialog, 102), (QStringList{"[..]", "[album.jpg]", "[archive]", "[Sub]"}));
        // The output formats, Jpeg first and selected; Mok is offered though no mok file is listed.
        EXPECT_EQ(ComboEntries(dialog, 113), (QStringList{"Jpeg", "Tiff", "Gif", "Bmp", "Jbig", "PostScript", "Mok", "Png",
                                                          "Webp", "Avif", "Jxl"}));
        EXPECT_EQ(Find<QComboBox>(dialog, 113)->currentText(), "Jpeg");
        EXPECT_FALSE(Entries(dialog, 101).contains("d.mok"));
        Find<QComboBox>(dialog, 113)->setCurrentIndex(6);
        Click(dialog, kHelpId);
        Find<QListWidget>(dialog, 101)->item(0)->setSelected(true);
        EXPECT_EQ(Find<QAbstractButton>(dialog, kOkId)->text(), "&Convert");
        Click(dialog, kOkId);
    });
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->files, QStringList{"a.jpg"});
    EXPECT_EQ(choice->extension, "mok");
    EXPECT_EQ(folders.source, Q(folder));
    EXPECT_EQ(folders.destination, Q(root / "out"));
    EXPECT_EQ(helpContexts, std::vector<int>{8});
    EXPECT_EQ(CurrentDirectory(), (root / "out").string());  // the last folder the dialog changed to

    // The next run keeps the destination (also through a cancelled dialog) and each side moves alone.
    choice = batchDialog(folders, [&](QDialog& dialog) {
        EXPECT_EQ(Find<QLineEdit>(dialog, 112)->text(), Q(root / "out"));
        DoubleClick(dialog, 104, "[made]");
        DoubleClick(dialog, 102, "[Sub]");
        EXPECT_EQ(Find<QLineEdit>(dialog, 111)->text(), Q(folder / "Sub"));
        EXPECT_EQ(Find<QLineEdit>(dialog, 112)->text(), Q(root / "out" / "made"));
        Click(dialog, kCancelId);
    });
    EXPECT_FALSE(choice);
    EXPECT_EQ(folders.destination, Q(root / "out" / "made"));
    EXPECT_EQ(folders.source, Q(folder / "Sub"));
}

// ---- the commands, through the real jobs ----

class SheetCommandsTest : public SheetDialogsTest {
protected:
    void SetUp() override {
        SheetDialogsTest::SetUp();
        folder = root / "in";
        fs::create_directories(folder);
    }

    // Starts the viewer, records what the status line shows, and leaves the current directory in
    // the pictures' folder, where the dialogs open.
    void startViewer() {
        start();
        QObject::connect(&frame().statusStrip(), &StatusStrip::textShown,
                         [this](const QString& text) { statusTexts.append(text); });
        ChangeDirectory(folder.string());
    }

    // Runs a command whose dialog gets act, then its OK ("&Convert").
    void runDialogCommand(int command, const std::function<void(QDialog&)>& act) {
        WhenModalShows([&](QWidget* modal) {
            auto& dialog = *qobject_cast<QDialog*>(modal);
            act(dialog);
            Click(dialog, kOkId);
        });
        frame().runCommand(command);
        settle();
    }
    static void selectAll(QDialog& dialog) { Click(dialog, 103); }

    QStringList statusWith(const QString& start) const { return statusTexts.filter(QRegularExpression("^" + start)); }

    fs::path folder;
    QStringList statusTexts;
};

TEST_F(SheetCommandsTest, MosaicBuildsTheSheetOpensItAndItsThumbnailsOpenTheirFiles) {
    const std::string longName = "my holiday picture number 7.bmp";  // spaces, longer than the index's 12 columns
    writeBmp("in/" + longName, ImageKind::RGB, 40, 30, 3);
    writeBmp("in/a.bmp", ImageKind::COLOR256, 200, 100, 1);
    writeBmp("in/B.BMP", ImageKind::GRAY256, 60, 60, 2);
    startViewer();
    answer = Answer::Yes;
    runDialogCommand(command::BuildMosaic, selectAll);

    EXPECT_EQ(statusWith("Processing file"),
              (QStringList{"Processing file a.bmp (1/3)", "Processing file B.BMP (2/3)",
                           "Processing file my holiday picture number 7.bmp (3/3)"}));
    EXPECT_FALSE(frame().statusStrip().shownText().startsWith("Processing"));  // the status line is back
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, "Info");
    EXPECT_EQ(questions[0].text, "3 file(s) processed\n1 mosaic file created\nDo you want to load it now ?");
    EXPECT_TRUE(boxes.empty());

    // Yes opened the sheet (3 files: a 2 x 2 grid of 80 x 60 cells), with a cell for each file.
    ASSERT_EQ(windowCount(), 1);
    ImageWindow& sheet = *frame().activeImageWindow();
    EXPECT_EQ(sheet.filePath(), Q(folder / "-mosaic.jpg"));
    ASSERT_TRUE(sheet.image());
    EXPECT_EQ(sheet.image()->width, 160);
    EXPECT_EQ(sheet.image()->height, 120);
    ASSERT_TRUE(sheet.mosaicEntries());
    ASSERT_EQ(sheet.mosaicEntries()->size(), 3u);
    EXPECT_EQ(sheet.mosaicFile(1), Q(folder / "B.BMP"));

    // Pointing at the first cell names a.bmp (200 x 100 fits as 80 x 40, from y = 10).
    QStringList hovered;
    QObject::connect(&sheet, &ImageWindow::transientStatus, [&](const QString& text) { hovered.append(text); });
    QTest::mouseMove(sheet.viewport(), QPoint(40, 30));
    settle();
    EXPECT_EQ(hovered, QStringList{"Double Click here to load " + Q(folder / "a.bmp")});
    // A double click on the third (40 x 30 in the cell at 0, 60) opens the file with the long name.
    QTest::mouseDClick(sheet.viewport(), Qt::LeftButton, {}, QPoint(40, 90));
    settle();
    ASSERT_EQ(windowCount(), 2);
    EXPECT_EQ(frame().activeImageWindow()->filePath(), Q(folder / longName));
    EXPECT_EQ(frame().activeImageWindow()->image()->width, 40);
}

// 17 files in 160 x 120 cells overflow a 640 x 480 sheet (16 cells): Yes opens both sheets.
TEST_F(SheetCommandsTest, MosaicOfTwoSheetsOpensEach) {
    for (int i = 0; i < 17; ++i) writeBmp("in/p" + std::to_string(100 + i) + ".bmp", ImageKind::RGB, 4, 3, i);
    startViewer();
    answer = Answer::Yes;
    runDialogCommand(command::BuildMosaic, [](QDialog& dialog) {
        selectAll(dialog);
        Click(dialog, 110);
    });
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, "17 file(s) processed\n2 mosaic file(s) created\nDo you want to load them now ?");
    QStringList opened;
    for (ImageWindow* window : frame().imageWindows()) opened.append(window->filePath());
    opened.sort();
    EXPECT_EQ(opened, (QStringList{Q(folder / "-mosaic.jpg"), Q(folder / "-mosaic2.jpg")}));
}

TEST_F(SheetCommandsTest, NoFileChosenCreatesNothingAndConvertsNothing) {
    writeBmp("in/a.bmp", ImageKind::RGB, 8, 8);
    startViewer();
    for (const int id : {command::BuildMosaic, command::BatchConvert})  // offered with no image open
        EXPECT_TRUE(frame().commandSurface().action(id)->isEnabled()) << id;
    runDialogCommand(command::BuildMosaic, [](QDialog&) {});
    runDialogCommand(command::BatchConvert, [](QDialog&) {});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Info");
    EXPECT_EQ(boxes[0].text, "No mosaic file created");
    EXPECT_EQ(boxes[1].caption, "Info");
    EXPECT_EQ(boxes[1].text, "0 file(s) converted");
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(fs::exists(folder / "-mosaic.jpg"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(SheetCommandsTest, BatchConvertsTheChosenFilesIntoTheDestinationFormat) {
    writeBmp("in/photo.bmp", ImageKind::RGB, 21, 13, 4);
    writeBmp("in/Gray.BMP", ImageKind::GRAY256, 9, 7, 5);
    writeBmp("in/skipped.bmp", ImageKind::RGB, 5, 5, 6);
    fs::create_directories(root / "out");
    startViewer();
    runDialogCommand(command::BatchConvert, [&](QDialog& dialog) {
        Paste(dialog, 112, Q(root / "out"));
        QListWidget* files = Find<QListWidget>(dialog, 101);
        files->item(0)->setSelected(true);  // Gray.BMP
        files->item(1)->setSelected(true);  // photo.bmp
        Find<QComboBox>(dialog, 113)->setCurrentIndex(1);  // Tiff
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Info");
    EXPECT_EQ(boxes[0].text, "2 file(s) converted");
    EXPECT_EQ(statusWith("Converting file"),
              (QStringList{"Converting file Gray.BMP (1/2)", "Converting file photo.bmp (2/2)"}));
    for (const char* name : {"photo", "Gray"}) {
        SCOPED_TRACE(name);
        ImagePtr source = LoadImageByExtension((folder / (std::string(name) + (name[0] == 'G' ? ".BMP" : ".bmp"))).c_str());
        ImagePtr converted = LoadImageByExtension((root / "out" / (std::string(name) + ".tif")).c_str());
        ASSERT_TRUE(source && converted);
        ASSERT_EQ(converted->width, source->width);
        ASSERT_EQ(converted->height, source->height);
        int differing = 0;
        for (int y = 0; y < source->height; ++y)
            for (int x = 0; x < source->width; ++x) differing += ColourOf(*source, x, y) != ColourOf(*converted, x, y);
        EXPECT_EQ(differing, 0);
    }
    EXPECT_FALSE(fs::exists(root / "out" / "skipped.tif"));
}

// A damaged file stops the run there; the report says how far it went and which file stopped it, and
// the contact sheet keeps the thumbnails placed before it.
TEST_F(SheetCommandsTest, AFileThatFailsStopsTheRunAndTheReportNamesIt) {
    writeBmp("in/a.bmp", ImageKind::RGB, 16, 12, 1);
    writeText("in/b.bmp", "BM but not a bitmap at all");
    writeBmp("in/c.bmp", ImageKind::RGB, 16, 12, 2);
    fs::create_directories(root / "out");
    startViewer();
    runDialogCommand(command::BatchConvert, [&](QDialog& dialog) {
        Paste(dialog, 112, Q(root / "out"));
        selectAll(dialog);
    });
    ASSERT_EQ(boxes.size(), 2u);  // the error, then the report
    EXPECT_EQ(boxes[1].caption, "Info");
    EXPECT_EQ(boxes[1].text, "1 file(s) converted\nStopped by an error in b.bmp");
    EXPECT_TRUE(fs::exists(root / "out" / "a.jpg"));
    EXPECT_FALSE(fs::exists(root / "out" / "c.jpg"));  // not attempted after the failure

    boxes.clear();
    answer = Answer::No;
    ChangeDirectory(folder.string());  // the batch dialog left the current directory in the destination
    runDialogCommand(command::BuildMosaic, selectAll);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");  // the error hook's box, at the failure
    EXPECT_NE(boxes[0].text.find("Lumo Error:"), std::string::npos) << boxes[0].text;
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text,
              "1 file(s) processed\nStopped by an error in b.bmp\n1 mosaic file created\nDo you want to load it now ?");
    std::ifstream index(folder / "-mosaic.idx");
    std::string line;
    int lines = 0;
    while (std::getline(index, line)) ++lines;
    EXPECT_EQ(lines, 2);  // the title and a.bmp
    EXPECT_TRUE(fs::exists(folder / "-mosaic.jpg"));  // saved with what it held
    EXPECT_EQ(windowCount(), 0);  // No: nothing opened
}

}  // namespace
