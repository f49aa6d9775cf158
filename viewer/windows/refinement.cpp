#include "viewer/windows/refinement.h"

#include <QCoreApplication>
#include <QFile>
#include <QMdiSubWindow>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "formats/dispatch.h"
#include "formats/image_info.h"
#include "formats/layered_load.h"
#include "viewer/windows/image_window.h"
#include "viewer/windows/screen_depth.h"

namespace {

Refinement*& Current() {
    static Refinement* current = nullptr;  // the innermost refinement under way
    return current;
}

std::vector<std::function<void()>>& Waiting() {
    static std::vector<std::function<void()>> waiting;  // work held back until no window refines
    return waiting;
}

// The level's own copy: the loader's level lives only for the call.
ImagePtr CopyOf(const IMG& level) {
    ImagePtr copy = LumoCreateImage(level.width, level.height, level.colorClass, nullptr, level.bitsPerPixel);
    std::memcpy(copy->bits, level.bits, PixelBytes(level));
    return copy;
}

}  // namespace

Refinement::Refinement(ImageWindow& window) : window_(&window), outer_(Current()) {
    // One hook for all refinements under way: a refinement started inside another (a file opened
    // while one refines) reports to the same viewer hook and pumps for itself until it ends.
    if (outer_) {
        previousHook_ = outer_->previousHook_;
    } else {
        previousHook_ = LumoSetProgressHandler(progressHook);
    }
    Current() = this;
    window.setRefinement(this);
}

Refinement::~Refinement() {
    if (window_) window_->setRefinement(nullptr);
    Current() = outer_;
    if (outer_) return;
    LumoSetProgressHandler(previousHook_);
    if (Waiting().empty()) return;
    // Run from the event loop: here the load has not yet handed its picture to the window.
    std::vector<std::function<void()>> work = std::move(Waiting());
    Waiting().clear();
    QTimer::singleShot(0, qApp, [work = std::move(work)] {
        for (const std::function<void()>& step : work) step();
    });
}

bool Refinement::running() { return Current() != nullptr; }

void Refinement::whenIdle(std::function<void()> work) {
    if (running())
        Waiting().push_back(std::move(work));
    else
        work();
}

ImagePtr Refinement::load(const char* fileName) {
    if (const std::optional<ImageInfo> info = ReadImageInfo(fileName)) finalSize_ = QSize(info->width, info->height);
    if (finalSize_.isEmpty()) return LoadImageByExtension(fileName);
    fileName_ = QFile::decodeName(fileName);
    sincePump_.start();
    try {
        return LoadImageInLevels(fileName, [this](const IMG& level) { show(level); });
    } catch (const RefinementStopped&) {
        // The load never reached its end report: the status line's progress bar ends here.
        if (previousHook_ && LumoGetIntOption("showprogress") != 0) previousHook_(-2);
        throw;
    }
}

void Refinement::show(const IMG& level) {
    if (mustStop()) throw RefinementStopped();
    const int side = std::max(level.width, level.height);
    const int finalSide = std::max(finalSize_.width(), finalSize_.height());
    if (side < std::min(std::max(kFirstShownSide, finalSide / kFirstShownFraction), finalSide)) return;
    if (levelsShown_ > 0 && sinceShown_.elapsed() < kLevelIntervalMs) return;
    sinceShown_.start();
    ImageWindow* window = window_;
    coarse_.setImage(CopyOf(level), ScreenDepth(), window->zoom(), {});
    ++levelsShown_;
    if (levelsShown_ == 1) {
        window->setWindowTitle(fileName_);
        emit window->refinementShown();  // the frame puts the window on screen now
        if (!window_) throw RefinementStopped();
        emit window->transientStatus(
            QStringLiteral("Refining %1 x %2...").arg(finalSize_.width()).arg(finalSize_.height()));
    }
    window->refinementAdvanced();
    pump();
}

void Refinement::applyZoom(int zoom) { coarse_.applyZoom(zoom); }

bool Refinement::mustStop() const {
    if (stopRequested_ || !window_) return true;
    // Once on screen, a window whose frame is no longer shown (the program is quitting) stops.
    return shown_ && !window_->window()->isVisible();
}

void Refinement::pump() {
    if (window_ && window_->window()->isVisible()) shown_ = true;
    pumping_ = true;
    QCoreApplication::processEvents();
    pumping_ = false;
    sincePump_.restart();
    if (mustStop()) throw RefinementStopped();
}

void Refinement::progressHook(int value) {
    Refinement* refinement = Current();
    if (!refinement) return;
    if (refinement->previousHook_) refinement->previousHook_(value);
    // Reports from work done inside the event handling (another window's load) only pass on.
    if (refinement->pumping_) return;
    if (refinement->sincePump_.elapsed() >= kPumpIntervalMs) refinement->pump();
}

ImagePtr LoadForWindow(ImageWindow& window, const char* fileName) {
    if (!HasCoarseLevels(fileName)) return LoadImageByExtension(fileName);
    Refinement refinement(window);
    return refinement.load(fileName);
}

void CloseImageWindow(ImageWindow& window) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window.parentWidget()))
        sub->close();
    else
        window.close();
}
