// Builds Exif blocks field by field for tests: the main, Exif and GPS directories in either byte
// order, values of more than four bytes in a data area after the directories. Where each entry was
// put is recorded, so a test can damage one field of a valid block.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "formats/metadata/exif_block.h"

class ExifBuilder {
public:
    explicit ExifBuilder(bool bigEndian = false) : big_(bigEndian) {}

    ExifBuilder& ascii(ExifIfd ifd, uint16_t tag, const std::string& text) {
        std::vector<uint8_t> value(text.begin(), text.end());
        value.push_back(0);
        return add(ifd, tag, kExifAscii, static_cast<uint32_t>(value.size()), value);
    }
    ExifBuilder& shortValue(ExifIfd ifd, uint16_t tag, uint16_t v) {
        std::vector<uint8_t> value;
        put16(value, v);
        return add(ifd, tag, kExifShort, 1, value);
    }
    ExifBuilder& byteValue(ExifIfd ifd, uint16_t tag, uint8_t v) { return add(ifd, tag, kExifByte, 1, {v}); }
    // RATIONAL (or SRATIONAL) values, each numerator / denominator.
    ExifBuilder& rationals(ExifIfd ifd, uint16_t tag, std::vector<std::pair<uint32_t, uint32_t>> values,
                           uint16_t type = kExifRational) {
        std::vector<uint8_t> value;
        for (const auto& [numerator, denominator] : values) {
            put32(value, numerator);
            put32(value, denominator);
        }
        return add(ifd, tag, type, static_cast<uint32_t>(values.size()), value);
    }

    std::vector<uint8_t> build() {
        entryAt_.clear();
        std::vector<uint8_t> block(big_ ? std::vector<uint8_t>{'M', 'M', 0, 42} : std::vector<uint8_t>{'I', 'I', 42, 0});
        put32(block, 8);
        std::vector<Entry> main = entries_[ExifIfd::Main];
        const bool exif = !entries_[ExifIfd::Exif].empty(), gps = !entries_[ExifIfd::Gps].empty();
        if (exif) main.push_back({kTagExifIfd, kExifLong, 1, {0, 0, 0, 0}});
        if (gps) main.push_back({kTagGpsIfd, kExifLong, 1, {0, 0, 0, 0}});
        auto directorySize = [](size_t count) { return 2 + 12 * count + 4; };
        const size_t exifAt = 8 + directorySize(main.size());
        const size_t gpsAt = exifAt + (exif ? directorySize(entries_[ExifIfd::Exif].size()) : 0);
        size_t dataAt = gpsAt + (gps ? directorySize(entries_[ExifIfd::Gps].size()) : 0);
        // The pointers to the sub-directories, now that their places are known.
        for (Entry& entry : main) {
            if (entry.tag == kTagExifIfd) entry.value = bytes32(static_cast<uint32_t>(exifAt));
            if (entry.tag == kTagGpsIfd) entry.value = bytes32(static_cast<uint32_t>(gpsAt));
        }
        std::vector<uint8_t> data;
        auto writeDirectory = [&](ExifIfd ifd, const std::vector<Entry>& entries) {
            put16(block, static_cast<uint16_t>(entries.size()));
            for (const Entry& entry : entries) {
                entryAt_[{ifd, entry.tag}] = block.size();
                put16(block, entry.tag);
                put16(block, entry.type);
                put32(block, entry.count);
                if (entry.value.size() <= 4) {
                    std::vector<uint8_t> inPlace = entry.value;
                    inPlace.resize(4, 0);
                    block.insert(block.end(), inPlace.begin(), inPlace.end());
                } else {
                    put32(block, static_cast<uint32_t>(dataAt + data.size()));
                    data.insert(data.end(), entry.value.begin(), entry.value.end());
                    if (data.size() % 2) data.push_back(0);  // values start on a word boundary
                }
            }
            put32(block, 0);  // no next directory
        };
        writeDirectory(ExifIfd::Main, main);
        if (exif) writeDirectory(ExifIfd::Exif, entries_[ExifIfd::Exif]);
        if (gps) writeDirectory(ExifIfd::Gps, entries_[ExifIfd::Gps]);
        block.insert(block.end(), data.begin(), data.end());
        return block;
    }

    // Offset of the 12-byte entry of the tag in the block last built.
    size_t entryAt(ExifIfd ifd, uint16_t tag) const { return entryAt_.at({ifd, tag}); }
    // Overwrites four bytes of a built block in its byte order (a value or an offset).
    void patch32(std::vector<uint8_t>& block, size_t at, uint32_t value) const {
        const std::vector<uint8_t> bytes = bytes32(value);
        std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<long>(at));
    }

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        std::vector<uint8_t> value;
    };

    ExifBuilder& add(ExifIfd ifd, uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> value) {
        entries_[ifd].push_back({tag, type, count, std::move(value)});
        return *this;
    }
    void put16(std::vector<uint8_t>& out, uint16_t v) const {
        if (big_) out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)});
        else out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
    }
    void put32(std::vector<uint8_t>& out, uint32_t v) const {
        const std::vector<uint8_t> bytes = bytes32(v);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    std::vector<uint8_t> bytes32(uint32_t v) const {
        if (big_) return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }

    bool big_;
    std::map<ExifIfd, std::vector<Entry>> entries_;
    std::map<std::pair<ExifIfd, uint16_t>, size_t> entryAt_;
};

// The block of a photo as a camera writes it: Canon body and lens, date, 1/125 s at f/2.8, ISO 400,
// 35 mm, taken at 48°51'29.6" N 2°17'40.2" E, 35 m up.
inline ExifBuilder CameraExif(bool bigEndian = false) {
    ExifBuilder exif(bigEndian);
    exif.ascii(ExifIfd::Main, kTagMake, "Canon")
        .ascii(ExifIfd::Main, kTagModel, "Canon EOS 5D Mark IV")
        .ascii(ExifIfd::Main, kTagDateTime, "2024:06:02 08:00:00")
        .rationals(ExifIfd::Exif, kTagExposureTime, {{1, 125}})
        .rationals(ExifIfd::Exif, kTagFNumber, {{28, 10}})
        .shortValue(ExifIfd::Exif, kTagIsoSpeed, 400)
        .ascii(ExifIfd::Exif, kTagDateTimeOriginal, "2024:05:01 10:20:30")
        .rationals(ExifIfd::Exif, kTagFocalLength, {{35, 1}})
        .ascii(ExifIfd::Exif, kTagLensMake, "Canon")
        .ascii(ExifIfd::Exif, kTagLensModel, "EF35mm f/2 IS USM")
        .ascii(ExifIfd::Gps, kTagGpsLatitudeRef, "N")
        .rationals(ExifIfd::Gps, kTagGpsLatitude, {{48, 1}, {51, 1}, {296, 10}})
        .ascii(ExifIfd::Gps, kTagGpsLongitudeRef, "E")
        .rationals(ExifIfd::Gps, kTagGpsLongitude, {{2, 1}, {17, 1}, {402, 10}})
        .byteValue(ExifIfd::Gps, kTagGpsAltitudeRef, 0)
        .rationals(ExifIfd::Gps, kTagGpsAltitude, {{35, 1}});
    return exif;
}
