// The frames of an animated GIF as a viewer plays them: each image drawn on the logical screen after
// the previous one's disposal (left, cleared to the background, or restored), transparent pixels
// leaving what is under them, with its delay and the file's loop count. The screen starts white and
// "background" is white, as a browser shows a GIF on a white page. LumoLoadGif keeps giving the first
// image alone, at its own size (the converter and the contact sheets rely on it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/image.h"
#include "formats/animation.h"
#include "formats/input_file.h"

class GifFrames : public AnimationFrames {
public:
    // Opens the file and reads its screen; LumoFailure when it is not a GIF file or its screen is
    // larger than the pixel limit.
    explicit GifFrames(const char* fileName);
    // Reads the frames of a block of memory (which must outlive the reader), as the fuzz harness does.
    GifFrames(const uint8_t* data, size_t size, const char* name);
    ~GifFrames() override;
    GifFrames(const GifFrames&) = delete;
    GifFrames& operator=(const GifFrames&) = delete;

    // Composes the next frame on the screen; false after the last one. Damaged image data is
    // reported with warnings as LumoLoadGif reports it; a truncated file ends the frames.
    bool next() override;
    // The screen as the last next() left it (RGB, the logical screen's size).
    const IMG& screen() const { return *screen_; }
    // A copy of it.
    ImagePtr copyScreen() const override;
    // Frames composed so far.
    size_t count() const override { return count_; }
    // How long the frame shows, in hundredths of a second: under 2 counts as 10, as browsers do.
    int delay() const { return delay_; }
    int delayMs() const override { return 10 * delay_; }
    // How many times the animation plays: 0 for ever, 1 without a loop extension; N + 1 for the
    // NETSCAPE2.0 count N. Known once the first frame is read (the extension comes before it).
    int plays() const override { return plays_; }

private:
    void start();
    void drawImage();

    std::unique_ptr<InputFile> file_;
    ImagePtr screen_;
    ImagePtr saved_;           // the screen before a frame that is restored afterwards (disposal 3)
    uint8_t global_[768] = {};
    int globalLength_ = 0;     // entries of the global colour table, 0 without one
    size_t count_ = 0;
    int delay_ = 10;
    int plays_ = 1;
    // The previous frame's rectangle and disposal, undone before the next is drawn.
    int disposal_ = 0, left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    // The graphic control extension in force for the next image.
    int nextDisposal_ = 0, nextDelay_ = 0, transparent_ = -1;
    bool ended_ = false;
};

// The number of images in the file, counted without decoding them; a file cut short counts those
// whose data it holds.
size_t CountGifFrames(const char* fileName);
