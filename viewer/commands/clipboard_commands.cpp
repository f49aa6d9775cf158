#include "viewer/commands/clipboard_commands.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <algorithm>
#include <cstring>

#include "formats/bmp_dib.h"
#include "platform/message_box.h"
#include "viewer/commands/clipboard_image_data.h"
#include "viewer/shell/frame_window.h"
#include "viewer/windows/wait_cursor.h"

namespace {

// The bit count of a DIB for a picture of that depth: 1, 4 or 8 bits when those hold it, else 24.
int DibBitCount(int depth) {
    if (depth < 2) return 1;
    if (depth < 5) return 4;
    if (depth < 9) return 8;
    return 24;
}

ImagePtr ImageFromDib(const QByteArray& dib) {
    DibImage read = DibToImage(reinterpret_cast<const uint8_t*>(dib.constData()), static_cast<size_t>(dib.size()));
    if (!read.image) ShowMessageBox("Error", "DIBToIMG Error", MessageIcon::Error);
    return std::move(read.image);
}

// A packed DIB of a picture made by another program: 1 bit per pixel for a depth of 1, 8 bits for
// depths up to 8 (with the picture's colour table), 24 bits (blue, green, red) above, so 16- and
// 32-bit pictures give RGB.
QByteArray BitmapToDib(const QImage& bitmap) {
    DibFormat format;
    format.width = bitmap.width();
    format.height = bitmap.height();
    format.bitCount = DibBitCount(bitmap.depth());
    // A 1- or 8-bit picture without colour table says nothing of its colours: it goes as 24 bits.
    if (format.bitCount != 24 && bitmap.colorTable().isEmpty() && bitmap.format() != QImage::Format_Grayscale8)
        format.bitCount = 24;
    QImage rows;
    if (format.bitCount == 1) {
        rows = bitmap.convertToFormat(QImage::Format_Mono);  // most significant bit first, as in a DIB
    } else if (format.bitCount == 8) {
        rows = bitmap.format() == QImage::Format_Indexed8 ? bitmap : bitmap.convertToFormat(QImage::Format_Indexed8);
    } else {
        format.bitCount = 24;
        rows = bitmap.convertToFormat(QImage::Format_BGR888);  // blue, green, red in memory
    }
    if (format.bitCount != 24) {
        // The full table of the bit count; entries the picture lacks stay black.
        QList<QRgb> table = rows.colorTable();
        table.resize(1 << format.bitCount, qRgb(0, 0, 0));
        for (const QRgb color : table)
            format.colors.insert(format.colors.end(), {static_cast<uint8_t>(qRed(color)),
                                                       static_cast<uint8_t>(qGreen(color)),
                                                       static_cast<uint8_t>(qBlue(color))});
    }

    const std::vector<uint8_t> header = MakeDibHeader(format);
    const qsizetype rowBytes = RowBytesFor(format.width, format.bitCount);
    QByteArray dib(static_cast<qsizetype>(header.size()) + rowBytes * format.height, '\0');
    std::memcpy(dib.data(), header.data(), header.size());
    const qsizetype used = std::min<qsizetype>(rowBytes, rows.bytesPerLine());
    for (int y = 0; y < format.height; ++y)  // the bottom row first
        std::memcpy(dib.data() + header.size() + rowBytes * (format.height - 1 - y), rows.constScanLine(y), used);
    return dib;
}

// The picture the clipboard data holds, or none after telling the user why.
ImagePtr ImageFromClipboard(const QMimeData& data) {
    const QString bmpType = QString::fromLatin1(kBmpMimeType);
    if (data.hasFormat(bmpType)) {
        const QByteArray dib = data.data(bmpType);
        if (dib.isEmpty()) {
            ShowMessageBox("Error", "Can't get DIB from Clipboard", MessageIcon::Error);
            return nullptr;
        }
        return ImageFromDib(dib);
    }
    if (data.hasImage()) {
        const QImage bitmap = qvariant_cast<QImage>(data.imageData());
        if (bitmap.isNull()) {
            ShowMessageBox("Info", "Can't get Bitmap from Clipboard", MessageIcon::Information);
            return nullptr;
        }
        return ImageFromDib(BitmapToDib(bitmap));
    }
    return nullptr;
}

}  // namespace

void CopyImage(FrameWindow& frame, const CommandInfo&) {
    const ImageWindow* window = frame.activeImageWindow();
    if (!window || !window->image()) return;
    // A picture with an embedded profile goes out as the screen shows it: the clipboard carries no
    // profile, and what it holds is read as sRGB.
    const IMG* srgb = window->display().srgbCopy();
    QGuiApplication::clipboard()->setMimeData(new ClipboardImageData(srgb ? *srgb : *window->image()));
}

void PasteImage(FrameWindow& frame, const CommandInfo&) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return;
    ImagePtr image;
    {
        WaitCursor wait;
        image = ImageFromClipboard(*data);
    }
    if (!image) return;
    frame.openImageInNewWindow(std::move(image))->setModified(true);
}
