#include "viewer/commands/print_job.h"

#include <QCoreApplication>
#include <QFile>
#include <QPaintEngine>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <algorithm>
#include <new>

#include "platform/message_box.h"
#include "viewer/dialogs/print_cancel_dialog.h"
#include "viewer/dialogs/print_errors.h"
#include "viewer/windows/dib_view.h"

namespace {

// One job at a time, as the program has one cancel flag and one cancel box.
struct PrintState {
    bool cancelled = false;
    bool running = false;
    QPointer<PrintCancelDialog> dialog;
};

PrintState& State() {
    static PrintState state;
    return state;
}

void ErrorBox(const char* text) { ShowMessageBox("Error", text, MessageIcon::Error); }

// The device must be able to draw a scaled picture; every Qt printer can, a custom one may not.
bool DrawsImages(QPrinter& printer) {
    const QPaintEngine* engine = printer.paintEngine();
    return engine && engine->hasFeature(QPaintEngine::PixmapTransform);
}

// The end of a page: the abort procedure runs (the Cancel button's click arrives here), then the
// print engine's state says whether the page went out. 0, or the job code of the failure.
int EndPage(QPrinter& printer) {
    if (!MyAbortProc(printer, 0)) return kSpoolAppAbort;
    switch (printer.printerState()) {
    case QPrinter::Error: return kSpoolGeneralError;
    case QPrinter::Aborted: return kSpoolUserAbort;  // not our Cancel, which was seen above
    default: return 0;
    }
}

// Ends a started document that failed or was cancelled. Engines that can withdraw a job do so; a
// PDF file that will never be complete is removed rather than left half-written.
void AbortDocument(QPrinter& printer, QPainter& painter) {
    printer.abort();
    painter.end();
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        QFile::remove(printer.outputFileName());
}

// Puts the cancel box up for the job and takes it down, whatever way the job ends.
class JobScope {
public:
    explicit JobScope(QWidget* owner) {
        PrintState& state = State();
        state.cancelled = false;
        state.running = true;
        state.dialog = new PrintCancelDialog(owner, state.cancelled);
        state.dialog->show();
        // Drawn before the first page is produced; the user's clicks wait for the abort procedure.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ~JobScope() {
        PrintState& state = State();
        delete state.dialog.data();
        state.running = false;
    }
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;
};

// Draws one copy's page and ends it: 0, or the job code that stops the job.
int PrintPage(QPrinter& printer, QPainter& painter, const IMG& image, const QRect& target, int copy,
              const PrintJobHooks& hooks) {
    try {
        DrawImage(painter, image, QRectF(target));
    } catch (const std::bad_alloc&) {
        return kSpoolOutOfMemory;
    }
    if (hooks.pageDrawn) hooks.pageDrawn(copy);
    return EndPage(printer);
}

}  // namespace

QRect FitImageOnPage(int pageWidth, int pageHeight, int imageWidth, int imageHeight) {
    if (pageWidth <= 0 || pageHeight <= 0 || imageWidth <= 0 || imageHeight <= 0) return {};
    long long width = pageWidth;
    long long height = static_cast<long long>(pageWidth) * imageHeight / imageWidth;
    if (pageHeight < height) {
        height = pageHeight;
        width = static_cast<long long>(pageHeight) * imageWidth / imageHeight;
    }
    return QRect(static_cast<int>((pageWidth - width) / 2), static_cast<int>((pageHeight - height) / 2),
                 static_cast<int>(width), static_cast<int>(height));
}

QString PrintDocumentName(const QString& windowTitle) {
    return QStringLiteral("Lumo (%1)").arg(windowTitle.left(100));
}

bool PrintJobRunning() { return State().running; }

PrintCancelDialog* PrintCancelBox() { return State().dialog; }

bool MyAbortProc(QPrinter&, int) {
    PrintState& state = State();
    if (!state.cancelled) QCoreApplication::processEvents();
    return !state.cancelled;
}

PrintOutcome PrintImage(QPrinter& printer, const IMG& image, const QString& windowTitle, QWidget* owner,
                        const PrintJobHooks& hooks) {
    if (!DrawsImages(printer)) ErrorBox("Can't print images on this printer");  // and try all the same

    printer.setDocName(PrintDocumentName(windowTitle));
    const int copies = std::max(1, printer.copyCount());
    printer.setCopyCount(1);  // each copy is a page of its own: the print service must not repeat them
    // The bottom 2 % of the printable area stays free.
    const int verticalSize = printer.height();
    const QRect target = FitImageOnPage(printer.width(), verticalSize - verticalSize / 50, image.width, image.height);

    bool failed = false;
    {
        JobScope job(owner);
        QPainter painter;
        if (!painter.begin(&printer)) {
            ErrorBox("StartDoc Failed");
            failed = true;
        } else {
            // The pixels go to the device as they are: Qt's PDF output would otherwise store
            // colour pictures as JPEG, with its artefacts on the paper.
            painter.setRenderHint(QPainter::LosslessImageRendering);
            for (int copy = 1; copy <= copies && !failed; ++copy) {
                if (copy > 1 && !printer.newPage()) {
                    ErrorBox("StartPage Failed");
                    failed = true;
                } else if (const int code = PrintPage(printer, painter, image, target, copy, hooks); code < 0) {
                    ReportSpoolerError(code);  // silent for the user's own Cancel
                    failed = true;
                }
            }
            if (failed) {
                AbortDocument(printer, painter);
            } else if (!painter.end() || printer.printerState() == QPrinter::Error) {
                ErrorBox("EndDoc Failed");
                failed = true;
            }
        }
    }

    if (State().cancelled) {
        ShowMessageBox("Info", "Printing canceled", MessageIcon::Information);
        return PrintOutcome::Canceled;
    }
    if (failed) {
        ErrorBox("Error during printing");
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}
