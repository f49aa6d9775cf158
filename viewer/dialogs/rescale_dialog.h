// The "RESCALE" dialog ("Rescale Image"): new width and height, or percentages of the image's,
// kept in proportion while "&Preserve aspect ratio" is checked.
#pragma once

#include <QSize>
#include <optional>

#include "viewer/dialogs/option_dialogs.h"

// Runs the modal dialog for an image of width x height; the accepted new size, or nothing for Cancel.
std::optional<QSize> AskRescaleSize(QWidget* parent, int width, int height, const HelpFunction& help);
