#include "formats/metadata/exif_summary.h"


#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>
#include <type_traits>

#include "formats/metadata/exif_block.h"

namespace {

// A number with at most `places` decimals, trailing zeros dropped ("2.8", "8"). to_chars, not
// printf: the viewer runs under the user's locale, which may write a decimal comma.
std::string Decimal(double value, int places, bool dropZeros = true) {
    char text[400];  // room for any finite double written out in full
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, places);
    if (error != std::errc()) return {};
    std::string result(text, end);
    if (dropZeros && result.find('.') != std::string::npos) {
        while (result.back() == '0') result.pop_back();
        if (result.back() == '.') result.pop_back();
    }
    return result;
}

bool Positive(std::optional<double> value) { return value && std::isfinite(*value) && *value > 0; }

// Control characters become blanks; blanks around the text go.
std::string Cleaned(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// True when the text begins with the words, whatever their case, and a word ends there.
bool StartsWithWords(const std::string& text, const std::string& words) {
    return text.size() >= words.size() && (text.size() == words.size() || text[words.size()] == ' ') &&
           std::equal(words.begin(), words.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// "Canon" + "Canon EOS 5D" gives "Canon EOS 5D", "NIKON CORPORATION" + "NIKON D750" gives
// "NIKON D750" (the make's first word), "Apple" + "iPhone 12" gives "Apple iPhone 12".
std::string MakerAndModel(const std::string& make, const std::string& model) {
    if (make.empty() || model.empty()) return make.empty() ? model : make;
    if (StartsWithWords(model, make) || StartsWithWords(model, make.substr(0, make.find(' ')))) return model;
    return make + " " + model;
}

class SummaryReader {
public:
    explicit SummaryReader(std::span<const uint8_t> block) : exif_(block) {}

    bool valid() const { return exif_.valid(); }

    // The field of the tag in the first of the directories that holds it: writers do not all put
    // the photo's fields where Exif says.
    const ExifField* find(uint16_t tag, std::initializer_list<ExifIfd> directories) const {
        for (const ExifIfd ifd : directories)
            if (const ExifField* field = exif_.find(ifd, tag)) return field;
        return nullptr;
    }

    std::string text(uint16_t tag, std::initializer_list<ExifIfd> directories) const {
        const ExifField* field = find(tag, directories);
        if (!field || (field->type != kExifAscii && field->type != kExifUndefined)) return {};
        return Cleaned(exif_.text(*field));
    }

    std::optional<double> rational(uint16_t tag, std::initializer_list<ExifIfd> directories, uint32_t index = 0) const {
        const ExifField* field = find(tag, directories);
        return field ? exif_.rational(*field, index) : std::nullopt;
    }

    std::optional<long long> integer(uint16_t tag, std::initializer_list<ExifIfd> directories) const {
        const ExifField* field = find(tag, directories);
        return field ? exif_.integer(*field) : std::nullopt;
    }

    // A GPS coordinate of degrees, minutes and seconds as degrees; nothing when a part is damaged
    // or the whole lies beyond `limit`.
    std::optional<double> degrees(uint16_t tag, double limit) const {
        const ExifField* field = exif_.find(ExifIfd::Gps, tag);
        if (!field || field->count == 0) return std::nullopt;
        double total = 0, unit = 1;
        for (uint32_t part = 0; part < std::min<uint32_t>(field->count, 3); ++part, unit *= 60) {
            const std::optional<double> value = exif_.rational(*field, part);
            if (!value || !std::isfinite(*value) || *value < 0) return std::nullopt;
            total += *value / unit;
        }
        if (total > limit) return std::nullopt;
        return total;
    }

    // The first letter of a GPS reference when it is one of the two allowed.
    char reference(uint16_t tag, char positive, char negative) const {
        const std::string ref = text(tag, {ExifIfd::Gps});
        const char letter = ref.empty() ? 0 : static_cast<char>(std::toupper(static_cast<unsigned char>(ref[0])));
        return letter == positive || letter == negative ? letter : 0;
    }

private:
    ExifBlock exif_;
};

// "2024:05:01 10:20:30" as "2024-05-01 10:20:30"; a date of blanks or zeros (cameras write one
// when the clock was not set) is no date.
std::string DateText(std::string date) {
    if (date.find_first_of("123456789") == std::string::npos) return {};
    if (date.size() >= 10 && date[4] == ':' && date[7] == ':') date[4] = date[7] = '-';
    return date;
}

std::string ExposureTimeText(double seconds) {
    // Short times as the fraction a camera's dial shows.
    if (seconds < 1e-9) return {};  // a nanosecond: no shutter, a damaged value
    if (seconds < 0.25001) return "1/" + Decimal(std::round(1 / seconds), 0) + " s";
    return Decimal(seconds, 1) + " s";
}

}  // namespace

bool ExifSummary::empty() const {
    return camera.empty() && lens.empty() && dateTaken.empty() && exposureTime.empty() && aperture.empty() &&
           iso.empty() && focalLength.empty() && position.empty() && altitude.empty();
}

ExifSummary SummarizeExif(std::span<const uint8_t> block) {
    ExifSummary summary;
    const SummaryReader exif(block);
    if (!exif.valid()) return summary;
    constexpr auto kMain = ExifIfd::Main;
    constexpr auto kExif = ExifIfd::Exif;

    summary.camera = MakerAndModel(exif.text(kTagMake, {kMain, kExif}), exif.text(kTagModel, {kMain, kExif}));
    summary.lens = MakerAndModel(exif.text(kTagLensMake, {kExif, kMain}), exif.text(kTagLensModel, {kExif, kMain}));
    summary.dateTaken = DateText(exif.text(kTagDateTimeOriginal, {kExif, kMain}));
    if (summary.dateTaken.empty()) summary.dateTaken = DateText(exif.text(kTagDateTime, {kMain, kExif}));

    if (const std::optional<double> time = exif.rational(kTagExposureTime, {kExif, kMain}); Positive(time))
        summary.exposureTime = ExposureTimeText(*time);
    if (const std::optional<double> f = exif.rational(kTagFNumber, {kExif, kMain}); Positive(f))
        summary.aperture = "f/" + Decimal(*f, 1);
    if (const std::optional<long long> iso = exif.integer(kTagIsoSpeed, {kExif, kMain}); iso && *iso > 0)
        summary.iso = "ISO " + std::to_string(*iso);
    if (const std::optional<double> focal = exif.rational(kTagFocalLength, {kExif, kMain}); Positive(focal))
        summary.focalLength = Decimal(*focal, 1) + " mm";

    const std::optional<double> latitude = exif.degrees(kTagGpsLatitude, 90);
    const std::optional<double> longitude = exif.degrees(kTagGpsLongitude, 180);
    const char north = exif.reference(kTagGpsLatitudeRef, 'N', 'S');
    const char east = exif.reference(kTagGpsLongitudeRef, 'E', 'W');
    if (latitude && longitude && north && east)
        summary.position = Decimal(*latitude, 6, false) + "\u00B0 " + north + ", " + Decimal(*longitude, 6, false) +
                           "\u00B0 " + east;
    const std::optional<double> altitude = exif.rational(kTagGpsAltitude, {ExifIfd::Gps});
    if (altitude && std::isfinite(*altitude) && *altitude >= 0) {
        const bool below = exif.integer(kTagGpsAltitudeRef, {ExifIfd::Gps}).value_or(0) == 1;
        summary.altitude = Decimal(*altitude, 1) + " m" + (below ? " below sea level" : "");
    }
    return summary;
}
