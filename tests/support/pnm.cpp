#include "tests/support/pnm.h"

#include <cctype>
#include <fstream>

#include "tests/support/lumo_test.h"

PnmPicture ParsePnm(const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    // Header fields are separated by white space; comments do not occur in the tools' output.
    const auto field = [&]() {
        while (at < bytes.size() && std::isspace(bytes[at])) ++at;
        long value = 0;
        while (at < bytes.size() && std::isdigit(bytes[at])) value = value * 10 + (bytes[at++] - '0');
        return static_cast<int>(value);
    };
    PnmPicture picture;
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) return picture;
    at = 2;
    const int channels = bytes[1] == '5' ? 1 : 3;
    picture.width = field();
    picture.height = field();
    if (field() != 255 || at >= bytes.size()) return picture;
    ++at;  // the single white-space byte before the samples
    const size_t count = static_cast<size_t>(picture.width) * picture.height * channels;
    if (bytes.size() - at < count) return picture;
    picture.channels = channels;
    picture.samples.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + count));
    return picture;
}

PnmPicture PnmOf(const IMG& image) {
    const bool gray = image.colorClass != COLOR;
    PnmPicture picture{image.width, image.height, gray ? 1 : 3, {}};
    picture.samples.reserve(static_cast<size_t>(image.width) * image.height * picture.channels);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint32_t value = PixelAt(image, x, y);
            if (image.bitsPerPixel == 24) {
                picture.samples.insert(picture.samples.end(), {static_cast<uint8_t>(value >> 16),
                                                               static_cast<uint8_t>(value >> 8),
                                                               static_cast<uint8_t>(value)});
            } else if (!gray) {
                const uint8_t* entry = image.palette + 3 * value;
                picture.samples.insert(picture.samples.end(), entry, entry + 3);
            } else {
                // Levels as IMG shows them: BW 0 or 255, GRAY16 v * 17.
                const uint32_t scale = image.bitsPerPixel == 1 ? 255 : image.bitsPerPixel == 4 ? 17 : 1;
                picture.samples.push_back(static_cast<uint8_t>(value * scale));
            }
        }
    return picture;
}

void WritePnm(const IMG& image, const std::string& path) {
    const PnmPicture picture = PnmOf(image);
    std::ofstream out(path, std::ios::binary);
    out << (picture.channels == 1 ? "P5\n" : "P6\n") << picture.width << " " << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.samples.data()),
              static_cast<std::streamsize>(picture.samples.size()));
}
