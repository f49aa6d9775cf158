// Conversion of a picture to another kind with the user's settings: the options "threshold" and
// "dither" come from the profile keys "Threshold" and "NoDither" at every call. The viewer's
// conversion commands and `lumo convert --to` both convert through here.
#pragma once

#include "core/image.h"

// Sets the conversion options the target kind uses from the profile.
void SetConversionOptionsFromProfile(ImageKind target);
// A new image of the target kind (the source is left alone); the options are set first.
ImagePtr ConvertWithUserSettings(const IMG* image, ImageKind target);
