// What Copy puts on the clipboard: a picture offered as "image/bmp" (a whole BMP file, the form
// programs on this desktop exchange), as "image/png" and as Qt's image type, each made only when a
// program asks for it and then kept. The picture is copied when Copy runs, so that it survives its
// window and later changes to the window's image do not change what was copied.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMimeData>
#include <vector>

#include "core/image.h"

inline constexpr const char* kBmpMimeType = "image/bmp";
inline constexpr const char* kPngMimeType = "image/png";
inline constexpr const char* kQtImageMimeType = "application/x-qt-image";

class ClipboardImageData : public QMimeData {
    Q_OBJECT
public:
    explicit ClipboardImageData(const IMG& image);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;
    // How many of the three forms have been made so far (they are made on request).
    int renderedCount() const;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    const QByteArray& bmp() const;
    const QByteArray& png() const;
    const QImage& picture() const;

    // The copied picture. Its rows are held outside the library's counted memory: the clipboard
    // may keep them after the last window has gone and the end-of-run check has counted the blocks.
    IMG image_{};
    std::vector<uint8_t> rows_;
    std::vector<uint8_t> palette_;

    mutable QByteArray bmp_;
    mutable QByteArray png_;
    mutable QImage picture_;
};
