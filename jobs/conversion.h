// Conversion of a picture to another kind with the user's settings: the options "threshold" and
// "dither" come from the profile keys "Threshold" and "NoDither" at every call. The viewer's
// conversion commands and `lumo convert --to` both convert through here.
#pragma once

#include <span>

#include "core/image.h"
#include "formats/profile_key.h"

// The profile keys "Threshold" and "NoDither", rows of the table of settings.
std::span<const ProfileKey> ConversionProfileKeys();

// Sets the conversion options the target kind uses from the profile.
void SetConversionOptionsFromProfile(ImageKind target);
// A new image of the target kind (the source is left alone); the options are set first.
ImagePtr ConvertWithUserSettings(const IMG* image, ImageKind target);
