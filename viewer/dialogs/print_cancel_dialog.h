// The modeless "PRINTING" box shown while a job's pages are produced: "Printing..." and a Cancel
// button. Cancel (the button, Escape or the close box) raises the job's cancel flag; the box stays
// until the job has ended, which then closes it.
#pragma once

#include <QDialog>

class QPushButton;

class PrintCancelDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTextId = 100;

    // cancelFlag is set when the user cancels; it must outlive the box.
    PrintCancelDialog(QWidget* parent, bool& cancelFlag);
    QPushButton* cancelButton() const { return cancel_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool& cancelFlag_;
    QPushButton* cancel_;
};
