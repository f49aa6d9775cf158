#include "viewer/commands/image_commands.h"

#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "core/rescale.h"
#include "formats/dispatch.h"
#include "jobs/conversion.h"
#include "jobs/lossless_turn.h"
#include "platform/message_box.h"
#include "viewer/commands/command_surface.h"
#include "viewer/commands/menu_greying.h"
#include "viewer/dialogs/about_dialog.h"
#include "viewer/dialogs/file_dialogs.h"
#include "viewer/dialogs/questions.h"
#include "viewer/dialogs/rescale_dialog.h"
#include "viewer/shell/frame_window.h"
#include "viewer/windows/wait_cursor.h"

namespace {

// The file dialogs' filters, remembered for as long as the program runs.
int openFilterIndex = 1;
int saveFilterIndex = 1;

// Windows made in memory are titled "New %d" and have no file.
bool IsUntitled(const ImageWindow& window) { return window.windowTitle().startsWith(QLatin1String("New")); }

HelpFunction HelpOf(FrameWindow& frame) {
    return [&frame](int context) { frame.commandSurface().showHelp(context); };
}

// A picture that is still its JPEG file turned, saved under a JPEG name, is written by turning the
// file's compressed blocks: nothing is recompressed and the metadata stays. A file changed on disk
// since it was loaded is saved the usual way. After a turn that trimmed the edge blocks the window
// loads what was written, so that it shows the file as it now is.
bool WriteTurnedJpeg(ImageWindow& window, const QString& path) {
    const ImageWindow::JpegSource* source = window.jpegSource();
    if (!source || !IsJpegName(QFile::encodeName(path).toStdString()) || !window.jpegSourceUnchanged()) return false;
    JpegTurn turn = UserJpegTurn(source->turns);
    turn.uprightFirst = source->uprightFirst;  // as the picture was shown
    const JpegTurnSize size =
        LumoTurnJpegFile(QFile::encodeName(source->path).constData(), QFile::encodeName(path).constData(), turn);
    if (size.trimmed() && window.loadFile(path)) {
        // The library's warning went to the status line, which the reload fills again: the change
        // of size is said where it stays.
        const QString text = QStringLiteral("%1 was turned without recompressing; the edge blocks that cannot turn "
                                            "exactly were trimmed: %2x%3 instead of %4x%5")
                                 .arg(path)
                                 .arg(size.width)
                                 .arg(size.height)
                                 .arg(size.untrimmedWidth)
                                 .arg(size.untrimmedHeight);
        ShowMessageBox("Warning", text.toLocal8Bit().constData(), MessageIcon::Information);
        return true;
    }
    window.setFilePath(path);
    window.setModified(false);
    window.takeTurnedJpeg(path);
    return true;
}

// Writes the window's image through the save dispatch (the extension picks the format); the
// window then belongs to path. False when no codec writes that extension (the user was told).
bool WriteImage(ImageWindow& window, const QString& path) {
    WaitCursor wait;
    if (WriteTurnedJpeg(window, path)) return true;
    if (!SaveImageByExtension(window.image(), QFile::encodeName(path).constData())) return false;
    window.setFilePath(path);
    window.setModified(false);
    return true;
}

bool SaveWindowAs(FrameWindow& frame, ImageWindow& window) {
    SaveFileRequest request;
    request.title = QStringLiteral("Save image");
    request.filters = DialogNameFilters(SaveFileFilters());
    request.proposedName = IsUntitled(window) ? QString() : window.windowTitle();
    request.defaultSuffix = QStringLiteral("tif");
    const QString path = AskFileToSave(&frame, request, saveFilterIndex);
    return !path.isEmpty() && WriteImage(window, path);
}

bool SaveWindow(FrameWindow& frame, ImageWindow& window) {
    if (!window.isModified()) {
        ShowMessageBox("Warning", "No Saving needed", MessageIcon::Information);
        return false;
    }
    if (IsUntitled(window)) return SaveWindowAs(frame, window);
    return WriteImage(window, window.windowTitle());
}

}  // namespace

void OpenImages(FrameWindow& frame, const CommandInfo&) {
    frame.showTransientStatus(QString::fromLatin1(kLoadingText));
    struct RestoreStatus {
        FrameWindow& frame;
        ~RestoreStatus() { frame.restoreStatus(); }
    } restoreAtEnd{frame};
    const QStringList paths =
        AskFilesToOpen(&frame, QStringLiteral("Load image"), DialogNameFilters(OpenFileFilters()), openFilterIndex);
    // A file that fails is reported and left out; the others still open, and only those that
    // opened enter the recent-file list.
    for (const QString& path : paths)
        if (frame.openFileInNewWindow(path)) frame.commandSurface().addRecentFile(path);
}

void SaveImage(FrameWindow& frame, const CommandInfo&) {
    if (ImageWindow* window = frame.activeImageWindow()) SaveWindow(frame, *window);
}

void SaveImageAs(FrameWindow& frame, const CommandInfo&) {
    if (ImageWindow* window = frame.activeImageWindow()) SaveWindowAs(frame, *window);
}

bool SaveWindowBeforeClosing(FrameWindow& frame, ImageWindow& window) {
    bool saved = false;
    frame.mdiArea().setActiveSubWindow(frame.subWindowOf(&window));
    frame.runAction([&] { saved = SaveWindow(frame, window); });
    return saved;
}

void RevertImage(FrameWindow& frame, const CommandInfo&) {
    ImageWindow* window = frame.activeImageWindow();
    if (!window) return;
    if (IsUntitled(*window)) {
        ShowMessageBox("Warning", "The current window doesn't have an associated file", MessageIcon::Error);
        return;
    }
    const QString question = QStringLiteral("%1 was modified - Revert file anyway ?").arg(window->windowTitle());
    if (!AskYesNo(window, QStringLiteral("Revert file ?"), question)) return;
    window->reloadFile();
}

// Each window asks its own save question; a refusal keeps that window and the others still close.
void CloseAllWindows(FrameWindow& frame, const CommandInfo&) {
    for (ImageWindow* window : frame.imageWindows())
        if (QMdiSubWindow* subWindow = frame.subWindowOf(window)) subWindow->close();
}

void ConvertImage(FrameWindow& frame, const CommandInfo& command) {
    ImageWindow* window = frame.activeImageWindow();
    const std::optional<ImageKind> target = ConversionTarget(command.id);
    if (!window || !window->image() || !target) return;
    if (KindOf(*window->image()) == *target) {
        ShowMessageBox("Warning", "No conversion needed", MessageIcon::Information);
        return;
    }
    WaitCursor wait;
    ImagePtr converted = ConvertWithUserSettings(window->image(), *target);
    window->setImage(std::move(converted));  // zoom, scroll positions and sheet cells stay
    window->setModified(true);
}

void RescaleImage(FrameWindow& frame, const CommandInfo&) {
    ImageWindow* window = frame.activeImageWindow();
    if (!window || !window->image()) return;
    const IMG& image = *window->image();
    const std::optional<QSize> size = AskRescaleSize(&frame, image.width, image.height, HelpOf(frame));
    if (!size) return;
    frame.pumpFrameMessages();  // the area under the dialog is painted before the work starts
    WaitCursor wait;
    ImagePtr rescaled = LumoRescale(&image, size->width(), size->height());
    window->setImage(std::move(rescaled), /*keepSheetCells=*/false);
    window->setScrollPosition({0, 0});
    window->setModified(true);
}

void ShowScanInfo(FrameWindow&, const CommandInfo&) {
    ShowMessageBox("Info", "Scanning function not yet implemented in the NT Version", MessageIcon::Information);
}

void ShowAbout(FrameWindow& frame, const CommandInfo&) { ShowAboutBox(&frame); }
