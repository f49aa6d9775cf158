// The "PROPERTIES" window of File > Properties: what the active picture is (file and folder, size
// in pixels, kind, file size, resolution), the photo fields of its Exif block (camera, lens, date
// taken, exposure, GPS position) and whether it carries a colour profile, XMP and a comment.
#pragma once

#include <QString>
#include <vector>

#include "core/image.h"

class QWidget;

// Dialog ids of the value of each line; a line the picture has nothing for is left out.
enum PropertyId : int {
    kPropertyFile = 101, kPropertyFolder, kPropertySize, kPropertyKind, kPropertyFileSize, kPropertyResolution,
    kPropertyCamera, kPropertyLens, kPropertyTaken, kPropertyExposure, kPropertyPosition, kPropertyAltitude,
    kPropertyProfile, kPropertyXmp, kPropertyComment,
};

struct PropertyLine {
    PropertyId id;
    QString label;  // "Camera"
    QString text;   // "Canon EOS 5D Mark IV"
};

// The lines for a picture and the file it came from; an empty path is a picture not from a file
// (a paste), named by its window title. The file size is read from the disk now.
std::vector<PropertyLine> PropertyLines(const IMG& image, const QString& path, const QString& title);

// Shows the lines in a modal box with an OK button.
void ShowPropertiesDialog(QWidget* parent, const IMG& image, const QString& path, const QString& title);
