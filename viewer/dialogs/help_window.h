// The help window: the help file "lumo.hlp" (an HTML page with one anchor per help context) in a
// browser of its own, opened at a topic.
#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* owner);

    // Shows the window at a help context, or at the index for 0.
    void showContext(int context);
    QTextBrowser* browser() const { return browser_; }

    // "lumo.hlp" beside the program when it is there (the installer puts it there), else the copy
    // built into the program.
    static QUrl helpFileUrl();

private:
    QTextBrowser* browser_;
};
