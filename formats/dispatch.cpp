#include "formats/dispatch.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>
#include <vector>

#include "core/messages.h"
#include "formats/avif/avif.h"
#include "formats/jxl/jxl.h"
#include "formats/bmp.h"
#include "formats/g3/g3.h"
#include "formats/gif/gif.h"
#include "formats/img.h"
#include "formats/jbig/jbig.h"
#include "formats/jpeg/jpeg.h"
#include "formats/layered_load.h"
#include "formats/load_limits.h"
#include "formats/metadata/keep_metadata.h"
#include "formats/mok/mok.h"
#include "formats/pcd/pcd.h"
#include "formats/png/png.h"
#include "formats/ps/ps.h"
#include "formats/signature.h"
#include "formats/tiff/tiff.h"
#include "formats/webp/webp.h"
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
    // The same load handing over the coarse levels first, for the formats that hold them; or null.
    ImagePtr (*loadInLevels)(const char* fileName, const CoarseLevelSink& coarse) = nullptr;
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
    {"tif", nullptr, TiffLoadKeys, LumoSetIntOptionTiff, LumoLoadTiff},
    {"gif", nullptr, GifProfileKeys, LumoSetIntOptionGif, LumoLoadGif},
    {"bie", nullptr, JbigProfileKeys, LumoSetIntOptionJbig, LumoLoadJbig, LumoLoadJbigInLevels},
    {"bmp", nullptr, nullptr, nullptr, LumoLoadBmp},
    {"img", nullptr, nullptr, nullptr, LumoLoadIMG},
    {"mok", nullptr, MokProfileKeys, LumoSetIntOptionMok, LumoLoadMok, LumoLoadMokInLevels},
    {"pcd", "overview", nullptr, nullptr, LoadPcdOverview},
    {"pcd", nullptr, PcdProfileKeys, LumoSetIntOptionPcd, LumoLoadPcd, LumoLoadPcdInLevels},
    {"fax", nullptr, nullptr, nullptr, LumoLoadG3},
    {"jpg", nullptr, JpegProfileKeys, LumoSetIntOptionJpeg, LumoLoadJpeg},
    {"png", nullptr, nullptr, nullptr, LumoLoadPng},
    {"webp", nullptr, nullptr, nullptr, LumoLoadWebp},
    {"avif", nullptr, nullptr, nullptr, LumoLoadAvif},
    {"jxl", nullptr, nullptr, nullptr, LumoLoadJxl},
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
    {"png", PngProfileKeys, LumoSetIntOptionPng, nullptr, LumoSavePng},
    {"webp", WebpProfileKeys, LumoSetIntOptionWebp, nullptr, LumoSaveWebp},
    {"avif", AvifProfileKeys, LumoSetIntOptionAvif, nullptr, LumoSaveAvif},
    {"jxl", JxlProfileKeys, LumoSetIntOptionJxl, nullptr, LumoSaveJxl},
};

bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// Other spellings of an extension, read and written as the format they name.
struct ExtensionAlias {
    const char* alias;
    const char* extension;
};
constexpr ExtensionAlias kExtensionAliases[] = {{"jpeg", "jpg"}, {"jpe", "jpg"}, {"tiff", "tif"}};

// The extension the routes know the name's extension by (any case), or the extension itself.
std::string RouteExtension(const std::string& extension) {
    for (const ExtensionAlias& alias : kExtensionAliases)
        if (SameText(extension, alias.alias)) return alias.extension;
    return extension;
}

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
    const std::string extension = RouteExtension(split.extension);
    for (const LoadRoute& route : kLoadRoutes) {
        if (!SameText(extension, route.extension)) continue;
        if (route.baseName && !SameText(split.baseName, route.baseName)) continue;
        return &route;
    }
    return nullptr;
}

// The loader the file's signature asks for, or null when it has none.
const LoadRoute* LoadRouteForSignature(const Signature& signature) {
    if (signature.extension.empty()) return nullptr;
    for (const LoadRoute& route : kLoadRoutes)
        if (signature.extension == route.extension && (route.baseName != nullptr) == signature.overview) return &route;
    return nullptr;
}

const char* FormatName(const LoadRoute& route) { return route.baseName ? "Photo CD overview" : route.extension; }

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

std::string LoadExtensionOf(const char* fileName) {
    const Signature signature = FileSignature(fileName);
    return signature.extension.empty() ? RouteExtension(SplitFileName(fileName).extension) : signature.extension;
}

bool HasSaverFor(const char* fileName) {
    const std::string extension = RouteExtension(SplitFileName(fileName).extension);
    return std::any_of(std::begin(kSaveRoutes), std::end(kSaveRoutes),
                       [&](const SaveRoute& route) { return SameText(extension, route.extension); });
}

namespace {

// The routes' extensions, each once ("pcd" has two rows), separated by spaces.
template <typename Route, size_t N>
std::string ListExtensions(const Route (&routes)[N]) {
    std::vector<std::string> seen;
    std::string list;
    for (const Route& route : routes) {
        if (std::find(seen.begin(), seen.end(), route.extension) != seen.end()) continue;
        seen.emplace_back(route.extension);
        list += (list.empty() ? "" : " ") + seen.back();
    }
    return list;
}

}  // namespace

std::string ReadableExtensions() { return ListExtensions(kLoadRoutes); }
std::string WritableExtensions() { return ListExtensions(kSaveRoutes); }

std::string ExtensionAliases() {
    std::string list;
    for (const ExtensionAlias& alias : kExtensionAliases) {
        if (!list.empty()) list += ' ';
        list.append(alias.alias).append("=").append(alias.extension);
    }
    return list;
}

std::string LoadRouteName(const char* fileName) {
    const LoadRoute* route = LoadRouteForSignature(FileSignature(fileName));
    if (!route) route = LoadRouteFor(SplitFileName(fileName));
    if (!route) return "";
    return route->baseName ? route->baseName : route->extension;
}

std::span<const ProfileKey> TiffLoadKeys() {
    const std::span<const ProfileKey> jpeg = JpegProfileKeys();
    const auto autoRotate = std::find_if(jpeg.begin(), jpeg.end(),
                                         [](const ProfileKey& key) { return std::strcmp(key.key, "AutoRotate") == 0; });
    return autoRotate == jpeg.end() ? std::span<const ProfileKey>() : std::span<const ProfileKey>(&*autoRotate, 1);
}

bool HasLoaderFor(const char* fileName) { return LoadRouteFor(SplitFileName(fileName)) != nullptr; }

namespace {

// The loader the signature picks, else the extension's, with the warning when the two disagree.
const LoadRoute* ChooseLoadRoute(const char* fileName, const SplitName& split) {
    const LoadRoute* byName = LoadRouteFor(split);
    const LoadRoute* found = LoadRouteForSignature(FileSignature(fileName));
    if (found && byName && found != byName)
        LumoWarning("LoadImageByExtension", "%s holds a %s file, not %s as its extension says: loaded as %s", fileName,
                    FormatName(*found), FormatName(*byName), FormatName(*found));
    return found ? found : byName;
}

// A load by the chosen route, with coarse levels handed over when a sink is given and the format
// has them.
ImagePtr LoadByRoute(const char* fileName, const CoarseLevelSink* coarse) {
    const SplitName split = SplitFileName(fileName);
    if (const LoadRoute* found = ChooseLoadRoute(fileName, split)) {
        const LoadRoute& route = *found;
        CopyProfileOptions(LoadLimitProfileKeys, KeyUse::Load, LumoSetIntOption);  // the limit every loader checks
        CopyProfileOptions(MetadataProfileKeys, KeyUse::Load, LumoSetIntOption);
        CopyProfileOptions(route.keys, KeyUse::Load, route.setOption);
        if (coarse && route.loadInLevels) return route.loadInLevels(fileName, *coarse);
        return route.load(fileName);
    }
    ReportUnknownExtension(split.extension, fileName);
    return nullptr;
}

}  // namespace

bool HasCoarseLevels(const char* fileName) {
    const LoadRoute* route = LoadRouteForSignature(FileSignature(fileName));
    if (!route) route = LoadRouteFor(SplitFileName(fileName));
    return route && route->loadInLevels;
}

ImagePtr LoadImageInLevels(const char* fileName, const CoarseLevelSink& coarse) { return LoadByRoute(fileName, &coarse); }

ImagePtr LoadImageByExtension(const char* fileName) { return LoadByRoute(fileName, nullptr); }

bool SaveImageByExtension(const IMG* image, const char* fileName) {
    return SaveImageAs(image, fileName, SplitFileName(fileName).extension);
}

bool SaveImageAs(const IMG* image, const char* fileName, const std::string& format) {
    const std::string extension = RouteExtension(format);
    for (const SaveRoute& route : kSaveRoutes) {
        if (!SameText(extension, route.extension)) continue;
        CopyProfileOptions(route.keys, KeyUse::Save, route.setOption);
        CopyProfileOptions(MetadataProfileKeys, KeyUse::Save, LumoSetIntOption);
        if (route.prepare) route.prepare(*image);
        route.save(image, fileName);
        return true;
    }
    ReportUnknownExtension(format, fileName);
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
