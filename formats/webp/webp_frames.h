// The frames of an animated WebP file as a viewer plays them, composed by libwebp's animation
// decoder on the canvas (transparent at the start and where a frame is disposed to the background,
// whatever background colour the file suggests) and composited over white, as the loader shows the
// first one. A frame shorter than 20 ms shows for 100 ms, as browsers do (the rule for GIF files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "formats/animation.h"
#include "formats/input_file.h"

struct WebPAnimDecoder;

class WebpFrames : public AnimationFrames {
public:
    // Reads the file; LumoFailure when it is not a WebP file, or its canvas is larger than the pixel
    // limit or than its size can hold.
    explicit WebpFrames(const char* fileName);
    // Reads the frames of a block of memory (which must outlive the reader), as the fuzz harness does.
    WebpFrames(const uint8_t* data, size_t size, const char* name);
    ~WebpFrames() override;
    WebpFrames(const WebpFrames&) = delete;
    WebpFrames& operator=(const WebpFrames&) = delete;

    // False after the last frame; a damaged frame is a LumoFailure.
    bool next() override;
    ImagePtr copyScreen() const override;
    size_t count() const override { return count_; }
    int delayMs() const override { return delay_; }
    // The file's loop count: 0 for ever, else the number of plays; a still file plays once.
    int plays() const override { return plays_; }
    // The frames the file holds.
    size_t frameCount() const { return frameCount_; }

private:
    void start(const uint8_t* data, size_t size);

    std::string name_;
    FileBytes bytes_;  // the file's bytes when read from a file; libwebp decodes from memory
    std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder_;
    ImagePtr screen_;
    size_t count_ = 0, frameCount_ = 0;
    int delay_ = 100, plays_ = 1, timestamp_ = 0;
};

// The number of frames of a WebP file (1 for a still picture), from its chunks alone.
size_t CountWebpFrames(const char* fileName);
