// The dialog "INSTALLBOX": the destination directory, the installer's icon, a status line, OK and
// Cancel. OK installs, Cancel (or closing the dialog) gives up; either way the program then ends.
#pragma once

#include <QDialog>
#include <optional>

#include "install/output.h"
#include "install/program_group.h"

class QLabel;
class QLineEdit;
class QPushButton;

class InstallBox : public QDialog, private InstallerOutput {
public:
    // background is the dialog's parent, which it centres itself on.
    explicit InstallBox(QWidget* background);

    // Where the files come from (the setup program's folder) and the menu places found at start-up.
    void setSource(const std::string& sourceDir) { sourceDir_ = sourceDir; }
    void setMenuClient(const std::optional<MenuPlaces>& client) { menuClient_ = client; }
    InstallerOutput& output() { return *this; }

    void centreOnParent();

    // Was the installation run and did it end with "Installation Done !!".
    bool succeeded() const { return succeeded_; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;  // Cancel, Escape and the window's close button

private:
    void install();
    void end();
    void status(const std::string& text) override;
    void message(MessageKind kind, const std::string& text) override;

    QLineEdit* destination_;
    QLabel* status_;
    QPushButton* ok_;
    QPushButton* cancel_;
    std::string sourceDir_;
    std::optional<MenuPlaces> menuClient_;
    bool ended_ = false;
    bool succeeded_ = false;
};
