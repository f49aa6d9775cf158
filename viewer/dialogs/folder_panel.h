// One side of the contact-sheet and batch dialogs: a folder shown in an edit, its subfolders in a
// list, the drive list, and (on the side the files come from) the list of picture files with its
// "Select &All" button. The panel holds its folder; every change goes through the process's current
// directory (ChangeDirectory), as later relative names expect.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <span>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// The dialog ids of a panel's controls; fileList and selectAll are 0 on a side without files.
struct FolderPanelIds {
    int folderEdit;
    int folderList;
    int driveList;
    int fileList = 0;
    int selectAll = 0;
};

class FolderPanel : public QObject {
public:
    // patterns: the files listed (unused without a file list). The panel's controls are made here
    // and laid out by the dialog; they belong to the dialog once laid out.
    FolderPanel(const FolderPanelIds& ids, std::span<const char* const> patterns, QObject* parent);

    QLineEdit* folderEdit() const { return edit_; }
    QListWidget* folderList() const { return folders_; }
    QComboBox* driveList() const { return drives_; }
    QListWidget* fileList() const { return files_; }      // null on a side without files
    QPushButton* selectAllButton() const { return selectAll_; }

    // Makes folder the panel's folder: the current directory changes to it (when that fails it stays
    // where it was) and the panel takes the current directory as its folder, then lists it.
    void fill(const QString& folder);
    const QString& folder() const { return folder_; }
    // The chosen files as the list shows them, in its order.
    QStringList selectedFiles() const;

private:
    // Changes from the panel's folder to name (a folder relative to it, an absolute one, or a drive
    // "-PATH-"); on success the panel takes the new current directory and lists it again. On failure
    // nothing changes, the current directory included.
    bool changeTo(const QString& name, bool showInEdit);
    void relist();
    void showFolder();
    void showDrive();
    void typed(const QString& text);
    void folderDoubleClicked(const QString& entry);
    void driveChosen(int index);

    QString folder_;
    std::vector<std::string> driveNames_;
    std::span<const char* const> patterns_;
    QLineEdit* edit_;
    QListWidget* folders_;
    QComboBox* drives_;
    QListWidget* files_ = nullptr;
    QPushButton* selectAll_ = nullptr;
};
