// PostScript (write only): one image as an Encapsulated PostScript file or a plain one-page file,
// or several images as the pages of one document. Images go out as hexadecimal text: bi-level and
// gray images through `image` (or, with "level2", compressed through the Level 2 filters), colour and
// palette images through `colorimage` with a prologue for printers that lack it. Every file is
// written through OutputFile: a save or document that fails leaves an existing target as it was.
#pragma once

#include <memory>
#include <span>

#include "core/image.h"
#include "formats/profile_key.h"

// Writes one image as a complete file: header with bounding box, page 1, the trailer.
void LumoSavePS(const IMG* image, const char* path);

// An open multi-page document. Its file is put in place by LumoClosePS only: a document dropped
// without closing (an abandoned operation) leaves the target untouched.
class PSDocument;
struct PSDocumentDeleter {
    void operator()(PSDocument* document) const;
};
using PSDocumentPtr = std::unique_ptr<PSDocument, PSDocumentDeleter>;

// Starts a document (header without bounding box, no pages yet); "Can't open file %s" (module
// "LumoOpenPS") when the file cannot be created.
PSDocumentPtr LumoOpenPS(const char* path);
// Adds the image as the next page.
void LumoAddPagePS(const IMG* image, PSDocument& stream);
// Writes the trailer with the page count and puts the file in place.
void LumoClosePS(PSDocumentPtr stream);

// Integer options "eps" (1: a single image declares EPSF-3.0) and "level2" (0: non-zero sends BW and
// gray images compressed, Group 4 and LZW); float options "pw" and "ph" (0: the printed width and
// height in inches, used when both are non-zero). An unknown name is "Unknown PS option: %s".
void LumoSetIntOptionPS(const char* name, int value);
int LumoGetIntOptionPS(const char* name);
void LumoSetFloatOptionPS(const char* name, float value);
float LumoGetFloatOptionPS(const char* name);

// The profile keys of the PostScript settings ("PSLevel2", "PSEps"), with the options they set.
std::span<const ProfileKey> PSProfileKeys();
