// Lossless turns of JPEG files with the user's settings, for lumo convert --lossless and the
// viewer's Save after Rotate and Flip.
#pragma once

#include <string>

#include "formats/jpeg/jpeg_transform.h"
#include "jobs/transform.h"

// The profile's AutoRotate: JPEG photos are shown upright by their Exif Orientation.
bool AutoRotateSetting();
// A lossless turn by step of the picture as the user sees it, with AutoRotate and KeepMetadata
// from the profile.
JpegTurn UserJpegTurn(Orientation step);

// The one step of the transform's --rotate, then --flip.
Orientation TurnOf(const ImageTransform& transform);
// True when the transform does nothing but turn and mirror, which a lossless turn can do.
bool OnlyTurns(const ImageTransform& transform);

// True for the names a lossless turn may write: .jpg and .jpeg (any case).
bool IsJpegName(const std::string& fileName);
