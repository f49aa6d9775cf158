// The frame's status texts: the image-info line of the active image window, or the free-memory line.
#pragma once

#include <QString>
#include <cstdint>

#include "core/image.h"
#include "platform/system_info.h"

// "B/W", "Grayscale 16 levels", ... as the status line names the kinds.
QString KindText(ImageKind kind);

// "%d x %d %s (zoom=%d %%) - %ld Ko free - Ressources left: %d %%", followed by
// " (Loaded in S.HHs)" when the image was loaded from a file in 10 ms or more; without an image
// "%ld Ko free - Ressources left: %d %%".
QString ImageInfoText(const IMG* image, int zoom, uint32_t loadTimeMs, const MemoryStatus& memory);
