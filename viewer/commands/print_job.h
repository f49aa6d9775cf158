// Printing one image: the picture fitted to the printable area (the bottom 2 % left free, aspect
// kept, centred, integer arithmetic), one page per copy, the modeless "PRINTING" box whose Cancel
// stops the job, and the reports at the end. The printer comes set up (by the print dialog, or as
// a PDF file in tests); the job takes over its copy count and prints the copies as pages itself.
#pragma once

#include <QRect>
#include <QString>
#include <functional>

#include "core/image.h"

class QPrinter;
class QWidget;
class PrintCancelDialog;

// Where an image of imageWidth x imageHeight goes on a printable area of pageWidth x pageHeight
// device pixels.
QRect FitImageOnPage(int pageWidth, int pageHeight, int imageWidth, int imageHeight);

// "Lumo (%s)" with the window title, of which at most 100 characters are kept.
QString PrintDocumentName(const QString& windowTitle);

enum class PrintOutcome { Printed, Canceled, Failed };

struct PrintJobHooks {
    // Runs once a copy's page has been drawn, before the page is ended (tests cancel from here).
    std::function<void(int copy)> pageDrawn;
};

// Prints image on printer and reports the outcome to the user ("Printing canceled", "Error
// during printing", ...). owner parents the cancel box. While the pages are produced the other
// windows keep receiving their events.
PrintOutcome PrintImage(QPrinter& printer, const IMG& image, const QString& windowTitle, QWidget* owner,
                        const PrintJobHooks& hooks = {});

// True while a job is under way; Print does nothing until it has ended.
bool PrintJobRunning();
// The cancel box of the job under way, or null.
PrintCancelDialog* PrintCancelBox();

// The abort procedure: lets the queued events of every window run (the Cancel button among them)
// and says whether the job goes on, i.e. whether the user has not cancelled.
bool MyAbortProc(QPrinter& printer, int error);
