#include "formats/webp/webp_frames.h"

#include <webp/demux.h>

#include <algorithm>
#include <cstring>

#include "core/messages.h"
#include "formats/webp/webp_pixels.h"

namespace {

// Frames shorter than this show for kShortFrameMs, as browsers show them.
constexpr int kShortestFrameMs = 20, kShortFrameMs = 100;

void DeleteDecoder(WebPAnimDecoder* decoder) { WebPAnimDecoderDelete(decoder); }

[[noreturn]] void Fail(const std::string& name, const char* reason) {
    LumoError(kWebpLoadModule, "Corrupted WebP file %s: %s", name.c_str(), reason);
}

}  // namespace

WebpFrames::WebpFrames(const char* fileName) : name_(fileName), decoder_(nullptr, DeleteDecoder) {
    InputFile file(fileName, kWebpLoadModule);
    bytes_ = ReadRemainingBytes(file, kWebpLoadModule);
    start(bytes_.data.get(), bytes_.size);
}

WebpFrames::WebpFrames(const uint8_t* data, size_t size, const char* name) : name_(name), decoder_(nullptr, DeleteDecoder) {
    start(data, size);
}

WebpFrames::~WebpFrames() = default;

void WebpFrames::start(const uint8_t* data, size_t size) {
    const InputFile file(data, size, name_.c_str());
    CheckedWebpFeatures(file, data, size);
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) Fail(name_, "libwebp version mismatch");
    options.color_mode = MODE_bgrA;
    options.use_threads = 0;
    const WebPData input{data, size};
    decoder_.reset(WebPAnimDecoderNew(&input, &options));
    WebPAnimInfo info{};
    if (!decoder_ || !WebPAnimDecoderGetInfo(decoder_.get(), &info) || info.frame_count == 0)
        Fail(name_, "bad animation");
    frameCount_ = info.frame_count;
    plays_ = static_cast<int>(info.loop_count);
    screen_ = LumoCreateImage(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height), COLOR,
                              nullptr, 24);
}

bool WebpFrames::next() {
    if (!WebPAnimDecoderHasMoreFrames(decoder_.get())) return false;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder_.get(), &canvas, &timestamp)) Fail(name_, "bad frame");
    CompositeOverWhite(canvas, static_cast<size_t>(screen_->width) * 4, *screen_, false);
    const int duration = timestamp - timestamp_;
    timestamp_ = timestamp;
    delay_ = duration < kShortestFrameMs ? kShortFrameMs : duration;
    ++count_;
    return true;
}

ImagePtr WebpFrames::copyScreen() const {
    ImagePtr copy = LumoCreateImage(screen_->width, screen_->height, COLOR, nullptr, 24);
    std::memcpy(copy->bits, screen_->bits, PixelBytes(*screen_));
    return copy;
}

size_t CountWebpFrames(const char* fileName) {
    InputFile file(fileName, kWebpLoadModule);
    const FileBytes bytes = ReadRemainingBytes(file, kWebpLoadModule);
    CheckedWebpFeatures(file, bytes.data.get(), bytes.size);
    const WebPData input{bytes.data.get(), bytes.size};
    WebPDemuxer* demuxer = WebPDemux(&input);
    if (!demuxer) Fail(fileName, "bad chunks");
    const uint32_t frames = WebPDemuxGetI(demuxer, WEBP_FF_FRAME_COUNT);
    WebPDemuxDelete(demuxer);
    return std::max<uint32_t>(frames, 1);
}
