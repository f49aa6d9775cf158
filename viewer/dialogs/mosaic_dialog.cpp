#include "viewer/dialogs/mosaic_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "jobs/contact_sheet.h"
#include "jobs/file_lists.h"
#include "platform/drive_list.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/folder_listing.h"
#include "viewer/dialogs/folder_panel.h"

namespace {

constexpr int kMosaicHelpContext = 7;

// The size of the checked radio; the radios stand for the job's sizes in their order ("0", "1", "2").
PixelSize SizeOf(const RadioChoice& radios, std::span<const PixelSize> sizes) {
    const size_t index = std::stoul(radios.value().value_or("0"));
    return index < sizes.size() ? sizes[index] : sizes[0];
}

class MosaicDialog : public ViewerDialog {
public:
    MosaicDialog(QWidget* parent, const HelpFunction& help)
        : ViewerDialog(parent, "MOSAIC", QStringLiteral("Select files that will be included in the mosaic")),
          panel_({111, 102, 113, 101, 103}, kSheetSourcePatterns, nullptr),
          sheet_({{104, "640x480", "0"}, {105, "800x600", "1"}, {106, "1024x768", "2"}}),
          cell_({{108, "80x60", "0"}, {109, "128X96", "1"}, {110, "160x120", "2"}}) {
        auto* grid = new QGridLayout;
        panel_.fileList()->setMinimumSize(170, 220);
        grid->addWidget(MakeBuddyLabel(QStringLiteral("&Files to include"), panel_.fileList()), 0, 0);
        grid->addWidget(panel_.fileList(), 1, 0, 4, 1);
        grid->addWidget(panel_.selectAllButton(), 5, 0);

        panel_.folderEdit()->setMinimumWidth(260);
        grid->addWidget(MakeBuddyLabel(QStringLiteral("&Current Directory"), panel_.folderEdit()), 0, 1);
        grid->addWidget(panel_.folderEdit(), 1, 1);
        grid->addWidget(MakeBuddyLabel(QStringLiteral("D&irectories"), panel_.folderList()), 2, 1);
        grid->addWidget(panel_.folderList(), 3, 1);
        grid->addWidget(MakeBuddyLabel(QStringLiteral("Dri&ves"), panel_.driveList()), 4, 1);
        grid->addWidget(panel_.driveList(), 5, 1);

        auto* sizes = new QVBoxLayout;
        sizes->addWidget(sheet_.inBox(QStringLiteral("&Maximum size for contact sheet")));
        sizes->addWidget(cell_.inBox(QStringLiteral("&Thumbnails size")));
        sizes->addStretch(1);
        grid->addLayout(sizes, 0, 2, 6, 1);
        body()->addLayout(grid);

        sheet_.radio(104)->setChecked(true);
        cell_.radio(108)->setChecked(true);
        panel_.fill(QString::fromLocal8Bit(CurrentDirectory()));
        addButtonRow([this] { accept(); }, help, kMosaicHelpContext);
        panel_.folderEdit()->setFocus();
    }

    MosaicChoice choice() const {
        return {panel_.folder(), panel_.selectedFiles(), SizeOf(sheet_, kSheetSizes), SizeOf(cell_, kCellSizes)};
    }

private:
    FolderPanel panel_;
    RadioChoice sheet_;
    RadioChoice cell_;
};

}  // namespace

std::optional<MosaicChoice> AskMosaicFiles(QWidget* parent, const HelpFunction& help) {
    MosaicDialog dialog(parent, help);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.choice();
}
