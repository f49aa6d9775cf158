#include "install/install_box.h"

#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>

#include "install/icons.h"
#include "install/installation.h"

namespace {
constexpr const char* kPrompt = "Specify a directory where program will be copied and click on OK";
}

InstallBox::InstallBox(QWidget* background)
    : QDialog(background),
      destination_(new QLineEdit(QFile::decodeName(QByteArray::fromStdString(ProposedDestination())), this)),
      status_(new QLabel(QString::fromLatin1(kPrompt), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("INSTALLBOX"));
    setWindowTitle(QStringLiteral("Lumo for Windows Installation"));
    setModal(false);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(PaintInstallerIcon(32)));
    destination_->setObjectName(QStringLiteral("destination"));
    destination_->setMinimumWidth(360);
    status_->setObjectName(QStringLiteral("status"));
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    status_->setMinimumHeight(2 * status_->fontMetrics().height());
    ok_->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(new QLabel(QStringLiteral("Destination directory"), this), 0, 1);
    grid->addWidget(destination_, 1, 1);
    grid->addWidget(status_, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    grid->addLayout(buttons, 3, 0, 1, 2);

    connect(ok_, &QPushButton::clicked, this, &InstallBox::install);
    connect(cancel_, &QPushButton::clicked, this, &InstallBox::reject);
}

void InstallBox::centreOnParent() {
    const QWidget* parent = parentWidget();
    if (!parent) return;
    const QRect area = parent->geometry();
    const QSize size = frameGeometry().size();
    move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void InstallBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnParent();
}

void InstallBox::install() {
    ok_->setEnabled(false);
    cancel_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    succeeded_ = RunInstallation(QFile::encodeName(destination_->text()).toStdString(), sourceDir_, menuClient_, *this);
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    end();
}

void InstallBox::reject() {
    if (ended_ || !cancel_->isEnabled()) return;  // no cancelling half way through the copies
    message(MessageKind::Notice, "Installation canceled !!");
    end();
}

void InstallBox::end() {
    ended_ = true;
    hide();
    if (parentWidget()) parentWidget()->close();
    QCoreApplication::quit();
}

void InstallBox::status(const std::string& text) {
    status_->setText(QString::fromStdString(text));
    status_->repaint();  // the copies run before the event loop gets a turn
}

void InstallBox::message(MessageKind kind, const std::string& text) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    const bool error = kind == MessageKind::Error;
    const QMessageBox::Icon icon = error                                ? QMessageBox::Critical
                                   : kind == MessageKind::Information ? QMessageBox::Information
                                                                        : QMessageBox::NoIcon;
    // Errors have no owner window; the others belong to the dialog.
    QMessageBox box(icon, QString::fromLatin1(error ? "Error" : "Info"), QString::fromStdString(text),
                    QMessageBox::Ok, error ? nullptr : this);
    box.setObjectName(QStringLiteral("message"));
    box.exec();
    if (!ended_ && !cancel_->isEnabled()) QApplication::setOverrideCursor(Qt::WaitCursor);
}
