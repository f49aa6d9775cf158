#include "viewer/windows/image_info.h"

QString KindText(ImageKind kind) {
    switch (kind) {
        case ImageKind::BW: return QStringLiteral("B/W");
        case ImageKind::GRAY16: return QStringLiteral("Grayscale 16 levels");
        case ImageKind::GRAY256: return QStringLiteral("Grayscale 256 levels");
        case ImageKind::COLOR16: return QStringLiteral("16 colors");
        case ImageKind::COLOR256: return QStringLiteral("256 colors");
        case ImageKind::RGB: return QStringLiteral("16.7 M colors");
    }
    return {};
}

QString ImageInfoText(const IMG* image, int zoom, uint32_t loadTimeMs, const MemoryStatus& memory) {
    if (!image)
        return QString::asprintf("%ld Ko free - Ressources left: %d %%", memory.freeKilobytes,
                                 memory.resourcesPercent);
    QString text = QString::asprintf("%d x %d %s (zoom=%d %%) - %ld Ko free - Ressources left: %d %%", image->width,
                                     image->height, qPrintable(KindText(KindOf(*image))), zoom,
                                     memory.freeKilobytes, memory.resourcesPercent);
    // Hundredths with their leading zero: 1050 ms reads 1.05 s, not 1.50 s. A load quicker than a
    // hundredth of a second (or a picture that was not loaded) gets no suffix rather than "0.00s".
    if (loadTimeMs >= 10) text += QString::asprintf(" (Loaded in %u.%02us)", loadTimeMs / 1000, loadTimeMs % 1000 / 10);
    return text;
}
