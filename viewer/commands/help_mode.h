// The help mode: while it is on, the next command opens its help topic instead of running. It shows
// the help cursor over the whole program; Shift+F1 in the frame enters it and Esc there leaves it.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QShortcut>

class QWidget;

class HelpMode : public QObject {
public:
    explicit HelpMode(QWidget* frame);
    ~HelpMode() override;

    void enter();
    void leave();
    bool active() const { return active_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* frame_;
    QPointer<QShortcut> enterKey_;  // owned by the frame
    bool active_ = false;
};

// The picture of the help-mode item on the menu bar: an arrow with a question mark.
QIcon HelpModeIcon();
