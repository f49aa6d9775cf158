// Bounds-checked reading, and editing in place, of an Exif block: a TIFF structure ("II*\0" or
// "MM\0*", then directories of 12-byte entries) with the main directory, its Exif, GPS and
// interoperability sub-directories and the thumbnail's directory. Every offset is checked against
// the block's length before it is read; a directory that points outside the block, or back at one
// already read, ends that walk, and what was read before stays usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class ExifIfd { Main, Exif, Gps, Interop, Thumbnail };

// The field types of TIFF 6 and Exif 2.3.
enum ExifType : uint16_t {
    kExifByte = 1, kExifAscii = 2, kExifShort = 3, kExifLong = 4, kExifRational = 5, kExifSByte = 6,
    kExifUndefined = 7, kExifSShort = 8, kExifSLong = 9, kExifSRational = 10, kExifFloat = 11, kExifDouble = 12,
};
// Bytes per value of the type, 0 for a type TIFF does not define.
size_t ExifTypeSize(uint16_t type);

// Tags the program reads or edits.
enum ExifTag : uint16_t {
    kTagImageWidth = 0x0100, kTagImageLength = 0x0101, kTagMake = 0x010F, kTagModel = 0x0110,
    kTagOrientation = 0x0112, kTagDateTime = 0x0132, kTagExifIfd = 0x8769, kTagGpsIfd = 0x8825,
    kTagInteropIfd = 0xA005, kTagExposureTime = 0x829A, kTagFNumber = 0x829D, kTagIsoSpeed = 0x8827,
    kTagDateTimeOriginal = 0x9003, kTagFocalLength = 0x920A, kTagPixelXDimension = 0xA002,
    kTagPixelYDimension = 0xA003, kTagLensMake = 0xA433, kTagLensModel = 0xA434,
    kTagGpsLatitudeRef = 0x0001, kTagGpsLatitude = 0x0002, kTagGpsLongitudeRef = 0x0003,
    kTagGpsLongitude = 0x0004, kTagGpsAltitudeRef = 0x0005, kTagGpsAltitude = 0x0006,
};

struct ExifField {
    ExifIfd ifd;
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    size_t valueAt;  // offset in the block of the first value byte (in the entry itself for 4 bytes or fewer)
    size_t entryAt;  // offset of the 12-byte entry
};

class ExifBlock {
public:
    // Reads the directories of the block; the bytes must outlive the object.
    explicit ExifBlock(std::span<const uint8_t> bytes);

    bool valid() const { return valid_; }       // the header was a TIFF header
    bool damaged() const { return damaged_; }   // something pointed outside the block or into a loop
    bool bigEndian() const { return bigEndian_; }
    // The entries whose values lie wholly inside the block, directory by directory, in file order.
    const std::vector<ExifField>& fields() const { return fields_; }
    const ExifField* find(ExifIfd ifd, uint16_t tag) const;

    // Value `index` of an integer field (BYTE, SHORT, LONG and their signed forms), if it has one.
    std::optional<long long> integer(const ExifField& field, uint32_t index = 0) const;
    // Value `index` of a RATIONAL or SRATIONAL field as a number; nothing for a zero denominator.
    std::optional<double> rational(const ExifField& field, uint32_t index = 0) const;
    // An ASCII field up to its first NUL, trailing blanks removed.
    std::string text(const ExifField& field) const;
    // The raw value bytes of a field.
    std::span<const uint8_t> bytes(const ExifField& field) const;

    uint16_t u16(size_t at) const;
    uint32_t u32(size_t at) const;

private:
    void readDirectory(ExifIfd ifd, size_t at, std::vector<size_t>& seen);

    std::span<const uint8_t> bytes_;
    bool valid_ = false;
    bool damaged_ = false;
    bool bigEndian_ = false;
    std::vector<ExifField> fields_;
};

// The Orientation tag's value 1..8, or 1 (upright) when the block is not Exif, holds no such tag or
// the tag is damaged.
int ExifOrientationOf(std::span<const uint8_t> block);

// Edits that keep the block's length, so nothing else in it moves. Each changes the field only
// where it is present with a type that can hold the value; false when there was nothing to change.
bool SetExifOrientation(std::vector<uint8_t>& block, int value);
// PixelXDimension and PixelYDimension of the Exif directory: the size of the picture saved.
bool SetExifPixelSize(std::vector<uint8_t>& block, int width, int height);
