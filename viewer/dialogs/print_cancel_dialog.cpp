#include "viewer/dialogs/print_cancel_dialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "viewer/dialogs/dialog_controls.h"

PrintCancelDialog::PrintCancelDialog(QWidget* parent, bool& cancelFlag)
    : QDialog(parent), cancelFlag_(cancelFlag), cancel_(new QPushButton(QStringLiteral("Cancel"))) {
    setObjectName(QStringLiteral("PRINTING"));
    setWindowTitle(QStringLiteral("Impression...."));
    setModal(false);
    setMinimumWidth(200);  // room for the caption

    auto* text = new QLabel(QStringLiteral("Printing..."));
    text->setAlignment(Qt::AlignCenter);
    TagControl(text, kTextId);
    TagControl(cancel_, kCancelId);
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, &PrintCancelDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
}

// The box stays on screen until the job ends; only the flag changes here.
void PrintCancelDialog::reject() { cancelFlag_ = true; }

void PrintCancelDialog::closeEvent(QCloseEvent* event) {
    cancelFlag_ = true;
    event->ignore();
}
