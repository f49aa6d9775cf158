// Format choice: a load goes by the file's signature when it has one and by its extension otherwise
// (IMG, raw fax); a save goes by the extension. "jpeg" and "jpe" name JPEG files and "tiff" TIFF
// files, in any case. The entry points copy the user's profile settings into the codec's options
// before every call.
#pragma once

#include <span>
#include <string>

#include "core/image.h"
#include "formats/profile_key.h"

struct SplitName {
    std::string directory;  // up to and including the last separator, or empty
    std::string baseName;   // between the directory and the last dot
    std::string extension;  // after the last dot, without it; empty when there is no dot
};

// "/" and "\" separate anywhere, ":" only as the second character (a drive, "D:").
SplitName SplitFileName(const std::string& path);

// Loads by signature, else by extension; a signature that disagrees with the extension wins, with a
// warning naming both. A file with neither shows "Unknown file extension %s for file %s" in a message
// box captioned "Error" and yields no image (null).
ImagePtr LoadImageByExtension(const char* fileName);
// True when LoadImageByExtension has a loader for the file's extension (the name alone decides, so
// that folders are listed without reading every file).
bool HasLoaderFor(const char* fileName);
// The extension whose loader reads the file: its signature's ("jpg" for a JPEG file named x.bmp),
// else its own with the other spellings mapped ("jpg" for x.JPEG). The contact sheets' loaders use it.
std::string LoadExtensionOf(const char* fileName);
// The loader LoadImageByExtension picks for the file, by the same rule: the extension of its route
// ("jpg" for a JPEG named x.bmp or x.JPEG, "pcd" for an image pack), "overview" for a Photo CD
// overview, or empty when no loader reads it.
std::string LoadRouteName(const char* fileName);
// The load keys of TIFF files: the photos' AutoRotate key (listed with the JPEG keys; the TIFF option
// has the same name), for the Orientation tag.
std::span<const ProfileKey> TiffLoadKeys();
// True when SaveImageByExtension has a saver for the file's extension.
bool HasSaverFor(const char* fileName);
// The extensions read and written, in the dispatch's order, each once, then the other spellings
// ("jpeg=jpg"): what `lumo --help` lists.
std::string ReadableExtensions();
std::string WritableExtensions();
std::string ExtensionAliases();
// Saves by extension; an unknown extension shows the same message box, writes nothing and
// yields false. Codec failures are reported by the codec (LumoFailure).
bool SaveImageByExtension(const IMG* image, const char* fileName);
// The same with the format named apart from the file name (a device such as /dev/full has none).
bool SaveImageAs(const IMG* image, const char* fileName, const std::string& extension);

// The TIFF compression settings the profile asks for when saving this image (the "TIFF rule").
struct TiffSaveSettings {
    int compression = -1;  // TIFF tag value: 1 none, 3 G3, 4 G4, 5 LZW, 7 JPEG, 32773 PackBits, -1 undecided
    int optionsG3 = -1;    // "optionsg3" to set (0 1-D, 1 2-D), or -1 to leave it
    int predictor = -1;    // "predictor" to set (0 or 1), or -1 to leave it
};
TiffSaveSettings DecideTiffCompression(const IMG& image);
