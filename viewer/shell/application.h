// Start-up and end of the viewer: the library's hooks, the frame, the sign-on box, the files named
// on the command line, and the report of unreleased memory at exit.
#pragma once

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "viewer/shell/hooks.h"

class FrameWindow;
class SignOnBox;

// What the command line asks for: files to open (each argument one file) and, for scripted runs,
//   --command ID       run a menu command after the files opened (repeatable, in order)
//   --progress-at PCT  draw the status line's progress bar at PCT before the screenshot
//   --screenshot FILE  save a picture of the frame (PNG) before quitting
//   --quit-after MS    quit by itself after MS milliseconds
//   --                 every later argument is a file
struct ViewerOptions {
    QStringList files;
    QList<int> commands;
    int progressPercent = -1;
    QString screenshotPath;
    int quitAfterMs = -1;
};

struct ParsedArguments {
    ViewerOptions options;
    QString error;  // empty when the arguments were understood
};
// The arguments after the program's name.
ParsedArguments ParseViewerArguments(const QStringList& arguments);

// The running viewer. Construction follows the start-up order: the library's hooks (and
// "showprogress" 1), the frame with its menus and accelerators, the sign-on box when no file is
// named, then the named files. Destruction closes the frame and puts the previous hooks back.
class Viewer {
public:
    explicit Viewer(const ViewerOptions& options);
    ~Viewer();

    FrameWindow& frame() const { return *frame_; }
    // The sign-on box while it is shown, else null.
    SignOnBox* signOnBox() const;

private:
    void scheduleScriptedEnd(const ViewerOptions& options);

    std::optional<ViewerHooks> hooks_;
    std::unique_ptr<FrameWindow> frame_;
    QPointer<SignOnBox> signOn_;
};

// The application object of wlumo: its name, icon and the Qt message box for the library.
class ViewerApplication : public QApplication {
public:
    ViewerApplication(int& argc, char** argv);
};

// Runs the viewer until its frame closes; returns the exit status (2 for a usage error).
int RunViewer(ViewerApplication& application);
