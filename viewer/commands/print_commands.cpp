#include "viewer/commands/print_commands.h"

#include <QPrintDialog>
#include <QPrinter>
#include <cstring>

#include "formats/colour/srgb_conversion.h"
#include "viewer/commands/print_job.h"
#include "viewer/dialogs/print_errors.h"
#include "viewer/shell/frame_window.h"

namespace {

// The job prints from its own copy of the image: while pages are produced the windows keep
// working, and the user may convert the image or close its window in the meantime.
ImagePtr CopyOfImage(const IMG& image) {
    PalettePtr palette;
    if (image.palette) {
        const int entries = 1 << image.bitsPerPixel;
        palette = CreateIMGPalette(entries);
        std::memcpy(palette.get(), image.palette, static_cast<size_t>(entries) * 3);
    }
    ImagePtr copy = LumoCreateImage(image.width, image.height, image.colorClass, std::move(palette), image.bitsPerPixel);
    if (image.bits) std::memcpy(copy->bits, image.bits, PixelBytes(image));
    copy->xResolution = image.xResolution;
    copy->yResolution = image.yResolution;
    return copy;
}

}  // namespace

bool ChoosePrinter(QWidget* owner, QPrinter& printer) {
    QPrintDialog dialog(&printer, owner);
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!printer.isValid()) {
        ReportCommonDialogError(kPrinterNotFound);
        return false;
    }
    return true;
}

void PrintActiveImage(FrameWindow& frame, const CommandInfo&) {
    ImageWindow* window = frame.activeImageWindow();
    if (!window || !window->image() || PrintJobRunning()) return;
    QPrinter printer(QPrinter::HighResolution);
    if (!ChoosePrinter(&frame, printer)) return;
    const QString title = window->windowTitle();
    // A picture with an embedded profile prints as the screen shows it: converted to sRGB.
    ImagePtr image = SrgbCopyOf(*window->image());
    if (!image) image = CopyOfImage(*window->image());
    PrintImage(printer, *image, title, &frame);
}
