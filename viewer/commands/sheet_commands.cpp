#include "viewer/commands/sheet_commands.h"

#include <QCoreApplication>
#include <QFile>

#include "jobs/batch_convert.h"
#include "jobs/contact_sheet.h"
#include "platform/drive_list.h"
#include "platform/message_box.h"
#include "viewer/commands/command_surface.h"
#include "viewer/dialogs/batch_dialog.h"
#include "viewer/dialogs/mosaic_dialog.h"
#include "viewer/dialogs/questions.h"
#include "viewer/shell/frame_window.h"
#include "viewer/windows/wait_cursor.h"

namespace {

// The batch converter's folders live as long as the program: the destination is offered again.
BatchFolders& RememberedBatchFolders() {
    static BatchFolders folders;
    return folders;
}

HelpFunction HelpOf(FrameWindow& frame) {
    return [&frame](int context) { frame.commandSurface().showHelp(context); };
}

std::string Local(const QString& text) { return QFile::encodeName(text).toStdString(); }
QString FromLocal(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

std::vector<std::string> LocalNames(const QStringList& names) {
    std::vector<std::string> local;
    for (const QString& name : names) local.push_back(Local(name));
    return local;
}

// Between files the frame repaints (the status line names each file), but the user's input waits
// until the run is over, so no other command can start in the middle of it.
void RepaintBetweenFiles(size_t, size_t, const std::string&) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// The end of a run: the frame's stored status text comes back.
struct RestoreStatusAtEnd {
    FrameWindow& frame;
    ~RestoreStatusAtEnd() { frame.restoreStatus(); }
};

// The line that names the file that stopped a run (its error was shown when it happened).
QString StoppedLine(const std::optional<FileFailure>& failure) {
    if (!failure) return {};
    return QStringLiteral("\nStopped by an error in %1").arg(FromLocal(failure->file));
}

// The report of a contact-sheet run, and whether it asks to open the sheets (Yes / No).
QString SheetReport(const ContactSheetResult& result, bool& asks) {
    const size_t sheets = result.sheets.size();
    QString text = QStringLiteral("%1 file(s) processed").arg(result.filesProcessed) + StoppedLine(result.failure);
    asks = sheets > 0;
    if (sheets == 0) return text + QStringLiteral("\nNo mosaic file created");
    if (sheets == 1) return text + QStringLiteral("\n1 mosaic file created\nDo you want to load it now ?");
    return text + QStringLiteral("\n%1 mosaic file(s) created\nDo you want to load them now ?").arg(sheets);
}

}  // namespace

void BuildMosaicFiles(FrameWindow& frame, const CommandInfo&) {
    const std::optional<MosaicChoice> choice = AskMosaicFiles(&frame, HelpOf(frame));
    if (!choice) return;
    if (choice->files.isEmpty()) {
        ShowMessageBox("Info", "No mosaic file created", MessageIcon::Information);
        return;
    }
    frame.pumpFrameMessages();  // the area under the dialog is painted before the work starts
    ContactSheetResult result;
    {
        WaitCursor wait;
        RestoreStatusAtEnd restore{frame};
        ContactSheetRequest request;
        ChangeDirectory(Local(choice->folder));  // the files are named relative to their folder
        request.files = LocalNames(choice->files);
        request.sheet = choice->sheetSize;
        request.cell = choice->cellSize;
        request.outputFolder = Local(choice->folder);
        request.onFile = RepaintBetweenFiles;
        result = BuildContactSheets(request);
    }
    bool asks = false;
    const QString report = SheetReport(result, asks);
    if (!asks) {
        ShowMessageBox("Info", report.toLocal8Bit().constData(),
                       result.failure ? MessageIcon::Exclamation : MessageIcon::Information);
        return;
    }
    if (!AskYesNo(&frame, QStringLiteral("Info"), report)) return;
    for (const SheetWritten& sheet : result.sheets) frame.openFileInNewWindow(FromLocal(sheet.path));
}

void ConvertFilesInBatch(FrameWindow& frame, const CommandInfo&) {
    BatchFolders& folders = RememberedBatchFolders();
    folders.source = FromLocal(CurrentDirectory());  // the source starts where the user is now
    const std::optional<BatchChoice> choice = AskBatchFiles(&frame, folders, HelpOf(frame));
    if (!choice) return;
    frame.pumpFrameMessages();
    BatchResult result;
    {
        WaitCursor wait;
        RestoreStatusAtEnd restore{frame};
        BatchRequest request;
        request.sourceFolder = Local(folders.source);
        request.files = LocalNames(choice->files);
        request.destinationFolder = Local(folders.destination);
        request.extension = Local(choice->extension);
        request.onFile = RepaintBetweenFiles;
        result = RunBatchConvert(request);
    }
    const std::optional<FileFailure> failure =
        result.failures.empty() ? std::nullopt : std::optional<FileFailure>(result.failures.front());
    const QString report = QStringLiteral("%1 file(s) converted").arg(result.converted) + StoppedLine(failure);
    ShowMessageBox("Info", report.toLocal8Bit().constData(),
                   failure ? MessageIcon::Exclamation : MessageIcon::Information);
}
