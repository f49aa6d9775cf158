#include "viewer/commands/browse_commands.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <optional>

#include "core/messages.h"
#include "platform/message_box.h"
#include "viewer/commands/fit_commands.h"
#include "viewer/commands/folder_pictures.h"
#include "viewer/shell/frame_window.h"

namespace {

// While a step tries files, their errors are collected for the status line instead of each
// stopping the user with a message box.
class QuietLoads {
public:
    QuietLoads()
        : previousError_(LumoSetErrorHandler(nullptr)),
          previousBox_(SetMessageBoxFunction([this](const char*, const char* text, MessageIcon) { boxText = text; })) {}
    ~QuietLoads() {
        SetMessageBoxFunction(previousBox_);
        LumoSetErrorHandler(previousError_);
    }
    QuietLoads(const QuietLoads&) = delete;
    QuietLoads& operator=(const QuietLoads&) = delete;

    std::string boxText;  // the last message a loader showed in a box

private:
    LumoHook previousError_;
    MessageBoxFunction previousBox_;
};

// Loads path into the window; on failure yields why (and the window keeps its picture).
std::optional<QString> TryLoad(ImageWindow& window, const QString& path) {
    QuietLoads quiet;
    try {
        if (window.loadFile(path)) return std::nullopt;
        return QString::fromLocal8Bit(quiet.boxText.c_str());
    } catch (const LumoFailure& failure) {
        return QString::fromLocal8Bit(failure.text());
    } catch (const std::bad_alloc&) {
        return QStringLiteral("not enough memory");
    }
}

// The note stays on the status line after the command has put the image's line there.
void NoteOnStatusLine(FrameWindow& frame, const QString& text) {
    QMetaObject::invokeMethod(&frame, [&frame, text] { frame.showTransientStatus(text); }, Qt::QueuedConnection);
}

void Step(FrameWindow& frame, bool forward) {
    ImageWindow* window = frame.activeImageWindow();
    if (!window) return;
    if (window->filePath().isEmpty()) {
        NoteOnStatusLine(frame, QStringLiteral("This image does not come from a folder"));
        return;
    }
    const QFileInfo current(window->filePath());
    const QString folder = current.absolutePath();
    const StepOrder order = StepCandidates(PicturesInFolder(folder), current.fileName(), forward);
    if (order.names.isEmpty()) {
        NoteOnStatusLine(frame, QStringLiteral("No other image in this folder"));
        return;
    }
    if (!window->queryClose()) return;  // a changed image: Cancel, or a save that failed, stays

    QStringList skipped;
    for (qsizetype i = 0; i < order.names.size(); ++i) {
        const QString path = QDir(folder).filePath(order.names[i]);
        if (const std::optional<QString> failure = TryLoad(*window, path)) {
            skipped.append(order.names[i] + QStringLiteral(" (") + *failure + QLatin1Char(')'));
            continue;
        }
        FitSteppedWindow(frame, *window);
        window->setScrollPosition({0, 0});
        QStringList notes;
        if (!skipped.isEmpty()) notes.append(QStringLiteral("Skipped ") + skipped.join(QStringLiteral(", ")));
        if (i >= order.wrapIndex)
            notes.append(forward ? QStringLiteral("Back to the first image of the folder")
                                 : QStringLiteral("Back to the last image of the folder"));
        if (!notes.isEmpty()) NoteOnStatusLine(frame, notes.join(QStringLiteral(" - ")));
        return;
    }
    NoteOnStatusLine(frame, QStringLiteral("No other image of this folder could be read: skipped ") +
                                skipped.join(QStringLiteral(", ")));
}

}  // namespace

void ShowNextImage(FrameWindow& frame, const CommandInfo&) { Step(frame, true); }

void ShowPreviousImage(FrameWindow& frame, const CommandInfo&) { Step(frame, false); }
