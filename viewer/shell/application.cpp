#include "viewer/shell/application.h"

#include <QTimer>
#include <cstdio>

#include "core/memory.h"
#include "core/messages.h"
#include "viewer/shell/frame_window.h"
#include "viewer/shell/sign_on_box.h"
#include "viewer/shell/status_strip.h"
#include "viewer/shell/toolbar_glyphs.h"

namespace {

constexpr const char* kUsage =
    "usage: wlumo [--command ID]... [--progress-at PCT] [--screenshot FILE] [--quit-after MS] [--] [FILE...]\n";

bool ReadNumber(const QString& text, int low, int high, int* value) {
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < low || number > high) return false;
    *value = number;
    return true;
}

}  // namespace

ParsedArguments ParseViewerArguments(const QStringList& arguments) {
    ParsedArguments parsed;
    ViewerOptions& options = parsed.options;
    bool filesOnly = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (filesOnly || !argument.startsWith(QLatin1String("--"))) {
            options.files.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            filesOnly = true;
            continue;
        }
        const bool known = argument == QLatin1String("--command") || argument == QLatin1String("--progress-at") ||
                           argument == QLatin1String("--screenshot") || argument == QLatin1String("--quit-after");
        if (!known) {
            parsed.error = QStringLiteral("unknown option %1").arg(argument);
            return parsed;
        }
        if (i + 1 >= arguments.size()) {
            parsed.error = QStringLiteral("%1 needs a value").arg(argument);
            return parsed;
        }
        const QString& value = arguments[++i];
        int number = 0;
        if (argument == QLatin1String("--screenshot")) {
            options.screenshotPath = value;
        } else if (argument == QLatin1String("--command") && ReadNumber(value, 1, 65535, &number)) {
            options.commands.append(number);
        } else if (argument == QLatin1String("--progress-at") && ReadNumber(value, 0, 100, &number)) {
            options.progressPercent = number;
        } else if (argument == QLatin1String("--quit-after") && ReadNumber(value, 0, 24 * 3600 * 1000, &number)) {
            options.quitAfterMs = number;
        } else {
            parsed.error = QStringLiteral("bad value %1 for %2").arg(value, argument);
            return parsed;
        }
    }
    return parsed;
}

Viewer::Viewer(const ViewerOptions& options) {
    hooks_.emplace();
    frame_ = std::make_unique<FrameWindow>();
    ViewerHooks::setStatusStrip(&frame_->statusStrip());
    frame_->show();
    if (options.files.isEmpty()) {
        signOn_ = new SignOnBox(frame_.get());
        signOn_->show();
    }
    for (const QString& file : options.files) frame_->openFileInNewWindow(file);
    for (const int id : options.commands) frame_->runCommand(id);
    scheduleScriptedEnd(options);
}

Viewer::~Viewer() {
    ViewerHooks::setStatusStrip(nullptr);
    frame_.reset();
}

SignOnBox* Viewer::signOnBox() const { return signOn_; }

void Viewer::scheduleScriptedEnd(const ViewerOptions& options) {
    if (options.quitAfterMs < 0) return;
    QTimer::singleShot(options.quitAfterMs, frame_.get(), [this, options] {
        if (options.progressPercent >= 0) {
            frame_->statusStrip().progress(-1);
            frame_->statusStrip().progress(options.progressPercent);
        }
        if (!options.screenshotPath.isEmpty() && !frame_->grab().save(options.screenshotPath, "PNG"))
            std::fprintf(stderr, "wlumo: can't write %s\n", qPrintable(options.screenshotPath));
        QCoreApplication::quit();
    });
}

ViewerApplication::ViewerApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Lumo"));
    setWindowIcon(LumoIcon());
    SetMessageBoxFunction(ShowQtMessageBox);
}

int RunViewer(ViewerApplication& application) {
    const ParsedArguments parsed = ParseViewerArguments(QApplication::arguments().mid(1));
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "wlumo: %s\n%s", qPrintable(parsed.error), kUsage);
        return 2;
    }
    int status = 0;
    {
        Viewer viewer(parsed.options);
        status = application.exec();
    }
    // Every window and image is gone: the library's default hooks report any block left behind
    // on standard error.
    SetMessageBoxFunction(nullptr);
    EndLumo();
    return status;
}
