// Writing the kept metadata into a TIFF file. The Exif and GPS fields go through libtiff's custom
// directories, each field with the type libtiff gives it (rationals as floating point, which
// libtiff turns back into fractions); fields libtiff does not know are left out.
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "core/messages.h"
#include "formats/metadata/exif_block.h"
#include "formats/metadata/icc_header.h"
#include "formats/tiff/tiff_metadata.h"

namespace {

constexpr const char* kModule = "LumoSaveTiff";

// The photo tags of the main directory written on the image directory (text fields).
constexpr uint16_t kMainTextTags[] = {0x010E /* ImageDescription */, kTagMake, kTagModel, kTagDateTime,
                                      0x013B /* Artist */, 0x013C /* HostComputer */, 0x8298 /* Copyright */};

bool IsIntegerType(uint16_t type) {
    return type == kExifByte || type == kExifShort || type == kExifLong || type == kExifSByte ||
           type == kExifSShort || type == kExifSLong || type == kExifUndefined;
}

bool IsRealType(uint16_t type) {
    return type == kExifRational || type == kExifSRational || type == kExifFloat || type == kExifDouble;
}

// Value index of a field as a number, for the real-valued fields of libtiff.
bool RealValue(const ExifBlock& exif, const ExifField& field, uint32_t index, double& value) {
    if (field.type == kExifRational || field.type == kExifSRational) {
        const std::optional<double> number = exif.rational(field, index);
        if (!number) return false;
        value = *number;
        return true;
    }
    if (field.type == kExifFloat || field.type == kExifDouble) {
        const std::span<const uint8_t> bytes = exif.bytes(field);
        const size_t size = field.type == kExifFloat ? 4 : 8;
        uint8_t native[8];
        // The block's byte order to the machine's.
        const bool swap = exif.bigEndian() != (std::endian::native == std::endian::big);
        for (size_t i = 0; i < size; ++i) native[swap ? size - 1 - i : i] = bytes[index * size + i];
        if (size == 4) {
            float f;
            std::memcpy(&f, native, 4);
            value = f;
        } else {
            std::memcpy(&value, native, 8);
        }
        return true;
    }
    return false;
}

bool IsRealTiffType(TIFFDataType type) {
    return type == TIFF_RATIONAL || type == TIFF_SRATIONAL || type == TIFF_FLOAT || type == TIFF_DOUBLE;
}

// The field's values laid out as libtiff's setter takes them (elements of elementSize bytes);
// false when a value cannot be given in that form.
bool PackValues(const ExifBlock& exif, const ExifField& field, TIFFDataType type, int elementSize,
                std::vector<uint8_t>& packed) {
    packed.assign(static_cast<size_t>(field.count) * elementSize, 0);
    const bool real = IsRealTiffType(type);
    for (uint32_t i = 0; i < field.count; ++i) {
        uint8_t* at = packed.data() + static_cast<size_t>(i) * elementSize;
        if (real) {
            double value = 0;
            if (!IsRealType(field.type) || !RealValue(exif, field, i, value)) return false;
            if (elementSize == 4) {
                const float f = static_cast<float>(value);
                std::memcpy(at, &f, 4);
            } else if (elementSize == 8) {
                std::memcpy(at, &value, 8);
            } else {
                return false;
            }
            continue;
        }
        if (!IsIntegerType(field.type)) return false;
        const std::optional<long long> value = exif.integer(field, i);
        if (!value) return false;
        const long long v = *value;
        switch (elementSize) {
            case 1: { const uint8_t e = static_cast<uint8_t>(v); std::memcpy(at, &e, 1); break; }
            case 2: { const uint16_t e = static_cast<uint16_t>(v); std::memcpy(at, &e, 2); break; }
            case 4: { const uint32_t e = static_cast<uint32_t>(v); std::memcpy(at, &e, 4); break; }
            case 8: { const uint64_t e = static_cast<uint64_t>(v); std::memcpy(at, &e, 8); break; }
            default: return false;
        }
    }
    return true;
}

// A field of one value is given to libtiff by value: real numbers as double, short integers as int.
int SetSingleValue(TIFF* tif, uint16_t tag, TIFFDataType type, int elementSize, const std::vector<uint8_t>& packed) {
    if (IsRealTiffType(type)) {
        double value = 0;
        if (elementSize == 4) {
            float f;
            std::memcpy(&f, packed.data(), 4);
            value = f;
        } else {
            std::memcpy(&value, packed.data(), 8);
        }
        return TIFFSetField(tif, tag, value);
    }
    switch (elementSize) {
        case 1: return TIFFSetField(tif, tag, static_cast<int>(packed[0]));
        case 2: {
            uint16_t e;
            std::memcpy(&e, packed.data(), 2);
            return TIFFSetField(tif, tag, static_cast<int>(e));
        }
        case 4: {
            uint32_t e;
            std::memcpy(&e, packed.data(), 4);
            return TIFFSetField(tif, tag, e);
        }
        case 8: {
            uint64_t e;
            std::memcpy(&e, packed.data(), 8);
            return TIFFSetField(tif, tag, e);
        }
        default: return 0;
    }
}

// Sets one field of the block on the current (custom) directory when libtiff knows its tag and
// the block's type agrees with libtiff's; false when it was left out.
bool SetKnownField(TiffHandle& tiff, const ExifBlock& exif, const ExifField& field) {
    TIFF* tif = tiff.get();
    const TIFFField* info = TIFFFindField(tif, field.tag, TIFF_ANY);
    if (!info || field.count == 0) return false;
    const TIFFDataType type = TIFFFieldDataType(info);
    int done = 0;
    if (type == TIFF_ASCII) {
        if (field.type != kExifAscii) return false;
        done = TIFFSetField(tif, field.tag, exif.text(field).c_str());
    } else {
        const int elementSize = TIFFFieldSetGetSize(info);
        std::vector<uint8_t> packed;
        if (!PackValues(exif, field, type, elementSize, packed)) return false;
        const int countSize = TIFFFieldSetGetCountSize(info);
        const int fixedCount = TIFFFieldWriteCount(info);
        if (TIFFFieldPassCount(info)) {
            if (countSize == 2 && field.count <= 0xFFFF)
                done = TIFFSetField(tif, field.tag, static_cast<int>(field.count), packed.data());
            else if (countSize == 4)
                done = TIFFSetField(tif, field.tag, static_cast<uint32_t>(field.count), packed.data());
        } else if (fixedCount > 1) {
            if (field.count == static_cast<uint32_t>(fixedCount)) done = TIFFSetField(tif, field.tag, packed.data());
        } else if (field.count == 1) {
            done = SetSingleValue(tif, field.tag, type, elementSize, packed);
        }
    }
    // A value libtiff refuses costs that field only, not the file.
    if (!done) tiff.takeError();
    return done != 0;
}

// The Exif fields the saver sets itself (the interoperability directory is not written).
bool IsWritersOwn(ExifIfd ifd, uint16_t tag) {
    return ifd == ExifIfd::Exif && (tag == kTagInteropIfd || tag == kTagPixelXDimension || tag == kTagPixelYDimension);
}

// One custom directory: the block's fields of ifd that libtiff takes and the fields extra sets
// (it returns their number); its offset, or 0 when no field was set (libtiff cannot write an empty
// directory, and there would be nothing to point at).
template <typename Extra>
uint64_t WriteCustomDirectory(TiffHandle& tiff, const ExifBlock& exif, ExifIfd ifd, int (*create)(TIFF*), Extra extra) {
    if (create(tiff.get()) != 0) tiff.fail(kModule, "Can't create an Exif directory");
    tiff.check(kModule);
    int fields = extra();
    for (const ExifField& field : exif.fields())
        if (field.ifd == ifd && !IsWritersOwn(ifd, field.tag) && SetKnownField(tiff, exif, field)) ++fields;
    uint64_t offset = 0;
    if (fields != 0 && !TIFFWriteCustomDirectory(tiff.get(), &offset)) tiff.fail(kModule, "Can't write an Exif directory");
    // libtiff frees a directory's values by the fields in force: the custom directory's own, now.
    TIFFFreeDirectory(tiff.get());
    tiff.check(kModule);
    return offset;
}

bool Has(const ExifBlock& exif, ExifIfd ifd) {
    for (const ExifField& field : exif.fields())
        if (field.ifd == ifd) return true;
    return false;
}

// Whether a profile of this colour space describes pixels of the photometric interpretation.
bool ProfileFits(IccColourSpace space, uint16_t photometric) {
    switch (photometric) {
        case PHOTOMETRIC_RGB:
        case PHOTOMETRIC_PALETTE:
        case PHOTOMETRIC_YCBCR: return space == IccColourSpace::Rgb;
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE: return space == IccColourSpace::Gray;
        default: return false;
    }
}

template <typename... Values>
void SetTag(TiffHandle& tiff, uint32_t tag, Values... values) {
    if (!TIFFSetField(tiff.get(), tag, values...)) tiff.fail(kModule, "Can't set a TIFF tag");
    tiff.check(kModule);
}

}  // namespace

TiffExifOffsets WriteTiffExifDirectories(TiffHandle& tiff, const ImageMetadata& metadata, int width, int height) {
    TiffExifOffsets offsets;
    const ExifBlock exif(metadata.exif);
    const bool exifDirectory = Has(exif, ExifIfd::Exif), gpsDirectory = Has(exif, ExifIfd::Gps);
    if (!exifDirectory && !gpsDirectory) return offsets;
    if (exifDirectory)
        offsets.exif = WriteCustomDirectory(tiff, exif, ExifIfd::Exif, TIFFCreateEXIFDirectory, [&] {
            // The saved size, whatever the block says (set first: the block's own values are skipped).
            SetTag(tiff, EXIFTAG_PIXELXDIMENSION, static_cast<uint32_t>(width));
            SetTag(tiff, EXIFTAG_PIXELYDIMENSION, static_cast<uint32_t>(height));
            return 2;
        });
    if (gpsDirectory) offsets.gps = WriteCustomDirectory(tiff, exif, ExifIfd::Gps, TIFFCreateGPSDirectory, [] { return 0; });
    // Back to a fresh image directory: it is linked from the header when the file is closed.
    if (TIFFCreateDirectory(tiff.get()) != 0) tiff.fail(kModule, "Can't create the image directory");
    tiff.check(kModule);
    return offsets;
}

void SetTiffMetadataTags(TiffHandle& tiff, const ImageMetadata& metadata, uint16_t photometric,
                         const TiffExifOffsets& offsets) {
    if (!metadata.icc.empty() && ProfileFits(ProfileColourSpace(metadata.icc), photometric))
        SetTag(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(metadata.icc.size()), metadata.icc.data());
    if (!metadata.xmp.empty())
        SetTag(tiff, TIFFTAG_XMLPACKET, static_cast<uint32_t>(metadata.xmp.size()), metadata.xmp.data());
    const ExifBlock exif(metadata.exif);
    for (const uint16_t tag : kMainTextTags) {
        const ExifField* field = exif.find(ExifIfd::Main, tag);
        if (!field || field->type != kExifAscii) continue;
        const std::string text = exif.text(*field);
        if (!text.empty()) SetTag(tiff, tag, text.c_str());  // the kept DateTime replaces the save's date
    }
    // The kept Orientation is what the pixels still need (the loaders set it to 1 when they turn).
    if (const ExifField* field = exif.find(ExifIfd::Main, kTagOrientation)) {
        const std::optional<long long> value = exif.integer(*field);
        if (field->count == 1 && value && *value >= 1 && *value <= 8) SetTag(tiff, TIFFTAG_ORIENTATION, static_cast<int>(*value));
    }
    if (offsets.exif) SetTag(tiff, TIFFTAG_EXIFIFD, offsets.exif);
    if (offsets.gps) SetTag(tiff, TIFFTAG_GPSIFD, offsets.gps);
}
