#include "formats/animation.h"

#include <string>

#include "formats/dispatch.h"
#include "formats/gif/gif_frames.h"
#include "formats/webp/webp_frames.h"

std::unique_ptr<AnimationFrames> OpenAnimation(const char* fileName) {
    const std::string route = LoadRouteName(fileName);
    if (route == "gif" && CountGifFrames(fileName) > 1) return std::make_unique<GifFrames>(fileName);
    if (route == "webp" && CountWebpFrames(fileName) > 1) return std::make_unique<WebpFrames>(fileName);
    return nullptr;
}

size_t CountAnimationFrames(const char* fileName) {
    const std::string route = LoadRouteName(fileName);
    if (route == "gif") return CountGifFrames(fileName);
    if (route == "webp") return CountWebpFrames(fileName);
    return 0;
}
