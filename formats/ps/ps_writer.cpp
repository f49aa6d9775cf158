#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "core/messages.h"
#include "core/options.h"
#include "formats/ps/ps.h"
#include "formats/ps/ps_bodies.h"
#include "formats/ps/ps_document.h"

namespace {

int epsOption = 1;     // non-zero: a single image declares Encapsulated PostScript
int level2Option = 0;  // non-zero: BW and gray images go through the Level 2 filters
float printedWidth = 0;   // "pw": inches; with "ph" non-zero too it replaces the natural width
float printedHeight = 0;  // "ph": inches
const NamedOption<int> kIntOptions[] = {{"eps", &epsOption}, {"level2", &level2Option}};
const NamedOption<float> kFloatOptions[] = {{"pw", &printedWidth}, {"ph", &printedHeight}};
const OptionRegistry<int> kIntRegistry(kIntOptions, "Unknown PS option: %s");
const OptionRegistry<float> kFloatRegistry(kFloatOptions, "Unknown PS option: %s");
// The user's PostScript settings in the profile, and the options the dispatch copies them into.
constexpr ProfileKey kPSProfileKeys[] = {{"PSLevel2", "0", "0,1", "level2", KeyUse::Save},
                                         {"PSEps", "0", "0,1", "eps", KeyUse::Save}};

constexpr float kPointsPerInch = 72;

// Points covered by pixels at resolution dots per inch. An unstated resolution (0) counts as 72, and
// so does one that is no positive number (a BMP header may hold a negative one), which would
// otherwise mirror the page.
float NaturalPoints(int pixels, float resolution) {
    const float dpi = resolution > 0 && std::isfinite(resolution) ? resolution : kPointsPerInch;
    return kPointsPerInch / dpi * static_cast<float>(pixels);
}

// A bounding-box coordinate: the size rounded up to whole points (held to what a long holds).
long RoundedUp(float points) {
    const double up = std::ceil(static_cast<double>(points));
    return up < static_cast<double>(LONG_MAX) ? static_cast<long>(up) : LONG_MAX;
}

struct NaturalSize {
    float width;   // points
    float height;  // points
};

NaturalSize NaturalSizeOf(const IMG& image) {
    return {NaturalPoints(image.width, image.xResolution), NaturalPoints(image.height, image.yResolution)};
}

// The current local time as 24 characters, "Tue Dec 08 16:39:37 2026", in English whatever the locale.
std::string CreationDate() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d", kDays[local.tm_wday % 7],
                  kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_year + 1900);
    return text;
}

// The path for the Title comment. A line end in a file name would end the comment and make the rest
// of the name PostScript code, so control characters are shown as '?'.
std::string TitleText(const char* path) {
    std::string title = path;
    for (char& c : title)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return title;
}

// The DSC header; the bounding box only for a single image.
void WriteHeader(PSDocument& document, const char* path, bool eps, const IMG* single) {
    document.print("%%!PS-Adobe-3.0%s\n", eps ? " EPSF-3.0" : "");
    document.print("%%%%Creator: lumo\n");
    document.print("%%%%Title: %s\n", TitleText(path).c_str());
    document.print("%%%%CreationDate: %s\n", CreationDate().c_str());
    document.print("%%%%Origin: %ld %ld\n", 0L, 0L);
    if (single) {
        const NaturalSize size = NaturalSizeOf(*single);
        document.print("%%%%BoundingBox: 0 0 %ld %ld\n", RoundedUp(size.width), RoundedUp(size.height));
    }
    document.print("%%%%Pages: (atend)\n");
    document.print("%%%%EndComments\n");
}

// The page's own state and the scaling that makes the unit square the image's printed size.
void WritePageSetup(PSDocument& document, const IMG& image) {
    document.print("gsave\n");
    document.print("100 dict begin\n");
    const NaturalSize size = NaturalSizeOf(image);
    if (printedWidth != 0 && printedHeight != 0)
        document.print("%f %f scale\n", static_cast<double>(kPointsPerInch * printedWidth),
                       static_cast<double>(kPointsPerInch * printedHeight));
    else
        document.print("%f %f scale\n", static_cast<double>(size.width), static_cast<double>(size.height));
}

void WritePageEnd(PSDocument& document) {
    document.print("end\n");
    document.print("grestore\n");
    document.print("showpage\n");
}

// The trailer with the page count; then the file takes the target's place.
void Finish(PSDocument& document) {
    document.print("%%%%Trailer\n");
    document.print("%%%%Pages: %u\n", document.pages);
    document.print("%%%%EOF\n");
    document.commit();
}

}  // namespace

PSDocument::PSDocument(const char* path, const char* module)
    : file_(path, module), sink_([this](const uint8_t* bytes, size_t count) { file_.write(bytes, count); }) {}

void PSDocument::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = LumoFormatMessage(format, args);
    va_end(args);
    file_.write(text.data(), text.size());
}

void PSDocument::write(const char* text) { file_.write(text, std::char_traits<char>::length(text)); }

void PSDocumentDeleter::operator()(PSDocument* document) const { delete document; }

PSDocumentPtr OpenPSMono(const char* path, const IMG* image) {
    PSDocumentPtr document(new PSDocument(path, "OpenPSMono"));
    WriteHeader(*document, path, epsOption != 0, image);
    document->pages = 1;
    document->print("%%%%Page: %d %d\n", 1, 1);
    WritePageSetup(*document, *image);
    return document;
}

void LumoSavePS(const IMG* image, const char* path) {
    PSDocumentPtr document = OpenPSMono(path, image);
    WritePSImageBody(*image, *document);
    WritePageEnd(*document);
    Finish(*document);
}

// A document of several pages has no bounding box and so is never declared EPS, whatever "eps" says.
PSDocumentPtr LumoOpenPS(const char* path) {
    PSDocumentPtr document(new PSDocument(path, "LumoOpenPS"));
    WriteHeader(*document, path, false, nullptr);
    document->pages = 0;
    return document;
}

void LumoAddPagePS(const IMG* image, PSDocument& stream) {
    const unsigned page = ++stream.pages;
    stream.print("%%%%Page: %u %u\n", page, page);
    const NaturalSize size = NaturalSizeOf(*image);
    stream.print("%%%%PageBoundingBox: 0 0 %ld %ld\n", RoundedUp(size.width), RoundedUp(size.height));
    WritePageSetup(stream, *image);
    WritePSImageBody(*image, stream);
    WritePageEnd(stream);
}

void LumoClosePS(PSDocumentPtr stream) { Finish(*stream); }

void LumoSetIntOptionPS(const char* name, int value) { kIntRegistry.set("LumoSetIntOptionPS", name, value); }
int LumoGetIntOptionPS(const char* name) { return kIntRegistry.get("LumoGetIntOptionPS", name); }
void LumoSetFloatOptionPS(const char* name, float value) {
    kFloatRegistry.set("LumoSetFloatOptionPS", name, value);
}
float LumoGetFloatOptionPS(const char* name) { return kFloatRegistry.get("LumoGetFloatOptionPS", name); }

std::span<const ProfileKey> PSProfileKeys() { return kPSProfileKeys; }
