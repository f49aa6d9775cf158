// Writes the bundled sample pictures into the folder named on the command line: made here
// by the project itself (no pictures from elsewhere), saved with our own BMP writer.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/image.h"
#include "core/messages.h"
#include "formats/bmp.h"

namespace {

void PutRGB(IMG& image, int x, int y, int red, int green, int blue) {
    uint8_t* pixel = PictureRow(image, y) + 3 * x;
    pixel[0] = static_cast<uint8_t>(blue);
    pixel[1] = static_cast<uint8_t>(green);
    pixel[2] = static_cast<uint8_t>(red);
}

// Smooth colour gradients with a soft disc: the kind of picture photographs give.
ImagePtr Gradient(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, COLOR, nullptr, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = x - width * 0.6, dy = y - height * 0.4;
            const double glow = std::exp(-(dx * dx + dy * dy) / (0.08 * width * height));
            PutRGB(*image, x, y, static_cast<int>(255.0 * x / (width - 1)),
                   static_cast<int>(255.0 * y / (height - 1) * (1 - glow) + 255 * glow),
                   static_cast<int>(255.0 * (1 - 0.5 * x / (width - 1)) * (1 - glow) + 40 * glow));
        }
    return image;
}

// Eight vertical colour bars in a 256-colour palette, with a gray step wedge below.
ImagePtr ColourBars(int width, int height) {
    static const int bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                   {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    PalettePtr palette = CreateIMGPalette(256);
    for (int i = 0; i < 256; ++i) LumoSetPaletteEntry(palette.get(), i, 0, 0, 0);
    for (int i = 0; i < 8; ++i) LumoSetPaletteEntry(palette.get(), i, bars[i][0], bars[i][1], bars[i][2]);
    for (int i = 0; i < 16; ++i) LumoSetPaletteEntry(palette.get(), 8 + i, 17 * i, 17 * i, 17 * i);
    ImagePtr image = LumoCreateImage(width, height, COLOR, std::move(palette), 8);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = PictureRow(*image, y);
        for (int x = 0; x < width; ++x) row[x] = static_cast<uint8_t>(y < height * 3 / 4 ? x * 8 / width : 8 + x * 16 / width);
    }
    return image;
}

// A bi-level page: margins, "text" lines of word-like blocks and a framed figure.
ImagePtr Page(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, BILEVEL, nullptr, 1);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = PictureRow(*image, y);
        for (int x = 0; x < image->rowBytes; ++x) row[x] = 0xFF;
        for (int x = 0; x < width; ++x) {
            const bool inText = x > width / 10 && x < width * 9 / 10 && y > height / 10 && y < height / 2;
            const bool onLine = (y / 12) % 2 == 0 && y % 12 > 2;
            const bool inWord = ((x / 9) * 7 + (y / 24) * 3) % 11 > 2;
            const bool frame = y > height * 6 / 10 && y < height * 9 / 10 && x > width / 5 && x < width * 4 / 5 &&
                               (y < height * 6 / 10 + 4 || y > height * 9 / 10 - 4 || x < width / 5 + 4 ||
                                x > width * 4 / 5 - 4 || (x - width / 5) == (y - height * 6 / 10) * 2);
            if ((inText && onLine && inWord) || frame) row[x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
        }
    }
    image->xResolution = image->yResolution = 200;
    return image;
}

ImagePtr GrayRamp(int width, int height) {
    ImagePtr image = LumoCreateImage(width, height, GRAY, nullptr, 8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) PictureRow(*image, y)[x] = static_cast<uint8_t>(x * 255 / (width - 1));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    try {
        SaveBmp(Gradient(640, 480).get(), (folder + "gradient.bmp").c_str());
        SaveBmp(ColourBars(320, 240).get(), (folder + "colour-bars.bmp").c_str());
        SaveBmp(Page(850, 1100).get(), (folder + "page.bmp").c_str());
        SaveBmp(GrayRamp(256, 64).get(), (folder + "gray-ramp.bmp").c_str());
    } catch (const LumoFailure& failure) {
        std::fprintf(stderr, "make_samples: %s\n", failure.what());
        return 1;
    }
    return 0;
}
