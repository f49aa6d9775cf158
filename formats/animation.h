// The frames of an animated file as a viewer plays them, whatever its format: each frame composed on
// the file's whole screen (the canvas), with how long it shows and how often the animation plays.
// GIF and WebP files have them; the viewer and `lumo info` reach them through OpenAnimation.
#pragma once

#include <cstddef>
#include <memory>

#include "core/image.h"

class AnimationFrames {
public:
    virtual ~AnimationFrames() = default;

    // Composes the next frame on the screen; false after the last one.
    virtual bool next() = 0;
    // A copy of the screen as the last next() left it (RGB, the screen's size).
    virtual ImagePtr copyScreen() const = 0;
    // Frames composed so far.
    virtual size_t count() const = 0;
    // How long the last frame composed shows, in milliseconds.
    virtual int delayMs() const = 0;
    // How many times the animation plays: 0 for ever. Known once the first frame is read.
    virtual int plays() const = 0;
};

// The frames of a GIF or WebP file that holds more than one (the others' routes give null); a
// LumoFailure when the file cannot be read.
std::unique_ptr<AnimationFrames> OpenAnimation(const char* fileName);
// The number of frames of a GIF or WebP file, counted without decoding them; 0 for other formats.
size_t CountAnimationFrames(const char* fileName);
