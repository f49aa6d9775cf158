// The sign-on box shown at start-up when no file is named: the program's name and icon, centred
// on the screen, until five seconds pass or the user presses a key or a mouse button anywhere
// (that key or click still does its job).
#pragma once

#include <QDialog>

class SignOnBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShowMilliseconds = 5000;

    explicit SignOnBox(QWidget* frame);
    ~SignOnBox() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
