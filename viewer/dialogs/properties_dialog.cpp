#include "viewer/dialogs/properties_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QStringList>

#include "core/image_metadata.h"
#include "formats/colour/colour_profile.h"
#include "formats/metadata/exif_summary.h"
#include "viewer/dialogs/dialog_controls.h"

namespace {

constexpr int kLongestComment = 1000;  // characters of a comment shown; the rest is cut
constexpr int kWrapWidth = 480;        // pixels of a comment line before it wraps

QString FileSizeText(qint64 bytes) {
    const QString exact = QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024) return exact;
    if (bytes < 1024 * 1024) return exact + QStringLiteral(" (%1 KB)").arg(QString::number(bytes / 1024.0, 'f', 1));
    return exact + QStringLiteral(" (%1 MB)").arg(QString::number(bytes / (1024.0 * 1024.0), 'f', 1));
}

QString ProfileText(const std::vector<uint8_t>& icc) {
    if (icc.empty()) return QStringLiteral("none");
    const std::optional<std::string> description = ProfileDescription(icc);
    if (!description) return QStringLiteral("embedded (unreadable)");
    if (description->empty()) return QStringLiteral("embedded (no description)");
    return QString::fromStdString(*description) + QStringLiteral(" (embedded)");
}

void AddExifLines(std::vector<PropertyLine>& lines, const std::vector<uint8_t>& block) {
    const ExifSummary exif = SummarizeExif(block);
    auto add = [&lines](PropertyId id, const char* label, const std::string& text) {
        if (!text.empty()) lines.push_back({id, QString::fromLatin1(label), QString::fromStdString(text)});
    };
    add(kPropertyCamera, "Camera", exif.camera);
    add(kPropertyLens, "Lens", exif.lens);
    add(kPropertyTaken, "Date taken", exif.dateTaken);
    QStringList exposure;
    for (const std::string* part : {&exif.exposureTime, &exif.aperture, &exif.iso, &exif.focalLength})
        if (!part->empty()) exposure.append(QString::fromStdString(*part));
    add(kPropertyExposure, "Exposure", exposure.join(QStringLiteral(", ")).toStdString());
    add(kPropertyPosition, "GPS position", exif.position);
    add(kPropertyAltitude, "Altitude", exif.altitude);
}

}  // namespace

std::vector<PropertyLine> PropertyLines(const IMG& image, const QString& path, const QString& title) {
    std::vector<PropertyLine> lines;
    const QFileInfo file(path);  // a new QFileInfo reads the disk now: the size after a save
    if (path.isEmpty()) {
        lines.push_back({kPropertyFile, QStringLiteral("File"), title + QStringLiteral(" (not from a file)")});
    } else {
        lines.push_back({kPropertyFile, QStringLiteral("File"), file.fileName()});
        lines.push_back({kPropertyFolder, QStringLiteral("Folder"), QDir::toNativeSeparators(file.absolutePath())});
    }
    lines.push_back({kPropertySize, QStringLiteral("Size"), QStringLiteral("%1 x %2 pixels").arg(image.width).arg(image.height)});
    lines.push_back({kPropertyKind, QStringLiteral("Kind"),
                     QStringLiteral("%1, %2 bit%3 per pixel")
                         .arg(QString::fromLatin1(KindName(KindOf(image))))
                         .arg(image.bitsPerPixel)
                         .arg(image.bitsPerPixel == 1 ? "" : "s")});
    if (!path.isEmpty())
        lines.push_back({kPropertyFileSize, QStringLiteral("File size"),
                         file.exists() ? FileSizeText(file.size()) : QStringLiteral("the file is no longer there")});
    if (image.xResolution > 0 || image.yResolution > 0)
        lines.push_back({kPropertyResolution, QStringLiteral("Resolution"),
                         QStringLiteral("%1 x %2 dpi")
                             .arg(QString::number(image.xResolution, 'g', 4), QString::number(image.yResolution, 'g', 4))});

    static const ImageMetadata kNone;
    const ImageMetadata* carried = LumoGetMetadata(&image);
    const ImageMetadata& metadata = carried ? *carried : kNone;
    AddExifLines(lines, metadata.exif);
    lines.push_back({kPropertyProfile, QStringLiteral("Colour profile"), ProfileText(metadata.icc)});
    lines.push_back({kPropertyXmp, QStringLiteral("XMP"),
                     metadata.xmp.empty() ? QStringLiteral("none")
                                          : QStringLiteral("present (%1 bytes)").arg(metadata.xmp.size())});
    if (!metadata.comment.empty()) {
        QString comment = QString::fromStdString(metadata.comment);
        if (comment.size() > kLongestComment) comment = comment.left(kLongestComment) + QChar(0x2026);
        lines.push_back({kPropertyComment, QStringLiteral("Comment"), comment});
    }
    return lines;
}

void ShowPropertiesDialog(QWidget* parent, const IMG& image, const QString& path, const QString& title) {
    ViewerDialog box(parent, "PROPERTIES", QStringLiteral("Properties"));
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft);
    for (const PropertyLine& line : PropertyLines(image, path, title)) {
        auto* value = new QLabel(line.text);
        value->setTextFormat(Qt::PlainText);  // a comment or a camera name is never read as markup
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (line.id == kPropertyComment) {
            value->setWordWrap(true);
            value->setMaximumWidth(kWrapWidth);
        }
        TagControl(value, line.id);
        form->addRow(line.label + QLatin1Char(':'), value);
    }
    box.body()->addLayout(form);
    box.addOkButton();
    box.exec();
}
