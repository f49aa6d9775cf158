#include "viewer/dialogs/batch_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "jobs/batch_convert.h"
#include "jobs/file_lists.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/folder_listing.h"
#include "viewer/dialogs/folder_panel.h"

namespace {

constexpr int kBatchHelpContext = 8;
constexpr int kFormatListId = 113;


class BatchDialog : public ViewerDialog {
public:
    BatchDialog(QWidget* parent, const BatchFolders& folders, const HelpFunction& help)
        : ViewerDialog(parent, "CONVERT", QStringLiteral("Convert Files (Batch)")),
          source_({111, 102, 105, 101, 103}, kBatchSourcePatterns, nullptr),
          destination_({112, 104, 106}, {}, nullptr), formats_(new QComboBox) {
        TagControl(formats_, kFormatListId);
        for (const OutputFormat& format : kBatchOutputFormats) formats_->addItem(QString::fromLatin1(format.name));
        formats_->setCurrentIndex(0);

        auto* grid = new QGridLayout;
        addFolderColumn(grid, 0, QStringLiteral("&Source directory"), source_);
        addFolderColumn(grid, 1, QStringLiteral("&Destination directory"), destination_);
        source_.fileList()->setMinimumHeight(160);
        grid->addWidget(MakeBuddyLabel(QStringLiteral("&Files to convert"), source_.fileList()), 6, 0);
        grid->addWidget(source_.fileList(), 7, 0, 3, 1);
        grid->addWidget(source_.selectAllButton(), 10, 0);
        grid->addWidget(MakeBuddyLabel(QStringLiteral("&Output Format:"), formats_), 6, 1);
        grid->addWidget(formats_, 7, 1, Qt::AlignTop);
        grid->setRowStretch(9, 1);
        body()->addLayout(grid);

        // The source side first: with no destination yet, the destination starts as the source.
        source_.fill(folders.source);
        destination_.fill(folders.destination.isEmpty() ? source_.folder() : folders.destination);
        addButtonRow([this] { accept(); }, help, kBatchHelpContext);
        static_cast<QPushButton*>(FindControl(this, kOkId))->setText(QStringLiteral("&Convert"));
        source_.folderEdit()->setFocus();
    }

    BatchFolders folders() const { return {source_.folder(), destination_.folder()}; }
    BatchChoice choice() const {
        const int format = std::max(formats_->currentIndex(), 0);
        return {source_.selectedFiles(), QString::fromLatin1(kBatchOutputFormats[format].extension)};
    }

private:
    static void addFolderColumn(QGridLayout* grid, int column, const QString& title, FolderPanel& panel) {
        panel.folderEdit()->setMinimumWidth(240);
        grid->addWidget(MakeBuddyLabel(title, panel.folderEdit()), 0, column);
        grid->addWidget(panel.folderEdit(), 1, column);
        grid->addWidget(new QLabel(QStringLiteral("Subdirectories")), 2, column);
        grid->addWidget(panel.folderList(), 3, column);
        grid->addWidget(new QLabel(QStringLiteral("Drives")), 4, column);
        grid->addWidget(panel.driveList(), 5, column);
    }

    FolderPanel source_;
    FolderPanel destination_;
    QComboBox* formats_;
};

}  // namespace

std::optional<BatchChoice> AskBatchFiles(QWidget* parent, BatchFolders& folders, const HelpFunction& help) {
    BatchDialog dialog(parent, folders, help);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    folders = dialog.folders();
    if (!accepted) return std::nullopt;
    return dialog.choice();
}
