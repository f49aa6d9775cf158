#include "jobs/output_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "core/messages.h"
#include "formats/dispatch.h"
#include "jobs/settings.h"
#include "platform/profile.h"

namespace {

constexpr const char* kModule = "VerifyOutput";

// The tests' way to show that a damaged output is caught: LUMO_TEST_DAMAGE_OUTPUT=1 inverts the
// middle byte of every file before it is loaded again.
void DamageForTest(const std::string& target) {
    const char* hook = std::getenv("LUMO_TEST_DAMAGE_OUTPUT");
    if (!hook || std::string(hook) != "1") return;
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    const off_t middle = ::lseek(fd, 0, SEEK_END) / 2;
    unsigned char byte;
    if (::pread(fd, &byte, 1, middle) == 1) {
        byte = static_cast<unsigned char>(~byte);
        (void)!::pwrite(fd, &byte, 1, middle);
    }
    ::close(fd);
}

// The loaders' size-reducing keys set to full size while the output is loaded again; afterwards
// each has the value it had (now as an override of the same value).
class FullSizeLoads {
public:
    FullSizeLoads() {
        for (const auto& [key, full] : kFullSize) {
            previous_.emplace_back(key, ProfileString(key, full));
            SetProfileOverride(key, full);
        }
    }
    ~FullSizeLoads() {
        for (const auto& [key, value] : previous_) SetProfileOverride(key, value);
    }

private:
    static constexpr std::pair<const char*, const char*> kFullSize[] = {
        {"MokRatio", "1"}, {"JbigMaxsizew", "0"}, {"JbigMaxsizeh", "0"}};
    std::vector<std::pair<std::string, std::string>> previous_;
};

}  // namespace

bool SavesExactly(const std::string& extension, const IMG& image) {
    const ImageKind kind = KindOf(image);
    const bool gray = kind == ImageKind::BW || kind == ImageKind::GRAY16 || kind == ImageKind::GRAY256;
    if (extension == "bmp" || extension == "png") return true;
    if (extension == "tif" || extension == "tiff") return DecideTiffCompression(image).compression != 7;
    if (extension == "gif") return kind != ImageKind::RGB;
    if (extension == "mok") return kind == ImageKind::GRAY256 || kind == ImageKind::RGB;
    if (extension == "bie") return kind == ImageKind::BW;
    if (extension == "img") return gray;
    if (extension == "webp") return SettingInt("WebpLossless") == 1;
    return false;
}

void VerifySavedPicture(const std::string& target, const std::string& extension, const IMG& image) {
    DamageForTest(target);
    ImagePtr reloaded;
    try {
        const FullSizeLoads fullSize;
        reloaded = LoadImageByExtension(target.c_str());
    } catch (const LumoFailure& failure) {
        LumoError(kModule, "The saved %s file does not load again: %s", extension.c_str(), failure.text());
    }
    if (!reloaded) LumoError(kModule, "The saved %s file does not load again", extension.c_str());
    if (reloaded->width != image.width || reloaded->height != image.height)
        LumoError(kModule, "The saved file is %dx%d, not %dx%d as the picture saved", reloaded->width,
                  reloaded->height, image.width, image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint32_t saved = PixelColour(image, x, y), loaded = PixelColour(*reloaded, x, y);
            if (saved != loaded)
                LumoError(kModule, "The saved file's pixel (%d, %d) is #%06X, not #%06X as saved", x, y,
                          static_cast<unsigned>(loaded), static_cast<unsigned>(saved));
        }
}
