#include "viewer/shell/hooks.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "viewer/shell/status_strip.h"

namespace {

QPointer<StatusStrip>& CurrentStrip() {
    static QPointer<StatusStrip> strip;
    return strip;
}

void ErrorHook(const char* module, const char* format, va_list args) {
    const std::string text = LumoReportText("Error", module, format, args);
    ShowMessageBox("Error", text.c_str(), MessageIcon::Error);
}

void WarningHook(const char* module, const char* format, va_list args) {
    const std::string text = LumoReportText("Warning", module, format, args);
    if (StatusStrip* strip = CurrentStrip())
        strip->setStatusText(QString::fromLocal8Bit(text.c_str()));
    else
        ShowMessageBox("Error", text.c_str(), MessageIcon::Error);
}

void ProgressHook(int value) {
    if (StatusStrip* strip = CurrentStrip()) strip->progress(value);
}

// Drawn at once: the loader that reports it runs before control returns to the event loop.
void StatusTextHook(const char* text) {
    if (StatusStrip* strip = CurrentStrip()) strip->showTransient(QString::fromLocal8Bit(text));
}

}  // namespace

void ShowQtMessageBox(const char* caption, const char* text, MessageIcon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::Critical;
    if (icon == MessageIcon::Information) qtIcon = QMessageBox::Information;
    if (icon == MessageIcon::Exclamation) qtIcon = QMessageBox::Warning;
    // No owner, as the library's boxes have none; the wait cursor of a load must not hide the arrow.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(qtIcon, QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text), QMessageBox::Ok);
    box.exec();
    QApplication::restoreOverrideCursor();
}

ViewerHooks::ViewerHooks()
    : previousError_(LumoSetErrorHandler(ErrorHook)),
      previousWarning_(LumoSetWarningHandler(WarningHook)),
      previousProgress_(LumoSetProgressHandler(ProgressHook)),
      previousStatusText_(SetStatusTextFunction(StatusTextHook)),
      previousShowProgress_(LumoGetIntOption("showprogress")) {
    LumoSetIntOption("showprogress", 1);
}

ViewerHooks::~ViewerHooks() {
    LumoSetIntOption("showprogress", previousShowProgress_);
    SetStatusTextFunction(previousStatusText_);
    LumoSetProgressHandler(previousProgress_);
    LumoSetWarningHandler(previousWarning_);
    LumoSetErrorHandler(previousError_);
    CurrentStrip() = nullptr;
}

void ViewerHooks::setStatusStrip(StatusStrip* strip) { CurrentStrip() = strip; }
