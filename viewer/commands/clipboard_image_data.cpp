#include "viewer/commands/clipboard_image_data.h"

#include <QBuffer>
#include <QPainter>
#include <new>

#include "core/messages.h"
#include "formats/bmp.h"
#include "viewer/windows/dib_view.h"

ClipboardImageData::ClipboardImageData(const IMG& image) : image_(image) {
    const uint8_t* bits = image.bits;
    rows_.assign(bits, bits ? bits + PixelBytes(image) : bits);
    image_.bits = rows_.empty() ? nullptr : rows_.data();
    if (image.palette) {
        palette_.assign(image.palette, image.palette + 3 * (size_t{1} << image.bitsPerPixel));
        image_.palette = palette_.data();
    }
}

QStringList ClipboardImageData::formats() const {
    return {QString::fromLatin1(kBmpMimeType), QString::fromLatin1(kPngMimeType),
            QString::fromLatin1(kQtImageMimeType)};
}

bool ClipboardImageData::hasFormat(const QString& mimeType) const { return formats().contains(mimeType); }

int ClipboardImageData::renderedCount() const { return !bmp_.isEmpty() + !png_.isEmpty() + !picture_.isNull(); }

// The picture at full size, drawn as the image windows draw it; null when Qt cannot hold one so large.
const QImage& ClipboardImageData::picture() const {
    if (picture_.isNull()) {
        QImage drawn(image_.width, image_.height, QImage::Format_RGB32);
        if (drawn.isNull()) return picture_;
        drawn.fill(Qt::black);
        QPainter painter(&drawn);
        DrawImage(painter, image_, QRectF(0, 0, image_.width, image_.height));
        painter.end();
        picture_ = drawn;
    }
    return picture_;
}

const QByteArray& ClipboardImageData::bmp() const {
    if (bmp_.isEmpty()) {
        struct ProgressBracket {
            ProgressBracket() { LumoProgress(-1); }
            ~ProgressBracket() { LumoProgress(-2); }
        } bracket;
        QByteArray file;
        WriteBmp(&image_, [&file](const uint8_t* bytes, size_t count) {
            file.append(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(count));
        });
        bmp_ = file;
    }
    return bmp_;
}

const QByteArray& ClipboardImageData::png() const {
    if (png_.isEmpty()) {
        QByteArray file;
        QBuffer buffer(&file);
        buffer.open(QIODevice::WriteOnly);
        if (picture().save(&buffer, "PNG")) png_ = file;
    }
    return png_;
}

// Other programs ask through the event loop, outside any command: a failure (already reported by
// the library's hook) or a lack of memory gives them nothing rather than unwinding through Qt.
QVariant ClipboardImageData::retrieveData(const QString& mimeType, QMetaType type) const {
    try {
        if (mimeType == QLatin1String(kBmpMimeType)) return bmp();
        if (mimeType == QLatin1String(kPngMimeType)) return png();
        if (mimeType == QLatin1String(kQtImageMimeType)) return picture();
    } catch (const LumoFailure&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
    return QMimeData::retrieveData(mimeType, type);
}
