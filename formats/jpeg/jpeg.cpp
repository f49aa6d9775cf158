#include "formats/jpeg/jpeg.h"

#include "core/messages.h"
#include "core/options.h"
#include "formats/jpeg/jpeg_decode.h"
#include "formats/jpeg/jpeg_encode.h"
#include "formats/jpeg/jpeg_options.h"
#include "formats/output_file.h"

namespace {

JpegOptions options;

constexpr NamedOption<int> kIntOptions[] = {
    {"quality", &options.quality},
    {"readrgb", &options.readRgb},
    {"forcegray", &options.forceGray},
    {"optimize", &options.optimize},
    {"fast", &options.fast},
    {"ratio", &options.ratio},
    {"crsubsampling", &options.crSubsampling},
    {"usefloat", &options.useFloat},
    {"thumbnailw", &options.thumbnailWidth},
    {"thumbnailh", &options.thumbnailHeight},
    {"thumbnailmode", &options.thumbnailMode},
    {"autorotate", &options.autoRotate},
};
constexpr OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown JPEG option: %s");

constexpr NamedOption<std::optional<std::string>> kStringOptions[] = {{"comment", &options.comment}};
const OptionRegistry<std::optional<std::string>> kStringRegistry(kStringOptions, "Unknown JPEG option: %s");

// The user's JPEG settings in the profile, and the options the dispatch copies them into.
constexpr ProfileKey kJpegProfileKeys[] = {
    {"JpegQuality", "75", "10-100", "quality", KeyUse::Save, "Quality must be between 10 and 100"},
    {"JpegFast", "1", "0,1", "fast", KeyUse::LoadAndSave},
    {"JpegOptimize", "0", "0,1", "optimize", KeyUse::Save},
    {"JpegCrSubsampling", "2", "1,2", "crsubsampling", KeyUse::Save},
    {"JpegRatio", "1", "1,2,4,8", "ratio", KeyUse::Load},
    {"JpegForceGray", "0", "0,1", "forcegray", KeyUse::Load},
    {"JpegReadRgb", "1", "0,1", "readrgb", KeyUse::Load},
    {"JpegUseFloat", "0", "0,1", "usefloat", KeyUse::LoadAndSave},
    {"AutoRotate", "1", "0,1", "autorotate", KeyUse::Load},
};

[[noreturn]] void ReportLoadFailure(const std::string& message, const char* path) {
    LumoError("LoadJpeg", "%s (while loading %s)", message.c_str(), path);
}

}  // namespace

std::span<const ProfileKey> JpegProfileKeys() { return kJpegProfileKeys; }

void LumoSetIntOptionJpeg(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionJpeg", name, value); }

int LumoGetIntOptionJpeg(const char* name) { return kIntRegistry.get("LumoGetIntOptionJpeg", name); }

void LumoSetStringOptionJpeg(const char* name, const char* text) {
    kStringRegistry.set("LumoSetStringOptionJpeg", name, text ? std::optional<std::string>(text) : std::nullopt);
}

const char* LumoGetStringOptionJpeg(const char* name) {
    const std::optional<std::string>& text = kStringRegistry.get("LumoGetStringOptionJpeg", name);
    return text ? text->c_str() : nullptr;
}

ImagePtr LoadJpegFrom(InputFile& file) {
    std::string failure;
    ImagePtr image = DecodeJpeg(file, options, failure);
    if (!image) ReportLoadFailure(failure, file.name().c_str());
    LumoProgress(-2);
    return image;
}

ImagePtr LumoLoadJpeg(const char* path) {
    std::string failure;
    ImagePtr image;
    {
        InputFile file(path, "LumoLoadJpeg", "can't open JPEG file %s");
        image = DecodeJpeg(file, options, failure);
    }  // the file is closed before a failure is reported
    if (!image) ReportLoadFailure(failure, path);
    LumoProgress(-2);
    return image;
}

ImageInfo ReadJpegInfo(const char* path) {
    std::string failure;
    ImageInfo info;
    bool read;
    {
        InputFile file(path, "LumoLoadJpeg", "can't open JPEG file %s");
        read = ReadJpegHeaderInfo(file, options, info, failure);
    }
    if (!read) ReportLoadFailure(failure, path);
    return info;
}

void WriteJpeg(const IMG* image, const ByteSink& sink, const char* name) {
    // Rows of every kind are expanded as they go.
    const std::optional<std::string> failure = EncodeJpeg(*image, sink, options);
    if (failure) LumoError("SaveJpeg", "%s (while saving %s)", failure->c_str(), name);
}

void LumoSaveJpeg(const IMG* image, const char* path) {
    // A failed save removes the temporary file as the error unwinds; an existing file stays as it was.
    OutputFile out(path, "LumoSaveJpeg", "Can't open file %s\n");
    LumoProgress(-1);
    WriteJpeg(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); }, path);
    out.commit();
    LumoProgress(-2);
}
