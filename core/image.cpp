#include "core/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/image_metadata.h"
#include "core/memory.h"
#include "core/messages.h"
#include "platform/message_box.h"

void PaletteDeleter::operator()(uint8_t* palette) const { LumoFreePalette(palette); }
void ImageDeleter::operator()(IMG* image) const { LumoFreeImage(image); }

namespace {

bool IsLegalKind(int colorClass, int bitsPerPixel) {
    switch (colorClass) {
        case BILEVEL: return bitsPerPixel == 1;
        case GRAY: return bitsPerPixel == 4 || bitsPerPixel == 8;
        case COLOR: return bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 24;
        default: return false;
    }
}

}  // namespace

namespace {

[[noreturn]] void RefuseSize(const char* module, long width, long height) {
    LumoError(module, "Image size %ld x %ld out of range (at most %d x %d)", width, height, kMaxImageDimension,
              kMaxImageDimension);
}

}  // namespace

void CheckLoadSize(const char* module, long width, long height) {
    if (width <= 0 || height <= 0 || width > kMaxImageDimension || height > kMaxImageDimension)
        RefuseSize(module, width, height);
    const long long pixels = static_cast<long long>(width) * height;
    const int limit = LumoGetIntOption("maxpixels");
    if (limit > 0 && pixels > limit)
        LumoError(module, "Image size %ld x %ld (%lld pixels) exceeds the limit of %d pixels (raise MaxPixels)",
                  width, height, pixels, limit);
}

ImagePtr LumoCreateImage(int width, int height, int colorClass, PalettePtr palette, int bitsPerPixel) {
    constexpr const char* kModule = "LumoCreateImage";
    if (bitsPerPixel != 1 && colorClass == BILEVEL) LumoError(kModule, "Illegal Parameters");
    if (bitsPerPixel == 24 && palette) LumoError(kModule, "Illegal Parameters");
    if (colorClass == BILEVEL && palette) LumoError(kModule, "Illegal Parameters");
    if (!IsLegalKind(colorClass, bitsPerPixel)) LumoError(kModule, "Illegal Parameters");
    if (width < 0 || height < 0 || width > kMaxImageDimension || height > kMaxImageDimension)
        RefuseSize(kModule, width, height);
    const long rowBytes = RowBytesFor(width, bitsPerPixel);
    if (rowBytes > kMaxImageDimension)
        LumoError(kModule, "Image too wide: %d pixels of %d bits need %ld bytes per row (at most %d)", width,
                  bitsPerPixel, rowBytes, kMaxImageDimension);

    ImagePtr image(static_cast<IMG*>(LumoAlloc(sizeof(IMG))));
    if (!image) LumoError(kModule, "Out of memory");
    *image = IMG{static_cast<uint16_t>(width), static_cast<uint16_t>(rowBytes), static_cast<uint16_t>(height),
                 static_cast<uint8_t>(colorClass), static_cast<uint8_t>(bitsPerPixel), 0.0f, 0.0f,
                 palette.release(), nullptr};
    const size_t size = PixelBytes(*image);
    if (size != 0) {
        image->bits = static_cast<uint8_t*>(LumoAlloc(size));
        if (!image->bits) LumoError("CreateImage", "Out of memory (bits)");
    }
    return image;
}

void LumoAddRowsImage(IMG* image, int count) {
    const long newHeight = static_cast<long>(image->height) + count;
    if (newHeight < 0 || newHeight > kMaxImageDimension)
        LumoError("LumoAddRowsImage", "Cannot change the height from %d to %ld", image->height, newHeight);
    const size_t size = static_cast<size_t>(newHeight) * image->rowBytes;
    if (size == 0) {
        LumoFree(image->bits);
        image->bits = nullptr;
    } else if (!image->bits) {
        image->bits = static_cast<uint8_t*>(LumoAllocOrFail(size, "LumoAddRowsImage"));
    } else {
        void* grown = LumoRealloc(image->bits, size);
        if (!grown) LumoError("LumoAddRowsImage", "Out of memory");
        image->bits = static_cast<uint8_t*>(grown);
    }
    image->height = static_cast<uint16_t>(newHeight);
}

void LumoFreeImage(IMG* image) {
    if (!image) return;
    LumoDropMetadata(image);
    LumoFree(image->palette);
    LumoFree(image->bits);
    LumoFree(image);
}

PalettePtr CreateIMGPalette(int count) {
    return PalettePtr(static_cast<uint8_t*>(LumoAllocOrFail(static_cast<size_t>(count) * 3, "CreateIMGPalette")));
}

void LumoFreePalette(uint8_t* palette) { LumoFree(palette); }

void LumoSetPaletteEntry(uint8_t* palette, int index, int red, int green, int blue) {
    uint8_t* entry = palette + 3 * index;
    entry[0] = static_cast<uint8_t>(red);
    entry[1] = static_cast<uint8_t>(green);
    entry[2] = static_cast<uint8_t>(blue);
}

void LumoGetPaletteEntry(const uint8_t* palette, int index, int* red, int* green, int* blue) {
    const uint8_t* entry = palette + 3 * index;
    *red = entry[0];
    *green = entry[1];
    *blue = entry[2];
}

void LumoDumpInfoImage(const IMG* image) {
    char description[64];
    switch (image->colorClass) {
        case BILEVEL: std::snprintf(description, sizeof description, "Black & White (bi-level)"); break;
        case GRAY: std::snprintf(description, sizeof description, "%d levels of grays", 1 << image->bitsPerPixel); break;
        case COLOR: std::snprintf(description, sizeof description, "%ld colors", 1L << image->bitsPerPixel); break;
        default: LumoError("LumoDumpInfoImage", "Unknown image Type");
    }
    char text[128];
    std::snprintf(text, sizeof text, "Image %d x %d %s", image->width, image->height, description);
    ShowMessageBox("Info", text, MessageIcon::Information);
}

void FlipImage(IMG* image) {
    if (!image->bits || image->height < 2) return;  // nothing to exchange (an empty picture has no rows)
    LumoBuffer<uint8_t> exchange(static_cast<uint8_t*>(
        LumoAllocOrFail(image->rowBytes, "FlipImage", "Can't alloc Xchange buffer")));
    for (int i = 0; i < image->height / 2; ++i) {
        uint8_t* low = MemoryRow(*image, i);
        uint8_t* high = MemoryRow(*image, image->height - 1 - i);
        std::memcpy(exchange.get(), low, image->rowBytes);
        std::memcpy(low, high, image->rowBytes);
        std::memcpy(high, exchange.get(), image->rowBytes);
    }
}

void LumoInvertImage(IMG* image) {
    uint8_t* bytes = image->bits;
    const size_t size = PixelBytes(*image);
    switch (image->colorClass) {
        case BILEVEL:
        case GRAY:
            // Complementing every byte turns v into 255 - v, each nibble v into 15 - v and flips every bit.
            for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
            return;
        default:
            LumoDumpInfoImage(image);
            LumoError("LumoInvertImage", "Can't invert color image");
    }
}

void LumoSwapRedBlue(IMG* image) {
    if (image->bitsPerPixel != 24) return;
    for (int k = 0; k < image->height; ++k) {
        uint8_t* pixel = MemoryRow(*image, k);
        for (int x = 0; x < image->width; ++x, pixel += 3) std::swap(pixel[0], pixel[2]);
    }
}

ImageKind KindOf(const IMG& image) {
    switch (image.bitsPerPixel) {
        case 1: return ImageKind::BW;
        case 4: return image.colorClass == GRAY ? ImageKind::GRAY16 : ImageKind::COLOR16;
        case 8: return image.colorClass == GRAY ? ImageKind::GRAY256 : ImageKind::COLOR256;
        default: return ImageKind::RGB;
    }
}

uint32_t PixelColour(const IMG& image, int x, int y) {
    const uint8_t* row = PictureRow(image, y);
    uint32_t value;
    switch (image.bitsPerPixel) {
        case 1: value = (row[x / 8] >> (7 - x % 8)) & 1; break;
        case 4: value = x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4; break;
        case 8: value = row[x]; break;
        default: return static_cast<uint32_t>(row[3 * x + 2]) << 16 | row[3 * x + 1] << 8 | row[3 * x];
    }
    switch (KindOf(image)) {
        case ImageKind::BW: return value ? 0xFFFFFF : 0;
        case ImageKind::GRAY16: return value * 17 * 0x010101;
        case ImageKind::GRAY256: return value * 0x010101;
        default: {
            const uint8_t* entry = image.palette + 3 * value;
            return static_cast<uint32_t>(entry[0] << 16 | entry[1] << 8 | entry[2]);
        }
    }
}

const char* KindName(ImageKind kind) {
    static const char* const names[] = {"BW", "GRAY16", "GRAY256", "COLOR16", "COLOR256", "RGB"};
    return names[static_cast<int>(kind)];
}

int ColorClassOf(ImageKind kind) {
    static const int classes[] = {BILEVEL, GRAY, GRAY, COLOR, COLOR, COLOR};
    return classes[static_cast<int>(kind)];
}

int BitsPerPixelOf(ImageKind kind) {
    static const int depths[] = {1, 4, 8, 4, 8, 24};
    return depths[static_cast<int>(kind)];
}
