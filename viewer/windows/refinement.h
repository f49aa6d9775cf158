// Showing a file coarse first: a file whose format holds coarse levels (MOK, JBIG with resolution
// layers, Photo CD packs) is loaded in levels on the viewer's one thread. Each coarse level is shown
// at once, drawn at the final picture's size, and the window keeps answering its user: the events
// waiting are handled between levels and, through the progress reports, inside a level. Closing the
// window, or the frame, stops the load by unwinding it (the decoder releases what it holds); the
// window then closes. Commands given meanwhile wait until the refinement ends, so that they act on
// the final picture.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QSize>
#include <QString>
#include <functional>

#include "core/image.h"
#include "core/messages.h"
#include "viewer/windows/image_display.h"

class ImageWindow;

// Thrown from the progress reports of a load in levels whose window is closing; caught where the
// refinement started, and never through the event loop.
struct RefinementStopped {};

class Refinement {
public:
    // The time between two rounds of event handling inside a level.
    static constexpr int kPumpIntervalMs = 15;
    // The coarsest level worth showing has a longer side of at least 1/16 of the final one's and
    // at least 32 pixels: smaller ones (a pyramid's 1 x 1 top) decode in no time and would only
    // flash by. A level that follows the one shown within kLevelIntervalMs is passed over too:
    // copying and drawing every level would cost more than it shows.
    static constexpr int kFirstShownSide = 32;
    static constexpr int kFirstShownFraction = 16;
    static constexpr int kLevelIntervalMs = 20;

    explicit Refinement(ImageWindow& window);
    ~Refinement();
    Refinement(const Refinement&) = delete;
    Refinement& operator=(const Refinement&) = delete;

    // Loads the file in levels, showing each coarse level in the window. Gives the picture a plain
    // load gives (or null); a library error arrives as LumoFailure; RefinementStopped when the
    // window or the frame closed meanwhile.
    ImagePtr load(const char* fileName);

    // The coarse level shown and the size of the final picture; no view before the first level.
    const DibView* view() const { return coarse_.view(); }
    const IMG* coarseImage() const { return coarse_.image(); }
    QSize finalSize() const { return finalSize_; }
    int levelsShown() const { return levelsShown_; }
    // Follows the window's zoom (a bi-level level's half-size picture).
    void applyZoom(int zoom);

    // The window asked to close: the load stops at its next progress report.
    void requestStop() { stopRequested_ = true; }
    bool stopRequested() const { return stopRequested_; }

    // True while any window refines.
    static bool running();
    // Runs work once no window refines any more (at once when none does).
    static void whenIdle(std::function<void()> work);

private:
    static void progressHook(int value);
    void show(const IMG& level);
    // Handles the events waiting; throws RefinementStopped when the load must end.
    void pump();
    bool mustStop() const;

    QPointer<ImageWindow> window_;
    ImageDisplay coarse_;
    QSize finalSize_;
    QString fileName_;  // the window's title from its first level
    int levelsShown_ = 0;
    bool stopRequested_ = false;
    bool shown_ = false;    // the window has been visible: hiding it then (the frame closed) stops
    bool pumping_ = false;  // inside the event handling: reports then come from other work
    QElapsedTimer sincePump_;
    QElapsedTimer sinceShown_;
    LumoProgressHook previousHook_ = nullptr;
    Refinement* outer_ = nullptr;  // the refinement this one runs inside, if any
};

// Loads a file for a window: in levels when its format has them, else directly.
ImagePtr LoadForWindow(ImageWindow& window, const char* fileName);

// Closes an image window through its sub-window (an image window alone only hides).
void CloseImageWindow(ImageWindow& window);
