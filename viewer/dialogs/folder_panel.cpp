#include "viewer/dialogs/folder_panel.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "platform/drive_list.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/folder_listing.h"

namespace {

QString FromLocal(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string ToLocal(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

FolderPanel::FolderPanel(const FolderPanelIds& ids, std::span<const char* const> patterns, QObject* parent)
    : QObject(parent), driveNames_(ListDrives()), patterns_(patterns), edit_(new QLineEdit),
      folders_(new QListWidget), drives_(new QComboBox) {
    TagControl(edit_, ids.folderEdit);
    TagControl(folders_, ids.folderList);
    TagControl(drives_, ids.driveList);
    for (const std::string& drive : driveNames_) drives_->addItem(FromLocal(DriveEntryText(drive)));
    if (ids.fileList != 0) {
        files_ = new QListWidget;
        files_->setSelectionMode(QAbstractItemView::MultiSelection);
        TagControl(files_, ids.fileList);
        selectAll_ = new QPushButton(QStringLiteral("Select &All"));
        TagControl(selectAll_, ids.selectAll);
        selectAll_->setAutoDefault(false);
        connect(selectAll_, &QPushButton::clicked, files_, &QListWidget::selectAll);
    }
    // Only what the user types is acted on; the panel's own updates of the edit are not.
    connect(edit_, &QLineEdit::textEdited, this, &FolderPanel::typed);
    connect(folders_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { folderDoubleClicked(item->text()); });
    connect(drives_, &QComboBox::activated, this, &FolderPanel::driveChosen);
}

void FolderPanel::fill(const QString& folder) {
    ChangeDirectory(ToLocal(folder));
    folder_ = FromLocal(CurrentDirectory());
    showFolder();
    relist();
}

bool FolderPanel::changeTo(const QString& name, bool showInEdit) {
    const std::string before = CurrentDirectory();
    ChangeDirectory(ToLocal(folder_));  // a relative name is taken from the panel's folder
    if (!ChangeDirectory(ToLocal(name))) {
        ChangeDirectory(before);
        return false;
    }
    folder_ = FromLocal(CurrentDirectory());
    if (showInEdit) showFolder();
    relist();
    return true;
}

void FolderPanel::relist() {
    folders_->clear();
    folders_->addItems(ListSubfolderEntries(folder_));
    if (files_) {
        files_->clear();
        files_->addItems(ListPictureFiles(folder_, patterns_));
    }
    showDrive();
}

void FolderPanel::showFolder() {
    edit_->setText(folder_);
    edit_->selectAll();  // ready to be typed over
}

void FolderPanel::showDrive() {
    const std::string drive = DriveHolding(ToLocal(folder_), driveNames_);
    drives_->setCurrentIndex(drive.empty() ? -1 : drives_->findText(FromLocal(DriveEntryText(drive))));
}

void FolderPanel::typed(const QString& text) {
    if (TypedFolderIsTaken(text, folder_)) changeTo(text, /*showInEdit=*/false);
}

void FolderPanel::folderDoubleClicked(const QString& entry) {
    const QString name = FolderOfEntry(entry);
    if (!name.isEmpty()) changeTo(name, /*showInEdit=*/true);
}

void FolderPanel::driveChosen(int index) {
    const std::string drive = DriveOfEntry(ToLocal(drives_->itemText(index)));
    if (drive.empty() || !changeTo(FromLocal('-' + drive + '-'), /*showInEdit=*/true)) showDrive();
}

QStringList FolderPanel::selectedFiles() const {
    QStringList chosen;
    if (!files_) return chosen;
    for (int row = 0; row < files_->count(); ++row)
        if (files_->item(row)->isSelected()) chosen.append(files_->item(row)->text());
    return chosen;
}
