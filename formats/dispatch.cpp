#include "formats/dispatch.h"

#include <strings.h>

#include <span>

#include "core/messages.h"
#include "formats/bmp.h"
#include "formats/g3/g3.h"
#include "formats/gif/gif.h"
#include "formats/img.h"
#include "formats/jbig/jbig.h"
#include "formats/jpeg/jpeg.h"
#include "formats/load_limits.h"
#include "formats/mok/mok.h"
#include "formats/pcd/pcd.h"
#include "formats/ps/ps.h"
#include "formats/tiff/tiff.h"
#include "platform/message_box.h"
#include "platform/profile.h"

namespace {

using IntOptionSetter = void (*)(const char* name, int value);

struct LoadRoute {
    const char* extension;
    const char* baseName;  // only files of this base name (any case); null for any
    std::span<const ProfileKey> (*keys)();  // the codec's profile keys, or null
    IntOptionSetter setOption;
    ImagePtr (*load)(const char* fileName);
};

struct SaveRoute {
    const char* extension;
    std::span<const ProfileKey> (*keys)();  // the codec's profile keys, or null
    IntOptionSetter setOption;
    void (*prepare)(const IMG& image);  // settings beyond plain integer keys, or null
    void (*save)(const IMG* image, const char* fileName);
};

// Extensions are tested in this order; a codec joins with one row.
const LoadRoute kLoadRoutes[] = {
    {"tif", nullptr, nullptr, nullptr, LumoLoadTiff},
    {"gif", nullptr, GifProfileKeys, LumoSetIntOptionGif, LumoLoadGif},
    {"bie", nullptr, JbigProfileKeys, LumoSetIntOptionJbig, LumoLoadJbig},
    {"bmp", nullptr, nullptr, nullptr, LumoLoadBmp},
    {"img", nullptr, nullptr, nullptr, LumoLoadIMG},
    {"mok", nullptr, MokProfileKeys, LumoSetIntOptionMok, LumoLoadMok},
    {"pcd", "overview", nullptr, nullptr, LoadPcdOverview},
    {"pcd", nullptr, PcdProfileKeys, LumoSetIntOptionPcd, LumoLoadPcd},
    {"fax", nullptr, nullptr, nullptr, LumoLoadG3},
    {"jpg", nullptr, JpegProfileKeys, LumoSetIntOptionJpeg, LumoLoadJpeg},
};

// The TIFF rule: the compression (and its G3 or predictor setting) the profile asks for this image,
// and the program's name in the Software tag.
void PrepareTiffSave(const IMG& image) {
    const TiffSaveSettings settings = DecideTiffCompression(image);
    if (settings.optionsG3 != -1) LumoSetIntOptionTiff("optionsg3", settings.optionsG3);
    if (settings.predictor != -1) LumoSetIntOptionTiff("predictor", settings.predictor);
    LumoSetIntOptionTiff("compression", settings.compression);
    LumoSetStringOptionTiff("software", kSoftwareName);
}

const SaveRoute kSaveRoutes[] = {
    {"tif", nullptr, nullptr, PrepareTiffSave, LumoSaveTiff},
    {"gif", GifProfileKeys, LumoSetIntOptionGif, nullptr, LumoSaveGif},
    {"bmp", nullptr, nullptr, nullptr, SaveBmp},
    {"bie", JbigProfileKeys, LumoSetIntOptionJbig, nullptr, SaveJbig},
    {"mok", nullptr, nullptr, nullptr, LumoSaveMok},
    {"img", nullptr, nullptr, nullptr, LumoSaveIMG},
    {"jpg", JpegProfileKeys, LumoSetIntOptionJpeg, nullptr, LumoSaveJpeg},
    {"ps", PSProfileKeys, LumoSetIntOptionPS, nullptr, LumoSavePS},
};

bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// Copies the codec's keys for this direction from the profile into its options.
void CopyProfileOptions(std::span<const ProfileKey> (*keys)(), KeyUse direction, IntOptionSetter setOption) {
    if (!keys) return;
    for (const ProfileKey& key : keys())
        if (CopiedWhen(key, direction)) setOption(key.option, ReadProfileKeyInt(key));
}

void ReportUnknownExtension(const std::string& extension, const char* fileName) {
    const std::string text = "Unknown file extension " + extension + " for file " + fileName;
    ShowMessageBox("Error", text.c_str(), MessageIcon::Exclamation);
}

// The loader of a file name, or null when no codec reads its extension.
const LoadRoute* LoadRouteFor(const SplitName& split) {
    for (const LoadRoute& route : kLoadRoutes) {
        if (!SameText(split.extension, route.extension)) continue;
        if (route.baseName && !SameText(split.baseName, route.baseName)) continue;
        return &route;
    }
    return nullptr;
}

}  // namespace

SplitName SplitFileName(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t end = dot == std::string::npos ? path.size() : dot;
    SplitName split;
    if (dot != std::string::npos) split.extension = path.substr(dot + 1);
    // Search backwards from the character before the dot; the first character is never a separator.
    size_t separator = std::string::npos;
    for (size_t i = end; i-- > 1;) {
        const char c = path[i];
        if (c == '/' || c == '\\' || (c == ':' && i == 1)) {
            separator = i;
            break;
        }
    }
    if (separator != std::string::npos) {
        split.directory = path.substr(0, separator + 1);
        split.baseName = path.substr(separator + 1, end - separator - 1);
    } else {
        split.baseName = path.substr(0, end);
    }
    return split;
}

bool HasLoaderFor(const char* fileName) { return LoadRouteFor(SplitFileName(fileName)) != nullptr; }

ImagePtr LoadImageByExtension(const char* fileName) {
    const SplitName split = SplitFileName(fileName);
    if (const LoadRoute* found = LoadRouteFor(split)) {
        const LoadRoute& route = *found;
        CopyProfileOptions(LoadLimitProfileKeys, KeyUse::Load, LumoSetIntOption);  // the limit every loader checks
        CopyProfileOptions(route.keys, KeyUse::Load, route.setOption);
        return route.load(fileName);
    }
    ReportUnknownExtension(split.extension, fileName);
    return nullptr;
}

bool SaveImageByExtension(const IMG* image, const char* fileName) {
    const SplitName split = SplitFileName(fileName);
    for (const SaveRoute& route : kSaveRoutes) {
        if (!SameText(split.extension, route.extension)) continue;
        CopyProfileOptions(route.keys, KeyUse::Save, route.setOption);
        if (route.prepare) route.prepare(*image);
        route.save(image, fileName);
        return true;
    }
    ReportUnknownExtension(split.extension, fileName);
    return false;
}

TiffSaveSettings DecideTiffCompression(const IMG& image) {
    TiffSaveSettings settings;
    const ImageKind kind = KindOf(image);
    if (kind == ImageKind::BW) {
        const std::string bw = ProfileString("TiffBWCompression", "");
        if (bw == "FAX3") settings = {3, 0, -1};
        else if (bw == "FAX32D") settings = {3, 1, -1};
        else if (bw == "FAX4") settings.compression = 4;
    } else if (kind == ImageKind::RGB) {
        if (ProfileString("TiffColorCompression", "") == "JPEG") settings.compression = 7;
    }
    if (settings.compression != -1) return settings;

    const std::string compression = ProfileString("TiffCompression", "LZW");
    if (compression == "Raw") {
        settings.compression = 1;
    } else if (compression == "LZW") {
        settings.compression = 5;
        const std::string predictor = ProfileString("TiffPredictor", "Never");
        if (predictor == "Never") settings.predictor = 0;
        else if (predictor == "Always") settings.predictor = 1;
        else if (predictor == "Smart") settings.predictor = kind == ImageKind::GRAY256 || kind == ImageKind::RGB;
    } else if (compression == "Packbits") {
        settings.compression = 32773;
    }
    return settings;
}
