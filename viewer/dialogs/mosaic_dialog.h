// The "MOSAIC" dialog ("Select files that will be included in the mosaic"): the files of a folder
// to put on contact sheets, the largest sheet and the thumbnail size.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "jobs/thumbnail.h"
#include "viewer/dialogs/option_dialogs.h"

struct MosaicChoice {
    QString folder;     // where the files are and the sheets go (also the current directory)
    QStringList files;  // as the list shows them, in its order; may be empty
    PixelSize sheetSize;  // the largest sheet
    PixelSize cellSize;   // the thumbnail size
};

// Runs the modal dialog on the current directory; the choice on OK, nothing on Cancel.
std::optional<MosaicChoice> AskMosaicFiles(QWidget* parent, const HelpFunction& help);
